#!/usr/bin/env python3
"""Traces the benchmark cases with a built tolveno and prints one Markdown table.

    run_bench.py --tolveno build-bench/tolveno --work build-bench/bench-work [--runs 3] [--only WORD]

Every case is traced --runs times (the figures are medians) and once more to
count its arrivals; see the table's notes (printed under it) for what every
column means and where it comes from. Progress goes to stderr, the table to
stdout.
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLES = os.path.join(os.path.dirname(HERE), "examples")

ROOM_LEVEL, ROOM_TIME = 10, 0.25
HALL_TIME = 0.3
HALL_RECEIVERS = 50
OUTDOOR_LEVEL = 18

# (sweep, model, generator arguments or None for the outdoor example, flags)
CASES = []
for faces in (100, 1000, 10000):
    CASES.append(("faces", "room_f%d_r10" % faces, ["room", "--faces", str(faces), "--receivers", "10"],
                  ["/L%d" % ROOM_LEVEL, "/T%g" % ROOM_TIME, "/O1", "/N0", "/D0"]))
# The same room as a site plan in national grid coordinates: the index must not slow down far from the origin.
CASES.append(("placement", "room_f1000_r10_grid",
              ["room", "--faces", "1000", "--receivers", "10", "--offset", "500000", "5400000", "100"],
              ["/L%d" % ROOM_LEVEL, "/T%g" % ROOM_TIME, "/O1", "/N0", "/D0"]))
for receivers in (1, 10, 100, 1000):
    CASES.append(("receivers", "room_f1000_r%d" % receivers,
                  ["room", "--faces", "1000", "--receivers", str(receivers)],
                  ["/L%d" % ROOM_LEVEL, "/T%g" % ROOM_TIME, "/O1", "/N0", "/D0"]))
for level in (6, 8, 10, 12):
    CASES.append(("Level", "hall_r%d" % HALL_RECEIVERS, ["hall", "--receivers", str(HALL_RECEIVERS)],
                  ["/L%d" % level, "/T%g" % HALL_TIME, "/O1", "/N0", "/D0"]))
for level in (8, 12):
    for threads in (1, 2):
        CASES.append(("threads", "hall_r%d" % HALL_RECEIVERS, ["hall", "--receivers", str(HALL_RECEIVERS)],
                      ["/L%d" % level, "/T%g" % HALL_TIME, "/O%d" % threads, "/N0", "/D0"]))
for threads in (1, 2):
    # The arrival-bound case: every arrival goes through the impulse-response lock.
    CASES.append(("threads", "room_f1000_r1000", ["room", "--faces", "1000", "--receivers", "1000"],
                  ["/L%d" % ROOM_LEVEL, "/T%g" % ROOM_TIME, "/O%d" % threads, "/N0", "/D0"]))
for diffusion in (0, 1):
    CASES.append(("Diffusion", "hall_r%d" % HALL_RECEIVERS, ["hall", "--receivers", str(HALL_RECEIVERS)],
                  ["/L8", "/T%g" % HALL_TIME, "/O1", "/N%d" % diffusion, "/D0"]))
for diffraction in (0, 1):
    # The example's own settings (outdoor.ini: Time 0.5 s, History 2) apart from the level, threads and flags.
    CASES.append(("Diffraction", "outdoor", None, ["/L%d" % OUTDOOR_LEVEL, "/O1", "/N0", "/D%d" % diffraction]))
for diffraction in (3, 98):
    # A town of 2,025 buildings, 400 receivers in its streets: the section methods over and around them.
    CASES.append(("Diffraction", "town_f10000_r400", ["town", "--faces", "10000", "--receivers", "400"],
                  ["/L8", "/T2", "/O1", "/N0", "/D%d" % diffraction]))


def log(text):
    print(text, file=sys.stderr, flush=True)


PREPARED = set()


def prepare(work, model, generator):
    """Writes the model (once per invocation: a changed generator never leaves a stale model behind)."""
    if model in PREPARED:
        return
    PREPARED.add(model)
    if generator is None:
        for name in ("outdoor.ray", "outdoor.ini", "outdoor.material", "speaker.spk"):
            shutil.copy(os.path.join(EXAMPLES, name), work)
        return
    subprocess.run([sys.executable, os.path.join(HERE, "make_model.py")] + generator +
                   ["-o", os.path.join(work, model)], check=True, stdout=subprocess.DEVNULL)


def results(work, model):
    """The fields of the results file's [Model], [Statistics] and [Parameters] sections."""
    sections, current = {}, None
    with open(os.path.join(work, model + ".___"), encoding="latin-1") as f:
        for text in f:
            m = re.match(r"\[(\w+)\]", text)
            if m:
                current = sections.setdefault(m.group(1), {})
                continue
            m = re.match(r"(\w[\w ]*?)\s*=\s*(\S+)", text)
            if m and current is not None:
                current.setdefault(m.group(1), m.group(2))
    model_, stats, params = sections["Model"], sections["Statistics"], sections["Parameters"]
    return {
        "faces": int(model_["Walls"]),
        "receivers": int(model_["Microphones"]),
        "pyramids": int(stats["Pyramids traced"]),
        "history": float(stats["Mean history"]),
        "escaped": int(stats["Pyramids escaped"]),
        "level": int(params["Level"]),
        "time": float(params["Time"]),
        "history limit": int(params["History"]),
        "threads": int(params["OpenMP"]),
    }


