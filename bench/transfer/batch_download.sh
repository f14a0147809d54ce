#!/usr/bin/env bash
# varnook-batch --download fetching 20,000 small articles from nginx on loopback with 8
# transfers at once: articles per second, and the scheduler's own share of the CPU time
# (perf samples in the scheduler's functions against all samples of the process).
# Usage: bench/transfer/batch_download.sh [build folder, default build-rel] [articles]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build-rel}
count=${2:-20000}
batch="$build/src/batch/varnook-batch"
[ -x "$batch" ] || { echo "build $batch first (Release)"; exit 1; }

work=$(mktemp -d /tmp/vnk-bench-XXXXXX)
trap 'nginx -p "$work" -c "$work/nginx.conf" -s stop 2>/dev/null || true; [ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
chmod 755 "$work"  # nginx workers run as another user when started by root
mkdir -p "$work/root/articles" "$work/logs"

# Small articles and a collection that lists them all, marked for download.
awk -v n="$count" -v dir="$work/root/articles" 'BEGIN {
  for (i = 1; i <= n; i++) {
    f = dir "/" i
    printf "From: Poster %d <p%d@example.com>\nSubject: Article %d\nDate: Mon, 05 Apr 1999 12:34:56 GMT\nMessage-ID: <%d@example>\nNewsgroup: comp.bench\n\nA short body of article %d.\n> a quoted line\n-- \nsig\n", i, i, i, i, i > f
    close(f)
  }
}'
awk -v n="$count" 'BEGIN {
  printf "---{^#ReQ&}---\r\nQ#1: &QRY=bench&defaultOp=AND\r\n\r\n"
  for (i = 1; i <= n; i++) printf "---{^#MsG&}---\r\nX-QuenID: %d\r\nSubject: Article %d\r\nX-RequestID: Q#1\r\nX-Selected: True\r\n\r\n", i, i
}' > "$work/in.vnk"
printf 'NewestVersion=0.00.00.00\n' > "$work/root/update.txt"
: > "$work/options"

port=$((20000 + RANDOM % 20000))
cat > "$work/nginx.conf" <<CONF
worker_processes 1;
error_log $work/logs/error.log;
pid $work/nginx.pid;
events { worker_connections 1024; }
http {
  access_log off;
  client_body_temp_path $work/tmp;
  proxy_temp_path $work/tmp;
  fastcgi_temp_path $work/tmp;
  uwsgi_temp_path $work/tmp;
  scgi_temp_path $work/tmp;
  server {
    listen 127.0.0.1:$port;
    root $work/root;
    location ~ getdoc\.xp\$ { default_type text/plain; try_files /articles/\$arg_AN =404; }
    location / { default_type text/plain; }
  }
}
CONF
mkdir -p "$work/tmp"
nginx -p "$work" -c "$work/nginx.conf"

args=(--options "$work/options" --service "127.0.0.1:$port" --domain "localhost:$port"
      --home-site "http://127.0.0.1:$port/update.txt" --download --max-transfers 8 --log "$work/batch.log"
      -o "$work/out.vnk" "$work/in.vnk")

start=$(date +%s.%N)
status=0
TIMEFORMAT='%U %S'
{ time "$batch" "${args[@]}" 2>"$work/batch.err" || status=$?; } 2>"$work/cpu"
end=$(date +%s.%N)
read -r user sys < "$work/cpu"
if [ "$status" -ne 0 ]; then echo "varnook-batch failed ($status):"; tail -3 "$work/batch.err"; sort "$work/batch.log" | uniq -c | sort -rn | head -5; fi
loaded=$(grep -c '^A short body' "$work/out.vnk" || true)
awk -v s="$start" -v e="$end" -v n="$count" -v l="$loaded" -v u="$user" -v y="$sys" 'BEGIN {
  w = e - s
  printf "articles: %d of %d loaded in %.2f s = %.0f articles/s (client CPU %.2f s user + %.2f s system)\n", l, n, w, n / w, u, y
}'

if perf stat -e task-clock true >/dev/null 2>&1; then
  rm -f "$work/out.vnk"
  perf record -F 2000 -g -o "$work/perf.data" "$batch" "${args[@]}" >/dev/null 2>&1 || true
  perf report -i "$work/perf.data" --no-children --sort symbol --stdio 2>/dev/null |
    awk '/^ +[0-9.]+%/ { p = $1; sub("%", "", p); total += p; if ($0 ~ /varnook::Scheduler::|varnook::Transfer::|startPendingArticles/) sched += p }
         END { printf "scheduler share of the process CPU samples: %.1f%%\n", sched }'
else
  echo "perf is not available here: no CPU share figure"
fi
