#!/usr/bin/env python3
"""Streams that no file in the repository could hold, piped into tally from a
small generator and never stored: more than 2^32 bytes, one line of more
than 1 GB, and a reader that goes away early; and a sparse file of more
than 2^32 bytes, split between threads. Not timed; bounded in size.

usage: stream_test.py TALLY
"""

import os
import signal
import subprocess
import sys
import tempfile
import threading

CHUNK = 1 << 20


def feed(stream, unit, total):
    """Writes `unit` repeated to `total` bytes into `stream`, then closes it."""
    block = unit * (CHUNK // len(unit))
    left = total
    try:
        while left > 0:
            n = min(left, len(block))
            stream.write(block[:n])
            left -= n
    finally:
        stream.close()


def run_stream(tally, unit, total):
    p = subprocess.Popen([tally], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE)
    writer = threading.Thread(target=feed, args=(p.stdin, unit, total))
    writer.start()
    out = p.stdout.read()
    err = p.stderr.read()
    writer.join()
    return out, err, p.wait()


HUGE_UNIT = b"abc 123 Abc xyz\n"
HUGE_COUNT = 281_250_000  # 4.5e9 bytes, past 2^32
HUGE_REPORT = (
    b"281250000 1125000000 4500000000\n"
    b"Total 12 different characters, 5 most used characters:\n"
    b"No. 0:  \t\t843750000\n"
    b"No. 1: b\t\t562500000\n"
    b"No. 2: c\t\t562500000\n"
    b"No. 3: \\n\t\t281250000\n"
    b"No. 4: 1\t\t281250000\n"
    b"\n"
    b"Total 2 different identifiers, 2 most used identifiers:\n"
    b"No. 0: abc\t\t562500000\n"
    b"No. 1: xyz\t\t281250000\n"
    b"\n"
    b"Total 1 different numbers, 1 most used numbers:\n"
    b"No. 0: 123\t\t281250000\n"
)

LINE_UNIT = b"ab "
LINE_COUNT = 366_666_667  # one line of 1.1e9 bytes, no newline
LINE_REPORT = (
    b"0 366666667 1100000001\n"
    b"Total 3 different characters, 3 most used characters:\n"
    b"No. 0:  \t\t366666667\n"
    b"No. 1: a\t\t366666667\n"
    b"No. 2: b\t\t366666667\n"
    b"\n"
    b"Total 1 different identifiers, 1 most used identifiers:\n"
    b"No. 0: ab\t\t366666667\n"
    b"\n"
    b"Total 0 different numbers, 0 most used numbers:\n"
)


SPARSE_HOLE = 4_500_000_000  # NUL bytes between two lines
SPARSE_REPORT = (
    b"2 4 4500000016\n"
    b"Total 10 different characters, 5 most used characters:\n"
    b"No. 0: \x00\t\t4500000000\n"
    b"No. 1: \\n\t\t2\n"
    b"No. 2:  \t\t2\n"
    b"No. 3: 1\t\t2\n"
    b"No. 4: 2\t\t2\n"
    b"\n"
    b"Total 1 different identifiers, 1 most used identifiers:\n"
    b"No. 0: abc\t\t2\n"
    b"\n"
    b"Total 1 different numbers, 1 most used numbers:\n"
    b"No. 0: 123\t\t2\n"
)


def sparse_file(tally):
    """A file of 4.5 GB, nearly all a hole, counted in stretches on threads:
    totals and counts past 2^32 come through the merge."""
    with tempfile.TemporaryFile() as f:
        f.write(b"Abc 123\n")
        f.seek(8 + SPARSE_HOLE)
        f.write(b"abc 123\n")
        f.seek(0)
        p = subprocess.run([tally], stdin=f, capture_output=True)
    return check("4.5 GB sparse file", (p.stdout, p.stderr, p.returncode), (SPARSE_REPORT, b"", 0))


def check(name, got, want):
    if got == want:
        print(f"ok   {name}")
        return 0
    print(f"FAIL {name}\n    got  {got!r}\n    want {want!r}")
    return 1


def reader_goes_away(tally):
    """`tally < big | true`: the reader is gone before the report is written.
    tally ends promptly, with at most one line on stderr and a failure status."""
    with tempfile.TemporaryFile() as big:
        big.write(b"word 12 " * (64 * CHUNK // 8))
        big.seek(0)
        r, w = os.pipe()
        p = subprocess.Popen([tally], stdin=big, stdout=w, stderr=subprocess.PIPE)
        os.close(w)
        os.close(r)
        try:
            _, err = p.communicate(timeout=60)
        except subprocess.TimeoutExpired:
            p.kill()
            return check("reader goes away: ends", "hang", "exit")
    # Killed by SIGPIPE, as other filters are, or told of EPIPE if it is ignored.
    ended = p.returncode == -signal.SIGPIPE or (p.returncode == 1 and err.count(b"\n") == 1)
    if not ended:
        print(f"    status {p.returncode}, stderr {err!r}")
    return check("reader goes away: ends without a flood", (ended, err.count(b"\n") <= 1), (True, True))


def nonblocking_stdin(tally):
    """A pipe left non-blocking by another program: tally waits for the data."""
    import fcntl
    import time
    r, w = os.pipe()
    fcntl.fcntl(r, fcntl.F_SETFL, fcntl.fcntl(r, fcntl.F_GETFL) | os.O_NONBLOCK)
    p = subprocess.Popen([tally], stdin=r, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    os.close(r)
    try:
        for piece in (b"one two", b" two 3", b"\n"):
            time.sleep(0.2)
            os.write(w, piece)
    except BrokenPipeError:
        pass  # tally gave up early; the check below says how
    os.close(w)
    out, err = p.communicate(timeout=60)
    return check("non-blocking stdin", (out.split(b"\n")[0], err, p.returncode), (b"1 4 14", b"", 0))


def stop_while_input_stays_open(tally):
    """A too-long token, then a pipe that stays open: tally stops at once with
    its message rather than waiting for the rest of the input."""
    r, w = os.pipe()
    p = subprocess.Popen([tally], stdin=r, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    os.close(r)
    os.write(w, b"x" * 300 + b" and more")
    try:
        out, err = p.communicate(timeout=30)
    except subprocess.TimeoutExpired:
        p.kill()
        p.communicate()
        out, err = b"", b"hang"
    os.close(w)
    return check("stop while the input stays open", (out, err, p.returncode),
                 (b"", b"Word " + b"x" * 255 + b" too long!! Exit.\n", 1))


def main():
    tally = os.path.abspath(sys.argv[1])
    failed = 0
    failed += check("4.5 GB stream", run_stream(tally, HUGE_UNIT, len(HUGE_UNIT) * HUGE_COUNT),
                    (HUGE_REPORT, b"", 0))
    failed += check("1.1 GB line", run_stream(tally, LINE_UNIT, len(LINE_UNIT) * LINE_COUNT),
                    (LINE_REPORT, b"", 0))
    failed += reader_goes_away(tally)
    failed += nonblocking_stdin(tally)
    failed += stop_while_input_stays_open(tally)
    failed += sparse_file(tally)
    print(f"{6 - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
