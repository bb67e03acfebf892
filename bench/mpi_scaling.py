#!/usr/bin/env python3
"""Times tolveno and tolveno-mpi on the benchmark hall (2,035 faces, 50
receivers): one process on one and two threads, and mpirun with 1, 2 and 4
processes of one thread each (--oversubscribe beyond the cores). Prints one
Markdown table of median wall times, with the speed-up against tolveno /O1;
checks that every run wrote the results of tolveno /O1 (dates and times masked).

    bench/mpi_scaling.py --build BUILD_DIR [--runs 3] [--work DIR]

Build first, e.g. cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release &&
cmake --build build-bench --target tolveno tolveno-mpi. Run it on an otherwise idle machine.
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
MASK = re.compile(rb"^((?:Date|Time) +=|Processing(?: time)? *=)[^\r\n]*", re.M)
ENV = dict(os.environ, OMPI_ALLOW_RUN_AS_ROOT="1", OMPI_ALLOW_RUN_AS_ROOT_CONFIRM="1")
CASES = [
    ("hall_r50, Diffusion, Level 12", ["/L12", "/T0.3", "/N1", "/D0"]),
    ("hall_r50, Level 14", ["/L14", "/T0.3", "/N0", "/D0"]),
]


def configurations(build):
    tolveno, mpi = os.path.join(build, "tolveno"), os.path.join(build, "tolveno-mpi")
    return [
        ("tolveno /O1", [tolveno], ["/O1"]),
        ("tolveno /O2", [tolveno], ["/O2"]),
        ("mpirun -np 1, /O1", ["mpirun", "-np", "1", mpi], ["/O1"]),
        ("mpirun -np 2, /O1", ["mpirun", "-np", "2", mpi], ["/O1"]),
        ("mpirun -np 4 --oversubscribe, /O1", ["mpirun", "-np", "4", "--oversubscribe", mpi], ["/O1"]),
    ]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--work", default=None)
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    work = os.path.abspath(args.work or os.path.join(build, "mpi-scaling"))
    shutil.rmtree(work, ignore_errors=True)
    subprocess.run([sys.executable, os.path.join(HERE, "make_model.py"), "hall", "--receivers", "50",
                    "-o", os.path.join(work, "hall")], check=True, stdout=subprocess.DEVNULL)
    print("| case | run | wall s (median of %d) | speed-up | same results |" % args.runs)
    print("|---|---|--:|--:|---|")
    runs = configurations(build)
    for case, flags in CASES:
        # Round after round over every configuration, so that a drift of the machine's speed touches them all.
        times = {name: [] for name, _, _ in runs}
        reference, same = None, {name: True for name, _, _ in runs}
        for _ in range(args.runs):
            for name, command, threads in runs:
                for stale in ("hall.___", "hall.bak"):
                    if os.path.exists(os.path.join(work, stale)):
                        os.remove(os.path.join(work, stale))
                start = time.monotonic()
                subprocess.run(command + ["hall"] + flags + threads, cwd=work, env=ENV, check=True,
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                times[name].append(time.monotonic() - start)
                with open(os.path.join(work, "hall.___"), "rb") as f:
                    # The thread count in force is written: the runs of one thread compare with /O1 byte for byte.
                    results = MASK.sub(rb"\1", f.read()).replace(b"OpenMP            = 2", b"OpenMP            = 1")
                reference = reference or results
                same[name] = same[name] and results == reference
        base = statistics.median(times[runs[0][0]])
        for name, _, _ in runs:
            wall = statistics.median(times[name])
            print("| %s | %s | %.2f | %.2f | %s |" % (case, name, wall, base / wall, "yes" if same[name] else "NO"),
                  flush=True)


if __name__ == "__main__":
    main()
