#!/usr/bin/env python3
"""Measures how far the traced late decay falls short of exact image sources in rectangular rooms.

    late_decay.py [--tolveno PATH] [--reference PATH] [--levels 8,10] [--only CASE] [--keep DIR]

For each case a box is written (model, materials, settings, an omnidirectional
loudspeaker), traced by tolveno at each Level on one thread with Diffusion and
Diffraction off, and its receivers' T30 compared with those of the exact
image-source response (tolveno_late_reference, built with -DTOLVENO_BENCH=ON):
the same sound speed, air attenuation, Time and Precision, and the same
Schroeder fit for both (the reference program's). Every wall has the case's
absorption in all ten bands, so the bands differ by their air attenuation only.

Prints two Markdown tables: the band of the case (image-source T30 as the mean
over receivers; traced T30 error, mean over receivers and worst receiver; run
time of tolveno), then the mean error of every band whose T30 both sides give.

Cases (--only takes one name):
  a03-500   10 x 8 x 4 m, alpha 0.3, 500 Hz, 29 receivers
  a01-125   10 x 8 x 4 m, alpha 0.1, 125 Hz, 29 receivers
  a02-250   10 x 8 x 4 m, alpha 0.2, 250 Hz, 29 receivers
  hall-1k   20 x 30 x 12 m, alpha 0.115, 1 kHz, one receiver
  a001      10 x 8 x 4 m, alpha 0.01, 31.5 Hz, one receiver, Time 16 s: not run unless asked with --only
            (its image sources take half a minute).
            No setting makes the air lossless (Humidity is at least 5 %); at 31.5 Hz and
            100 % humidity it takes 2e-4 of the energy over 17 s, which is as good.
"""
import argparse
import math
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # importing make_model leaves no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_model  # noqa: E402  (the benchmark models' writer and loudspeaker)

BANDS = ["31.5", "63", "125", "250", "500", "1k", "2k", "4k", "8k", "16k"]
BOX = (10.0, 8.0, 4.0)
BOX_SOURCE = (2.3, 3.1, 1.5)

# name: size, source, absorption, band index, receivers (count or list), Time (s), Precision (s), Humidity (%).
# Time lets the decay fall well past -35 dB (about 1.5 T30: a shorter one shortens the T30 of both sides); the hall's absorption is chosen so that its
# image-source T30 is near the 5.3 s of issue 18, which does not give it.
CASES = {
    "a03-500": (BOX, BOX_SOURCE, 0.3, 4, 29, 1.0, 0.002, 50),
    "a01-125": (BOX, BOX_SOURCE, 0.1, 2, 29, 3.3, 0.002, 50),
    "a02-250": (BOX, BOX_SOURCE, 0.2, 3, 29, 1.6, 0.002, 50),
    "hall-1k": ((20.0, 30.0, 12.0), (4.7, 7.9, 1.6), 0.115, 5, [(12.6, 19.3, 1.2)], 8.0, 0.002, 50),
    "a001": (BOX, BOX_SOURCE, 0.01, 0, 1, 16.0, 0.01, 100),
}
DEFAULT_CASES = ["a03-500", "a01-125", "a02-250", "hall-1k"]

# LateCorrection of the traced runs (--late).
LATE = 0

def settings(time_s, precision, humidity):
    """The benchmark models' settings with this case's Time, Precision and Humidity, and LateCorrection."""
    text = make_model.SETTINGS
    for key, value in (("Time", time_s), ("Precision", precision), ("Humidity", humidity)):
        text = re.sub(r"^%s = .*$" % key, "%s = %g" % (key, value), text, flags=re.M)
    return text + "LateCorrection = %d\n" % LATE


def receivers(size, source, count, seed=18):
    """count points drawn with a fixed seed, at least 0.5 m from every wall and 1 m from the source."""
    rng = random.Random(seed)
    points = []
    while len(points) < count:
        p = tuple(round(rng.uniform(0.5, length - 0.5), 3) for length in size)
        if math.dist(p, source) >= 1.0:
            points.append(p)
    return points


def box_faces(size):
    """The six faces of the box [0, Lx] x [0, Ly] x [0, Lz], each a list of four corners."""
    lx, ly, lz = size
    return [
        [(0, 0, 0), (lx, 0, 0), (lx, ly, 0), (0, ly, 0)],
        [(0, 0, lz), (0, ly, lz), (lx, ly, lz), (lx, 0, lz)],
        [(0, 0, 0), (0, 0, lz), (lx, 0, lz), (lx, 0, 0)],
        [(0, ly, 0), (lx, ly, 0), (lx, ly, lz), (0, ly, lz)],
        [(0, 0, 0), (0, ly, 0), (0, ly, lz), (0, 0, lz)],
        [(lx, 0, 0), (lx, 0, lz), (lx, ly, lz), (lx, ly, 0)],
    ]


