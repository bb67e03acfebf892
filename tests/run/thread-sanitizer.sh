#!/usr/bin/env bash
# Traces the example room on two threads with everything that writes shared
# state switched on (diffusion, clones, randomised reflection, hits and
# escaped-rays files, diffraction) under ThreadSanitizer; the handing out of
# pyramids and the ordered commits of their logs must be the only shared writes.
#   tests/run/thread-sanitizer.sh path/to/tolveno-built-with-thread-sanitizer
set -euo pipefail
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
examples=$(cd "$(dirname "$0")/../../examples" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$examples"/room.ray "$examples"/room.ini "$examples"/room.material "$examples"/speaker.spk "$work"/
cd "$work"
export TSAN_OPTIONS="ignore_noninstrumented_modules=1 halt_on_error=1 exitcode=66"
"$binary" room /O2 /L7 /T0.3 /N1 /K1 /R3 /S1 /E1 /D2 </dev/null >/dev/null 2>trace.txt || {
  cat trace.txt
  echo "ThreadSanitizer: the trace of the example failed"
  exit 1
}
test -s room.___ && test -s room.@__ && test -s escaped.ray
# A room of 104 faces, so that the face searches go through the spatial index.
python3 "$examples"/../bench/make_model.py room --faces 100 --receivers 20 --openings -o tiles >/dev/null
"$binary" tiles /O2 /L8 /T0.2 /N1 /K1 /D1 </dev/null >/dev/null 2>trace.txt || {
  cat trace.txt
  echo "ThreadSanitizer: the trace of the tiled room failed"
  exit 1
}
test -s tiles.___
echo "ThreadSanitizer: the example and a tiled room traced on two threads without a data race"
