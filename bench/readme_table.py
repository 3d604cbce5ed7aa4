#!/usr/bin/env python3
"""Copies the timings of bench/RESULTS.md into the README's speed table:
one row per text, in the order of RESULTS.md, with tally and 1.2.2 on
both CPUs and on one, tally through a pipe, `wc`, and tally / wc.
usage: bench/readme_table.py   (from the repository's root)
"""
import re

COLUMNS = ["tally < file", "tally-1.2.2 < file", "taskset -c 0 tally < file",
           "taskset -c 0 tally-1.2.2 < file", "cat file | tally", "LC_ALL=C wc < file"]
ROW = re.compile(r"\| (.+?) \| (.+?) \| `(.+?)` \| ([0-9.]+) \| [0-9.]+ \| [0-9]+ \| ([0-9.]+) \|$")


def ms(value):
    return f"{value:.2f} ms" if value < 10 else f"{value:.0f} ms"


texts = {}
for line in open("bench/RESULTS.md").read().splitlines():
    m = ROW.match(line)
    if m:
        name, size, command, median, ratio = m.groups()
        text = texts.setdefault(name, {"size": size})
        text[command.replace("\\|", "|")] = (float(median), float(ratio))
rows = [f"| {name} | {t['size']} | " + " | ".join(ms(t[c][0]) for c in COLUMNS) +
        f" | {t[COLUMNS[0]][1]:.2f} |"
        for name, t in texts.items() if all(c in t for c in COLUMNS)]
readme = open("README.md").read().splitlines()
head = next(i for i, line in enumerate(readme) if line.startswith("| input | size | `tally < file`"))
end = head + 2
while readme[end].startswith("|"):
    end += 1
readme[head + 2:end] = rows
open("README.md", "w").write("\n".join(readme) + "\n")
