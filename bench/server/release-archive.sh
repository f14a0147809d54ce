# Sourced by the server benchmarks: builds varnook-archive in Release (build-server-rel,
# or $VARNOOK_BENCH_BUILD) and sets `archive` to its path; then checks that the tools named
# in `needed` are installed. Also gives the scripts what they share (write_articles_lua).
build=${VARNOOK_BENCH_BUILD:-build-server-rel}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVARNOOK_GUI=OFF \
  -DVARNOOK_TESTS=OFF -DVARNOOK_BENCH=OFF >/dev/null
ninja -C "$build" -j2 varnook-archive >/dev/null
archive="$PWD/$build/src/server/varnook-archive"
for tool in "${needed[@]}"; do
  command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/install-deps.sh" >&2; exit 1; }
done

# Writes a wrk script that reads articles 1..count as text, spread over the archive.
write_articles_lua() {  # file count
  cat >"$1" <<LUA
local count = $2
local i = 0
request = function()
  i = i + 7919
  return wrk.format("GET", "/getdoc.xp?AN=" .. ((i % count) + 1) .. "&fmt=text")
end
LUA
}
