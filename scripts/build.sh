#!/bin/sh
# Configures (once) and builds the program, the tools and the tests in build/.
set -eu
cd "$(dirname "$0")/.."
LAUNCHER=""
command -v ccache >/dev/null 2>&1 && LAUNCHER="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
if [ ! -f build/build.ninja ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $LAUNCHER "$@"
fi
cmake --build build -j "$(nproc)"
