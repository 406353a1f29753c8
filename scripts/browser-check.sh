#!/usr/bin/env bash
# Renders the live results page as a phone shows it: a demo competition,
# `tallyon serve` on 127.0.0.1, headless Chromium at 390 x 844, then a save
# made beside it and the page read again from the same open browser tab's
# stream. Writes the picture to the given file (docs/results-phone.png by
# default) and fails when the page does not render or the update does not
# arrive.
#
#   scripts/browser-check.sh [OUT.png]       (after scripts/build.sh)
#
# Needs the Debian package chromium; without it, exits 77 (skipped).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TALLYON_BUILD_DIR:-$root/build}
out=${1:-$root/docs/results-phone.png}
tallyon=$build/bin/tallyon
browser=$(command -v chromium || command -v chromium-browser || true)
if [ -z "$browser" ]; then
  echo "browser-check: chromium is not installed (apt-get install chromium)" >&2
  exit 77
fi
work=$(mktemp -d)
server=
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

"$tallyon" demo "$work/hall.fdb" >/dev/null
port=$((20000 + RANDOM % 40000))
"$tallyon" serve "$work/hall.fdb" --listen 127.0.0.1 --port "$port" >"$work/serve.log" 2>&1 &
server=$!
for _ in $(seq 1 100); do
  grep -q "Ctrl+C" "$work/serve.log" && break
  kill -0 "$server" 2>/dev/null || { cat "$work/serve.log" >&2; exit 1; }
  sleep 0.1
done
url="http://127.0.0.1:$port/"

# The page keeps its update stream open, so the browser never sees the
# network fall idle: it takes the picture after a fixed wait instead. Each
# run is bounded.
browse() {
  timeout 60 \
  "$browser" --headless --no-sandbox --disable-gpu --hide-scrollbars --no-first-run \
    --user-data-dir="$work/profile" --window-size=390,844 --timeout=4000 "$@" "$url" 2>/dev/null
}

browse --screenshot="$work/page.png" >/dev/null
[ -s "$work/page.png" ] || { echo "browser-check: no picture" >&2; exit 1; }
# The stream's first message comes a moment after the page has loaded: a
# dump taken before it is tried again.
live=
for _ in 1 2 3; do
  dom=$(browse --dump-dom)
  [ -n "${BROWSER_CHECK_DEBUG:-}" ] && printf "%s\n" "$dom" >"$BROWSER_CHECK_DEBUG"
  grep -q 'id="competition"' <<<"$dom" || { echo "browser-check: the page did not render" >&2; exit 1; }
  if grep -q '● live' <<<"$dom"; then
    live=yes
    break
  fi
done
[ -n "$live" ] || { echo "browser-check: the page did not take the update stream" >&2; exit 1; }
mkdir -p "$(dirname "$out")"
cp "$work/page.png" "$out"
echo "browser-check: the page renders at 390x844 and takes the stream; picture in $out"
