#!/usr/bin/env python3
"""The benchmark: deterministic corpora, every command timed by hyperfine in
the same run, medians reported with their ratio to `tally < file`."""

import datetime
import json
import os
import platform
import re
import statistics
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build-bench")
TALLY = os.path.join(BUILD, "tally")
GEN = os.path.join(BUILD, "bench", "gen_corpus")
CORPORA = os.path.join(BUILD, "corpora")

QUICK = "--quick" in sys.argv
MB = 20 if QUICK else 200
FAST_RUNS = 5 if QUICK else 3
ROUNDS = 1 if QUICK else 10
SLOW_RUNS = 5

PIPELINE = "tr -cs 'A-Za-z0-9' '\\n' < {f} | tr A-Z a-z | sort | uniq -c | sort -rn | head -5"


def corpus(kind, mb):
    path = os.path.join(CORPORA, f"{kind}-{mb}.txt")
    if not os.path.exists(path):
        os.makedirs(CORPORA, exist_ok=True)
        with open(path + ".tmp", "wb") as out:
            subprocess.run([GEN, kind, str(mb)], stdout=out, check=True)
        os.rename(path + ".tmp", path)
    return path


def median_seconds(commands, runs, rounds=1):
    """Times each shell command with hyperfine, in `rounds` rounds of `runs`
    runs each, so that a burst of load on the machine falls on every command
    alike rather than on one; returns each command's median over all runs.
    Virtual machines slow down for seconds at a time, so rounds are many and
    short."""
    times = [[] for _ in commands]
    for round_ in range(rounds):
        with tempfile.NamedTemporaryFile(suffix=".json") as js:
            warmup = "1" if round_ == 0 else "0"
            subprocess.run(["hyperfine", "--warmup", warmup, "--runs", str(runs), "--export-json",
                            js.name, "--style", "none"] + commands, check=True,
                           stdout=subprocess.DEVNULL)
            for i, r in enumerate(json.load(open(js.name))["results"]):
                times[i] += r["times"]
    return [statistics.median(t) for t in times]


def peak_rss_kb(path):
    p = subprocess.run(f"/usr/bin/time -v {TALLY} < {path} > /dev/null", shell=True,
                       stderr=subprocess.PIPE, text=True)
    return int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", p.stderr).group(1))


def cpu_model():
    for line in open("/proc/cpuinfo"):
        if line.startswith("model name"):
            return line.split(":", 1)[1].strip()
    return platform.processor()


def main():
    rows = []
    checks = []
    medians = {}
    for kind in ("english", "code", "allbytes", "distinct"):
        f = corpus(kind, MB)
        size = os.path.getsize(f)
        fast = {
            "tally < file": f"{TALLY} < {f} > /dev/null",
            "cat file | tally": f"cat {f} | {TALLY} > /dev/null",
            "LC_ALL=C wc < file": f"LC_ALL=C wc < {f} > /dev/null",
        }
        slow = {
            "tr | tr | sort | uniq -c | sort -rn | head": PIPELINE.format(f=f) + " > /dev/null",
            "python3 counter.py (collections.Counter)": f"python3 {ROOT}/bench/counter.py < {f} > /dev/null",
        }
        times = dict(zip(fast, median_seconds(list(fast.values()), FAST_RUNS, ROUNDS)))
        times.update(zip(slow, median_seconds(list(slow.values()), SLOW_RUNS)))
        base = times["tally < file"]
        medians[kind] = times
        for name, t in times.items():
            rows.append((f"{kind} ({size / 1e6:.0f} MB)", name, t, size / t / 1e6, t / base))
        print(f"{kind}: " + ", ".join(f"{n} {t:.3f}s" for n, t in times.items()), flush=True)

    # Linearity: the English corpus at a tenth of the size, in one hyperfine run.
    small = corpus("english", MB // 10)
    big = corpus("english", MB)
    t_small, t_big = median_seconds([f"{TALLY} < {small} > /dev/null", f"{TALLY} < {big} > /dev/null"],
                                    FAST_RUNS, ROUNDS)
    rss = {kind: peak_rss_kb(corpus(kind, MB)) for kind in ("english", "code", "allbytes", "distinct")}
    rss["maxkeys (every table full)"] = peak_rss_kb(corpus("maxkeys", 0))

    def target(text, ok):
        checks.append("| " + text.replace("|", "\\|") + f" | {'met' if ok else '**missed**'} |")

    for kind in ("english", "code"):
        r = medians[kind]["tally < file"] / medians[kind]["LC_ALL=C wc < file"]
        target(f"{kind}: `tally < file` / `wc < file` = {r:.3f} (target <= 0.15)", r <= 0.15)
        r = medians[kind]["cat file | tally"] / medians[kind]["tally < file"]
        target(f"{kind}: `cat file | tally` / `tally < file` = {r:.2f} (target <= 1.3)", r <= 1.3)
    r = t_big / t_small
    target(f"english: {MB} MB takes {r:.1f}x the time of {MB // 10} MB (target <= 11)", r <= 11)
    r = (os.path.getsize(corpus("distinct", MB)) / medians["distinct"]["tally < file"]) / (
        os.path.getsize(corpus("english", MB)) / medians["english"]["tally < file"])
    target(f"distinct throughput / english throughput = {r:.2f} (target >= 0.5)", r >= 0.5)
    worst = max(rss.values())
    target(f"peak resident memory, worst input: {worst / 1024:.1f} MB (target <= 24 MB)", worst <= 24 * 1024)

    lines = [
        "# Benchmark results",
        "",
        f"Measured by `bench/run{' --quick' if QUICK else ''}` on {datetime.date.today()}, "
        f"CPU: {cpu_model()}, {os.cpu_count()} cores. Files are in the page cache. Each time is "
        f"the median of {FAST_RUNS * ROUNDS} runs ({ROUNDS} hyperfine rounds of {FAST_RUNS}, all "
        f"fast commands of a corpus in each round), or of {SLOW_RUNS} runs for the two slow peers; "
        "every row of a corpus was measured in the same run. "
        "Ratio is time divided by the time of `tally < file` (lower is faster).",
        "",
        "| corpus | command | median s | MB/s | ratio to tally |",
        "|---|---|---:|---:|---:|",
    ]
    lines += [f"| {c} | `" + n.replace("|", "\\|") + f"` | {t:.3f} | {mbs:.0f} | {ratio:.2f} |"
              for c, n, t, mbs, ratio in rows]
    lines += ["", "## Targets", "", "| target | |", "|---|---|"] + checks
    lines += ["", "## Peak resident memory of `tally < file`", "", "| input | MB |", "|---|---:|"]
    lines += [f"| {k} | {v / 1024:.1f} |" for k, v in rss.items()]
    lines += ["", "The corpora come from `bench/gen_corpus.cc` (fixed seed): English-like text with "
              "Zipf-distributed words, C-like source, every byte value as separators between common "
              "words, and 30000 distinct identifiers cycling in a fixed order."]
    with open(os.path.join(ROOT, "bench", "RESULTS.md"), "w") as out:
        out.write("\n".join(lines) + "\n")
    print("\n".join(lines))


if __name__ == "__main__":
    main()
