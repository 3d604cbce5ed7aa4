#!/usr/bin/env python3
"""Runs the end-to-end cases against a tally binary, on every scanning path.

usage: run_cases.py TALLY [--path NAME] [--wrap 'valgrind ...']

The cases run once as a user runs tally, with nothing forced, then once per
path that `tally --help` names after TALLY_FORCE_PATH=; each path that the
CPU (or the wrapper) does not support is skipped, and says so.
Each case with a byte input runs twice: with standard input redirected from
a file, and through a pipe. Exits 1 when any case fails.
"""

import argparse
import os
import re
import shlex
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from cases import CASES, CLOSED, DIRECTORY  # noqa: E402



def run(cmd, env, case, how, workdir):
    """Returns (stdout, stderr, status) of one run of `case`."""
    stdout_file = None
    if case.stdout_to:
        stdout_file = open(case.stdout_to, "wb")
    kwargs = dict(env=env, stdout=stdout_file or subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        if case.input is DIRECTORY:
            fd = os.open(workdir, os.O_RDONLY | os.O_DIRECTORY)
            try:
                p = subprocess.run(cmd, stdin=fd, **kwargs)
            finally:
                os.close(fd)
        elif case.input is CLOSED:
            p = subprocess.run(["sh", "-c", 'exec "$@" <&-', "sh"] + cmd, **kwargs)
        elif how == "pipe":
            p = subprocess.run(cmd, input=case.input, **kwargs)
        else:
            path = os.path.join(workdir, case.name + ".in")
            with open(path, "wb") as f:
                f.write(case.input)
            with open(path, "rb") as f:
                p = subprocess.run(cmd, stdin=f, **kwargs)
            os.unlink(path)
    finally:
        if stdout_file:
            stdout_file.close()
    return (p.stdout or b""), p.stderr, p.returncode


def show(label, got, want):
    if got != want:
        print(f"    {label}: got {got[:300]!r}{'...' if len(got) > 300 else ''}")
        print(f"    {label}: want {want[:300]!r}{'...' if len(want) > 300 else ''}")


def path_names(tally):
    """The scanning paths, as the binary's help lists them."""
    usage = subprocess.run([tally, "--help"], capture_output=True, check=True).stdout
    return re.search(rb"TALLY_FORCE_PATH=([a-z0-9|]+)", usage).group(1).decode().split("|")


DEFAULT = "default"


def run_path(tally, wrap, path, workdir):
    """Runs every case with `path` forced (none for DEFAULT); returns (passed, failed), or None
    if unsupported."""
    base_env = {k: v for k, v in os.environ.items() if k != "TALLY_FORCE_PATH"}
    if path != DEFAULT:
        base_env["TALLY_FORCE_PATH"] = path
    cmd = wrap + [tally]
    # Asked through the wrapper too: valgrind, say, hides AVX-512 from the program.
    probe = subprocess.run(cmd, env=base_env, stdin=subprocess.DEVNULL, capture_output=True)
    if probe.returncode != 0:
        return None
    passed = failed = 0
    for case in CASES:
        env = dict(base_env, **case.env)
        hows = ["file", "pipe"] if isinstance(case.input, bytes) and not case.stdout_to else ["file"]
        for how in hows:
            out, err, status = run(cmd + case.args, env, case, how, workdir)
            if (out, err, status) == (case.stdout, case.stderr, case.status):
                passed += 1
                continue
            failed += 1
            print(f"FAIL {case.name} ({path}, {how}): {case.why}")
            show("stdout", out, case.stdout)
            show("stderr", err, case.stderr)
            if status != case.status:
                print(f"    status: got {status}, want {case.status}")
    return passed, failed


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("tally")
    ap.add_argument("--path", default="", help="only this path")
    ap.add_argument("--wrap", default="", help="command prefix, such as valgrind")
    args = ap.parse_args()
    tally = os.path.abspath(args.tally)
    paths = [args.path] if args.path else [DEFAULT] + path_names(tally)
    any_failed = False
    with tempfile.TemporaryDirectory() as workdir:
        for path in paths:
            result = run_path(tally, shlex.split(args.wrap), path, workdir)
            if result is None:
                print(f"path {path}: not supported here, skipped")
                continue
            passed, failed = result
            any_failed |= failed > 0
            print(f"path {path}: {passed} passed, {failed} failed")
    return 1 if any_failed else 0


if __name__ == "__main__":
    sys.exit(main())
