#!/bin/sh
# Checks the package kalvor-depot on this machine as a depot and one of its
# lines would use it, and leaves the machine as it was: installs kalvor-depot
# and kalvor (built by scripts/package.sh, unless --no-build finds both in
# dist/), checks that the depot's program links no desktop, runs
# `kalvor-depot setup` with a line (twice: the second changes nothing), adds
# an engineer, puts the printed settings into place on the "line's PC" (this
# machine), fills the line's shift file and runs the sync as its unit would
# over hostssl with sslmode=verify-full against setup's certificate, finds
# the records at the depot, reaches the page through nginx over https with
# curl --cacert and signs in (a Secure cookie), takes a backup as its timer
# would and restores it into a new database with equal counts, removes and
# purges both packages and checks that the data stay and are named.
#
# No systemd runs as PID 1 on the CI machine: the script starts the system
# cluster (pg_ctlcluster 15 main), nginx and the page itself, with what the
# units would give them, and stops them again. Everything it installed,
# started or changed (the cluster's configuration, pg_hba.conf, nginx's
# sites, the certificate, the databases and roles) it puts back at the end,
# also after a failed step. Refuses a machine where either package, the
# depot's configuration or /var/lib/kalvor already exists. Run as root.
set -eu
cd "$(dirname "$0")/.."

[ "$(id -u)" -eq 0 ] || { echo "package-check-depot.sh: run as root" >&2; exit 2; }
for p in kalvor kalvor-depot; do
  if dpkg-query -W "$p" >/dev/null 2>&1; then
    echo "package-check-depot.sh: $p is already on this machine; not touching it" >&2
    exit 2
  fi
done
for f in /etc/kalvor-depot /var/backups/kalvor-depot /etc/default/kalvor-depot /var/lib/kalvor \
         /etc/ssl/certs/kalvor-depot.pem; do
  [ -e "$f" ] && { echo "package-check-depot.sh: $f exists; not touching this machine" >&2; exit 2; }
done

