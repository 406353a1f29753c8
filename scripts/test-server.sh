#!/usr/bin/env bash
# A throwaway Firebird server for the tests: its own root folder, security
# database, SYSDBA password and port on 127.0.0.1; no system service, no
# system password file.
#
#   test-server.sh start DIR    builds DIR, starts the server, waits until it answers
#   test-server.sh stop DIR     stops the server started in DIR (by its process id), removes DIR
#   test-server.sh halt DIR     stops the server, keeps DIR and its databases
#   test-server.sh resume DIR   starts a halted server again on the same port
#   test-server.sh run DIR CMD  start, run CMD with TALLYON_TEST_SERVER_ROOT=DIR, stop
#
# DIR afterwards holds: address (localhost/PORT), password, data/ (database
# files the server may create), server.pid, server.log.
# A server that cannot start is an error (exit 1). Outside CI, a machine
# without the server package skips (exit 77), so ctest shows the server tests
# as skipped rather than passed.
set -euo pipefail

package=/usr/lib/x86_64-linux-gnu/firebird/3.0
config=/etc/firebird/3.0
server=/usr/sbin/firebird

log() { echo "test-server: $*" >&2; }

# True while the process lives and is not a zombie.
alive() {
  local pid=$1 state
  [ -r "/proc/$pid/stat" ] || return 1
  state=$(sed 's/^.*) //' "/proc/$pid/stat" | cut -d' ' -f1)
  [ "$state" != Z ]
}

# Our server of an earlier run, left behind by an interrupted test run.
ours() {
  local pid=$1 dir=$2
  alive "$pid" && [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$server" ] &&
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "FIREBIRD=$dir"
}

stop_pid() {
  local pid=$1
  kill -TERM "$pid" 2>/dev/null || return 0
  for _ in $(seq 1 100); do
    alive "$pid" || return 0
    sleep 0.1
  done
  log "server $pid did not stop within 10 s; killing it"
  kill -KILL "$pid" 2>/dev/null || true
  for _ in $(seq 1 50); do
    alive "$pid" || return 0
    sleep 0.1
  done
}

stop() {
  local dir=$1
  if [ -f "$dir/server.pid" ]; then
    local pid
    pid=$(cat "$dir/server.pid")
    if ours "$pid" "$dir"; then
      stop_pid "$pid"
    fi
  fi
  rm -rf "$dir"
}

answers() {
  local dir=$1 port=$2
  FIREBIRD=$dir fbsvcmgr "localhost/$port:service_mgr" -user SYSDBA -password "$(cat "$dir/password")" \
    -info_server_version >/dev/null 2>&1
}

# A port nothing listens on now; the server's own bind is the real test.
free_port() {
  local port
  for _ in $(seq 1 50); do
    port=$((20000 + RANDOM % 40000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return 0
    fi
  done
  return 1
}

prepare() {
  local dir=$1 port=$2
  mkdir -p "$dir/lock" "$dir/intl" "$dir/data"
  # The character sets must be a real file in the root; the engine does not
  # follow the package's link to it.
  cp "$package/intl/libfbintl.so" "$dir/intl/"
  cp "$config/fbintl.conf" "$dir/intl/"
  ln -sfn "$package/lib" "$dir/lib"
  ln -sfn "$package/plugins" "$dir/plugins"
  ln -sfn "$config/plugins.conf" "$dir/plugins.conf"
  ln -sfn "$package/firebird.msg" "$dir/firebird.msg"
  cat >"$dir/firebird.conf" <<EOF
RemoteServicePort = $port
RemoteBindAddress = 127.0.0.1
SecurityDatabase = $dir/security3.fdb
ServerMode = Super
UdfAccess = None
EOF
  od -An -N9 -tx1 /dev/urandom | tr -d ' \n' >"$dir/password"
  echo "localhost/$port" >"$dir/address"
  local password
  password=$(cat "$dir/password")
  (
    cd "$dir"
    export FIREBIRD=$dir FIREBIRD_LOCK=$dir/lock
    echo "create database '$dir/security3.fdb';" | isql-fb -q -b
    printf "create user SYSDBA password '%s' using plugin Srp;\ncommit;\n" "$password" |
      isql-fb -q -b -user SYSDBA "$dir/security3.fdb"
  ) >"$dir/prepare.log" 2>&1
}

# Starts the server of a prepared root and waits until it answers.
launch() {
  local dir=$1 port=$2 pid
  # setsid and closed descriptors: the server outlives this script and
  # holds none of the caller's pipes (ctest waits for those).
  FIREBIRD=$dir FIREBIRD_LOCK=$dir/lock setsid "$server" </dev/null >>"$dir/server.log" 2>&1 &
  pid=$!
  echo "$pid" >"$dir/server.pid"
  for _ in $(seq 1 150); do
    if answers "$dir" "$port"; then
      log "server $pid answers on 127.0.0.1:$port (root $dir)"
      return 0
    fi
    alive "$pid" || break
    sleep 0.2
  done
  cat "$dir/server.log" "$dir/firebird.log" 2>/dev/null >&2 || true
  stop_pid "$pid"
  return 1
}

halt() {
  local dir=$1 pid
  pid=$(cat "$dir/server.pid")
  ours "$pid" "$dir" && stop_pid "$pid"
  return 0
}

resume() {
  local dir=$1 port
  port=$(sed 's|.*/||' "$dir/address")
  halt "$dir"
  # The port may linger for a moment after the old server's exit.
  for _ in $(seq 1 10); do
    launch "$dir" "$port" && return 0
    sleep 1
  done
  log "the server did not start again on port $port"
  exit 1
}

start() {
  local dir=$1
  stop "$dir"
  if [ ! -x "$server" ] || ! command -v isql-fb >/dev/null || ! command -v fbsvcmgr >/dev/null; then
    log "the Firebird server package (firebird3.0-server) is not installed"
    [ "${CI:-}" = true ] && exit 1
    exit 77
  fi
  local attempt port
  for attempt in 1 2 3; do
    rm -rf "$dir"
    port=$(free_port) || { log "no free port found"; exit 1; }
    if ! prepare "$dir" "$port"; then
      log "could not create the security database:"
      cat "$dir/prepare.log" >&2
      exit 1
    fi
    launch "$dir" "$port" && return 0
    log "attempt $attempt: the server on port $port did not answer"
  done
  log "the server did not start"
  exit 1
}

[ $# -ge 2 ] || { echo "usage: $0 start|stop DIR | run DIR COMMAND..." >&2; exit 2; }
action=$1
mkdir -p "$(dirname "$2")"
dir=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
shift 2
case $action in
  start) start "$dir" ;;
  stop) stop "$dir" ;;
  halt) halt "$dir" ;;
  resume) resume "$dir" ;;
  run)
    start "$dir"
    trap 'stop "$dir"' EXIT
    TALLYON_TEST_SERVER_ROOT=$dir "$@"
    ;;
  *) echo "unknown action: $action" >&2; exit 2 ;;
esac
