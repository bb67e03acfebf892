#!/usr/bin/env python3
"""Mutation harness: applies each mutant of mutants.txt to a copy of the sources,
rebuilds the test binary, runs the whole suite and reports which mutants survive.

    tests/mutation/run.py                 # every mutant (about two and a half hours on 2 cores)
    tests/mutation/run.py --only tracing  # the mutants whose file path contains "tracing"
    tests/mutation/run.py --only src/ui,src/run
    tests/mutation/run.py --records       # the tests' record over every mutant run so far

The sources are copied into build-mutation/tree, so the working tree is never
touched, whatever happens to the run. A mutant whose text is not found exactly
once is reported as stale and not counted; one that does not compile is counted
as neither killed nor survived. The kill rate is killed / (killed + survived).

Each test's record follows: how many mutants it fails on, and how many only it
fails on (a mutant that crashes or hangs the suite names no test). A test no
mutant fails is listed: it guards against none of the faults listed here, so
either a mutant is missing or the test is. Each mutant's outcome and failing
tests are also written, as they come, to build-mutation/outcomes.jsonl, which
keeps the latest outcome of every mutant of mutants.txt across runs: a run of a
part (--only, or --mutants with a list of mutants.txt's blocks) or a run cut
short updates the mutants it did, and the record printed covers every mutant of
mutants.txt run so far (outcomes of mutants no longer listed there are dropped).
"""
import argparse
import collections
import json
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))


def read_mutants(path):
    """Blocks of '@ file', '# what it breaks', '- original', '+ mutated' lines."""
    mutants, current = [], None
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if line.startswith("@ "):
                current = {"file": line[2:].strip(), "line": number, "what": "", "old": None, "new": None}
                mutants.append(current)
            elif current is None or not line.strip() or line.startswith(";"):
                continue
            elif line.startswith("# "):
                current["what"] = line[2:]
            elif line.startswith("- "):
                current["old"] = line[2:]
            elif line.startswith("+ "):
                current["new"] = line[2:]
            else:
                sys.exit(f"{path}:{number}: unexpected line: {line}")
    for m in mutants:
        if m["old"] is None or m["new"] is None:
            sys.exit(f"{path}:{m['line']}: a mutant needs a '- ' and a '+ ' line")
    return mutants


