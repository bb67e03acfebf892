#!/usr/bin/env python3
"""Measures the late-decay correction where no image sources give the exact answer: a model traced at Level 10
plainly and with LateCorrection, each receiver's T30 (from the CSV the run writes) against a plain run at a high
Level.

    late_versus_level.py [--tolveno PATH] [--reference-level 15] [--only CASE] [--keep DIR]

Cases (--only takes one name):
  example    the bundled example room (directional loudspeaker, window, door, its own materials), Time 2.5 s
  lroom      an L-shaped room (legs 12 x 4 and 4 x 6 m, 3 m high, alpha 0.15) with the example's directional
             loudspeaker aimed into the corner, Diffraction 1 (receivers of the second leg hear the first
             around the corner), Time 1.2 s
  partition  a 16 x 10 x 4 m room, alpha 0.12, a full-height partition from one long wall to 2 m short of the
             other, the directional loudspeaker on one side, receivers on both (some shadowed), Diffraction 1,
             Time 1.6 s

Prints, per case and octave band 250 Hz to 4 kHz, the reference T30 (mean over receivers) and the mean and
worst receiver's error of the plain and the corrected Level 10 run, then the run times.
"""
import argparse
import csv
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLES = os.path.join(HERE, "..", "examples")
BANDS = ["250", "500", "1000", "2000", "4000"]


def uniform_material(alpha):
    return "1 Uniform, %s, %s, %s\n" % (" ".join(["%g" % alpha] * 10), " ".join(["999.9"] * 10), " ".join(["0"] * 10))


def box_faces(x0, y0, x1, y1, z):
    """Floor and ceiling of a rectangle, as model lines."""
    return [" Face 1 1 4 %g %g 0 %g %g 0 %g %g 0 %g %g 0" % (x0, y0, x1, y0, x1, y1, x0, y1),
            " Face 1 1 4 %g %g %g %g %g %g %g %g %g %g %g %g" % (x0, y0, z, x1, y0, z, x1, y1, z, x0, y1, z)]


def wall(a, b, z):
    return " Face 1 1 4 %g %g 0 %g %g 0 %g %g %g %g %g %g" % (a[0], a[1], b[0], b[1], b[0], b[1], z, a[0], a[1], z)


def lroom():
    lines = [" Face 1 1 6 0 0 0 12 0 0 12 4 0 4 4 0 4 10 0 0 10 0", " Face 1 1 6 0 0 3 12 0 3 12 4 3 4 4 3 4 10 3 0 10 3"]
    corners = [(0, 0), (12, 0), (12, 4), (4, 4), (4, 10), (0, 10)]
    lines += [wall(corners[i], corners[(i + 1) % 6], 3) for i in range(6)]
    lines.append(" Source 10 2 1.5 4 4 1.5 0 speaker.spk")
    for r in [(7, 1.3, 1.2), (4.5, 2.6, 1.6), (1.8, 1.5, 1.1), (2.1, 5.5, 1.4), (1.2, 7.4, 1.7), (3.0, 9.0, 1.3)]:
        lines.append(" Receiver %g %g %g 0 0 0" % r)
    return lines, uniform_material(0.15), {"Time": "1.2", "Diffraction": "1"}


def partition():
    lines = box_faces(0, 0, 16, 10, 4)
    corners = [(0, 0), (16, 0), (16, 10), (0, 10)]
    lines += [wall(corners[i], corners[(i + 1) % 4], 4) for i in range(4)]
    # Both sides of the partition reflect: one face, seen from either side.
    lines.append(wall((8, 0), (8, 8), 4))
    lines.append(" Source 3 3 1.5 10 9 1.5 0 speaker.spk")
    for r in [(5, 7, 1.2), (2, 8.5, 1.6), (6.5, 1.5, 1.1), (10, 2, 1.4), (13, 5, 1.7), (9.5, 9, 1.3), (14.5, 8.5, 1.2)]:
        lines.append(" Receiver %g %g %g 0 0 0" % r)
    return lines, uniform_material(0.12), {"Time": "1.6", "Diffraction": "1"}


CASES = {"example": None, "lroom": lroom, "partition": partition}


