#!/bin/sh
# Builds a Release tolveno and the micro-benchmarks in build-bench/, generates the benchmark models
# in build-bench/bench-work/, traces every case (median of 3 runs) and prints one table.
#   bench/run.sh                 every case (about 2 minutes on 2 cores)
#   bench/run.sh --only hall     the cases whose sweep or model name contains "hall"
#   bench/run.sh --runs 5        more runs per case
#   bench/run.sh --scan ...      the same with the linear face scan (build-bench-scan/, -DTOLVENO_LINEAR_SCAN=ON)
# Run it on an otherwise idle machine: it warns when the load says otherwise.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
scan=OFF
if [ "${1:-}" = "--scan" ]; then
  build="$root/build-bench-scan"
  scan=ON
  shift
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLVENO_BENCH=ON -DTOLVENO_LINEAR_SCAN=$scan >/dev/null
nice cmake --build "$build" --target tolveno tolveno_microbench >&2
exec python3 "$root/bench/run_bench.py" --tolveno "$build/tolveno" --work "$build/bench-work" "$@"
