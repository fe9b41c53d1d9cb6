#!/bin/sh
# Configures (once) and builds the program, the tools and the tests in build/.
set -eu
cd "$(dirname "$0")/.."
LAUNCHER=""
if command -v ccache >/dev/null 2>&1; then
  LAUNCHER="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
  # Paths relative to the checkout, so that a clone anywhere else hits the
  # same cache entries.
  CCACHE_BASEDIR="$(pwd)"
  CCACHE_NOHASHDIR=1
  export CCACHE_BASEDIR CCACHE_NOHASHDIR
fi
if [ ! -f build/build.ninja ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $LAUNCHER "$@"
fi
cmake --build build -j "$(nproc)"
