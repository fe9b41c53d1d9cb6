#!/bin/sh
# Renews the README's pictures in docs/screens from the playback scripts in
# docs/screens/play/, each on a fresh installation of its own, on the virtual
# clock from a fixed moment, so that a rerun gives the same pictures.
#   scripts/screens.sh [NAME...]   NAME: a script of docs/screens/play/
#                                  without .play (default: all of them)
# Lines of a script read by this runner, not by the program:
#   #! set SECTION KEY VALUE   a key of setup.ini
#   #! now YYYY-MM-DDTHH:MM:SS the program's clock at the start
#   #! before COMMAND          a shell command run before the program
#   #! after COMMAND           a shell command run after it
#   #! line [OPTIONS]          the simulated line (tools/linesim) instead of
#                              the emulation, with linesim's OPTIONS, and
#                              the settings of commissioned-line.keys
# The commands see $H (the installation) and $BIN (the build folder); what
# the script saves under shots/ in the installation becomes docs/screens/.
# The depot-*.png pictures come from the depot web test instead
# (KALVOR_UPDATE_SCREENS=1).
set -eu
cd "$(dirname "$0")/.."
. scripts/lib/setup-ini.sh
scripts/build.sh >/dev/null
BIN="$(pwd)/build"
OUT="$(pwd)/docs/screens"
WORK="$(mktemp -d)"
SIM=
trap '[ -z "$SIM" ] || kill "$SIM" 2>/dev/null; rm -rf "$WORK"' EXIT
# No picture run ever reaches a printer: the sheet is kept as its PDF copy.
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$WORK" CUPS_SERVER="$WORK/no-print-service.sock"
"$BIN/tools/mkinstall" "$WORK/fresh" >/dev/null

# start_line DIR [OPTIONS]: linesim in the background ($SIM), DIR's setup.ini
# pointed at its ports.
start_line() {
  dir="$1"
  shift
  "$BIN/tools/linesim" --for 600 "$@" >"$dir/linesim.txt" &
  SIM=$!
  wait_for_line "$dir/linesim.txt"
  set_key "$dir" Global Emul 0
  set_key "$dir" Hard Com "$(sed -n 's/^\[Hard\] Com=//p' "$dir/linesim.txt")"
  ckt="$(sed -n 's/^\[Ckt\] Port=//p' "$dir/linesim.txt")"
  [ -z "$ckt" ] || set_key "$dir" Ckt Port "$ckt"
  grep -v '^#' docs/screens/play/commissioned-line.keys | while read -r section key value; do
    set_key "$dir" "$section" "$key" "$value"
  done
}

# run_steps before|after: the script's shell commands of that kind, in order.
run_steps() {
  sed -n "s/^#! $1 //p" "$PLAY" >"$H/$1.sh"
  while read -r cmd; do
    eval "$cmd" >>"$H/steps.txt" 2>&1 </dev/null || {
      echo "$NAME: failed: $cmd" >&2
      tail -5 "$H/steps.txt" >&2
      return 1
    }
  done <"$H/$1.sh"
}

if [ $# -eq 0 ]; then
  set -- $(cd docs/screens/play && ls *.play | sed 's/\.play$//')
fi
status=0
for NAME in "$@"; do
  PLAY="$(pwd)/docs/screens/play/$NAME.play"
  H="$WORK/$NAME"
  cp -a "$WORK/fresh" "$H"
  mkdir -p "$H/shots"
  NOW=2026-12-08T10:00:00
  sed -n 's/^#! set //p' "$PLAY" | while read -r section key value; do
    set_key "$H" "$section" "$key" "$value"
  done
  NOW="$(sed -n 's/^#! now //p' "$PLAY" | tail -1)"
  NOW="${NOW:-2026-12-08T10:00:00}"
  if grep -q '^#! line' "$PLAY"; then
    start_line "$H" $(sed -n 's/^#! line//p' "$PLAY" | head -1)
  fi
  export H BIN
  run_steps before || { status=1; continue; }
  if ! "$BIN/kalvor" --home "$H" -platform offscreen --virtual-clock --now "$NOW" \
      --play "$PLAY" >"$H/stdout.txt" 2>"$H/stderr.txt"; then
    echo "$NAME: the program ended with an error:" >&2
    cat "$H/stderr.txt" >&2
    status=1
    continue
  fi
  if [ -n "$SIM" ]; then kill "$SIM" 2>/dev/null || true; wait "$SIM" 2>/dev/null || true; SIM=; fi
  run_steps after || { status=1; continue; }
  for shot in "$H"/shots/*.png; do
    [ -f "$shot" ] || { echo "$NAME: no picture" >&2; status=1; continue; }
    cp "$shot" "$OUT/"
    echo "docs/screens/$(basename "$shot")"
  done
done
exit $status
