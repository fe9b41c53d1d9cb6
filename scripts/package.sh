#!/bin/sh
# Builds the Debian packages of the line's PC and of the depot into dist/:
#   dist/kalvor_<version>_amd64.deb, dist/kalvor-depot_<version>_amd64.deb
# with <version> the project's four-part version (CMakeLists.txt), which the
# top entry of debian/changelog must carry. Installs what the build needs
# first (the Debian build tools and the Build-Depends of debian/control,
# nothing of the project's development stack), builds a
# copy of the tree in build-deb/ the Debian way (dpkg-buildpackage, debhelper
# with its CMake support) and runs lintian.
#
#   scripts/package.sh [--clean]
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)

install_packages() {
  echo "package.sh: installing $*"
  if [ "$(id -u)" -ne 0 ]; then
    echo "package.sh: run as root, or install them first: apt-get install $*" >&2
    exit 1
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$@"
}

# The build tools, then whatever Build-Depends dpkg-checkbuilddeps finds
# missing (alternatives: the first; versions: apt's candidate, which the
# build then checks again).
need=""
for p in dpkg-dev build-essential debhelper lintian; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need="$need $p"
done
[ -z "$need" ] || install_packages $need
unmet=$(dpkg-checkbuilddeps 2>&1 | sed -n 's/.*Unmet build dependencies: //p' |
  sed 's/([^)]*)//g; s/ *| *[^ ]*//g; s/:any//g')
# shellcheck disable=SC2086
[ -z "$unmet" ] || install_packages $unmet

version=$(sed -n 's/^project(kalvor VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
logged=$(dpkg-parsechangelog -S Version)
if [ -z "$version" ] || [ "$version" != "$logged" ]; then
  echo "package.sh: CMakeLists.txt has version '$version' but debian/changelog '$logged';" >&2
  echo "package.sh: add a changelog entry for $version (dch -v $version, from devscripts)" >&2
  exit 1
fi

# The copy sits at a fixed place and keeps the CMake build folder of the
# last run (dpkg-buildpackage -nc), so that a rebuild compiles only what
# changed; --clean starts from nothing. dpkg-buildpackage writes beside it.
work=$root/build-deb
obj="obj-x86_64-linux-gnu"
case "${1:-}" in
  --clean) rm -rf "$work" ;;
  "") ;;
  *) echo "package.sh: unknown argument $1" >&2; exit 2 ;;
esac
mkdir -p "$work/kalvor"
find "$work/kalvor" -mindepth 1 -maxdepth 1 ! -name "$obj" -exec rm -rf {} +
rm -f "$work"/kalvor_*
tar -C "$root" --exclude=./build --exclude='./build-*' --exclude=./dist --exclude=./.git \
    --exclude=./installation -cf - . | tar -C "$work/kalvor" -xf -

# Compiled through ccache, with the paths taken relative to the copy, so that
# a build of another clone or of a fresh copy finds the same objects.
if command -v ccache >/dev/null 2>&1; then
  CMAKE_CXX_COMPILER_LAUNCHER=ccache
  CCACHE_BASEDIR=$work/kalvor
  CCACHE_NOHASHDIR=1
  export CMAKE_CXX_COMPILER_LAUNCHER CCACHE_BASEDIR CCACHE_NOHASHDIR
fi
(cd "$work/kalvor" && DEB_BUILD_OPTIONS="parallel=$(nproc)" dpkg-buildpackage -b -nc -us -uc)

mkdir -p dist
# The line's package and the depot's, from the one build.
for package in kalvor kalvor-depot; do
  deb=$work/${package}_${version}_amd64.deb
  cp "$deb" dist/
  echo "package.sh: lintian of $package:"
  lintian --info --display-info "dist/$(basename "$deb")" || {
    echo "package.sh: lintian found errors" >&2
    exit 1
  }
  echo "package.sh: wrote dist/$(basename "$deb")"
done
