#!/usr/bin/env python3
"""Builds tolveno twice, with the spatial index and with -DTOLVENO_LINEAR_SCAN=ON
(both Release, in build-compare/), traces the same cases with both on one thread
(/O1) and compares the results files (and hits files) byte for byte. Only the build's and the
run's dates and times and the processing times are masked: they differ between
any two runs.

    tests/model/compare_scan.py            # every case (about 4 minutes on 2 cores, builds included)
    tests/model/compare_scan.py --quick    # the examples and the 100-face room only

Exits 0 when every results file matches, 1 otherwise.
"""
import os
import re
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
OUT = os.path.join(ROOT, "build-compare")
MASK = re.compile(rb"^((?:Date|Time) +=|Processing(?: time)? *=)[^\r\n]*", re.M)

# (case name, model folder in the work folder, model name, flags)
CASES = [
    ("room", "examples", "room", "/O1"),
    ("room, clones, Diffusion, Diffraction", "examples", "room", "/O1 /K3 /N1 /D1 /L7"),
    ("outdoor, edges", "examples", "outdoor", "/O1 /D1 /L12"),
    ("outdoor, thick edges", "examples", "outdoor", "/O1 /D2 /L12"),
    ("outdoor, top point", "examples", "outdoor", "/O1 /D50 /L10"),
    ("outdoor, graph", "examples", "outdoor", "/O1 /D98 /L10"),
    ("outdoor, graph in two sections", "examples", "outdoor", "/O1 /D99 /L10"),
    ("room of 104 faces, openings, clones, Diffusion, Diffraction", "r100", "r100", "/O1 /L9 /T0.3 /K3 /N1 /D1"),
    ("room of 104 faces, hits file", "r100", "r100", "/O1 /L8 /T0.3 /S3 /D1"),
    ("hall of 2,035 faces, Diffusion, Diffraction", "hall", "hall", "/O1 /L7 /T0.2 /N1 /D1"),
    ("hall, thick edges", "hall", "hall", "/O1 /L7 /T0.2 /D2"),
    ("hall, sections by the graph", "hall", "hall", "/O1 /L6 /T0.2 /D99"),
    ("room of 9,930 faces, openings, clones, Diffusion", "r10000", "r10000", "/O1 /L6 /T0.12 /K2 /N1 /D1"),
    ("town of 2,001 faces, hull", "town", "town", "/O1 /L8 /T1 /D3"),
    ("town, graph in two sections", "town", "town", "/O1 /L8 /T1 /D99"),
]
QUICK = 9


def build(name, extra):
    folder = os.path.join(OUT, name)
    subprocess.run(["cmake", "-S", ROOT, "-B", folder, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release"] + extra,
                   check=True, stdout=subprocess.DEVNULL)
    lock = ["flock", "/tmp/tolveno-build.lock"] if shutil.which("flock") else []
    subprocess.run(lock + ["cmake", "--build", folder, "--target", "tolveno"], check=True, stdout=subprocess.DEVNULL)
    return os.path.join(folder, "tolveno")


def prepare(work, quick):
    """The model folders: the examples, and generated rooms with openings, the hall and a town."""
    shutil.rmtree(work, ignore_errors=True)
    shutil.copytree(os.path.join(ROOT, "examples"), os.path.join(work, "examples"),
                    ignore=shutil.ignore_patterns("*.___", "*.bak", "*.log", "*$*"))
    make = [sys.executable, os.path.join(ROOT, "bench", "make_model.py")]
    models = [("r100", ["room", "--faces", "100", "--receivers", "30", "--openings"])]
    if not quick:
        models += [("hall", ["hall", "--receivers", "40"]),
                   ("r10000", ["room", "--faces", "10000", "--receivers", "4", "--openings"]),
                   ("town", ["town", "--faces", "2000", "--receivers", "100"])]
    for name, args in models:
        subprocess.run(make + args + ["-o", os.path.join(work, name, name)], check=True, stdout=subprocess.DEVNULL)


def trace(binary, work, case, copy):
    """Traces one case in a fresh copy of its model folder; answers the masked results file, or None."""
    _, folder, model, flags = case
    place = os.path.join(work, copy, folder)
    shutil.rmtree(place, ignore_errors=True)
    shutil.copytree(os.path.join(work, folder), place)
    run = subprocess.run([binary, model] + flags.split(), cwd=place, capture_output=True, stdin=subprocess.DEVNULL)
    # The results file, and the hits file where the case writes one.
    text = b""
    for name in (model + ".___", model + ".@__"):
        if os.path.exists(os.path.join(place, name)):
            with open(os.path.join(place, name), "rb") as f:
                text += MASK.sub(rb"\1", f.read())
    return text if run.returncode == 0 else None


def main():
    quick = sys.argv[1:] == ["--quick"]
    indexed, scanned = build("index", []), build("scan", ["-DTOLVENO_LINEAR_SCAN=ON"])
    work = os.path.join(OUT, "work")
    prepare(work, quick)
    cases = CASES[:QUICK] if quick else CASES
    failures = 0
    for case in cases:
        a, b = trace(indexed, work, case, "with-index"), trace(scanned, work, case, "with-scan")
        failures += a is None or a != b
        print("%-9s %s (%s)" % ("same" if a is not None and a == b else "DIFFERENT", case[0], case[3]), flush=True)
    print("%d of %d results files differ" % (failures, len(cases)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
