#!/usr/bin/env python3
"""Times runs against each other on a machine whose speed drifts: every
configuration once per round, round after round, so that a drift touches them
all alike. Prints each one's median wall time and the median over the rounds
of its time divided by the first configuration's time in the same round (the
ratio that survives the drift), with the spread of those ratios.

    bench/ab.py --folder DIR --model NAME --runs 15 \\
        "one thread=build-bench/tolveno /L12 /T0.3 /O1 /N0 /D0" \\
        "two threads=build-bench/tolveno /L12 /T0.3 /O2 /N0 /D0"

A configuration is LABEL=PROGRAM FLAGS...: the same model traced by two builds
(before and after a change) or with other flags. Runs in DIR; their output
files are overwritten. A label starting with "2x" runs two copies at once (the
second in a copy of DIR): against a one-thread run alone, twice its ratio is
what two cores give two independent processes, the ceiling for two threads.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import time


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--folder", required=True)
    parser.add_argument("--model", required=True)
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("configurations", nargs="+")
    args = parser.parse_args()
    runs = []
    for text in args.configurations:
        label, command = text.split("=", 1)
        program, *flags = command.split()
        runs.append((label, [os.path.abspath(program), args.model] + flags))
    second = args.folder.rstrip("/") + "-2"
    if any(label.startswith("2x") for label, _ in runs):
        shutil.rmtree(second, ignore_errors=True)
        shutil.copytree(args.folder, second)
    times = {label: [] for label, _ in runs}
    for _ in range(args.runs):
        for label, command in runs:
            folders = [args.folder, second] if label.startswith("2x") else [args.folder]
            start = time.perf_counter()
            started = [subprocess.Popen(command, cwd=folder, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL) for folder in folders]
            if any(run.wait() != 0 for run in started):
                raise SystemExit("%s failed" % label)
            times[label].append(time.perf_counter() - start)
    first = times[runs[0][0]]
    print("| run | wall s (median of %d) | against %s (median, quartiles) |" % (args.runs, runs[0][0]))
    print("|---|--:|--:|")
    for label, _ in runs:
        ratios = sorted(a / b for a, b in zip(first, times[label]))
        q = statistics.quantiles(ratios, n=4) if len(ratios) > 1 else [ratios[0]] * 3
        print("| %s | %.3f | %.2f x (%.2f to %.2f) |" % (label, statistics.median(times[label]), q[1], q[0], q[2]))


if __name__ == "__main__":
    main()
