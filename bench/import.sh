#!/usr/bin/env bash
# Times tolveno-import on a generated OBJ hall of about 2,000 triangles (bench/make_obj.py):
# builds tolveno-import in build-bench/ (Release) and prints the import's report and its wall time.
#     bench/import.sh [faces]
set -euo pipefail
cd "$(dirname "$0")/.."
faces=${1:-2000}
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLVENO_BENCH=ON >/dev/null
cmake --build build-bench --target tolveno-import >/dev/null
mkdir -p build-bench/bench-work
bench/make_obj.py --faces "$faces" -o build-bench/bench-work/import-hall.obj
TIMEFORMAT="import of $faces faces: %R s wall time"
time build-bench/tolveno-import build-bench/bench-work/import-hall.obj
