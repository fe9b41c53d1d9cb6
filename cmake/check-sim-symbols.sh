#!/bin/sh
# Whether a program carries code of the simulated line: compares the
# functions and data the simulator's library defines with the program's.
#   check-sim-symbols.sh absent|present NM PROGRAM LIBKALVOR_SIM
# absent: fails when the program defines any of them; present: fails when
# it defines none (the control that the comparison sees them at all).
set -eu
mode=$1 nm=$2 program=$3 lib=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Strong definitions only: inline functions and templates (weak) may be
# shared with the program's own code.
"$nm" --defined-only -g "$lib" | awk 'NF == 3 && $2 ~ /^[TDBR]$/ { print $3 }' | sort -u >"$work/sim"
"$nm" --defined-only "$program" | awk 'NF == 3 { print $3 }' | sort -u >"$work/program"
if [ ! -s "$work/sim" ]; then
  echo "no definitions found in $lib" >&2
  exit 1
fi
comm -12 "$work/sim" "$work/program" >"$work/both"
shared=$(wc -l <"$work/both")
echo "$(wc -l <"$work/sim") definitions of the simulated line, $shared of them in $(basename "$program")"
case $mode in
  absent)
    if [ "$shared" -ne 0 ]; then
      c++filt <"$work/both" | head -20
      exit 1
    fi ;;
  present)
    [ "$shared" -ne 0 ] ;;
  *)
    echo "mode: absent or present" >&2
    exit 2 ;;
esac