def write_case(folder, name, case):
    """Writes the model, materials, settings and loudspeaker of a case; answers the model path and receivers."""
    size, source, alpha, _, spots, time_s, precision, humidity = case
    points = spots if isinstance(spots, list) else receivers(size, source, spots)
    out = make_model.Writer()
    for corners in box_faces(size):
        out.face(1, corners)
    centre = tuple(length / 2 for length in size)
    out.source(source, centre)
    for p in points:
        out.receiver(p, source)
    base = os.path.join(folder, name)
    files = {
        base + ".ray": out.text(),
        base + ".material": "Material of the late-decay benchmark: absorption, transmission loss, scattering.\n"
                            "1 Wall, %s, %s, %s\n" % (" ".join(["%g" % alpha] * 10), " ".join(["999.9"] * 10),
                                                        " ".join(["0.05"] * 10)),
        base + ".ini": settings(time_s, precision, humidity),
        os.path.join(folder, make_model.SPEAKER): make_model.speaker_text(),
    }
    for path, text in files.items():
        with open(path, "w") as f:
            f.write(text)
    return base, points


def csv(values):
    return ",".join("%g" % v for v in values)


def parse_t30(text):
    return [[float(v) for v in line.split()] for line in text.strip().splitlines()]


def reference_t30(reference, base, case, points):
    size, source, alpha = case[0], case[1], case[2]
    args = [reference, "images", base + ".ini", csv(size), csv([alpha] * 10), csv(source)] + [csv(p) for p in points]
    return parse_t30(subprocess.run(args, check=True, capture_output=True, text=True).stdout)


def impulse_responses(results):
    """Every receiver's impulse response rows from a results file, without the last row (energy beyond Time)."""
    responses, rows, reading = [], None, False
    with open(results, encoding="latin-1") as f:
        for line in f:
            if line.startswith("[Microphone_"):
                reading, rows = False, []
                responses.append(rows)
            elif line.startswith(" Impulse response =") and rows is not None:
                reading = True
            elif reading:
                values = line.split()
                if len(values) != 10:
                    reading = False
                    continue
                rows.append(values)
    return [r[:-1] for r in responses]


def traced_t30(tolveno, reference, base, level, precision):
    """Runs tolveno at a Level; answers the receivers' T30 and the run's wall time."""
    folder, model = os.path.split(base)
    start = time.monotonic()
    run = subprocess.run([tolveno, model + ".ray", "/L%d" % level, "/O1"], cwd=folder, capture_output=True, text=True)
    elapsed = time.monotonic() - start
    if run.returncode != 0:
        sys.exit("tolveno failed on %s (status %d):\n%s" % (model, run.returncode, run.stderr[-2000:]))
    text = "".join(" ".join(row) + "\n" for r in impulse_responses(base + ".___") for row in r + [[]])
    decay = subprocess.run([reference, "decay", "%g" % precision], input=text, check=True, capture_output=True,
                           text=True)
    return parse_t30(decay.stdout), elapsed


def errors(traced, exact, band):
    """Per receiver, the traced T30's error in % of the exact one, where both are defined."""
    out = []
    for t, e in zip(traced, exact):
        if math.isfinite(t[band]) and math.isfinite(e[band]):
            out.append(100 * (t[band] / e[band] - 1))
        else:
            out.append(float("nan"))
    return out


def mean(values):
    return sum(values) / len(values) if values else float("nan")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    build = os.path.join(here, "..", "build-rel")
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--tolveno", default=os.path.join(build, "tolveno"))
    parser.add_argument("--reference", default=os.path.join(build, "tolveno_late_reference"))
    parser.add_argument("--levels", default="8,10", help="comma-separated Levels (at most 12 advised)")
    parser.add_argument("--only", choices=sorted(CASES), help="run this case alone")
    parser.add_argument("--keep", help="write the cases into this folder and keep them")
    parser.add_argument("--late", action="store_true", help="trace with LateCorrection = 1")
    args = parser.parse_args()
    global LATE
    LATE = 1 if args.late else 0
    levels = [int(v) for v in args.levels.split(",")]
    names = [args.only] if args.only else DEFAULT_CASES
    folder = os.path.abspath(args.keep) if args.keep else tempfile.mkdtemp(prefix="late_decay_")
    os.makedirs(folder, exist_ok=True)
    main_rows, band_rows = [], []
    try:
        for name in names:
            case = CASES[name]
            band, precision = case[3], case[6]
            base, points = write_case(folder, name, case)
            exact = reference_t30(args.reference, base, case, points)
            for level in levels:
                traced, elapsed = traced_t30(args.tolveno, args.reference, base, level, precision)
                e = [v for v in errors(traced, exact, band) if math.isfinite(v)]
                worst = max(e, key=abs) if e else float("nan")
                main_rows.append("| %s | %d | %.3f s | %+.1f %% | %+.1f %% | %.1f |" % (
                    name, level, mean([x[band] for x in exact]), mean(e), worst, elapsed))
                per_band = []
                for b in range(10):
                    eb = [v for v in errors(traced, exact, b) if math.isfinite(v)]
                    per_band.append("%+.1f" % mean(eb) if len(eb) == len(points) else "")
                band_rows.append("| %s | %d | %s |" % (name, level, " | ".join(per_band)))
                print("%s L%d done" % (name, level), file=sys.stderr)
    finally:
        if not args.keep:
            shutil.rmtree(folder)
    print("| case | Level | image-source T30 (receiver mean) | traced T30 error, mean | worst receiver | run time s |")
    print("|---|---|---|---|---|---|")
    print("\n".join(main_rows))
    print()
    print("Mean traced T30 error per band, % (empty: T30 not defined at every receiver):")
    print()
    print("| case | Level | " + " | ".join(BANDS) + " |")
    print("|---|---|" + "---|" * 10)
    print("\n".join(band_rows))


if __name__ == "__main__":
    main()
