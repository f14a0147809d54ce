#!/usr/bin/env bash
# Installs what is missing, builds Varnook, indexes the demo corpus, starts the archive
# server on 127.0.0.1:8119 and opens the desktop agent on it. Without a display it runs a
# sample search with varnook-batch instead and prints what it collected.
# Usage: scripts/run-demo.sh [search words for the sample search, default: modem]
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --runtime

build=${VARNOOK_DEMO_BUILD:-build-release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVARNOOK_TESTS=OFF \
  -DVARNOOK_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"

data=${XDG_DATA_HOME:-$HOME/.local/share}/varnook
db="$data/archive"
archive="$build/src/server/varnook-archive"
if [ ! -d "$db" ]; then
  echo "Indexing the demo corpus into $db ..."
  "$archive" demo --db "$db"
fi

listen=127.0.0.1:8119
if curl -sf "http://$listen/varnook/update.txt" >/dev/null 2>&1; then
  echo "An archive server already answers on $listen; using it."
  server=""
else
  "$archive" serve --db "$db" --listen "$listen" &
  server=$!
  trap '[ -n "$server" ] && kill "$server" 2>/dev/null; true' EXIT
  for _ in $(seq 50); do
    curl -sf "http://$listen/varnook/update.txt" >/dev/null 2>&1 && break
    sleep 0.1
  done
fi
echo "Archive server: http://$listen/ (open it in a browser to search it there too)"

if { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; } && [ -x "$build/bin/varnook" ]; then
  if [ $# -gt 0 ]; then
    "$build/bin/varnook" "$@"
  else
    "$build/bin/varnook" "/Q:RUN:&QRY=modem&defaultOp=AND"
  fi
else
  words=("${@:-modem}")
  out="$data/demo.vnk"
  echo "No display: a sample search for '${words[*]}' with varnook-batch, saved to $out"
  "$build/src/batch/varnook-batch" --send --download --pages 2 --progress --list -o "$out" \
    "${words[@]}"
fi