version=$(sed -n 's/^project(kalvor VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb=dist/kalvor-depot_${version}_amd64.deb
line_deb=dist/kalvor_${version}_amd64.deb
if [ "${1:-}" != --no-build ] || [ ! -f "$deb" ] || [ ! -f "$line_deb" ]; then
  scripts/package.sh
fi

CLUSTER="15 main"
PGCONF=/etc/postgresql/15/main
PGDATA=/var/lib/postgresql/15/main
LISTEN=8080
work=$(mktemp -d)
chmod 755 "$work"
cp -a "$PGCONF" "$work/pg-conf"
[ -f "$PGDATA/postgresql.auto.conf" ] && cp -a "$PGDATA/postgresql.auto.conf" "$work/pg-auto.conf"
cluster_was_up=no
pg_lsclusters -h | awk '$1 == 15 && $2 == "main" && $4 == "online"' | grep -q . && cluster_was_up=yes
nginx_was_up=no
# A stopped nginx may leave its pid file, empty.
nginx_up() { [ -s /run/nginx.pid ] && kill -0 "$(cat /run/nginx.pid)" 2>/dev/null; }
nginx_up && nginx_was_up=yes
page=""
began=no

psql_depot() { runuser -u postgres -- psql -X -q -tA "$@"; }

cleanup() {
  status=$?
  set +e
  trap - EXIT INT TERM HUP
  # Before its own install the check has changed nothing, and what stands
  # there then (another run's packages) is not its to remove.
  if [ "$began" = no ]; then
    rm -rf "$work"
    exit "$status"
  fi
  [ -n "$page" ] && kill -- "-$page" 2>/dev/null
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -q kalvor-depot kalvor >/dev/null 2>&1
  if [ -s "$work/added" ]; then
    # shellcheck disable=SC2046
    DEBIAN_FRONTEND=noninteractive dpkg --purge $(cat "$work/added") >/dev/null 2>"$work/purge-errors" ||
      sed 's/^/package-check-depot.sh: /' "$work/purge-errors" >&2
  fi
  if pg_lsclusters -h | awk '$1 == 15 && $2 == "main" && $4 == "online"' | grep -q .; then
    for db in kalvor kalvor_check; do
      psql_depot -c "DROP DATABASE IF EXISTS $db WITH (FORCE)" 2>/dev/null
    done
    for role in chk_engineer kalvor_line_l1 kalvor_reader kalvor_lines; do
      psql_depot -c "DROP ROLE IF EXISTS $role" 2>/dev/null
    done
    # shellcheck disable=SC2086
    [ "$cluster_was_up" = yes ] || pg_ctlcluster $CLUSTER stop
  fi
  rm -rf "$PGCONF" && cp -a "$work/pg-conf" "$PGCONF"
  if [ -f "$work/pg-auto.conf" ]; then cp -a "$work/pg-auto.conf" "$PGDATA/postgresql.auto.conf"; fi
  # shellcheck disable=SC2086
  [ "$cluster_was_up" = yes ] && pg_ctlcluster $CLUSTER restart
  rm -f /etc/nginx/sites-enabled/kalvor-depot /etc/nginx/sites-available/kalvor-depot
  if [ "$nginx_was_up" = yes ]; then
    nginx -s reload
  elif nginx_up; then
    nginx -s quit
    for _ in 1 2 3 4 5 6 7 8 9 10; do nginx_up && sleep 0.5; done
  fi
  rm -rf /etc/kalvor-depot /var/backups/kalvor-depot /var/lib/kalvor /var/backups/kalvor
  rm -f /etc/default/kalvor-depot /etc/default/kalvor-depot-sync /etc/ssl/certs/kalvor-depot.pem \
        /etc/ssl/private/kalvor-depot.key
  getent passwd kalvor >/dev/null && deluser --quiet --system kalvor
  getent group kalvor >/dev/null && delgroup --quiet --system kalvor
  left=""
  for p in kalvor kalvor-depot $(cat "$work/added" 2>/dev/null); do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" && left="$left $p,"
  done
  for f in /etc/kalvor-depot /var/backups/kalvor-depot /var/lib/kalvor /etc/nginx/sites-enabled/kalvor-depot; do
    [ -e "$f" ] && left="$left $f,"
  done
  [ "$cluster_was_up" = no ] && pg_lsclusters -h | awk '$4 == "online"' | grep -q '^15 *main' && left="$left the cluster 15/main running,"
  [ "$nginx_was_up" = no ] && nginx_up && left="$left nginx running,"
  rm -rf "$work"
  if [ -n "$left" ]; then
    echo "package-check-depot.sh: FAILED to remove:${left%,}" >&2
    exit 1
  fi
  echo "package-check-depot.sh: removed what the check installed, started or changed"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP
fail() { echo "package-check-depot.sh: FAILED: $*" >&2; exit 1; }
ok() { echo "package-check-depot.sh: ok: $*"; }

dpkg-query -W -f='${Status} ${binary:Package}\n' | sed -n 's/^install ok installed //p' | sort >"$work/before-install"
installed=0
# Another apt or dpkg at work (another check installing kalvor): refused
# before anything is touched.
if pgrep -x apt-get >/dev/null || pgrep -x dpkg >/dev/null; then
  fail "apt or dpkg is at work; not touching this machine"
fi
began=yes
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "./$deb" "./$line_deb" || installed=$?
dpkg-query -W -f='${Status} ${binary:Package}\n' | sed -n 's/^install ok installed //p' | sort |
  comm -13 "$work/before-install" - | grep -v '^kalvor$' | grep -v '^kalvor-depot$' >"$work/added" || true
[ "$installed" -eq 0 ] || fail "apt-get install ./$deb ./$line_deb"
ok "kalvor-depot and kalvor installed with $(wc -l <"$work/added") packages they depend on"

# The depot's machine runs no desktop.
if ldd /usr/bin/kalvor-depot | grep -E 'libQt6(Gui|Widgets|SerialPort|PrintSupport)|libX|libxcb|libGL'; then
  fail "kalvor-depot links a desktop library"
fi
ok "kalvor-depot links $(ldd /usr/bin/kalvor-depot | grep -o 'libQt6[A-Za-z]*' | sort -u | tr '\n' ' ')only"
units="/lib/systemd/system/kalvor-depot.service /lib/systemd/system/kalvor-depot-backup.service
       /lib/systemd/system/kalvor-depot-backup.timer"
# shellcheck disable=SC2086
verify=$(systemd-analyze verify $units 2>&1) || fail "systemd-analyze verify: $verify"
[ -z "$verify" ] || fail "systemd-analyze verify: $verify"
for u in /lib/systemd/system/kalvor-depot.service /lib/systemd/system/kalvor-depot-backup.service; do
  ok "$(basename "$u"): $(systemd-analyze security --offline=true "$u" 2>/dev/null | sed -n 's/.*Overall exposure level for .*: //p')"
done

# shellcheck disable=SC2086
[ "$cluster_was_up" = yes ] || pg_ctlcluster $CLUSTER start
# The line's sync refuses a depot in another zone than its own: the
# machine's, as both are one here.
zone=$(cat /etc/timezone 2>/dev/null || echo Etc/UTC)
kalvor-depot setup --depot chk --time-zone "$zone" --line l1 >"$work/setup" || {
  cat "$work/setup"; fail "kalvor-depot setup"; }
cat "$work/setup"
host=$(hostname -f)
grep -q "database kalvor created" "$work/setup" || fail "setup did not say it created the database"
grep -q -- "-----BEGIN CERTIFICATE-----" "$work/setup" || fail "setup printed no certificate"
kalvor-depot setup --depot chk --time-zone "$zone" --line l1 >"$work/setup2" || fail "second setup"
grep -q "nothing to change" "$work/setup2" || { cat "$work/setup2"; fail "a second setup changed something"; }
ok "setup made the database, the roles and TLS; run again it changed nothing"
[ "$(stat -c '%U %a' /etc/kalvor-depot/pgpass)" = "root 600" ] || fail "the reader's password file is not root's 0600"
grep -q "^hostssl kalvor kalvor_line_l1 all scram-sha-256" "$PGCONF/pg_hba.conf" || fail "no hostssl line for l1"
engineer=$(kalvor-depot add-engineer chk_engineer | sed -n '2s/^ *//p')
[ "${#engineer}" -eq 32 ] || fail "add-engineer printed no password"
kalvor-depot add-engineer chk_engineer | grep -q "nothing changed" || fail "a second add-engineer changed something"
ok "engineer chk_engineer added once"

# The line's PC: the printed script (from the line's header on) puts the
# sync's settings, the password and the CA into place.
sed -n '/^Line l1: run this as root/,$p' "$work/setup" | tail -n +3 >"$work/line-l1.sh"
sh "$work/line-l1.sh" || fail "the line's printed settings"
[ "$(stat -c '%U %a' /var/lib/kalvor/.pgpass)" = "kalvor 600" ] || fail ".pgpass is not kalvor's 0600"
# shellcheck disable=SC1091
. /etc/default/kalvor-depot-sync
case "$KALVOR_DEPOT_DATABASE" in
  *"host=$host "*sslmode=verify-full*) ;;
  *) fail "the line's database is '$KALVOR_DEPOT_DATABASE'" ;;
