#!/bin/sh
# A private PostgreSQL cluster for the depot tests.
#
#   pg-cluster.sh start DIR PORT [DIR PORT ...]
#                                   initdb into DIR (made anew), start the server
#                                   on the Unix socket DIR/.s.PGSQL.PORT only;
#                                   several clusters side by side
#   pg-cluster.sh up DIR PORT      start the cluster of DIR unless it runs
#   pg-cluster.sh stop DIR...      stop the server (and the tests' browser) at once
#                                   and remove DIR
#   pg-cluster.sh halt DIR         stop the server (fast shutdown), keep DIR
#   pg-cluster.sh resume DIR PORT  start a halted cluster again
#
# The superuser is kalvor_admin, every role logs in over the socket without a
# password (trust), and nothing listens on TCP. WAL is logical, so that a
# cluster can publish to another one (the railway tests). PostgreSQL refuses to run as
# root, so under root the cluster belongs to an unprivileged user: nobody, or
# kalvor-pgtest made for it where nobody does not exist (KALVOR_PG_USER
# chooses another).
set -eu

bindir() {
  for d in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V -r); do
    [ -x "$d/initdb" ] && { echo "$d"; return; }
  done
  d=$(dirname "$(command -v initdb 2>/dev/null || echo /nonexistent/initdb)")
  [ -x "$d/initdb" ] && { echo "$d"; return; }
  echo "pg-cluster.sh: PostgreSQL server programs not found (scripts/install-deps.sh installs postgresql-15)" >&2
  exit 1
}

# Runs a command as the cluster's owner, in DIR (the caller's folder may be
# closed to that user).
as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    (cd "$DIR" && runuser -u "$OWNER" -- "$@")
  else
    (cd "$DIR" && "$@")
  fi
}

[ $# -ge 2 ] || { echo "usage: pg-cluster.sh start|resume DIR PORT | stop|halt DIR" >&2; exit 2; }
CMD=$1
DIR=$2
BIN=$(bindir)
OWNER=$(id -un)
if [ "$(id -u)" -eq 0 ]; then
  OWNER=${KALVOR_PG_USER:-nobody}
  if ! id "$OWNER" >/dev/null 2>&1; then
    OWNER=kalvor-pgtest
    id "$OWNER" >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin "$OWNER"
  fi
fi

# The depot tests' Chromium, which the first test that needs it starts in
# DIR/browser and the later ones share (tests/support/browser.h), ends with
# the cluster: killed with its helpers at once (their process group; it
# keeps nothing that must survive), rather than told to close, which takes
# it a second or more.
stop_browser() {
  pid=$(cat "$DIR/browser/pid" 2>/dev/null) || return 0
  tr '\0' '\n' <"/proc/$pid/cmdline" 2>/dev/null | grep -qxF -- "--user-data-dir=$DIR/browser/profile" || return 0
  group=$(cut -d' ' -f5 "/proc/$pid/stat" 2>/dev/null) || return 0
  kill -KILL -- "-$group" 2>/dev/null || kill -KILL "$pid" 2>/dev/null || true
  for _ in $(seq 50); do
    [ -d "/proc/$pid" ] || return 0
    sleep 0.02
  done
}

stop() {
  stop_browser
  if [ -f "$DIR/data/postmaster.pid" ]; then
    as_owner "$BIN/pg_ctl" -D "$DIR/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$DIR"
}

run_server() {
  as_owner "$BIN/pg_ctl" -D "$DIR/data" -l "$DIR/server.log" -w -t 60 start \
    -o "-p $PORT -c listen_addresses= -c unix_socket_directories=$DIR -c fsync=off -c full_page_writes=off -c shared_buffers=64MB -c max_connections=40 -c wal_level=logical -c max_logical_replication_workers=8" \
    >/dev/null || { cat "$DIR/server.log" >&2; exit 1; }
}

start() {
  stop  # a cluster left over by a killed run
  mkdir -p "$DIR"
  chmod 700 "$DIR"
  [ "$(id -u)" -eq 0 ] && chown "$OWNER" "$DIR"
  # initdb once per owner and server version; every start copies that
  # empty cluster, several times faster than an initdb (the railway
  # tests start three).
  TEMPLATE=${TMPDIR:-/tmp}/kalvor-pg-template-1-$OWNER-$(basename "$(dirname "$BIN")")
  if [ ! -f "$TEMPLATE/PG_VERSION" ]; then
    # Made beside it and renamed in one step (one file system), so that a
    # start beside this one never copies half of it.
    MAKING="$TEMPLATE.$$"
    as_owner "$BIN/initdb" -D "$MAKING" -N -U kalvor_admin --auth=trust -E UTF8 --locale=C.UTF-8 \
      >"$DIR/initdb.log" 2>&1 || { rm -rf "$MAKING"; cat "$DIR/initdb.log" >&2; exit 1; }
    # In the configuration file rather than on the command line, so that a
    # test may change it with ALTER SYSTEM.
    echo "max_slot_wal_keep_size = 1GB" >>"$MAKING/postgresql.conf"
    # A start beside this one may have made it first.
    mv -T "$MAKING" "$TEMPLATE" 2>/dev/null || rm -rf "$MAKING"
  fi
  as_owner cp -a "$TEMPLATE" "$DIR/data"
  # The socket folder must be open to the test programs, which may run as
  # another user than the cluster's owner.
  chmod 711 "$DIR"
  run_server
  echo "pg-cluster.sh: cluster running in $DIR, port $PORT"
}

case "$CMD" in
  start)
    shift
    [ $# -ge 2 ] && [ $(($# % 2)) -eq 0 ] || { echo "usage: pg-cluster.sh start DIR PORT [DIR PORT ...]" >&2; exit 2; }
    pids=""
    while [ $# -gt 0 ]; do
      (DIR=$1 PORT=$2 && start) &
      pids="$pids $!"
      shift 2
    done
    failed=0
    for pid in $pids; do wait "$pid" || failed=1; done
    exit $failed
    ;;
  up)
    [ $# -eq 3 ] || { echo "usage: pg-cluster.sh up DIR PORT" >&2; exit 2; }
    PORT=$3
    if [ -f "$DIR/data/PG_VERSION" ]; then
      as_owner "$BIN/pg_ctl" -D "$DIR/data" status >/dev/null 2>&1 || run_server
    else
      start
    fi
    ;;
  halt)
    as_owner "$BIN/pg_ctl" -D "$DIR/data" -m fast -w stop >/dev/null
    ;;
  resume)
    [ $# -eq 3 ] || { echo "usage: pg-cluster.sh resume DIR PORT" >&2; exit 2; }
    PORT=$3
    run_server
    ;;
  stop)
    shift
    for DIR in "$@"; do stop & done
    wait
    ;;
  *)
    echo "usage: pg-cluster.sh start|up|resume DIR PORT | stop|halt DIR" >&2
    exit 2
    ;;
esac
