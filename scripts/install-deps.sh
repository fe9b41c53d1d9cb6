#!/bin/sh
# Installs every Debian package the line's program needs to build, test and
# run. Safe to run again: it asks apt only for what is missing.
set -eu

PACKAGES="cmake g++ ninja-build ccache mold pkg-config
qt6-base-dev qt6-serialport-dev
libgtest-dev libgmock-dev libbenchmark-dev
fonts-liberation fonts-paratype fonts-wine fonts-dejavu-core
clang libclang-rt-14-dev
cups cups-client cups-bsd printer-driver-cups-pdf poppler-utils
libpq-dev postgresql-15
libcpp-httplib-dev chromium
xvfb xdotool x11-utils x11-apps
debhelper dpkg-dev fakeroot lintian equivs
libcurl4-openssl-dev python3-aiosmtpd nginx-light stress-ng"

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing:$missing"
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $missing
