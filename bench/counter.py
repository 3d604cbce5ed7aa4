#!/usr/bin/env python3
"""The same statistics as tally, the way a Python user would get them:
collections.Counter over a regular expression. A peer for the benchmark."""

import collections
import re
import sys

TOKEN = re.compile(rb"[A-Za-z][A-Za-z0-9]*|[0-9]+")


def main():
    data = sys.stdin.buffer.read()
    chars = collections.Counter({c: data.count(bytes([c])) for c in range(256)})
    words = collections.Counter()
    numbers = collections.Counter()
    for token in TOKEN.findall(data):
        if token[0] <= 0x39:
            numbers[token] += 1
        else:
            words[token.lower()] += 1
    tokens = sum(words.values()) + sum(numbers.values())
    print(data.count(b"\n"), tokens, len(data))
    for name, counter in (("characters", +chars), ("identifiers", words), ("numbers", numbers)):
        print(name, len(counter), counter.most_common(5))


if __name__ == "__main__":
    main()