def write_case(folder, name):
    """The case's model, materials, settings (without Level and LateCorrection) and loudspeaker; answers the model name."""
    os.makedirs(folder, exist_ok=True)
    shutil.copy(os.path.join(EXAMPLES, "speaker.spk"), folder)
    if name == "example":
        for f in ("room.ray", "room.material"):
            shutil.copy(os.path.join(EXAMPLES, f), folder)
        with open(os.path.join(EXAMPLES, "room.ini"), encoding="latin-1") as f:
            settings = f.read().replace("Time = 0.5", "Time = 2.5")
        with open(os.path.join(folder, "room.ini"), "w", encoding="latin-1") as f:
            f.write(settings)
        return "room"
    lines, material, keys = CASES[name]()
    with open(os.path.join(folder, name + ".ray"), "w") as f:
        f.write("EntityList\n" + "\n".join(lines) + "\nEnd\n")
    with open(os.path.join(folder, name + ".material"), "w") as f:
        f.write(material)
    with open(os.path.join(EXAMPLES, "room.ini"), encoding="latin-1") as f:
        settings = f.read()
    for key, value in keys.items():
        settings = "\n".join(("%s = %s" % (key, value)) if line.startswith(key + " =") else line
                             for line in settings.splitlines()) + "\n"
    with open(os.path.join(folder, name + ".ini"), "w", encoding="latin-1") as f:
        f.write(settings)
    return name


def trace(tolveno, folder, model, level, late):
    """Traces a copy of the case at level; answers ({(receiver, band): T30}, seconds)."""
    run = folder + "-L%d-%d" % (level, late)
    shutil.copytree(folder, run, dirs_exist_ok=True)
    ini = os.path.join(run, model + ".ini")
    with open(ini, encoding="latin-1") as f:
        settings = [line for line in f.read().splitlines() if not line.startswith(("Level =", "OpenMP ="))]
    with open(ini, "w", encoding="latin-1") as f:
        f.write("\n".join(settings) + "\nLevel = %d\nOpenMP = 0\nReport = 1\nLateCorrection = %d\n" % (level, late))
    start = time.time()
    subprocess.run([tolveno, model], cwd=run, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    seconds = time.time() - start
    t30 = {}
    with open(os.path.join(run, model + ".___.csv"), newline="") as f:
        for row in csv.DictReader(f):
            if row["parameter"] == "T30" and row["value"]:
                t30[(row["receiver"], row["band"])] = float(row["value"])
    return t30, seconds


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--tolveno", default=os.path.join(HERE, "..", "build-rel", "tolveno"))
    parser.add_argument("--reference-level", type=int, default=15)
    parser.add_argument("--only", choices=sorted(CASES))
    parser.add_argument("--keep", help="write the cases into this folder and keep them")
    args = parser.parse_args()
    work = args.keep or tempfile.mkdtemp(prefix="late-versus-level-")
    print("| case | band | Level %d plain T30 | Level 10 plain: mean (worst) | Level 10 corrected: mean (worst) |"
          % args.reference_level)
    print("|---|---|--:|--:|--:|")
    times = []
    for name in [args.only] if args.only else list(CASES):
        folder = os.path.join(work, name)
        model = write_case(folder, name)
        reference, t_ref = trace(args.tolveno, folder, model, args.reference_level, 0)
        plain, t_plain = trace(args.tolveno, folder, model, 10, 0)
        corrected, t_corr = trace(args.tolveno, folder, model, 10, 1)
        times.append((name, t_ref, t_plain, t_corr))
        for band in BANDS:
            keys = sorted(k for k in reference if k[1] == band)
            cells = []
            for run in (plain, corrected):
                errors = [100 * (run[k] / reference[k] - 1) for k in keys if k in run]
                worst = max(errors, key=abs) if errors else float("nan")
                mean = sum(errors) / len(errors) if errors else float("nan")
                cells.append("%+.1f %% (%+.1f %%)" % (mean, worst))
            mean_ref = sum(reference[k] for k in keys) / max(1, len(keys))
            print("| %s | %s | %.3f s | %s | %s |" % (name, band, mean_ref, cells[0], cells[1]))
    print("\n| case | Level %d plain s | Level 10 plain s | Level 10 corrected s |" % args.reference_level)
    print("|---|--:|--:|--:|")
    for name, t_ref, t_plain, t_corr in times:
        print("| %s | %.1f | %.2f | %.2f |" % (name, t_ref, t_plain, t_corr))
    if not args.keep:
        shutil.rmtree(work)


if __name__ == "__main__":
    sys.exit(main())
