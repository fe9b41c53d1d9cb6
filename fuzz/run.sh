#!/bin/sh
# Builds the fuzz harness of the link's frame receiver with clang's libFuzzer
# and AddressSanitizer, and runs it for a bounded time.
#   fuzz/run.sh OUTDIR [SECONDS]
# Exit code 0: no crash, no hang, no write outside the frame buffer.
set -eu
SRC="$(cd "$(dirname "$0")/.." && pwd)"
OUT="${1:?output folder}"
SECONDS_TO_RUN="${2:-20}"
CXX="${FUZZ_CXX:-clang++}"
mkdir -p "$OUT/corpus"
"$CXX" -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$SRC/src" "$SRC/fuzz/frame_fuzz.cpp" "$SRC/src/link/framing.cpp" -o "$OUT/frame_fuzz"
cp "$SRC"/fuzz/corpus/frame/* "$OUT/corpus/"
# A hang is any single input taking more than 10 s; the whole run is bounded.
"$OUT/frame_fuzz" -max_total_time="$SECONDS_TO_RUN" -timeout=10 -rss_limit_mb=2048 \
  -max_len=300000 -print_final_stats=1 -artifact_prefix="$OUT/" "$OUT/corpus"