esac
runuser -u kalvor -- kalvor-dbtool --home /var/lib/kalvor fill 25 >/dev/null || fail "dbtool fill"
records=$(runuser -u kalvor -- kalvor-dbtool --home /var/lib/kalvor count | awk '$1 == "day" { print $2 }')
# As kalvor-depot-sync.service runs it: the user kalvor, its environment file.
runuser -u kalvor -- env KALVOR_HOME=/var/lib/kalvor PGPASSFILE="$PGPASSFILE" \
  kalvor-springdata sync --home /var/lib/kalvor --database "$KALVOR_DEPOT_DATABASE" --line "$KALVOR_LINE" --quiet ||
  fail "the line's sync"
depot_rows=$(psql_depot -d kalvor -c "SELECT count(*) FROM measurements WHERE line = 'l1'")
[ "$depot_rows" = "$records" ] || fail "the depot holds $depot_rows of the line's $records records"
plain="host=$host dbname=kalvor user=kalvor_line_l1 sslmode=disable"
if runuser -u kalvor -- env PGPASSFILE="$PGPASSFILE" psql -X -tA "$plain" -c 'SELECT 1' >/dev/null 2>&1; then
  fail "the line's role logged in without TLS"
fi
ok "the line's sync over hostssl, verify-full against $host: $depot_rows of $records records at the depot; without TLS refused"

