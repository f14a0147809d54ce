#!/usr/bin/env bash
# Figures for varnook-archive under damaged archives, hostile clients and expensive
# queries, each run bounded in time:
#   - index: a gzip bomb (300 MB of zeros, as one article and as an mbox) and an mbox
#     whose message is one 1 GB line: peak memory and seconds; and how long SIGTERM
#     takes to end a run in the middle of a huge file;
#   - serve: median latency of an article, the front page and update.txt while 8
#     clients loop on the most expensive query (wrk);
#   - serve: how long a fifth address waits while 4 addresses x 128 connections trickle
#     a header line every 5 s.
# Inputs are generated in a temporary folder and removed at the end. Uses the corpus in
# $VARNOOK_CORPUS, ../shared/corpus/spool or the demo corpus. Release build in
# build-server-rel. Usage: bench/server/run-hardening.sh [seconds per load run, default 10]
set -euo pipefail
cd "$(dirname "$0")/../.."

seconds=${1:-10}
needed=(wrk curl python3 /usr/bin/time)
source bench/server/release-archive.sh

work=$(mktemp -d "${TMPDIR:-/tmp}/varnook-hardening.XXXXXX")
server=""
stop_server() {
  if [ -n "$server" ]; then kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; fi
  server=""
}
cleanup() { stop_server; rm -rf "$work"; }
trap cleanup EXIT

envelope='From bench@example.com Mon Apr  5 10:00:00 1993'
measure() {  # measure <label> <index arguments...>: peak RSS and seconds of one index run
  rm -rf "$work/db"
  /usr/bin/time -f '%M %e' -o "$work/time.txt" "$archive" index --db "$work/db" "${@:2}" \
    >"$work/index.log" 2>&1 || true
  read -r rss secs <"$work/time.txt"
  printf '%-40s %6d MB %6.1f s   %s\n' "$1" $((rss / 1024)) "$secs" \
    "$(sed -n 's|^warning: .*/||p' "$work/index.log" | head -1 | cut -c1-60)"
}

echo "== Index: damaged and hostile sources (peak RSS, seconds, first warning)"
head -c 300M /dev/zero | gzip -1 >"$work/bomb.gz"
{ printf '%s\nSubject: bomb\n\n' "$envelope"; head -c 300M /dev/zero; } | gzip -1 >"$work/bomb.mbox.gz"
{ printf '%s\nSubject: line\n\n' "$envelope"; head -c 1G /dev/zero | tr '\0' x;
  printf '\n\n%s\nSubject: after\nMessage-ID: <after@bench>\n\nok\n' "$envelope"; } >"$work/line.mbox"
measure "gzip bomb, one article ($(du -h "$work/bomb.gz" | cut -f1) -> 300 MB)" "$work/bomb.gz"
measure "gzip bomb, mbox ($(du -h "$work/bomb.mbox.gz" | cut -f1) -> 300 MB)" "$work/bomb.mbox.gz"
measure "mbox with one 1 GB line" "$work/line.mbox"
grep -q "Indexed 1 new" "$work/index.log" && echo "  (the message after the 1 GB line was indexed)"

# 64 GB that take no disk space: an envelope, then lines of 16 MB of NUL bytes.
python3 - "$work/huge.mbox" "$envelope" <<'PY'
import sys
with open(sys.argv[1], "wb") as f:
    f.write((sys.argv[2] + "\nSubject: huge\n\n").encode())
    for i in range(1, 4096):
        f.seek(i << 24)
        f.write(b"\n")
    f.truncate(64 << 30)
PY
rm -rf "$work/db"
"$archive" index --db "$work/db" "$work/huge.mbox" >"$work/stop.log" 2>&1 &
run=$!
sleep 2
start=$EPOCHREALTIME
kill -TERM "$run"
status=0
wait "$run" || status=$?
printf 'SIGTERM 2 s into a 64 GB mbox: ended %s s later with status %d\n' \
  "$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.2f", b - a }')" "$status"
rm -f "$work/line.mbox" "$work/huge.mbox" "$work/bomb.gz" "$work/bomb.mbox.gz"
echo

spool=${VARNOOK_CORPUS:-../shared/corpus/spool}
if [ ! -d "$spool" ]; then
  echo "(no corpus: using the demo corpus)"
  "$archive" demo --db "$work/demo-index" --corpus "$work/demo" >/dev/null
  spool="$work/demo"
fi
"$archive" index --db "$work/index" "$spool" >/dev/null 2>&1
articles=$("$archive" stats --db "$work/index" | sed -n 's/^Articles: *//p' | tr -d ',')