def run(command, cwd, timeout):
    try:
        return subprocess.run(command, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        return "timeout"


def failed_tests(report):
    """The tests a gtest JSON report lists as failed; None when the suite left no whole report (a crash, a hang)."""
    try:
        with open(report, encoding="utf-8") as f:
            suites = json.load(f)["testsuites"]
    except (OSError, ValueError, KeyError):
        return None
    return [f"{suite['name']}.{test['name']}" for suite in suites for test in suite["testsuite"]
            if test.get("failures")]


def all_tests(report):
    with open(report, encoding="utf-8") as f:
        return [f"{suite['name']}.{test['name']}" for suite in json.load(f)["testsuites"]
                for test in suite["testsuite"]]


def print_records(tests, records):
    """Every test with the killed mutants it fails on and those it alone fails on, fewest first."""
    kills, alone = collections.Counter(), collections.Counter()
    for record in records:
        failed = record["failed"] or []
        kills.update(failed)
        if len(failed) == 1:
            alone[failed[0]] += 1
    print(f"\ntests (of {sum(1 for r in records if r['outcome'] == 'killed')} killed mutants, those each fails on, "
          "and those it alone fails on):")
    for test in sorted(tests, key=lambda t: (kills[t], alone[t], t)):
        print(f"{kills[test]:4} {alone[test]:4}  {test}")


def earlier_outcomes(path, listed):
    """The outcomes of earlier runs, of the mutants still listed (by file and what they break)."""
    try:
        with open(path, encoding="utf-8") as f:
            records = [json.loads(line) for line in f]
    except (OSError, ValueError):
        return {}
    return {(r["file"], r["what"]): r for r in records if (r["file"], r["what"]) in listed}


def copy_tree(tree):
    for name in ("src", "tests", "examples", "bench"):
        target = os.path.join(tree, name)
        if os.path.isdir(target):
            shutil.rmtree(target)
        # Fresh file times: objects of an earlier run (perhaps of a mutant) are never taken as up to date.
        shutil.copytree(os.path.join(ROOT, name), target, copy_function=shutil.copy)
    shutil.copy(os.path.join(ROOT, "CMakeLists.txt"), tree)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--only", default="", help="only mutants whose file path contains this text "
                        "(several, separated by commas: any of them)")
    parser.add_argument("--mutants", default=os.path.join(HERE, "mutants.txt"))
    parser.add_argument("--work", default=os.path.join(ROOT, "build-mutation"))
    parser.add_argument("--records", action="store_true", help="only print the tests' record over every mutant run so far")
    args = parser.parse_args()
    report, outcomes_path = os.path.join(args.work, "report.json"), os.path.join(args.work, "outcomes.jsonl")
    tests_path = os.path.join(args.work, "tests.json")
    listed = {(m["file"], m["what"]) for m in read_mutants(os.path.join(HERE, "mutants.txt"))}
    if args.records:
        with open(tests_path, encoding="utf-8") as f:
            tests = json.load(f)
        print_records(tests, list(earlier_outcomes(outcomes_path, listed).values()))
        return 0

    wanted = args.only.split(",")
    mutants = [m for m in read_mutants(args.mutants) if any(w in m["file"] for w in wanted)]
    earlier = earlier_outcomes(outcomes_path, listed)
    # Mutants of headers last: each rebuilds much of the tree, so a run cut short has done the most mutants.
    mutants.sort(key=lambda m: m["file"].endswith(".h"))
    tree, build = os.path.join(args.work, "tree"), os.path.join(args.work, "build")
    os.makedirs(tree, exist_ok=True)
    copy_tree(tree)
    if run(["cmake", "-S", tree, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release"], tree, 600) != 0:
        sys.exit("configuring the copy failed")
    # Builds take the machine's build lock when flock is there, so that two builds never share the cores.
    lock = ["flock", "/tmp/tolveno-build.lock"] if shutil.which("flock") else []
    build_command = lock + ["cmake", "--build", build, "--target", "tolveno_tests", "tolveno"]
    test_command = [os.path.join(build, "tolveno_tests"), "--gtest_brief=1", "--gtest_output=json:" + report]
    if run(build_command, tree, 3600) != 0 or run(test_command, build, 600) != 0:
        sys.exit("the unmutated suite does not build or does not pass")
    tests = all_tests(report)
    with open(tests_path, "w", encoding="utf-8") as f:
        json.dump(tests, f)
    # The earlier outcomes stay, the new ones follow them and take their place when read: a run cut short loses
    # nothing of the mutants it did not reach.
    outcomes = open(outcomes_path, "w", encoding="utf-8")
    for record in earlier.values():
        outcomes.write(json.dumps(record) + "\n")
    outcomes.flush()
    records = []

    killed, survived, results = 0, [], []
    started = time.time()
    for index, m in enumerate(mutants, 1):
        path = os.path.join(tree, m["file"])
        with open(path, encoding="utf-8") as f:
            original = f.read()
        if original.count(m["old"]) != 1:
            outcome = "stale"
        else:
            with open(path, "w", encoding="utf-8") as f:
                f.write(original.replace(m["old"], m["new"]))
            try:
                if run(build_command, tree, 900) != 0:
                    outcome = "no build"
                else:
                    # A suite that fails, crashes or hangs has caught the fault.
                    if os.path.exists(report):
                        os.remove(report)
                    outcome = "killed" if run(test_command, build, 300) != 0 else "SURVIVED"
                    failed = failed_tests(report) if outcome == "killed" else None
            finally:
                with open(path, "w", encoding="utf-8") as f:
                    f.write(original)
        if outcome == "killed":
            killed += 1
        elif outcome == "SURVIVED":
            survived.append(m)
        results.append((m, outcome))
        record = {"file": m["file"], "line": m["line"], "what": m["what"], "outcome": outcome,
                  "failed": failed if outcome == "killed" else []}
        records.append(record)
        outcomes.write(json.dumps(record) + "\n")
        outcomes.flush()
        print(f"{index:3}/{len(mutants)} {outcome:8} {m['file']}:{m['what']}", flush=True)

    counted = killed + len(survived)
    print(f"\n{len(mutants)} mutants, {counted} counted, {killed} killed, {len(survived)} survived, "
          f"{sum(1 for _, o in results if o == 'stale')} stale, {sum(1 for _, o in results if o == 'no build')} "
          f"did not build; {time.time() - started:.0f} s")
    if counted:
        print(f"kill rate: {100.0 * killed / counted:.1f} % ({killed} of {counted})")
    for m in survived:
        print(f"survived: {m['file']} (mutants.txt line {m['line']}): {m['what']}")
    for record in records:
        earlier[(record["file"], record["what"])] = record
    print_records(tests, list(earlier.values()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
