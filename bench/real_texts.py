#!/usr/bin/env python3
"""Builds the benchmark's real texts from files of Debian packages that
nobody here wrote (bench/run installs them).

usage: real_texts.py OUTDIR

Each text joins the files of one package in sorted path order, leaves out
files that hold a token of 255 characters or more (tally stops there), and
is cut at its target size, at a line end, and in any case before its
30000th distinct identifier or number, so that tally reports on it whole.
The 200 MB texts repeat one of these until they reach 200 MB. Prints a
line per text: its name, size and source.
"""

import gzip
import os
import re
import sys
import tarfile

TOKEN = re.compile(rb"[A-Za-z][A-Za-z0-9]*|[0-9]+")
LIMIT = 30000
LINUX_TAR = "/usr/src/linux-source-6.1.tar.xz"

# name, target bytes, source description, where the files come from
TEXTS = [
    ("tiny-fortune", 100, "fortunes: the first lines of fortunes", ("files", "/usr/share/games/fortunes/fortunes")),
    ("prose-100k", 100_000, "fortunes: quotations", ("tree", "/usr/share/games/fortunes", (".u8",))),
    ("perl-doc-1m", 1_000_000, "perl-doc: Perl's pod documentation", ("tree", "/usr/share/perl/5.36/pod", (".pod",))),
    ("perl-doc-5m", 5_000_000, "perl-doc: Perl's pod documentation", ("tree", "/usr/share/perl/5.36/pod", (".pod",))),
    ("linux-c-12m", 12_000_000, "linux-source-6.1: kernel/ C sources", ("tar", "linux-source-6.1/kernel/", (".c", ".h"))),
    ("go-src-15m", 15_000_000, "golang-1.19-src: Go's standard library", ("tree", "/usr/share/go-1.19/src", (".go",))),
    ("python-html-60m", 100_000_000, "python3.11-doc: Python's HTML documentation", ("tree", "/usr/share/doc/python3.11/html", (".html", ".txt"))),
]
# Other kinds of input, 20 MB each: what a text holds before its limits,
# repeated where the source is smaller.
MB20 = 20_000_000
MB200 = 200_000_000
KINDS = [
    ("changelogs-20m", "changelogs of the installed packages (log-like)", ("gztree", "/usr/share/doc", ("changelog.Debian.gz",))),
    ("unicode-tables-20m", "perl-modules: Unicode tables, code points in hex and decimal", ("tree", "/usr/share/perl/5.36/unicore", (".pl", ".txt"))),
    ("search-index-20m", "python3.11-doc: the search index (JSON)", ("files", "/usr/share/doc/python3.11/html/searchindex.js")),
    ("binary-20m", "g++-12: the cc1plus executable", ("files", "/usr/lib/gcc/x86_64-linux-gnu/12/cc1plus")),
    ("ukrainian-20m", "wukrainian: the Ukrainian word list (UTF-8)", ("files", "/usr/share/dict/ukrainian")),
    ("words-20m", "wamerican: the American English word list", ("files", "/usr/share/dict/american-english")),
]
REPEATED = [
    ("python-html-200m", "python-html-60m", MB200),
    ("linux-c-200m", "linux-c-12m", MB200),
] + [(name, name + "-unit", MB20) for name, _, _ in KINDS]


def tree_files(root, exts):
    for d, dirs, files in os.walk(root):
        dirs.sort()
        for f in sorted(files):
            if f.endswith(exts):
                path = os.path.join(d, f)
                with open(path, "rb") as fh:
                    yield fh.read()


def tar_files(prefix, exts):
    found = {}
    with tarfile.open(LINUX_TAR, "r:xz") as tar:
        for m in tar:
            if m.isfile() and m.name.startswith(prefix) and m.name.endswith(exts):
                found[m.name] = tar.extractfile(m).read()
    for name in sorted(found):
        yield found[name]


def gz_tree_files(root, names):
    for d, dirs, files in os.walk(root):
        dirs.sort()
        for f in sorted(files):
            if f in names:
                with gzip.open(os.path.join(d, f), "rb") as fh:
                    yield fh.read()


def sources(how):
    if how[0] == "gztree":
        yield from gz_tree_files(how[1], how[2])
    elif how[0] == "files":
        for path in how[1:]:
            with open(path, "rb") as fh:
                yield fh.read()
    elif how[0] == "tree":
        yield from tree_files(how[1], how[2])
    else:
        yield from tar_files(how[1], how[2])


def build(target, how):
    """Returns the text, joined and cut as the module's comment says."""
    out = bytearray()
    ids, nums = set(), set()
    for data in sources(how):
        tokens = list(TOKEN.finditer(data))
        if any(len(m.group()) >= 255 for m in tokens):
            continue
        end = len(data)
        for m in tokens:
            t = m.group()
            if t[0] <= 57:
                nums.add(t)
            else:
                ids.add(t.lower())
            if len(ids) >= LIMIT or len(nums) >= LIMIT:
                end = m.start()
                break
        piece = data[:end]
        room = target - len(out)
        cut = len(piece) < len(data) or len(piece) >= room
        if len(piece) > room:
            piece = piece[:room]
        if cut:
            nl = piece.rfind(b"\n")
            if nl >= 0:
                piece = piece[:nl + 1]
            out += piece
            break
        out += piece
    return bytes(out)


def main():
    outdir = sys.argv[1]
    os.makedirs(outdir, exist_ok=True)
    for name, target, what, how in TEXTS:
        path = os.path.join(outdir, name + ".txt")
        if not os.path.exists(path):
            text = build(target, how)
            with open(path + ".tmp", "wb") as fh:
                fh.write(text)
            os.rename(path + ".tmp", path)
        print(f"{name}\t{os.path.getsize(path)}\t{what}", flush=True)
    for name, what, how in KINDS:
        path = os.path.join(outdir, name + "-unit.txt")
        if not os.path.exists(path):
            with open(path + ".tmp", "wb") as fh:
                fh.write(build(MB20, how))
            os.rename(path + ".tmp", path)
    kinds = {name: what for name, what, _ in KINDS}
    for name, base, size in REPEATED:
        path = os.path.join(outdir, name + ".txt")
        if not os.path.exists(path):
            with open(os.path.join(outdir, base + ".txt"), "rb") as fh:
                unit = fh.read()
            with open(path + ".tmp", "wb") as fh:
                left = size
                while left > 0:
                    fh.write(unit[:left])
                    left -= min(left, len(unit))
            os.rename(path + ".tmp", path)
        what = kinds[name] if name in kinds else base
        print(f"{name}\t{os.path.getsize(path)}\t{what}, repeated to {size // 1_000_000} MB",
              flush=True)


if __name__ == "__main__":
    main()
