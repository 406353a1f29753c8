#!/usr/bin/env bash
# Installs and starts a local Firebird server for the multi-station tests
# (tst_server skips itself when none answers). Needs root.
set -euo pipefail
if ! dpkg-query -W -f='${Status}' firebird3.0-server 2>/dev/null | grep -q "install ok installed"; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y firebird3.0-server
fi
if ! pgrep -x firebird >/dev/null; then
  if ! su -s /bin/sh firebird -c "/usr/sbin/fbguard -daemon -forever"; then
    echo "The Firebird server did not start (see /var/log/firebird/); tst_server will skip itself."
    exit 0
  fi
  for _ in $(seq 1 50); do
    (exec 3<>/dev/tcp/127.0.0.1/3050) 2>/dev/null && break
    sleep 0.2
  done
fi
