"""End-to-end cases: each feeds one input to tally and states the exact
standard output, standard error and exit status expected of it.

An input is bytes, or DIRECTORY / CLOSED for a standard input that cannot be
read. `stdout_to` sends standard output to a file such as /dev/full instead
of capturing it; `env` adds to tally's environment.
"""

import errno
import os
from dataclasses import dataclass, field

DIRECTORY = "directory"
CLOSED = "closed"


@dataclass
class Case:
    name: str
    why: str
    input: object
    stdout: bytes
    stderr: bytes
    status: int
    args: list = field(default_factory=list)
    stdout_to: str = ""
    env: dict = field(default_factory=dict)


def stop(name, why, input, stderr):
    """A run that stops with one line on stderr, nothing on stdout, status 1."""
    return Case(name=name, why=why, input=input, stdout=b"", stderr=stderr, status=1)


EMPTY_REPORT = (
    b"0 0 0\n"
    b"Total 0 different characters, 0 most used characters:\n"
    b"\n"
    b"Total 0 different identifiers, 0 most used identifiers:\n"
    b"\n"
    b"Total 0 different numbers, 0 most used numbers:\n"
)

USAGE = (
    b"Usage: tally [--help | --version] < FILE\n"
    b"\n"
    b"Reads a text on standard input, to its end, and writes a report on\n"
    b"standard output: the number of lines, tokens and bytes, then the number\n"
    b"of distinct characters, identifiers and numbers, each with its five most\n"
    b"frequent entries and their counts.\n"
    b"\n"
    b"An identifier is an ASCII letter followed by letters and digits, counted\n"
    b"without regard to case and shown in lower case. A number is a run of\n"
    b"digits, leading zeros kept. Every other byte separates tokens.\n"
    b"\n"
    b"Limits: 30000 distinct identifiers, 30000 distinct numbers, and tokens of\n"
    b"at most 254 characters. Passing a limit stops tally with one line on\n"
    b"standard error and nothing on standard output.\n"
    b"\n"
    b"Exit status: 0 on success; 1 when a limit is passed, the input cannot be\n"
    b"read or the report cannot be written.\n"
    b"\n"
    b"  --help     show this help and exit\n"
    b"  --version  show the version and exit\n"
    b"\n"
    b"tally reads standard input only: to count a file, run `tally < FILE`. At a\n"
    b"terminal it says so on standard error, then reads what is typed, up to a\n"
    b"Ctrl-D at the start of a line. Other arguments are ignored.\n"
    b"TALLY_FORCE_PATH=avx512|avx2|scalar picks the scanning code, for testing.\n"
)

