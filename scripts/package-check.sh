#!/bin/sh
# Checks the Debian package on this machine as a depot would use it, and
# leaves the machine as it was: builds it (scripts/package.sh, unless
# --no-build finds it in dist/), installs it with apt, checks the user kalvor
# and /var/lib/kalvor, runs the installed program headless on the
# demonstration script, verifies the units, runs the kiosk session under
# Xvfb, takes a backup as the timer would, upgrades to the same package
# repacked with a higher version, removes and purges it, and checks at every step that
# setup.ini and the data are unchanged. Refuses a machine where the package or
# /var/lib/kalvor already exists. Run as root.
set -eu
cd "$(dirname "$0")/.."
HOME_DIR=/var/lib/kalvor
BACKUP_DIR=/var/backups/kalvor

[ "$(id -u)" -eq 0 ] || { echo "package-check.sh: run as root" >&2; exit 2; }
if dpkg-query -W kalvor >/dev/null 2>&1 || [ -e "$HOME_DIR" ] || getent passwd kalvor >/dev/null; then
  echo "package-check.sh: kalvor is already on this machine; not touching it" >&2
  exit 2
fi

version=$(sed -n 's/^project(kalvor VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb=dist/kalvor_${version}_amd64.deb
if [ "${1:-}" != --no-build ] || [ ! -f "$deb" ]; then
  scripts/package.sh
fi
scripts/install-deps.sh  # Xvfb and xwininfo for the kiosk session
scripts/package-check-depot.sh --no-build  # the depot's package first; it leaves the machine as it was

work=$(mktemp -d)
chmod 755 "$work"  # the user kalvor runs from copies in it
xvfb=""
session=""
# Whether Qt's runtime folder of the user kalvor was there before the check
# (the runs of the program and the tools as kalvor below make it).
runtime_before=$([ -e /tmp/runtime-kalvor ] && echo yes || true)
# Puts the machine back as it was, also after a failed step or a signal:
# the package purged with the packages its install brought in (dpkg refuses
# to take one that something else has come to need since), the folders and
# the user removed; says what could not be removed and then fails the run.
cleanup() {
  status=$?
  set +e
  trap - EXIT INT TERM HUP
  if [ -n "$session" ]; then
    kill -- "-$session" 2>/dev/null
    sleep 1
  fi
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -q kalvor >/dev/null 2>&1 || true
  if [ -s "$work/added" ]; then
    # shellcheck disable=SC2046
    DEBIAN_FRONTEND=noninteractive dpkg --purge $(cat "$work/added") >/dev/null 2>"$work/purge-errors" ||
      sed 's/^/package-check.sh: /' "$work/purge-errors" >&2
  fi
  rm -rf "$HOME_DIR" "$BACKUP_DIR"
  [ -n "$runtime_before" ] || rm -rf /tmp/runtime-kalvor
  getent passwd kalvor >/dev/null && deluser --quiet --system kalvor
  getent group kalvor >/dev/null && delgroup --quiet --system kalvor
  left=""
  dpkg-query -W kalvor >/dev/null 2>&1 && left="$left the package,"
  getent passwd kalvor >/dev/null && left="$left the user kalvor,"
  [ -e "$HOME_DIR" ] && left="$left $HOME_DIR,"
  [ -e "$BACKUP_DIR" ] && left="$left $BACKUP_DIR,"
  if [ -s "$work/added" ]; then
    for p in $(cat "$work/added"); do
      dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" && left="$left $p,"
    done
  fi
  rm -rf "$work"
  if [ -n "$left" ]; then
    echo "package-check.sh: FAILED to remove:${left%,}" >&2
    exit 1
  fi
  echo "package-check.sh: removed what the check installed"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP
fail() { echo "package-check.sh: FAILED: $*" >&2; exit 1; }
ok() { echo "package-check.sh: ok: $*"; }
# setup.ini and every file the site's data live in, with their checksums.
data_sums() {
  (cd "$HOME_DIR" && find setup.ini Chassie.ini Calibrate.txt Config Report Tabl1 STORAGE \
     -type f -print0 | sort -z | xargs -0 sha256sum)
}

# What the install brings in besides the package, read at once, as apt
# holds the lock until it ends.
dpkg-query -W -f='${Status} ${binary:Package}\n' | sed -n 's/^install ok installed //p' | sort >"$work/before-install"
installed=0
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "./$deb" >"$work/install-log" 2>&1 || installed=$?
cat "$work/install-log"
dpkg-query -W -f='${Status} ${binary:Package}\n' | sed -n 's/^install ok installed //p' | sort |
  comm -13 "$work/before-install" - | grep -v '^kalvor$' >"$work/added" || true
[ "$installed" -eq 0 ] || fail "apt-get install ./$deb"
ok "installed with $(wc -l <"$work/added") packages it depends on"
id -nG kalvor | tr ' ' '\n' | grep -qx dialout || fail "kalvor is not in dialout"
id -nG kalvor | tr ' ' '\n' | grep -qx lp || fail "kalvor is not in lp"
[ "$(stat -c %U "$HOME_DIR/setup.ini")" = kalvor ] || fail "setup.ini is not kalvor's"
[ "$(find "$HOME_DIR" ! -user kalvor ! -type l | wc -l)" -eq 0 ] || fail "files of $HOME_DIR not kalvor's"
[ "$(readlink "$HOME_DIR/poweroff.exe")" = /usr/libexec/kalvor/poweroff ] || fail "no poweroff.exe"
ok "user kalvor (groups: $(id -nG kalvor)), $HOME_DIR written, poweroff.exe linked"
[ "$(stat -c %a "$HOME_DIR")" = 750 ] || fail "$HOME_DIR is mode $(stat -c %a "$HOME_DIR"), not 750"
! grep -q "QStandardPaths\|XDG_RUNTIME_DIR" "$work/install-log" || fail "the postinst printed a Qt warning"
[ -n "$runtime_before" ] || [ ! -e /tmp/runtime-kalvor ] || fail "the postinst left /tmp/runtime-kalvor"
ok "$HOME_DIR not readable by others; the postinst printed no Qt warning and left no runtime folder"

# The installed program on a copy of the installed folder.
cp -a "$HOME_DIR" "$work/demo-home"
runuser -u kalvor -- env QT_QPA_PLATFORM=offscreen /usr/bin/kalvor --home "$work/demo-home" \
  -platform offscreen --virtual-clock --play /usr/share/kalvor/demo.play || fail "demo run"
[ -s "$work/demo-home/demo/03-shutdown.png" ] || fail "the demonstration left no snapshots"
ok "installed program ran the demonstration script ($(ls "$work/demo-home/demo" | wc -l) snapshots)"

units=""
for u in kalvor-kiosk.service kalvor-backup.service kalvor-backup.timer kalvor-backup-failed.service \
    kalvor-depot-sync.service kalvor-depot-sync.timer; do
  units="$units /lib/systemd/system/$u"
done
# shellcheck disable=SC2086
verify=$(systemd-analyze verify $units 2>&1) ||
  fail "systemd-analyze verify: $verify"
[ -z "$verify" ] || fail "systemd-analyze verify: $verify"
ok "units verify"
sync_exec=$(sed -n 's/^ExecStart=\([^ ]*\) .*/\1/p' /lib/systemd/system/kalvor-depot-sync.service)
[ "$sync_exec" = /usr/bin/kalvor-springdata ] && [ -x "$sync_exec" ] || fail "the sync unit runs '$sync_exec'"
[ ! -e /etc/systemd/system/timers.target.wants/kalvor-depot-sync.timer ] || fail "the depot sync timer is enabled"
/lib/systemd/system-generators/kalvor-kiosk-console "$work/generated"
grep -qx "TTYPath=/dev/tty7" "$work/generated/kalvor-kiosk.service.d/console.conf" ||
  fail "the console generator did not put the kiosk on tty7"
ok "the sync unit runs $sync_exec (disabled); the kiosk's console comes from KALVOR_VT"

# The kiosk session on a virtual X screen, the program on a copy of the
# folder ending itself after 15 s of real time.
Xvfb :71 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 2
printf 'wait 15000\nexit\n' >"$work/end.play"
chmod 644 "$work/end.play"
rm -rf "$work/demo-home/demo"
setsid runuser -u kalvor -- env DISPLAY=:71 KALVOR_HOME="$work/demo-home" KALVOR_ARGS="--play $work/end.play" \
  /usr/libexec/kalvor/kiosk-session "$work/demo-home/kiosk-status" &
session=$!
geometry=""
for _ in $(seq 40); do
  sleep 0.5
  # The program's window, named by its executable and version; the
  # geometry as xwininfo gives it: WxH+X+Y.
  geometry=$(DISPLAY=:71 xwininfo -root -tree 2>/dev/null |
    sed -n "s|.*\"/usr/bin/kalvor v$version[^\"]*\": ([^)]*)  *\([0-9x+]*\) .*|\1|p" | head -n 1) || true
  [ -n "$geometry" ] && break
done
wait "$session"
session=""
[ "$geometry" = "1024x768+0+0" ] || fail "kiosk window is '$geometry', not 1024x768+0+0"
code=$(cat "$work/demo-home/kiosk-status")
[ "$code" = 0 ] || fail "kiosk session recorded exit code '$code'"
kill "$xvfb"; xvfb=""
ok "kiosk session: window 1024x768+0+0 on a 1024x768 screen, exit code 0 recorded"

# Root's backup is refused (its files would be root's); --as-owner runs it
# as kalvor.
if kalvor-springdata backup --home "$HOME_DIR" --to "$BACKUP_DIR" >"$work/root-backup" 2>&1 ||
   ! grep -q "belongs to the user kalvor" "$work/root-backup"; then
  fail "root's backup was not refused: $(cat "$work/root-backup")"
fi
kalvor-springdata backup --as-owner --home "$HOME_DIR" --to "$BACKUP_DIR" --keep 30 || fail "backup --as-owner"
[ "$(find "$BACKUP_DIR" ! -user kalvor | wc -l)" -eq 0 ] || fail "files of $BACKUP_DIR not kalvor's"
ok "root's backup refused, --as-owner ran it as kalvor"

# The backup as the timer runs it, into the folder the package made.
runuser -u kalvor -- kalvor-springdata backup --home "$HOME_DIR" --to "$BACKUP_DIR" --keep 30 ||
  fail "backup as kalvor"
ok "backup into $BACKUP_DIR as kalvor"

# Site data: a changed setting and two measurements.
# The upgrade: the same package under a higher version, repacked.
dpkg-deb -R "$deb" "$work/next"
sed -i "s/^Version: .*/Version: $version+check1/" "$work/next/DEBIAN/control"
next=$work/kalvor_${version}+check1_amd64.deb
dpkg-deb --root-owner-group -b "$work/next" "$next" >/dev/null

printf '; commissioned\r\n' >>"$HOME_DIR/setup.ini"
head -c 596 /dev/urandom >>"$HOME_DIR/Report/day.bin"
data_sums >"$work/before"
bmp=$(stat -c %Y "$HOME_DIR/BMP/hst.bmp")
sleep 1.1
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$next"
data_sums | cmp -s - "$work/before" || fail "the upgrade changed setup.ini or the data"
[ "$(stat -c %Y "$HOME_DIR/BMP/hst.bmp")" != "$bmp" ] || fail "the upgrade did not renew the pictures"
ok "upgrade to $(dpkg-query -W -f='${Version}' kalvor): pictures renewed, setup.ini and data unchanged"

DEBIAN_FRONTEND=noninteractive apt-get remove -y -q kalvor
data_sums | cmp -s - "$work/before" || fail "remove changed the data"
ok "remove: data unchanged"
DEBIAN_FRONTEND=noninteractive apt-get purge -y -q kalvor | tee "$work/purge"
grep -q "the measurement data remain in $HOME_DIR" "$work/purge" || fail "purge did not say where the data remain"
grep -q "the backups remain in $BACKUP_DIR" "$work/purge" || fail "purge did not name the backup folder"
data_sums | cmp -s - "$work/before" || fail "purge changed the data"
[ ! -e "$HOME_DIR/poweroff.exe" ] || fail "purge left the poweroff.exe link"
ok "purge: data unchanged and named"
echo "package-check.sh: all checks passed"
