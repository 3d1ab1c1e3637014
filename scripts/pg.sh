#!/usr/bin/env bash
# Private PostgreSQL server for tests.
#
#   scripts/pg.sh start DIR   initialise (once) and start a server in DIR; writes DIR/env
#   scripts/pg.sh stop DIR    stop it (harmless when it is not running)
#   scripts/pg.sh env DIR     print DIR/env
#
# The server listens only on 127.0.0.1 on a free port from 55432 upward, keeps
# its unix socket inside DIR, logs to DIR/log and trusts all local connections.
# As root the server runs as the "postgres" OS user (PostgreSQL refuses root).
# PLEXAVO_PG_LOCALE chooses the cluster's locale (default C.UTF-8, byte-order
# collation); en_US.UTF-8 gives the language collation most servers run with.
# PLEXAVO_PG_DURABLE=1 keeps the durable settings (fsync, synchronous commit,
# full page writes) on, as a production server runs; by default they are off
# so that tests run fast.
set -euo pipefail

usage() {
  echo "usage: $0 start|stop|env DIR" >&2
  exit 2
}

[[ $# -eq 2 ]] || usage
cmd=$1
DIR=$2

find_bindir() {
  local best="" best_ver=0 d ver
  for d in /usr/lib/postgresql/*/bin; do
    [[ -x "$d/pg_ctl" ]] || continue
    ver=$(basename "$(dirname "$d")")
    [[ "$ver" =~ ^[0-9]+$ ]] || continue
    if ((ver > best_ver)); then
      best_ver=$ver
      best=$d
    fi
  done
  if [[ -z "$best" ]]; then
    if command -v pg_ctl >/dev/null 2>&1; then
      best=$(dirname "$(command -v pg_ctl)")
    else
      echo "==> pg: ERROR: no PostgreSQL server binaries found under /usr/lib/postgresql" >&2
      exit 1
    fi
  fi
  echo "$best"
}

if [[ $(id -u) -eq 0 ]]; then
  PGUSER_OS=postgres
  if ! id "$PGUSER_OS" >/dev/null 2>&1; then
    echo "==> pg: ERROR: running as root but OS user 'postgres' does not exist" >&2
    exit 1
  fi
else
  PGUSER_OS=$(id -un)
fi

# Runs a command as the server's OS user, from a directory it can access.
as_pg() {
  if [[ $(id -u) -eq 0 ]]; then
    (cd "$DIR" && runuser -u "$PGUSER_OS" -- "$@")
  else
    (cd "$DIR" && "$@")
  fi
}

port_in_use() {
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

free_port() {
  local p=$1
  while ((p < 65535)); do
    if ! port_in_use "$p"; then
      echo "$p"
      return 0
    fi
    p=$((p + 1))
  done
  echo "==> pg: ERROR: no free port found" >&2
  return 1
}

is_running() {
  [[ -f "$DIR/data/PG_VERSION" ]] || return 1
  as_pg "$BINDIR/pg_ctl" status -D "$DIR/data" >/dev/null 2>&1
}

write_env() {
  local port=$1
  cat >"$DIR/env.tmp" <<ENV
export PLEXAVO_TEST_PG_HOST=127.0.0.1
export PLEXAVO_TEST_PG_PORT=$port
export PLEXAVO_TEST_PG_USER=postgres
ENV
  mv "$DIR/env.tmp" "$DIR/env"
}

do_start() {
  mkdir -p "$DIR"
  DIR=$(cd "$DIR" && pwd)
  if [[ $(id -u) -eq 0 ]]; then
    chown "$PGUSER_OS:" "$DIR"
    [[ -d "$DIR/data" ]] && chown -R "$PGUSER_OS:" "$DIR/data"
    if ! runuser -u "$PGUSER_OS" -- test -w "$DIR" -a -x "$DIR"; then
      echo "==> pg: ERROR: $DIR is not reachable by user $PGUSER_OS (check parent directory permissions)" >&2
      exit 1
    fi
  fi

  if is_running; then
    local port
    port=$(sed -n 's/^export PLEXAVO_TEST_PG_PORT=//p' "$DIR/env" 2>/dev/null || true)
    if [[ -n "$port" ]]; then
      echo "==> pg: already running in $DIR on 127.0.0.1:$port"
      return 0
    fi
    echo "==> pg: server in $DIR running without env file; restarting"
    as_pg "$BINDIR/pg_ctl" stop -D "$DIR/data" -m fast -w >/dev/null
  fi

  if [[ ! -f "$DIR/data/PG_VERSION" ]]; then
    local want=${PLEXAVO_PG_LOCALE:-C.UTF-8}
    local locale_opt=(--locale="$want")
    local pattern=${want//./\\.}
    pattern=${pattern/UTF-8/utf-?8}
    if ! locale -a 2>/dev/null | grep -qixE "$pattern"; then
      if [[ -n "${PLEXAVO_PG_LOCALE:-}" ]]; then
        echo "==> pg: ERROR: locale $want is not installed (scripts/setup.sh generates en_US.UTF-8)" >&2
        exit 1
      fi
      locale_opt=(--no-locale)
    fi
    echo "==> pg: initdb $DIR/data ($("$BINDIR/postgres" --version))"
    rm -rf "$DIR/data"
    if ! as_pg env LC_ALL=C "$BINDIR/initdb" -D "$DIR/data" --auth=trust -U postgres \
      --encoding=UTF8 "${locale_opt[@]}" >"$DIR/initdb.log" 2>&1; then
      echo "==> pg: ERROR: initdb failed:" >&2
      cat "$DIR/initdb.log" >&2
      exit 1
    fi
  fi

  local port attempt=1 start_port=55432 durability="-c fsync=off -c synchronous_commit=off -c full_page_writes=off"
  if [[ "${PLEXAVO_PG_DURABLE:-0}" == 1 ]]; then
    durability="-c fsync=on -c synchronous_commit=on -c full_page_writes=on"
  fi
  while :; do
    port=$(free_port "$start_port")
    echo "==> pg: starting server on 127.0.0.1:$port (log: $DIR/log)"
    if as_pg "$BINDIR/pg_ctl" start -D "$DIR/data" -l "$DIR/log" -w -t 60 -o \
      "-c listen_addresses=127.0.0.1 -p $port -c unix_socket_directories='$DIR' -c max_connections=200 $durability" \
      >/dev/null; then
      break
    fi
    if ((attempt >= 5)); then
      echo "==> pg: ERROR: server failed to start; last log lines:" >&2
      tail -n 30 "$DIR/log" >&2 || true
      exit 1
    fi
    echo "==> pg: start on port $port failed, trying another port"
    attempt=$((attempt + 1))
    start_port=$((port + 1))
  done

  local deadline=$((SECONDS + 60))
  until "$BINDIR/pg_isready" -q -h 127.0.0.1 -p "$port" -U postgres; do
    if ((SECONDS >= deadline)); then
      echo "==> pg: ERROR: server did not become ready within 60 s; last log lines:" >&2
      tail -n 30 "$DIR/log" >&2 || true
      exit 1
    fi
    sleep 0.5
  done

  write_env "$port"
  echo "==> pg: ready on 127.0.0.1:$port; env in $DIR/env"
}

do_stop() {
  if [[ ! -d "$DIR" ]]; then
    echo "==> pg: nothing to stop ($DIR does not exist)"
    return 0
  fi
  DIR=$(cd "$DIR" && pwd)
  if is_running; then
    echo "==> pg: stopping server in $DIR"
    as_pg "$BINDIR/pg_ctl" stop -D "$DIR/data" -m fast -w -t 60 >/dev/null
    echo "==> pg: stopped"
  else
    echo "==> pg: not running in $DIR"
  fi
}

case "$cmd" in
  start)
    BINDIR=$(find_bindir)
    do_start
    ;;
  stop)
    BINDIR=$(find_bindir)
    do_stop
    ;;
  env)
    if [[ ! -f "$DIR/env" ]]; then
      echo "==> pg: ERROR: $DIR/env not found (server not started?)" >&2
      exit 1
    fi
    cat "$DIR/env"
    ;;
  *)
    usage
    ;;
esac