CASES = [
    Case(
        name="worked_example",
        why="the two-line example: ties in code order, case kept in the character table",
        input=b"Hello world 42\nhello 42 42\n",
        stdout=(
            b'2 6 27\n'
            b'Total 12 different characters, 5 most used characters:\n'
            b'No. 0: l\t\t5\n'
            b'No. 1:  \t\t4\n'
            b'No. 2: 2\t\t3\n'
            b'No. 3: 4\t\t3\n'
            b'No. 4: o\t\t3\n'
            b'\n'
            b'Total 2 different identifiers, 2 most used identifiers:\n'
            b'No. 0: hello\t\t2\n'
            b'No. 1: world\t\t1\n'
            b'\n'
            b'Total 1 different numbers, 1 most used numbers:\n'
            b'No. 0: 42\t\t3\n'
        ),
        stderr=b'',
        status=0,
    ),
    Case(
        name="empty",
        why="empty input: zero totals and three empty sections",
        input=b"",
        stdout=(
            b'0 0 0\n'
            b'Total 0 different characters, 0 most used characters:\n'
            b'\n'
            b'Total 0 different identifiers, 0 most used identifiers:\n'
            b'\n'
            b'Total 0 different numbers, 0 most used numbers:\n'
        ),
        stderr=b'',
        status=0,
    ),
    Case(
        name="no_final_newline",
        why="a last line without a newline is not a line",
        input=b"abc",
        stdout=(
            b'0 1 3\n'
            b'Total 3 different characters, 3 most used characters:\n'
            b'No. 0: a\t\t1\n'
            b'No. 1: b\t\t1\n'
            b'No. 2: c\t\t1\n'
            b'\n'
            b'Total 1 different identifiers, 1 most used identifiers:\n'
            b'No. 0: abc\t\t1\n'
            b'\n'
            b'Total 0 different numbers, 0 most used numbers:\n'
        ),
        stderr=b'',
        status=0,
    ),
    Case(
        name="newlines_only",
        why="lines without tokens",
        input=b"\n\n",
        stdout=(
            b'2 0 2\n'
            b'Total 1 different characters, 1 most used characters:\n'
            b'No. 0: \\n\t\t2\n'
            b'\n'
            b'Total 0 different identifiers, 0 most used identifiers:\n'
            b'\n'
            b'Total 0 different numbers, 0 most used numbers:\n'
        ),
        stderr=b'',
        status=0,
    ),
    Case(
        name="number_then_identifier",
        why="a number ends at the first letter, which starts an identifier",
        input=b"123abc",
        stdout=(
            b'0 2 6\n'
            b'Total 6 different characters, 5 most used characters:\n'
            b'No. 0: 1\t\t1\n'
            b'No. 1: 2\t\t1\n'
            b'No. 2: 3\t\t1\n'
            b'No. 3: a\t\t1\n'
            b'No. 4: b\t\t1\n'
            b'\n'
            b'Total 1 different identifiers, 1 most used identifiers:\n'
            b'No. 0: abc\t\t1\n'
            b'\n'
            b'Total 1 different numbers, 1 most used numbers:\n'
            b'No. 0: 123\t\t1\n'
        ),
        stderr=b'',
        status=0,
    ),
    Case(
        name="token_cutting",
        why="digits inside identifiers, separators inside words and numbers",
        input=b"a1b2 foo_bar x.y 3.14 -5 0x1F\n",
        stdout=(
            b'1 10 30\n'
            b'Total 19 different characters, 5 most used characters:\n'
            b'No. 0:  \t\t5\n'
            b'No. 1: 1\t\t3\n'
            b'No. 2: .\t\t2\n'
            b'No. 3: a\t\t2\n'
            b'No. 4: b\t\t2\n'
            b'\n'
            b'Total 6 different identifiers, 5 most used identifiers:\n'
            b'No. 0: a1b2\t\t1\n'
            b'No. 1: foo\t\t1\n'
            b'No. 2: bar\t\t1\n'
            b'No. 3: x\t\t1\n'
            b'No. 4: y\t\t1\n'
            b'\n'
            b'Total 4 different numbers, 4 most used numbers:\n'
            b'No. 0: 3\t\t1\n'
            b'No. 1: 14\t\t1\n'
            b'No. 2: 5\t\t1\n'
            b'No. 3: 0\t\t1\n'
        ),
        stderr=b'',
        status=0,
    ),
    Case(
        name="leading_zeros",
        why="numbers compare as digit strings",
        input=b"007 7 007 0 00\n",
        stdout=(
            b'1 5 15\n'
            b'Total 4 different characters, 4 most used characters:\n'
            b'No. 0: 0\t\t7\n'
            b'No. 1:  \t\t4\n'
            b'No. 2: 7\t\t3\n'
            b'No. 3: \\n\t\t1\n'
            b'\n'
            b'Total 0 different identifiers, 0 most used identifiers:\n'
            b'\n'
            b'Total 4 different numbers, 4 most used numbers:\n'
            b'No. 0: 007\t\t2\n'
            b'No. 1: 7\t\t1\n'
            b'No. 2: 0\t\t1\n'
            b'No. 3: 00\t\t1\n'
        ),
        stderr=b'',
        status=0,
    ),
    Case(
        name="case_folding",
        why="identifiers fold case; characters keep it",
        input=b"Hello HELLO hello hELLo\n",
        stdout=(
            b'1 4 24\n'
            b'Total 10 different characters, 5 most used characters:\n'
            b'No. 0: L\t\t4\n'
            b'No. 1: l\t\t4\n'
            b'No. 2:  \t\t3\n'
            b'No. 3: o\t\t3\n'
            b'No. 4: E\t\t2\n'
            b'\n'
            b'Total 1 different identifiers, 1 most used identifiers:\n'
            b'No. 0: hello\t\t4\n'
            b'\n'
            b'Total 0 different numbers, 0 most used numbers:\n'
        ),
        stderr=b'',
        status=0,
    ),
    Case(
        name="case_folding_by_length",
        why="keys of 8, 9, 15, 16 and 17 bytes first read in mixed case, digits inside",
        input=b" ".join(
            [b"AbCdEfGh", b"aBcDeFgHi", b"A1b2C3d4E5f6G7h", b"ABCDEFGHIJKLMNOP", b"AbCdEfGhIjKlMnOpQ"]
            + [b"abcdefgh"]
            + [b"abcdefghi"] * 2
            + [b"a1b2c3d4e5f6g7h"] * 3
            + [b"abcdefghijklmnop"] * 4
            + [b"abcdefghijklmnopq"] * 5
        )
        + b"\n",
        stdout=(
            b'1 20 305\n'
            b'Total 43 different characters, 5 most used characters:\n'
            b'No. 0:  \t\t19\n'
            b'No. 1: b\t\t18\n'
            b'No. 2: d\t\t18\n'
            b'No. 3: f\t\t18\n'
            b'No. 4: h\t\t18\n'
            b'\n'
            b'Total 5 different identifiers, 5 most used identifiers:\n'
            b'No. 0: abcdefghijklmnopq\t\t6\n'
            b'No. 1: abcdefghijklmnop\t\t5\n'
            b'No. 2: a1b2c3d4e5f6g7h\t\t4\n'
            b'No. 3: abcdefghi\t\t3\n'
            b'No. 4: abcdefgh\t\t2\n'
            b'\n'
            b'Total 0 different numbers, 0 most used numbers:\n'
        ),
        stderr=b'',
        status=0,
    ),
    Case(
        name="tab_and_newline_keys",
        why="tab and newline print as escapes, space raw",
        input=b"\t\t\t\t\n\n\n   a\n",
        stdout=(
            b'4 1 12\n'
            b'Total 4 different characters, 4 most used characters:\n'
            b'No. 0: \\t\t\t4\n'
            b'No. 1: \\n\t\t4\n'
            b'No. 2:  \t\t3\n'
            b'No. 3: a\t\t1\n'
            b'\n'
            b'Total 1 different identifiers, 1 most used identifiers:\n'
            b'No. 0: a\t\t1\n'
            b'\n'
            b'Total 0 different numbers, 0 most used numbers:\n'
        ),
        stderr=b'',
        status=0,
    ),
    Case(
        name="ties_first_appearance",
        why="more than five entries; equal counts in order of first appearance",
        input=b"pear fig kiwi apple fig plum lime date kiwi 5 4 3 2 1 6 5\n",
        stdout=(
            b'1 16 58\n'
            b'Total 22 different characters, 5 most used characters:\n'
            b'No. 0:  \t\t15\n'
            b'No. 1: i\t\t7\n'
            b'No. 2: e\t\t4\n'
            b'No. 3: p\t\t4\n'
            b'No. 4: a\t\t3\n'
            b'\n'
            b'Total 7 different identifiers, 5 most used identifiers:\n'
            b'No. 0: fig\t\t2\n'
            b'No. 1: kiwi\t\t2\n'
            b'No. 2: pear\t\t1\n'
            b'No. 3: apple\t\t1\n'
            b'No. 4: plum\t\t1\n'
            b'\n'
            b'Total 6 different numbers, 5 most used numbers:\n'
            b'No. 0: 5\t\t2\n'
            b'No. 1: 4\t\t1\n'
            b'No. 2: 3\t\t1\n'
            b'No. 3: 2\t\t1\n'
            b'No. 4: 1\t\t1\n'
        ),
        stderr=b'',
        status=0,
    ),
    Case(
        name="identifier_254",
        why="254 letters is the longest identifier",
        input=b"x" * 200 + b"Y" * 54 + b"\n",
        stdout=(
            b'1 1 255\n'
            b'Total 3 different characters, 3 most used characters:\n'
            b'No. 0: x\t\t200\n'
            b'No. 1: Y\t\t54\n'
            b'No. 2: \\n\t\t1\n'
            b'\n'
            b'Total 1 different identifiers, 1 most used identifiers:\n'
            b'No. 0: xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyy\t\t1\n'
            b'\n'
            b'Total 0 different numbers, 0 most used numbers:\n'
        ),
        stderr=b'',
        status=0,
    ),
    stop("identifier_255", "255 letters stop the run even with a separator next",
         b"ab " + b"Q" * 255 + b" cd\n",
         b'Word ' + b'q' * 255 + b" too long!! Exit.\n"),
    stop("identifier_300", "the message carries the first 255 characters, lower case",
         b"A1" * 150,
         b'Word ' + b'a1' * 127 + b'a' + b" too long!! Exit.\n"),
    Case(
        name="number_254",
        why="254 digits is the longest number",
        input=b"9" * 254,
        stdout=(
            b'0 1 254\n'
            b'Total 1 different characters, 1 most used characters:\n'
            b'No. 0: 9\t\t254\n'
            b'\n'
            b'Total 0 different identifiers, 0 most used identifiers:\n'
            b'\n'
            b'Total 1 different numbers, 1 most used numbers:\n'
            b'No. 0: 99999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999\t\t1\n'
        ),
        stderr=b'',
        status=0,
    ),
    stop("number_300", "300 digits: the message shows exactly 255",
         b"1234567890" * 30 + b"\n",
         b'Number ' + b'1234567890' * 25 + b'12345' + b" too long!! Exit.\n"),
    stop("number_prefix_then_long_identifier", "a short number, then a too-long identifier in the same run",
         b"12" + b"z" * 260,
         b'Word ' + b'z' * 255 + b" too long!! Exit.\n"),
    stop("long_number_then_letters", "a too-long number stops before the letters after it",
         b"5" * 255 + b"abc",
         b'Number ' + b'5' * 255 + b" too long!! Exit.\n"),
    Case(
        name="byte_255_mid_stream",
        why="byte 255 is an ordinary separator, not end of input",
        input=b"ab\xffcd\xff\xff12\n" + b"ef\n",
        stdout=(
            b'2 4 13\n'
            b'Total 10 different characters, 5 most used characters:\n'
            b'No. 0: \xff\t\t3\n'
            b'No. 1: \\n\t\t2\n'
            b'No. 2: 1\t\t1\n'
            b'No. 3: 2\t\t1\n'
            b'No. 4: a\t\t1\n'
            b'\n'
            b'Total 3 different identifiers, 3 most used identifiers:\n'
            b'No. 0: ab\t\t1\n'
            b'No. 1: cd\t\t1\n'
            b'No. 2: ef\t\t1\n'
            b'\n'
            b'Total 1 different numbers, 1 most used numbers:\n'
            b'No. 0: 12\t\t1\n'
        ),
        stderr=b'',
        status=0,
    ),
    Case(
        name="high_bytes_separate",
        why="bytes 128-255 separate tokens and are counted per code",
        input=b"caf\xc3\xa9 na\xc3\xafve \xc3\xa9\xc3\xa9\n",
        stdout=(
            b'1 3 18\n'
            b'Total 11 different characters, 5 most used characters:\n'
            b'No. 0: \xc3\t\t4\n'
            b'No. 1: \xa9\t\t3\n'
            b'No. 2:  \t\t2\n'
            b'No. 3: a\t\t2\n'
            b'No. 4: \\n\t\t1\n'
            b'\n'
            b'Total 3 different identifiers, 3 most used identifiers:\n'
            b'No. 0: caf\t\t1\n'
            b'No. 1: na\t\t1\n'
            b'No. 2: ve\t\t1\n'
            b'\n'
            b'Total 0 different numbers, 0 most used numbers:\n'
        ),
        stderr=b'',
        status=0,
    ),
    Case(
        name="nul_bytes",
        why="NUL is counted and printed raw",
        input=b"\x00\x00\x00a\x00b\x00",
        stdout=(
            b'0 2 7\n'
            b'Total 3 different characters, 3 most used characters:\n'
            b'No. 0: \x00\t\t5\n'
            b'No. 1: a\t\t1\n'
            b'No. 2: b\t\t1\n'
            b'\n'
            b'Total 2 different identifiers, 2 most used identifiers:\n'
            b'No. 0: a\t\t1\n'
            b'No. 1: b\t\t1\n'
            b'\n'
            b'Total 0 different numbers, 0 most used numbers:\n'
        ),
        stderr=b'',
        status=0,
    ),
    Case(
        name="common_separators_in_bulk",
        why="separator bytes common enough to be counted in bulk, beside rarer ones",
        input=b"\xd0\xb0\xd0\xb0\xd0\xb1\xd1\xb1\xd1\x8f" * 1000 + b"\n",
        stdout=(
            b'1 0 10001\n'
            b'Total 6 different characters, 5 most used characters:\n'
            b'No. 0: \xd0\t\t3000\n'
            b'No. 1: \xb0\t\t2000\n'
            b'No. 2: \xb1\t\t2000\n'
            b'No. 3: \xd1\t\t2000\n'
            b'No. 4: \x8f\t\t1000\n'
            b'\n'
            b'Total 0 different identifiers, 0 most used identifiers:\n'
            b'\n'
            b'Total 0 different numbers, 0 most used numbers:\n'
        ),
        stderr=b'',
        status=0,
    ),
    Case(
        name="common_separators_change",
        why="text, then binary: the bytes common in one stretch are rare in the next",
        input=b"\xd0\xb0\xd0\xb0\xd0\xb0\xd0\xb1\xd0\xb1\xd1\x8f x\n" * 1500
        + b"\x00\x00\x01\x00\xff7" * 4000,
        stdout=(
            b'1500 5500 46500\n'
            b'Total 12 different characters, 5 most used characters:\n'
            b'No. 0: \x00\t\t12000\n'
            b'No. 1: \xd0\t\t7500\n'
            b'No. 2: \xb0\t\t4500\n'
            b'No. 3: \x01\t\t4000\n'
            b'No. 4: 7\t\t4000\n'
            b'\n'
            b'Total 1 different identifiers, 1 most used identifiers:\n'
            b'No. 0: x\t\t1500\n'
            b'\n'
            b'Total 1 different numbers, 1 most used numbers:\n'
            b'No. 0: 7\t\t4000\n'
        ),
        stderr=b'',
        status=0,
    ),
    Case(
        name="short_numbers_repeated",
        why="tokens of one digit, again and again, go with the separators",
        input=b"0 0 1 0 0 0 2 0\n" * 300,
        stdout=(
            b'300 2400 4800\n'
            b'Total 5 different characters, 5 most used characters:\n'
            b'No. 0:  \t\t2100\n'
            b'No. 1: 0\t\t1800\n'
            b'No. 2: \\n\t\t300\n'
            b'No. 3: 1\t\t300\n'
            b'No. 4: 2\t\t300\n'
            b'\n'
            b'Total 0 different identifiers, 0 most used identifiers:\n'
            b'\n'
            b'Total 3 different numbers, 3 most used numbers:\n'
            b'No. 0: 0\t\t1800\n'
            b'No. 1: 1\t\t300\n'
            b'No. 2: 2\t\t300\n'
        ),
        stderr=b'',
        status=0,
    ),
    Case(
        name="crlf",
        why="carriage returns are separators printed raw",
        input=b"one\r\ntwo\r\n\r\n",
        stdout=(
            b'3 2 12\n'
            b'Total 7 different characters, 5 most used characters:\n'
            b'No. 0: \\n\t\t3\n'
            b'No. 1: \r\t\t3\n'
            b'No. 2: o\t\t2\n'
            b'No. 3: e\t\t1\n'
            b'No. 4: n\t\t1\n'
            b'\n'
            b'Total 2 different identifiers, 2 most used identifiers:\n'
            b'No. 0: one\t\t1\n'
            b'No. 1: two\t\t1\n'
            b'\n'
            b'Total 0 different numbers, 0 most used numbers:\n'
        ),
        stderr=b'',
        status=0,
    ),
    Case(
        name="every_byte_once",
        why="all 256 codes: ties go to the lowest code",
        input=bytes(range(256)),
        stdout=(
            b'1 3 256\n'
            b'Total 256 different characters, 5 most used characters:\n'
            b'No. 0: \x00\t\t1\n'
            b'No. 1: \x01\t\t1\n'
            b'No. 2: \x02\t\t1\n'
            b'No. 3: \x03\t\t1\n'
            b'No. 4: \x04\t\t1\n'
            b'\n'
            b'Total 1 different identifiers, 1 most used identifiers:\n'
            b'No. 0: abcdefghijklmnopqrstuvwxyz\t\t2\n'
            b'\n'
            b'Total 1 different numbers, 1 most used numbers:\n'
            b'No. 0: 0123456789\t\t1\n'
        ),
        stderr=b'',
        status=0,
    ),
    Case(
        name="every_byte_reversed",
        why="all 256 codes from 255 down",
        input=bytes(range(255, -1, -1)) * 2,
        stdout=(
            b'2 6 512\n'
            b'Total 256 different characters, 5 most used characters:\n'
            b'No. 0: \x00\t\t2\n'
            b'No. 1: \x01\t\t2\n'
            b'No. 2: \x02\t\t2\n'
            b'No. 3: \x03\t\t2\n'
            b'No. 4: \x04\t\t2\n'
            b'\n'
            b'Total 1 different identifiers, 1 most used identifiers:\n'
            b'No. 0: zyxwvutsrqponmlkjihgfedcba\t\t4\n'
            b'\n'
            b'Total 1 different numbers, 1 most used numbers:\n'
            b'No. 0: 9876543210\t\t2\n'
        ),
        stderr=b'',
        status=0,
    ),
    Case(
        name="identifiers_full_exactly",
        why="30000 distinct identifiers fit; known keys still count",
        input=b"".join(b"w%d " % i for i in range(30000)) + b"w7 w7 w29999\n",
        stdout=(
            b'1 30003 198903\n'
            b'Total 13 different characters, 5 most used characters:\n'
            b'No. 0: w\t\t30003\n'
            b'No. 1:  \t\t30002\n'
            b'No. 2: 2\t\t22001\n'
            b'No. 3: 1\t\t22000\n'
            b'No. 4: 9\t\t12004\n'
            b'\n'
            b'Total 30000 different identifiers, 5 most used identifiers:\n'
            b'No. 0: w7\t\t3\n'
            b'No. 1: w29999\t\t2\n'
            b'No. 2: w0\t\t1\n'
            b'No. 3: w1\t\t1\n'
            b'No. 4: w2\t\t1\n'
            b'\n'
            b'Total 0 different numbers, 0 most used numbers:\n'
        ),
        stderr=b'',
        status=0,
    ),
    stop("identifiers_overflow", "the 30001st distinct identifier stops the run",
         b"".join(b"w%d\n" % i for i in range(30001)),
         b'Too many different identifiers (limit 30000)!! Exit.\n'),
    Case(
        name="numbers_full_exactly",
        why="30000 distinct numbers fit; known keys still count",
        input=b"".join(b"%d\n" % i for i in range(30000)) + b"42 42\n",
        stdout=(
            b'30001 30002 168896\n'
            b'Total 12 different characters, 5 most used characters:\n'
            b'No. 0: \\n\t\t30001\n'
            b'No. 1: 2\t\t22002\n'
            b'No. 2: 1\t\t22000\n'
            b'No. 3: 4\t\t12002\n'
            b'No. 4: 3\t\t12000\n'
            b'\n'
            b'Total 0 different identifiers, 0 most used identifiers:\n'
            b'\n'
            b'Total 30000 different numbers, 5 most used numbers:\n'
            b'No. 0: 42\t\t3\n'
            b'No. 1: 0\t\t1\n'
            b'No. 2: 1\t\t1\n'
            b'No. 3: 2\t\t1\n'
            b'No. 4: 3\t\t1\n'
        ),
        stderr=b'',
        status=0,
    ),
    stop("numbers_overflow", "the 30001st distinct number stops the run",
         b" ".join(b"%05d" % i for i in range(30001)),
         b'Too many different numbers (limit 30000)!! Exit.\n'),
    stop("overflow_before_too_long", "the first stop in the input wins",
         b"".join(b"n%d " % i for i in range(30001)) + b"q" * 300,
         b'Too many different identifiers (limit 30000)!! Exit.\n'),
    stop("too_long_before_overflow", "the first stop in the input wins",
         b"".join(b"n%d " % i for i in range(29999)) + b"7" * 255 + b" x y z",
         b'Number ' + b'7' * 255 + b" too long!! Exit.\n"),
    Case(
        name="case_variants_beyond_cache",
        why="60000 spellings of 15000 identifiers: case variants meet under one key",
        input=b"".join(b"%s%d " % (v, i) for i in range(15000) for v in (b"ab", b"Ab", b"aB", b"AB")) + b"\n",
        stdout=(
            b'1 60000 435561\n'
            b'Total 16 different characters, 5 most used characters:\n'
            b'No. 0:  \t\t60000\n'
            b'No. 1: 1\t\t46000\n'
            b'No. 2: A\t\t30000\n'
            b'No. 3: B\t\t30000\n'
            b'No. 4: a\t\t30000\n'
            b'\n'
            b'Total 15000 different identifiers, 5 most used identifiers:\n'
            b'No. 0: ab0\t\t4\n'
            b'No. 1: ab1\t\t4\n'
            b'No. 2: ab2\t\t4\n'
            b'No. 3: ab3\t\t4\n'
            b'No. 4: ab4\t\t4\n'
            b'\n'
            b'Total 0 different numbers, 0 most used numbers:\n'
        ),
        stderr=b'',
        status=0,
    ),
    Case(
        name="long_identifiers",
        why="identifiers of 28, 29 and 100 characters are counted like short ones",
        input=b" ".join([b"k" * 28, b"K" * 28, b"k" * 29, b"x" * 100, b"X" * 100, b"k" * 28]) + b"\n",
        stdout=(
            b'1 6 319\n'
            b'Total 6 different characters, 5 most used characters:\n'
            b'No. 0: X\t\t100\n'
            b'No. 1: x\t\t100\n'
            b'No. 2: k\t\t85\n'
            b'No. 3: K\t\t28\n'
            b'No. 4:  \t\t5\n'
            b'\n'
            b'Total 3 different identifiers, 3 most used identifiers:\n'
            b'No. 0: kkkkkkkkkkkkkkkkkkkkkkkkkkkk\t\t3\n'
            b'No. 1: xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\t\t2\n'
            b'No. 2: kkkkkkkkkkkkkkkkkkkkkkkkkkkkk\t\t1\n'
            b'\n'
            b'Total 0 different numbers, 0 most used numbers:\n'
        ),
        stderr=b'',
        status=0,
    ),
    Case(
        name="short_spelling_limit",
        why="spellings of 24 and 25 characters, either side of the cache's short entries",
        input=b" ".join([b"a" * 24, b"A" * 24, b"a" * 25, b"A" * 25, b"aA" * 12, b"b1" * 12 + b"c", b"1" * 24,
                         b"2" * 25, b"1" * 24]) + b"\n",
        stdout=(
            b'1 9 229\n'
            b'Total 8 different characters, 5 most used characters:\n'
            b'No. 0: A\t\t61\n'
            b'No. 1: a\t\t61\n'
            b'No. 2: 1\t\t60\n'
            b'No. 3: 2\t\t25\n'
            b'No. 4: b\t\t12\n'
            b'\n'
            b'Total 3 different identifiers, 3 most used identifiers:\n'
            b'No. 0: aaaaaaaaaaaaaaaaaaaaaaaa\t\t3\n'
            b'No. 1: aaaaaaaaaaaaaaaaaaaaaaaaa\t\t2\n'
            b'No. 2: b1b1b1b1b1b1b1b1b1b1b1b1c\t\t1\n'
            b'\n'
            b'Total 2 different numbers, 2 most used numbers:\n'
            b'No. 0: 111111111111111111111111\t\t2\n'
            b'No. 1: 2222222222222222222222222\t\t1\n'
        ),
        stderr=b'',
        status=0,
    ),
    Case(
        name="stdin_is_directory",
        why="a read error is a failure, not end of input",
        input=DIRECTORY,
        stdout=b"",
        stderr=b"tally: cannot read standard input: %s\n" % os.strerror(errno.EISDIR).encode(),
        status=1,
    ),
    Case(
        name="stdin_closed",
        why="a closed standard input is a read error",
        input=CLOSED,
        stdout=b"",
        stderr=b"tally: cannot read standard input: %s\n" % os.strerror(errno.EBADF).encode(),
        status=1,
    ),
    Case(
        name="stdout_full",
        why="a failed write of the report is a failure",
        input=b"abc\n",
        stdout=b"",
        stderr=b"tally: cannot write standard output: %s\n" % os.strerror(errno.ENOSPC).encode(),
        status=1,
        stdout_to="/dev/full",
    ),
    Case(
        name="stdout_full_after_stop",
        why="a stop writes only to standard error",
        input=b"9" * 255,
        stdout=b"",
        stderr=b"Number " + b"9" * 255 + b" too long!! Exit.\n",
        status=1,
        stdout_to="/dev/full",
    ),
    # Files of 192 KiB and more are shared between threads, each counting a
    # half; through a pipe a second thread reads. The report is the same.
    Case(
        name="halves_first_seen_order",
        why="a key first met in the second half ties with one of the first and comes after it",
        input=b"Zeta 7\n" * 75000 + b"L" * 254 + b"\n" + b"beta 3\n" * 75000,
        stdout=(
            b'150001 300001 1050255\n'
            b'Total 10 different characters, 5 most used characters:\n'
            b'No. 0: \\n\t\t150001\n'
            b'No. 1:  \t\t150000\n'
            b'No. 2: a\t\t150000\n'
            b'No. 3: e\t\t150000\n'
            b'No. 4: t\t\t150000\n'
            b'\n'
            b'Total 3 different identifiers, 3 most used identifiers:\n'
            b'No. 0: zeta\t\t75000\n'
            b'No. 1: beta\t\t75000\n'
            b'No. 2: ' + b'l' * 254 + b'\t\t1\n'
            b'\n'
            b'Total 2 different numbers, 2 most used numbers:\n'
            b'No. 0: 7\t\t75000\n'
            b'No. 1: 3\t\t75000\n'
        ),
        stderr=b'',
        status=0,
    ),
    stop("halves_full_table_before_too_long",
         "the 30001st identifier, in the second half, stops before a later token too long",
         b"a b\n" * 200000 + b" ".join(b"k%d" % i for i in range(30001)) + b" " + b"Q" * 255,
         b"Too many different identifiers (limit 30000)!! Exit.\n"),
    stop("halves_too_long_before_full_table",
         "a token too long in the second half stops before a later 30001st identifier",
         b"a b\n" * 200000 + b"Q" * 255 + b" " + b" ".join(b"k%d" % i for i in range(30001)),
         b"Word " + b"q" * 255 + b" too long!! Exit.\n"),
    Case(
        name="ignored_arguments",
        why="arguments other than --help and --version change nothing",
        input=b"",
        stdout=EMPTY_REPORT,
        stderr=b"",
        status=0,
        args=["-l", "some-file.txt", "--"],
    ),
    Case(
        name="help",
        why="--help prints the usage and does not read the input",
        input=CLOSED,
        stdout=USAGE,
        stderr=b"",
        status=0,
        args=["--help"],
    ),
    Case(
        name="help_to_full",
        why="a failed write of the help is a failure too",
        input=b"",
        stdout=b"",
        stderr=b"tally: cannot write standard output: %s\n" % os.strerror(errno.ENOSPC).encode(),
        status=1,
        args=["--help"],
        stdout_to="/dev/full",
    ),
    Case(
        name="version",
        why="--version prints the version",
        input=b"",
        stdout=b"tally 1.3.0\n",
        stderr=b"",
        status=0,
        args=["x", "--version"],
    ),
    Case(
        name="unknown_forced_path",
        why="a scanning path that does not exist is refused",
        input=b"",
        stdout=b"",
        stderr=b"tally: TALLY_FORCE_PATH names no scanning path this CPU supports\n",
        status=1,
        env={"TALLY_FORCE_PATH": "sse9"},
    ),
]
