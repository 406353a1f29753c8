#!/usr/bin/env bash
# Configures and builds everything into build/ (or $TALLYON_BUILD_DIR).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TALLYON_BUILD_DIR:-$root/build}
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# TALLYON_CMAKE_ARGS: more configure options, such as -DTALLYON_SANITIZE=ON.
read -r -a extra <<<"${TALLYON_CMAKE_ARGS:-}"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "${extra[@]}"
cmake --build "$build" -j"$(nproc)"