def timed_run(tolveno, work, model, flags):
    """One run under GNU time: (wall seconds, peak resident kB)."""
    stats = os.path.join(work, "time.txt")
    start = time.perf_counter()
    subprocess.run(["/usr/bin/time", "-f", "%M", "-o", stats, tolveno, model] + flags, cwd=work,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    wall = time.perf_counter() - start
    with open(stats) as f:
        peak = int(f.read().split()[-1])
    return wall, peak


def count_arrivals(tolveno, work, model, flags):
    """Runs once more with every arrival written to the hits file (/S: all orders, /I1: diffuse ones too),
    the hits file being a named pipe whose lines are counted as they come: one line per arrival that a
    receiver took (direct, reflected, diffuse, diffracted). This run is not timed."""
    pipe = os.path.join(work, model + ".@__")
    if os.path.exists(pipe):
        os.remove(pipe)
    os.mkfifo(pipe)
    counted = []

    def reader():
        n = 0
        with open(pipe, "rb") as f:
            while True:
                block = f.read(1 << 20)
                if not block:
                    break
                n += block.count(b"\n")
        counted.append(n)

    thread = threading.Thread(target=reader)
    thread.start()
    subprocess.run([tolveno, model] + flags + ["/S2000000000", "/I1"], cwd=work, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    thread.join(timeout=2)
    if thread.is_alive():  # the program never opened the pipe: release the reader
        os.close(os.open(pipe, os.O_WRONLY | os.O_NONBLOCK))
        thread.join()
    os.remove(pipe)
    return counted[0] if counted else None


def cpu_busy(seconds=2.0):
    """The share of all processors' time spent outside the idle task over a short wait (Linux /proc/stat)."""
    def sample():
        with open("/proc/stat") as f:
            fields = [int(v) for v in f.readline().split()[1:]]
        return sum(fields), fields[3] + fields[4]  # total, idle + iowait

    try:
        total0, idle0 = sample()
        time.sleep(seconds)
        total1, idle1 = sample()
    except OSError:
        return 0.0
    return 1 - (idle1 - idle0) / max(1, total1 - total0)


def rate(count, seconds):
    if count is None:
        return "n/a"
    value = count / seconds
    if value >= 1e6:
        return "%.2f M" % (value / 1e6)
    if value >= 1e3:
        return "%.1f k" % (value / 1e3)
    return "%.0f" % value


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tolveno", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--only", default="", help="only the cases whose sweep or model contains this word")
    args = parser.parse_args()
    tolveno = os.path.abspath(args.tolveno)
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)

    busy = cpu_busy()
    if busy > 0.2:
        log("warning: %.0f %% of the CPU time is taken by other processes: the figures will not be real" %
            (100 * busy))

    measured = {}
    rows = []
    longest = None
    started = time.perf_counter()
    for sweep, model, generator, flags in CASES:
        if args.only and args.only not in sweep and args.only not in model:
            continue
        key = (model, tuple(flags))
        if key not in measured:
            prepare(work, model, generator)
            log("%-11s %-16s %s" % (sweep, model, " ".join(flags)))
            case_start = time.perf_counter()
            runs = [timed_run(tolveno, work, model, flags) for _ in range(args.runs)]
            info = results(work, model)
            arrivals = count_arrivals(tolveno, work, model, flags)
            case_seconds = time.perf_counter() - case_start
            if longest is None or case_seconds > longest[0]:
                longest = (case_seconds, model + " " + " ".join(flags))
            wall = statistics.median(r[0] for r in runs)
            peak = statistics.median(r[1] for r in runs)
            legs = round(info["pyramids"] * info["history"]) + info["escaped"]
            measured[key] = (info, wall, peak, legs, arrivals, max(r[0] for r in runs))
            log("            %.2f s (slowest %.2f s), %d legs, %s arrivals; case %.0f s" %
                (wall, max(r[0] for r in runs), legs, arrivals, case_seconds))
        info, wall, peak, legs, arrivals, slowest = measured[key]
        extra = " ".join(f for f in flags if f[:2] in ("/N", "/D") and f[2:] != "0")
        rows.append([sweep, model + (" " + extra if extra else ""), "%d" % info["faces"], "%d" % info["receivers"],
                     "%d" % info["level"], "%g" % info["time"] if info["time"] else "-", "%d" % info["threads"],
                     rate(info["pyramids"], wall), "%d" % legs, rate(legs, wall),
                     "%d" % arrivals if arrivals is not None else "n/a", rate(arrivals, wall),
                     "%.1f" % (peak / 1024), "%.3f" % wall])

    header = ["case", "model", "faces", "receivers", "Level", "Time s", "threads", "pyramids/s", "legs",
              "legs/s", "arrivals", "arrivals/s", "peak MB", "wall s"]
    widths = [max(len(header[i]), *(len(r[i]) for r in rows)) for i in range(len(header))] if rows else []
    line = lambda cells: "| " + " | ".join(c.rjust(w) if i >= 2 else c.ljust(w)
                                          for i, (c, w) in enumerate(zip(cells, widths))) + " |"
    print(line(header))
    print("|" + "|".join("-" * (w + 1) + (":" if i >= 2 else "-") for i, w in enumerate(widths)) + "|")
    for r in rows:
        print(line(r))
    print()
    print("Median of %d runs per case (wall s, peak MB; rates are counts / median wall time, which includes"
          " loading the model and writing the results, a few tens of ms at most). Rows of the same model"
          " and flags are one measurement." % args.runs)
    print("faces: the model's entries (the outdoor example adds the 5 faces of its loudspeaker cabinet)."
          " pyramids: 8 << Level, one source. legs: derived exactly, pyramids x Mean history + Pyramids"
          " escaped from [Statistics] (no clones: CloneLevel -1)."
          " arrivals: counted in an extra, untimed run that writes every arrival taken by a receiver to the"
          " hits file (/S2000000000 /I1), a named pipe whose lines are counted.")
    print("History: -1 (Time) for the generated models; the outdoor example keeps its outdoor.ini (History 2)."
          " Total %.0f s; the longest case, its %d timed runs and the counting run: %.0f s (%s)." %
          (time.perf_counter() - started, args.runs, longest[0] if longest else 0, longest[1] if longest else "-"))


if __name__ == "__main__":
    main()
