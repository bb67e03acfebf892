#!/usr/bin/env python3
"""Traces the same cases with tolveno (one process) and with tolveno-mpi under
mpirun (one to three processes) and compares the results, hits and escaped-rays
files byte for byte; only the run's date and time and the processing times are
masked. Then checks what the other processes must not do (print, write files,
read input files: process 0 sends its copies) and how a run spread over
processes ends: cancelled on process 0 or by SIGUSR1 to mpirun (partial results kept, status 130), a process killed (the
earlier results file left as it was), usage errors (told once, the program's
status).

    tests/run/mpi_same_results.py BUILD_DIR [MPIRUN]

Exits 0 when every check passes, 1 otherwise. About a minute on 2 cores.
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
MASK = re.compile(rb"^((?:Date|Time) +=|Processing(?: time)? *=)[^\r\n]*", re.M)
# mpirun refuses root unless told, and starts more processes than cores only when told.
ENV = dict(os.environ, OMPI_ALLOW_RUN_AS_ROOT="1", OMPI_ALLOW_RUN_AS_ROOT_CONFIRM="1",
           OMPI_MCA_rmaps_base_oversubscribe="1")

# (case, model folder, model, flags, processes, mpirun options)
CASES = [
    ("example room", "examples", "room", "/O1", 2, []),
    ("example room, one process", "examples", "room", "/O1", 1, []),
    ("room, Diffusion, Diffraction, clones, hits file", "examples", "room", "/O1 /L7 /T0.3 /N1 /D1 /K3 /S2", 2, []),
    ("outdoor, escapes and edges, escaped-rays file", "examples", "outdoor", "/O1 /L10 /D1 /E1", 3, []),
    ("hall of 2,035 faces, Diffusion, Diffraction", "hall", "hall", "/O1 /L8 /T0.2 /N1 /D1", 2, []),
    ("two sources, each saved (SaveAll)", "two", "room", "/O1 /L7 /N1 /A1", 2, []),
    ("two sources, summed", "two", "room", "/O1 /L7 /N1 /A0 /S1", 3, []),
    ("room on two threads in each of two processes", "examples", "room", "/O2 /L8 /N1 /D2", 2,
     ["--bind-to", "none"]),
]


class Checks:
    def __init__(self):
        self.failures = 0

    def expect(self, ok, what):
        print("%-4s %s" % ("ok" if ok else "FAIL", what), flush=True)
        self.failures += not ok


def prepare(work):
    shutil.copytree(os.path.join(ROOT, "examples"), os.path.join(work, "examples"),
                    ignore=shutil.ignore_patterns("*.___*", "*.bak", "*.log", "*$*", "*.@*"))
    # The example room with a second loudspeaker.
    shutil.copytree(os.path.join(work, "examples"), os.path.join(work, "two"))
    with open(os.path.join(work, "two", "room.ray")) as f:
        model = f.read()
    source = next(line for line in model.splitlines() if line.strip().startswith("Source"))
    with open(os.path.join(work, "two", "room.ray"), "w") as f:
        f.write(model.replace(source, source + "\n Source 7 2 1.2 2 6 1.2 0 speaker.spk"))
    subprocess.run([sys.executable, os.path.join(ROOT, "bench", "make_model.py"), "hall", "--receivers", "50",
                    "-o", os.path.join(work, "hall", "hall")], check=True, stdout=subprocess.DEVNULL)


def fresh(work, folder, copy):
    place = os.path.join(work, copy, folder)
    shutil.rmtree(place, ignore_errors=True)
    shutil.copytree(os.path.join(work, folder), place)
    return place


def written(place, model):
    """The masked results files (one per source with SaveAll), hits and escaped-rays files, and the names of every
    file in the folder."""
    text = b""
    def output(name):  # model.___, model.@__, model.A__ ... (not the inputs, not the reports), escaped.ray
        extension = name[len(model) + 1:]
        return name == "escaped.ray" or (name.startswith(model + ".") and len(extension) == 3 and
                                         extension not in ("ray", "ini", "bak"))
    for name in sorted(filter(output, os.listdir(place))):
        path = os.path.join(place, name)
        if os.path.exists(path):
            with open(path, "rb") as f:
                text += b"== " + name.encode() + b"\n" + MASK.sub(rb"\1", f.read())
    return text, sorted(os.listdir(place))


def mpirun_command(mpirun, build, processes, options, arguments):
    return [mpirun, "-np", str(processes)] + options + [os.path.join(build, "tolveno-mpi")] + arguments


def compare(checks, build, mpirun, work):
    for name, folder, model, flags, processes, options in CASES:
        alone = fresh(work, folder, "alone")
        run = subprocess.run([os.path.join(build, "tolveno"), model] + flags.split(), cwd=alone, env=ENV,
                             capture_output=True, stdin=subprocess.DEVNULL)
        spread = fresh(work, folder, "spread")
        mpi = subprocess.run(mpirun_command(mpirun, build, processes, options, [model] + flags.split()), cwd=spread,
                             env=ENV, capture_output=True, stdin=subprocess.DEVNULL)
        a, b = written(alone, model), written(spread, model)
        checks.expect(run.returncode == 0 and mpi.returncode == 0 and a[0] == b[0] and len(a[0]) > 1000,
                      "same results, %s (%s, %d processes)" % (name, flags, processes))
        # The other processes write no file and print nothing: the same files as one process, one log entry,
        # the status panel once.
        checks.expect(a[1] == b[1], "  the same files written: %s" % " ".join(b[1]))
        with open(os.path.join(spread, "tolveno.log"), "rb") as f:
            starts = f.read().count(b"- Start")
        shown = [out.count(b"Status: Tracing ...") for out in (run.stderr, mpi.stderr)]
        checks.expect(starts == 1 and shown[0] == shown[1] > 0,
                      "  one log entry (%d) and the status panel once (%d times Tracing, alone %d)" %
                      (starts, shown[1], shown[0]))


def rank_pids(mpirun_pid):
    """The processes mpirun started on this machine, by their rank."""
    ranks = {}
    for pid in subprocess.run(["pgrep", "-P", str(mpirun_pid)], capture_output=True, text=True).stdout.split():
        try:
            with open("/proc/%s/environ" % pid, "rb") as f:
                for entry in f.read().split(b"\0"):
                    if entry.startswith(b"OMPI_COMM_WORLD_RANK="):
                        ranks[int(entry.split(b"=")[1])] = int(pid)
        except OSError:
            pass
    return ranks


def signal_rank(checks, build, mpirun, work, rank, sig, copy):
    """Starts a long run of the hall on two processes, sends sig to one of them (None: to mpirun) after a second
    and a half; answers the folder, mpirun's exit status, its stderr and the seconds mpirun took to end after the
    signal."""
    place = fresh(work, "hall", copy)
    with open(os.path.join(place, "hall.___"), "w") as f:
        f.write("earlier results\n")
    # Minutes of tracing with Diffusion at Level 14 on two processes.
    mpi = subprocess.Popen(mpirun_command(mpirun, build, 2, [], ["hall", "/O1", "/L14", "/N1"]), cwd=place, env=ENV,
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    ranks = {}
    for _ in range(100):
        time.sleep(0.1)
        ranks = rank_pids(mpi.pid)
        if len(ranks) == 2:
            break
    time.sleep(1.5)
    checks.expect(len(ranks) == 2 and mpi.poll() is None, "  both processes found running")
    if len(ranks) == 2:
        os.kill(mpi.pid if rank is None else ranks[rank], sig)
    sent = time.time()
    try:
        _, err = mpi.communicate(timeout=120)
    except subprocess.TimeoutExpired:
        mpi.kill()
        _, err = mpi.communicate()
    return place, mpi.returncode, err, time.time() - sent


def endings(checks, build, mpirun, work):
    # A cancel on process 0 (SIGTERM, as a batch system sends it) stops every process after the batches in progress;
    # without a terminal the partial results are kept.
    place, status, err, took = signal_rank(checks, build, mpirun, work, 0, signal.SIGTERM, "cancel")
    with open(os.path.join(place, "hall.___"), "rb") as f:
        results = f.read()
    checks.expect(status == 130, "cancelled on process 0: status %d, every process ended %.1f s later" % (status, took))
    checks.expect(results.endswith(b"\n[End]\n") and b"cancelled after" in results,
                  "  partial results written whole")
    # SIGUSR1 to mpirun, which passes it on to every process, is the same cancel.
    place, status, err, took = signal_rank(checks, build, mpirun, work, None, signal.SIGUSR1, "usr1")
    with open(os.path.join(place, "hall.___"), "rb") as f:
        results = f.read()
    checks.expect(status == 130 and results.endswith(b"\n[End]\n") and b"cancelled after" in results,
                  "cancelled by SIGUSR1 to mpirun: status %d, partial results written whole" % status)
    # A process killed: the job ends with the kill's status and the earlier results stay as they were.
    place, status, err, took = signal_rank(checks, build, mpirun, work, 1, signal.SIGKILL, "killed")
    with open(os.path.join(place, "hall.___"), "rb") as f:
        results = f.read()
    checks.expect(status == 128 + signal.SIGKILL, "process 1 killed: status %d after %.1f s" % (status, took))
    checks.expect(results == b"earlier results\n" and not [n for n in os.listdir(place) if n.endswith(".tmp")],
                  "  the earlier results file left as it was, no temporary file")
    # Process 0 alone reads the input files: a process started in a folder with another model, or with none, traces
    # process 0's model from the copies it sent, and writes nothing where it runs.
    program = os.path.join(build, "tolveno-mpi")
    alone = fresh(work, "examples", "inputs-alone")
    subprocess.run([os.path.join(build, "tolveno"), "room", "/O1"], cwd=alone, env=ENV, capture_output=True,
                   stdin=subprocess.DEVNULL)
    for other, what in (("two", "a different model"), ("nothing", "no files at all")):
        first = fresh(work, "examples", "inputs-" + other)
        second = os.path.join(work, "inputs-" + other, other)
        if other == "two":
            second = fresh(work, "two", "inputs-" + other)
        os.makedirs(second, exist_ok=True)
        before = sorted(os.listdir(second))
        run = subprocess.run([mpirun, "-np", "1", "-wdir", first, program, "room", "/O1", ":",
                              "-np", "1", "-wdir", second, program, "room", "/O1"], env=ENV, capture_output=True,
                             stdin=subprocess.DEVNULL)
        checks.expect(run.returncode == 0 and written(first, "room")[0] == written(alone, "room")[0] and
                      sorted(os.listdir(second)) == before,
                      "process 1 beside %s: status %d, process 0's results, nothing written beside process 1" %
                      (what, run.returncode))
    # Usage errors are told once (process 0 alone shows messages), with the program's status.
    place = fresh(work, "examples", "usage")
    for arguments, expected, message in (([], 2, b"parameters: filename[.ray] [flags]"),
                                         (["nothing"], 3, b"Can't find the model file")):
        run = subprocess.run(mpirun_command(mpirun, build, 2, [], arguments), cwd=place, env=ENV,
                             capture_output=True, stdin=subprocess.DEVNULL)
        checks.expect(run.returncode == expected and run.stderr.count(message) == 1,
                      "tolveno-mpi %s: status %d, told once" % (" ".join(arguments), run.returncode))


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    build = os.path.abspath(sys.argv[1])
    mpirun = sys.argv[2] if len(sys.argv) > 2 else "mpirun"
    checks = Checks()
    with tempfile.TemporaryDirectory(prefix="tolveno-mpi-") as work:
        prepare(work)
        compare(checks, build, mpirun, work)
        endings(checks, build, mpirun, work)
    print("%d checks failed" % checks.failures)
    return 1 if checks.failures else 0


if __name__ == "__main__":
    sys.exit(main())
