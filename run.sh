#!/bin/sh
# Installs what is missing, builds, writes an installation folder when there
# is none, and starts the program in emulation on the built-in defaults.
#   ./run.sh [DIR]      DIR: the installation folder (default: installation/)
set -eu
cd "$(dirname "$0")"
HOME_DIR="${1:-installation}"
# Qt wants a private runtime folder; root's sessions often have none.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  XDG_RUNTIME_DIR="$(mktemp -d)"
  export XDG_RUNTIME_DIR
fi
scripts/install-deps.sh
scripts/build.sh
if [ ! -f "$HOME_DIR/setup.ini" ]; then
  build/tools/mkinstall "$HOME_DIR"
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display here (DISPLAY and WAYLAND_DISPLAY are empty): running the"
  echo "demonstration script headless on $HOME_DIR."
  # set -e would end the script on a failed demo before it says where the
  # snapshots are.
  status=0
  build/kalvor --home "$HOME_DIR" -platform offscreen --virtual-clock --play scripts/demo.play \
    || status=$?
  echo "Snapshots of the pages are in $HOME_DIR/demo/."
  exit $status
fi
exec build/kalvor --home "$HOME_DIR"
