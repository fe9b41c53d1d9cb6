#!/bin/sh
# Runs the service terminal's automatic test headless against the simulated
# line (tools/linesim) and leaves its dumps and pictures in DIR/terminal/.
#   scripts/terminal-demo.sh [DIR]   DIR: installation folder (default:
#                                    terminal-demo/, written when missing)
set -eu
cd "$(dirname "$0")/.."
DIR="${1:-terminal-demo}"
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  XDG_RUNTIME_DIR="$(mktemp -d)"
  export XDG_RUNTIME_DIR
fi
[ -x build/kalvor ] && [ -x build/tools/linesim ] || scripts/build.sh
[ -f "$DIR/setup.ini" ] || build/tools/mkinstall "$DIR"

PORTS="$(mktemp)"
build/tools/linesim --for 600 >"$PORTS" &
SIM=$!
trap 'kill $SIM 2>/dev/null || true; rm -f "$PORTS"' EXIT
. scripts/lib/setup-ini.sh
wait_for_line "$PORTS"
COM="$(sed -n 's/^\[Hard\] Com=//p' "$PORTS")"
CKT="$(sed -n 's/^\[Ckt\] Port=//p' "$PORTS")"

set_key "$DIR" Global Emul 0
set_key "$DIR" Hard Com "$COM"
set_key "$DIR" Hard TerminalEnable 1
set_key "$DIR" Hard TerminalStart 1
set_key "$DIR" Ckt Enable 1
set_key "$DIR" Ckt Port "$CKT"

build/kalvor --home "$DIR" -platform offscreen --virtual-clock --play scripts/terminal-demo.play
echo "The terminal's dumps and pictures are in $DIR/terminal/:"
iconv -f cp1251 -t utf-8 "$DIR/terminal/03-automatic-test.txt" | grep "Автотест" || true
