#!/usr/bin/python3
"""Two builds timed alternately, round by round, with the benchmark program.

    tools/program_timing.py OLD_DIR NEW_DIR [--rounds N] [--filter REGEX]

OLD_DIR and NEW_DIR each hold a `yosta_bench` and a `yosta`. Every round
runs the old build's benchmarks and then the new build's, with the same
filter; the whole-program benchmarks (BM_program) time the `yosta` of their
own folder. Prints each benchmark's moves per second per round, the medians
and the ratio of the medians (new over old). A benchmark that only one build
has is shown for that build alone.
"""
import argparse
import json
import os
import statistics
import subprocess
import sys


def run_once(folder, pattern):
    env = dict(os.environ)
    env["YOSTA_BENCH_PROGRAM"] = os.path.join(folder, "yosta")
    out = subprocess.run(
        [os.path.join(folder, "yosta_bench"), "--benchmark_filter=" + pattern, "--benchmark_format=json"],
        env=env,
        check=True,
        capture_output=True,
        text=True,
    ).stdout
    rates = {}
    for b in json.loads(out)["benchmarks"]:
        if "moves_per_s" in b and not b.get("error_occurred"):
            rates[b["name"]] = (b["moves_per_s"], b.get("table_MB"), b.get("rspace"))
    return rates


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--filter", default="BM_program")
    args = parser.parse_args()
    seen = {"old": {}, "new": {}}
    for round_ in range(1, args.rounds + 1):
        for which, folder in (("old", args.old), ("new", args.new)):
            for name, value in run_once(folder, args.filter).items():
                seen[which].setdefault(name, []).append(value)
                print(f"round {round_} {which:3} {name:55} {value[0] / 1e6:8.3f} M/s", flush=True)
    print()
    print(f"{'benchmark':55} {'old M/s':>9} {'new M/s':>9} {'new/old':>8}  tables old/new MB, r-space old/new")
    for name in sorted(set(seen["old"]) | set(seen["new"])):
        cols = []
        extra = []
        for which in ("old", "new"):
            values = seen[which].get(name)
            if values:
                cols.append(statistics.median(v[0] for v in values))
                extra.append(f"{values[0][1]}/{values[0][2]}" if values[0][1] is not None else "-")
            else:
                cols.append(None)
                extra.append("-")
        ratio = f"{cols[1] / cols[0]:8.2f}" if None not in cols else " " * 8
        text = [f"{c / 1e6:9.3f}" if c is not None else " " * 9 for c in cols]
        print(f"{name:55} {text[0]} {text[1]} {ratio}  {extra[0]}  {extra[1]}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
