#!/usr/bin/env python3
"""tally with standard input on a pseudo-terminal, as a newcomer runs it.

usage: terminal_test.py TALLY

Each case starts tally with its arguments and standard input on a fresh
pseudo-terminal, waits for what tally writes on standard error before it
reads, types the case's text and a Ctrl-D, and compares standard output,
standard error and the exit status with the literal values below.
"""

import os
import pty
import select
import subprocess
import sys
import threading
from dataclasses import dataclass

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from cases import USAGE  # noqa: E402

HINT = b"tally: reading standard input from the terminal; end it with Ctrl-D, or run: tally < FILE\n"
CTRL_D = b"\x04"

WORKED_EXAMPLE = (
    b"2 6 27\n"
    b"Total 12 different characters, 5 most used characters:\n"
    b"No. 0: l\t\t5\n"
    b"No. 1:  \t\t4\n"
    b"No. 2: 2\t\t3\n"
    b"No. 3: 4\t\t3\n"
    b"No. 4: o\t\t3\n"
    b"\n"
    b"Total 2 different identifiers, 2 most used identifiers:\n"
    b"No. 0: hello\t\t2\n"
    b"No. 1: world\t\t1\n"
    b"\n"
    b"Total 1 different numbers, 1 most used numbers:\n"
    b"No. 0: 42\t\t3\n"
)

EMPTY_REPORT = (
    b"0 0 0\n"
    b"Total 0 different characters, 0 most used characters:\n"
    b"\n"
    b"Total 0 different identifiers, 0 most used identifiers:\n"
    b"\n"
    b"Total 0 different numbers, 0 most used numbers:\n"
)


@dataclass
class Case:
    name: str
    why: str
    args: list
    typed: bytes  # sent after the hint; None: nothing is typed
    stdout: bytes
    stderr: bytes
    status: int


CASES = [
    Case("file_name_typed", "a file name as an argument: the hint, then the typed text is counted",
         ["book.txt"], b"Hello world 42\nhello 42 42\n" + CTRL_D, WORKED_EXAMPLE, HINT, 0),
    Case("nothing_typed", "Ctrl-D at once: the hint, then the empty report",
         [], CTRL_D, EMPTY_REPORT, HINT, 0),
    Case("help_reads_nothing", "--help reads no input, so it gives no hint",
         ["--help"], None, USAGE, b"", 0),
    Case("too_long_typed", "a stop after the hint: its message follows the hint",
         [], b"x" * 255 + b"\n" + CTRL_D, b"", HINT + b"Word " + b"x" * 255 + b" too long!! Exit.\n", 1),
]

TIMEOUT = 20


def read_some(fd, want, deadline_s):
    """Reads from `fd` until `want` bytes have come, or end of file, or the time is up."""
    got = b""
    while len(got) < want:
        ready, _, _ = select.select([fd], [], [], deadline_s)
        if not ready:
            break
        chunk = os.read(fd, 65536)
        if not chunk:
            break
        got += chunk
    return got


def drain(fd):
    """Reads the terminal's echo so that it never fills up."""
    try:
        while os.read(fd, 65536):
            pass
    except OSError:
        pass


def run(tally, case):
    master, slave = pty.openpty()
    p = subprocess.Popen([tally] + case.args, stdin=slave, stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE)
    os.close(slave)
    threading.Thread(target=drain, args=(master,), daemon=True).start()
    # Nothing is typed until the hint is there: it must come before the read.
    err = read_some(p.stderr.fileno(), len(HINT) if case.stderr.startswith(HINT) else 1,
                    TIMEOUT if case.stderr.startswith(HINT) else 0.5)
    if case.typed is not None:
        os.write(master, case.typed)
    try:
        out, rest = p.communicate(timeout=TIMEOUT)
    except subprocess.TimeoutExpired:
        p.kill()
        out, rest = p.communicate()
    os.close(master)
    return out, err + rest, p.returncode


def main():
    tally = os.path.abspath(sys.argv[1])
    failed = 0
    for case in CASES:
        out, err, status = run(tally, case)
        ok_out = out == case.stdout
        if ok_out and err == case.stderr and status == case.status:
            continue
        failed += 1
        print(f"FAIL {case.name}: {case.why}")
        if not ok_out:
            print(f"    stdout: got {out[:300]!r}\n    stdout: want {case.stdout[:300]!r}")
        if err != case.stderr:
            print(f"    stderr: got {err[:300]!r}\n    stderr: want {case.stderr[:300]!r}")
        if status != case.status:
            print(f"    status: got {status}, want {case.status}")
    print(f"{len(CASES) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
