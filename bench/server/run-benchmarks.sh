#!/usr/bin/env bash
# Benchmarks of varnook-archive, each measured side by side in one run:
#   - indexing the test corpus (as a Maildir, and as the news spool) against
#     `notmuch new` and `mu index` on the same Maildir; index size against the raw size;
#   - one-word queries with wrk (8 connections): requests per second and median latency;
#   - article text requests per second;
#   - the server's memory while serving.
# Uses ../shared/corpus when present, the demo corpus otherwise. Release build in
# build-server-rel. Usage: bench/server/run-benchmarks.sh [seconds per wrk run, default 10]
set -euo pipefail
cd "$(dirname "$0")/../.."

seconds=${1:-10}
needed=(wrk notmuch mu)
source bench/server/release-archive.sh

work=$(mktemp -d "${TMPDIR:-/tmp}/varnook-bench.XXXXXX")
server=""
cleanup() {
  if [ -n "$server" ]; then kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

spool=../shared/corpus/spool
if [ ! -d "$spool" ]; then
  echo "(no ../shared/corpus: using the demo corpus)"
  "$archive" demo --db "$work/demo-index" --corpus "$work/demo" >/dev/null
  spool="$work/demo"
fi

# The same articles as a Maildir: one file per spool file, in cur/.
maildir="$work/maildir"
mkdir -p "$maildir/cur" "$maildir/new" "$maildir/tmp"
n=0
while IFS= read -r -d '' file; do
  n=$((n + 1))
  cp "$file" "$maildir/cur/$n.bench:2,S"
done < <(find "$spool" -type f -print0 | sort -z)
raw_bytes=$(find "$spool" -type f -printf '%s\n' | awk '{s += $1} END {print s}')
echo "Corpus: $n article files, $raw_bytes bytes ($spool)"
echo

timed() {  # timed <label> <command...>: wall seconds in $elapsed, CPU seconds in $cpu
  local TIMEFORMAT='%R %U %S' times
  times=$({ time "${@:2}" >"$work/$1.log" 2>&1; } 2>&1)
  elapsed=$(echo "$times" | awk '{ print $1 }')
  cpu=$(echo "$times" | awk '{ printf "%.2f", $2 + $3 }')
}
rate() { awk -v n="$n" -v s="$1" 'BEGIN { printf "%.0f", n / s }'; }
size_of() { du -sb "$1" | cut -f1; }

echo "Load average before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
sync
timed varnook-maildir "$archive" index --db "$work/vn-maildir" "$maildir"
vn_maildir=$elapsed vn_maildir_cpu=$cpu
timed varnook-spool "$archive" index --db "$work/vn-spool" "$spool"
vn_spool=$elapsed vn_spool_cpu=$cpu

cat >"$work/notmuch-config" <<CFG
[database]
path=$maildir
[user]
name=Bench
primary_email=bench@example.com
[new]
tags=
[maildir]
synchronize_flags=false
CFG
timed notmuch env NOTMUCH_CONFIG="$work/notmuch-config" notmuch new
nm=$elapsed nm_cpu=$cpu

mu init --muhome="$work/mu" --maildir="$maildir" >/dev/null 2>&1
timed mu mu index --muhome="$work/mu"
mu_time=$elapsed mu_cpu=$cpu

vn_size=$(size_of "$work/vn-spool")
nm_size=$(size_of "$maildir/.notmuch")
mu_size=$(size_of "$work/mu")

printf '%-34s %8s %8s %12s %14s\n' "Indexing ($n articles)" seconds "CPU s" articles/s "index bytes"
printf '%-34s %8.2f %8s %12s %14s\n' "varnook-archive index (Maildir)" "$vn_maildir" "$vn_maildir_cpu" "$(rate "$vn_maildir")" "$(size_of "$work/vn-maildir")"
printf '%-34s %8.2f %8s %12s %14s\n' "varnook-archive index (spool)" "$vn_spool" "$vn_spool_cpu" "$(rate "$vn_spool")" "$vn_size"
printf '%-34s %8.2f %8s %12s %14s\n' "notmuch new (Maildir)" "$nm" "$nm_cpu" "$(rate "$nm")" "$nm_size"
printf '%-34s %8.2f %8s %12s %14s\n' "mu index (Maildir)" "$mu_time" "$mu_cpu" "$(rate "$mu_time")" "$mu_size"
echo

# Serving.
"$archive" serve --db "$work/vn-spool" --listen 127.0.0.1:0 >"$work/serve.log" 2>&1 &
server=$!
for _ in $(seq 100); do grep -q "Listening on" "$work/serve.log" 2>/dev/null && break; sleep 0.05; done
port=$(sed -n 's|.*http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$work/serve.log" | head -1)
base="http://127.0.0.1:$port"
articles=$("$archive" stats --db "$work/vn-spool" | sed -n 's/^Articles: *//p' | tr -d ',')

# One-word queries: words common in the corpus, taken in turn.
cat >"$work/words.lua" <<'LUA'
local words = {"modem", "windows", "engine", "encryption", "bike", "printer", "monitor",
  "graphics", "baseball", "space", "orbit", "drive", "card", "gun", "christian", "motorcycle",
  "driver", "memory", "clipper", "pitcher", "helmet", "launch", "software", "price"}
local i = 0
request = function()
  i = i + 1
  return wrk.format("GET", "/dnquery.xp?QRY=" .. words[(i % #words) + 1] .. "&maxhits=40")
end
LUA
write_articles_lua "$work/articles.lua" "$articles"
curl -sf "$base/dnquery.xp?QRY=modem" >/dev/null
wrk -t2 -c8 -d"${seconds}s" --latency -s "$work/words.lua" "$base" >"$work/wrk-words.txt"
wrk -t2 -c8 -d"${seconds}s" --latency -s "$work/articles.lua" "$base" >"$work/wrk-articles.txt"
q_rate=$(awk '/^Requests\/sec/ {print $2}' "$work/wrk-words.txt")
q_median=$(awk '$1 == "50%" {print $2}' "$work/wrk-words.txt")
a_rate=$(awk '/^Requests\/sec/ {print $2}' "$work/wrk-articles.txt")
a_median=$(awk '$1 == "50%" {print $2}' "$work/wrk-articles.txt")
errors=$(cat "$work/wrk-words.txt" "$work/wrk-articles.txt" | grep -E "Non-2xx|Socket errors" || true)
rss_kb=$(awk '/^VmRSS/ {print $2}' "/proc/$server/status")
hwm_kb=$(awk '/^VmHWM/ {print $2}' "/proc/$server/status")

printf '%-34s %12s %14s\n' "Serving (wrk, 8 connections)" requests/s "median latency"
printf '%-34s %12s %14s\n' "one-word queries" "$q_rate" "$q_median"
printf '%-34s %12s %14s\n' "article text" "$a_rate" "$a_median"
printf 'server memory: %d MB resident, %d MB peak\n' $((rss_kb / 1024)) $((hwm_kb / 1024))
[ -z "$errors" ] || echo "wrk reported: $errors"
echo

ms() {  # wrk latency ("1.23ms", "850.00us", "1.2s") in milliseconds
  awk -v t="$1" 'BEGIN { v = t + 0; if (t ~ /us$/) v /= 1000; else if (t ~ /[^m]s$/) v *= 1000; print v }'
}
check() {  # check <description> <condition as awk expression>
  if awk "BEGIN { exit !($2) }"; then echo "PASS  $1"; else echo "FAIL  $1"; fi
}
echo "Load average after: $(cut -d' ' -f1-3 /proc/loadavg) (other work on the machine slows every figure)"
echo "Goals:"
check "indexing >= 3000 articles/s (spool: $(rate "$vn_spool"))" "$(rate "$vn_spool") >= 3000"
check "indexing faster than notmuch new (Maildir: $vn_maildir s vs $nm s)" "$vn_maildir < $nm"
check "indexing faster than mu index (Maildir: $vn_maildir s vs $mu_time s)" "$vn_maildir < $mu_time"
check "index size <= raw size ($vn_size <= $raw_bytes bytes)" "$vn_size <= $raw_bytes"
check "one-word queries >= 1000/s ($q_rate)" "$q_rate >= 1000"
check "median query latency < 5 ms ($q_median)" "$(ms "$q_median") < 5"
check "article text >= 5000/s ($a_rate)" "$a_rate >= 5000"
check "server memory < 200 MB (peak $((hwm_kb / 1024)) MB)" "$hwm_kb < 200 * 1024"
