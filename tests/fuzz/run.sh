#!/usr/bin/env bash
# Builds the fuzz targets of the readers with clang's libFuzzer (and AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs each for the given number of seconds.
#   tests/fuzz/run.sh [seconds per target, default 60] [target name ...]
# Needs clang++ and libclang-rt-14-dev (Debian); new crashing inputs are left in
# build-fuzz/findings/<target>/ and should become regression tests.
set -euo pipefail
seconds=${1:-60}
shift || true
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build-fuzz
command -v clang++ >/dev/null || { echo "clang++ is needed (apt-get install clang libclang-rt-14-dev)"; exit 1; }
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DTOLVENO_FUZZ=ON >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=($(cd "$root/tests/fuzz" && ls Fuzz*.cpp | sed 's/\.cpp$//'))
fi
cmake --build "$build" --target "${targets[@]}"
# Leaks inside Assimp are its own (see lsan.supp); a leak in our code still stops the run.
export LSAN_OPTIONS=suppressions=$root/tests/fuzz/lsan.supp
for target in "${targets[@]}"; do
  corpus=$root/tests/fuzz/corpus/${target#Fuzz}
  work=$build/work/$target
  findings=$build/findings/$target
  mkdir -p "$corpus" "$work/corpus" "$findings"
  echo "== $target: $seconds s"
  # Each target runs in a scratch folder: job files and settings may name files.
  (cd "$work" && "$build/$target" -max_total_time="$seconds" -max_len=65536 -timeout=20 \
      -artifact_prefix="$findings/" -print_final_stats=1 "$work/corpus" "$corpus" 2>&1 |
      grep -E 'INITED|DONE|ERROR|SUMMARY|stat::number_of_executed_units|stat::new_units_added' || true)
done