start_server() {
  "$archive" serve --db "$work/index" --listen 127.0.0.1:0 "$@" >"$work/serve.log" 2>&1 &
  server=$!
  for _ in $(seq 100); do grep -q "Listening on" "$work/serve.log" 2>/dev/null && break; sleep 0.05; done
  port=$(sed -n 's|.*http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$work/serve.log" | head -1)
  base="http://127.0.0.1:$port"
}
start_server

echo "== Serve: cheap requests while 8 clients loop on the most expensive query ($articles articles, $(nproc) cores)"
words=""
for w in of the in to and a is that for it as with was on be at by this not are; do words="$words $w*"; done
phrases=""
for p in "of the" "in the" "to the" "and the" "on the" "for the" "it is" "is a" "to be" "in a"; do
  phrases="$phrases | \"$p\""
done
most="" slowest=0
for query in '"of the"' "${phrases# | }" "$words" '"the of"'; do
  target="/dnquery.xp?QRY=$(printf '%s' "$query" | python3 -c 'import sys, urllib.parse; print(urllib.parse.quote_plus(sys.stdin.read()))')&maxhits=200"
  took=$(curl -s -o /dev/null -w '%{time_total}' "$base$target")
  printf '  one request alone: %6.3f s  %s\n' "$took" "${query:0:60}"
  if awk -v a="$took" -v b="$slowest" 'BEGIN { exit !(a > b) }'; then slowest=$took most=$target; fi
done
write_articles_lua "$work/articles.lua" "$articles"
# A connection per request, as the agent (HTTP/1.0) makes them: each lands on whichever
# serving thread takes it.
close=(-H "Connection: close")
wrk -t2 -c8 -d"$((3 * seconds + 5))s" --timeout 60s --latency "${close[@]}" "$base$most" \
  >"$work/wrk-expensive.txt" &
load=$!
sleep 2
median() { awk '$1 == "50%" {print $2}' "$1"; }
for page in article front update; do
  case $page in
    article) wrk -t1 -c1 -d"${seconds}s" --timeout 30s --latency "${close[@]}" \
      -s "$work/articles.lua" "$base" >"$work/wrk-$page.txt" ;;
    front) wrk -t1 -c1 -d"${seconds}s" --timeout 30s --latency "${close[@]}" "$base/" \
      >"$work/wrk-$page.txt" ;;
    update) wrk -t1 -c1 -d"${seconds}s" --timeout 30s --latency "${close[@]}" \
      "$base/varnook/update.txt" >"$work/wrk-$page.txt" ;;
  esac
  printf '  %-8s median %10s  (%s requests)\n' "$page" "$(median "$work/wrk-$page.txt")" \
    "$(awk '/requests in/ {print $1}' "$work/wrk-$page.txt")"
done
wait "$load"
printf '  expensive query: median %s, %s answered, %s\n' "$(median "$work/wrk-expensive.txt")" \
  "$(awk '/requests in/ {print $1}' "$work/wrk-expensive.txt")" \
  "$(grep -E 'Non-2xx' "$work/wrk-expensive.txt" | sed 's/^ *//' || echo 'no errors')"
echo

echo "== Serve: a fifth address while 4 addresses x 128 connections trickle header lines"
cat >"$work/trickle.py" <<'PY'
import socket, sys, time
port, duration = int(sys.argv[1]), float(sys.argv[2])
def opened(address):
    s = socket.socket()
    s.bind((address, 0))
    try:
        s.connect(("127.0.0.1", port))
        s.sendall(b"GET / HTTP/1.1\r\nHost: x\r\n")
        return s
    except OSError:
        s.close()
        return None
held = [(a, opened(a)) for _ in range(128) for a in ("127.0.0.1", "127.0.0.2", "127.0.0.3", "127.0.0.4")]
cut = 0
end = time.time() + duration
while time.time() < end:
    time.sleep(5)
    for i, (address, s) in enumerate(held):
        try:
            s.sendall(b"X-Trickle: 1\r\n")
        except (OSError, AttributeError):
            cut += s is not None
            if s: s.close()
            held[i] = (address, opened(address))  # a persistent attacker comes back
print("  attack: %d connections tried, %d closed by the server and reopened" % (len(held), cut))
PY
python3 "$work/trickle.py" "$port" 45 &
attack=$!
sleep 2
: >"$work/probe.txt"
while kill -0 "$attack" 2>/dev/null; do  # only while the attack lasts
  curl -s -o /dev/null --max-time 10 --interface 127.0.0.5 -w '%{time_total} %{http_code}\n' \
    "$base/varnook/update.txt" >>"$work/probe.txt" || echo "10 000" >>"$work/probe.txt"
  sleep 1
done
wait "$attack"
sort -n "$work/probe.txt" | awk '{ t[NR] = $1; if ($2 != 200) bad++ }
  END { printf "  fifth address: %d requests, median %.3f s, slowest %.3f s, %d not answered 200\n",
        NR, t[int((NR + 1) / 2)], t[NR], bad }'
stop_server
