#!/bin/sh
# Builds the fuzz harness of the link's frame receiver with clang's libFuzzer
# and AddressSanitizer, and runs it for a bounded number of inputs from a
# fixed seed, so that a run does the same work on any machine and under any
# load.
#   fuzz/run.sh OUTDIR [RUNS [SEED]]
# Exit code 0: no crash, no hang, no write outside the frame buffer. The
# harness built into OUTDIR is built again only when a source is newer, so
# a repeated run in one folder fuzzes at once; every run starts from the
# seed corpus.
set -eu
SRC="$(cd "$(dirname "$0")/.." && pwd)"
OUT="${1:?output folder}"
RUNS="${2:-100000}"
SEED="${3:-20261209}"
CXX="${FUZZ_CXX:-clang++}"
rm -rf "$OUT/corpus"
mkdir -p "$OUT/corpus"
BUILT="$OUT/frame_fuzz"
for f in "$SRC/fuzz/frame_fuzz.cpp" "$SRC/src/link/framing.cpp" "$SRC/src/link/framing.h" "$0"; do
  if [ ! -e "$BUILT" ] || [ "$f" -nt "$BUILT" ]; then rm -f "$BUILT"; fi
done
if [ ! -e "$BUILT" ]; then
  "$CXX" -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$SRC/src" "$SRC/fuzz/frame_fuzz.cpp" "$SRC/src/link/framing.cpp" -o "$BUILT.new"
  mv "$BUILT.new" "$BUILT"
fi
cp "$SRC"/fuzz/corpus/frame/* "$OUT/corpus/"
# A hang is any single input taking more than 10 s; the whole run is bounded
# by its number of inputs.
"$BUILT" -runs="$RUNS" -seed="$SEED" -timeout=10 -rss_limit_mb=2048 \
  -max_len=300000 -print_final_stats=1 -artifact_prefix="$OUT/" "$OUT/corpus"
