#!/usr/bin/env bash
# Installs what is missing, builds, creates the demo competition once and
# opens the points window on it. Extra arguments go to "tallyon points"
# (for example --screenshot window.png).
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"
tallyon="${TALLYON_BUILD_DIR:-$root/build}/bin/tallyon"
data_dir="${XDG_DATA_HOME:-$HOME/.local/share}/tallyon"
db="$data_dir/demo.fdb"
mkdir -p "$data_dir"
if [ ! -f "$db" ]; then
  "$tallyon" demo "$db"
fi
if [ $# -eq 0 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display. Run it under a virtual one:  xvfb-run -a bash run-demo.sh"
  echo "or take a picture of the window:          bash run-demo.sh --screenshot window.png"
  exit 1
fi
exec "$tallyon" points "$db" "$@"
