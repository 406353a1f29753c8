#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the demo need
# (firebird3.0-server for the test server, its system service never used;
# iproute2 for the benchmark's delayed network namespace; poppler-utils and
# zbar-tools read the printed pages back in the tests; qt6-httpserver-dev for
# `tallyon serve`; chromium only for scripts/browser-check.sh, by hand).
set -euo pipefail
packages=(cmake g++ make qt6-base-dev qt6-httpserver-dev libfbclient2 firebird-dev firebird3.0-server-core
          firebird3.0-server firebird3.0-utils xvfb xauth xdotool fonts-dejavu-core poppler-utils zbar-tools iproute2)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get install -y "${missing[@]}"