# The page as kalvor-depot.service runs it (a user of no rights, the
# reader's password as its credential), behind nginx.
# shellcheck disable=SC1091
. /etc/default/kalvor-depot
mkdir "$work/credentials"
install -o nobody -m 0400 /etc/kalvor-depot/pgpass "$work/credentials/pgpass"
chown nobody "$work/credentials"
setsid runuser -u nobody -- env PGPASSFILE="$work/credentials/pgpass" kalvor-depot serve \
  --database "$KALVOR_DEPOT_DATABASE" --listen "127.0.0.1:$LISTEN" --secure-cookies 2>"$work/page.log" &
page=$!
[ "$nginx_was_up" = yes ] || nginx
sleep 2
answer=$(curl -sS --cacert /etc/ssl/certs/kalvor-depot.pem -o /dev/null -w '%{http_code} %{redirect_url}' \
  "https://$host/") || fail "curl https://$host/"
case "$answer" in
  "303 https://$host/login"*) ;;
  *) cat "$work/page.log"; fail "https://$host/ answered '$answer', not a redirect to the sign-in" ;;
esac
curl -sS --cacert /etc/ssl/certs/kalvor-depot.pem -D "$work/headers" -o /dev/null \
  --data-urlencode user=chk_engineer --data-urlencode "password=$engineer" --data-urlencode next=/ \
  "https://$host/login" || fail "curl sign-in"
grep -qi '^set-cookie: kalvor_session=.*; Secure' "$work/headers" || { cat "$work/headers"; fail "no Secure session cookie"; }
ok "https://$host/ through nginx: $answer; the engineer signs in with a Secure cookie"

# The backup as its timer runs it, restored into a new database.
runuser -u postgres -- kalvor-depot backup --to /var/backups/kalvor-depot --keep 14 || fail "backup"
dump=$(ls /var/backups/kalvor-depot/kalvor-*.dump)
kalvor-depot restore "$dump" --database kalvor_check || fail "restore"
counts() {
  psql_depot -d "$1" -c "SELECT (SELECT count(*) FROM measurements), (SELECT count(*) FROM sets),
                               (SELECT count(*) FROM lines), current_setting('TimeZone')"
}
[ "$(counts kalvor)" = "$(counts kalvor_check)" ] || fail "restored $(counts kalvor_check), not $(counts kalvor)"
kalvor-depot restore "$dump" --database kalvor_check >/dev/null 2>&1 && fail "a restore over a database"
ok "backup $dump restored into kalvor_check: $(counts kalvor_check) (measurements|sets|lines|zone)"

kill -- "-$page"; page=""
before=$(counts kalvor)
DEBIAN_FRONTEND=noninteractive apt-get remove -y -q kalvor-depot kalvor >/dev/null
[ "$(counts kalvor)" = "$before" ] || fail "remove changed the depot database"
DEBIAN_FRONTEND=noninteractive apt-get purge -y -q kalvor-depot kalvor | tee "$work/purge"
grep -q "kalvor-depot: the depot's data remain: the database kalvor" "$work/purge" || fail "purge did not say where the depot's data remain"
grep -q "/var/lib/kalvor" "$work/purge" || fail "purge did not say where the line's data remain"
[ "$(counts kalvor)" = "$before" ] && [ -f "$dump" ] && [ -f /var/lib/kalvor/.pgpass ] || fail "purge took data away"
[ ! -e /etc/nginx/sites-enabled/kalvor-depot ] || fail "purge left the nginx site enabled"
ok "remove and purge: the database, its backup and the line's data stay, and are named"
echo "package-check-depot.sh: all checks passed"
