#!/usr/bin/env bash
# The archive at scale: builds archives of 15,000, 150,000 and 1,000,000 articles from
# copies of ../shared/corpus (scale-corpus.py: distinct Message-IDs and numbers), indexes
# each, serves it, and measures a fixed query set with wrk (8 connections); at the
# largest size also as 4 shards served by xapian-tcpsrv through a stub file. Prints one
# table. The 15,000 row also times notmuch, mu and public-inbox on the same articles.
# Everything is made under a temporary folder in /tmp and removed at the end.
# Usage: bench/server/scale.sh [seconds per wrk run, default 10]
#   VARNOOK_SCALE_SIZES="15000 150000 1000000"  sizes to build
#   VARNOOK_SCALE_JOBS=N                         index --jobs (default: cores)
#   VARNOOK_CORPUS=DIR                           the corpus (default ../shared/corpus)
set -euo pipefail
cd "$(dirname "$0")/../.."

seconds=${1:-10}
sizes=${VARNOOK_SCALE_SIZES:-"15000 150000 1000000"}
jobs=${VARNOOK_SCALE_JOBS:-$(nproc)}
corpus=${VARNOOK_CORPUS:-../shared/corpus}/mbox
build=${VARNOOK_BENCH_BUILD:-build-server-rel}
[ -d "$corpus" ] || { echo "needs the shared corpus in $corpus" >&2; exit 1; }
for tool in wrk curl python3 xapian-tcpsrv /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/install-deps.sh" >&2; exit 1; }
done
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVARNOOK_GUI=OFF \
  -DVARNOOK_TESTS=OFF -DVARNOOK_BENCH=OFF >/dev/null
ninja -C "$build" -j2 varnook-archive >/dev/null
archive="$PWD/$build/src/server/varnook-archive"

largest=$(tr ' ' '\n' <<<"$sizes" | sort -n | tail -1)
# Raw text, its index, and the shards with term lists: about 10 KB per article.
need_kb=$((largest * 10))
free_kb=$(df -k --output=avail /tmp | tail -1)
if [ "$free_kb" -lt "$need_kb" ]; then
  echo "not enough space in /tmp: $((free_kb / 1024)) MB free, $((need_kb / 1024)) MB needed" >&2
  exit 1
fi

work=$(mktemp -d /tmp/varnook-scale.XXXXXX)
pids=()
stop_all() {
  # Newest first, so the server lets go of the shards' connections; whatever is still
  # there after 5 s is killed.
  local i pid
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  pids=()
}
trap 'stop_all; rm -rf "$work"' EXIT

started() {  # started <log> <pattern>: waits until the log shows the pattern
  for _ in $(seq 300); do grep -q "$2" "$1" 2>/dev/null && return 0; sleep 0.1; done
  echo "not started: $(cat "$1")" >&2
  return 1
}
serve() {  # serve <index or stub>: starts the server, sets $base
  # Four request threads per core: a quarter of them, one per core, run the searches.
  rm -f "$work/serve.log"  # the previous server's line must not be taken for this one's
  "$archive" serve --db "$1" --listen 127.0.0.1:0 --threads $((4 * $(nproc))) \
    >"$work/serve.log" 2>&1 &
  pids+=($!)
  started "$work/serve.log" "Listening on"
  base=$(sed -n 's|.*\(http://127.0.0.1:[0-9]*\)/.*|\1|p' "$work/serve.log" | head -1)
}

# name|request
queries=(
  "rare word|/dnquery.xp?QRY=absorbtion&DBS=1"
  "common word|/dnquery.xp?QRY=engine&DBS=1"
  "most common word|/dnquery.xp?QRY=the&DBS=1"
  "two words (AND)|/dnquery.xp?QRY=engine+oil&DBS=1"
  "body phrase|/dnquery.xp?QRY=%22of+the%22&DBS=1"
  "subject restriction|/dnquery.xp?QRY=&subjects=monitor&DBS=1"
  "author restriction|/dnquery.xp?QRY=&authors=tom&DBS=1"
  "group pattern|/dnquery.xp?QRY=&groups=comp.sys.*&DBS=1"
  "date range|/dnquery.xp?QRY=&fromdate=1993/04/10&todate=1993/04/15&DBS=1"
  "sort by date|/dnquery.xp?QRY=engine&sort=date&DBS=1"
)
ms() {  # wrk latency ("1.23ms", "850.00us", "1.2s") in milliseconds
  awk -v t="$1" 'BEGIN { v = t + 0; if (t ~ /us$/) v /= 1000; else if (t ~ /[^m]s$/) v *= 1000; printf "%.1f", v }'
}
measure_queries() {  # measure_queries <label>: one table block for the server at $base
  local name request mixed=""
  for entry in "${queries[@]}"; do
    request=${entry#*|}
    mixed+="\"$request\","
  done
  printf 'local r = {%s}\nlocal i = 0\nrequest = function() i = i + 1\n  return wrk.format("GET", r[(i %% #r) + 1]) end\n' \
    "${mixed%,}" >"$work/mixed.lua"
  printf '%s\n' "$1"
  for entry in "${queries[@]}"; do
    name=${entry%%|*}
    request=${entry#*|}
    wrk -t2 -c8 -d"${seconds}s" --latency "$base$request" >"$work/wrk.txt"
    printf '  %-22s median %7s ms  p99 %7s ms  %8s matches\n' "$name" \
      "$(ms "$(awk '$1 == "50%" {print $2}' "$work/wrk.txt")")" \
      "$(ms "$(awk '$1 == "99%" {print $2}' "$work/wrk.txt")")" \
      "$(curl -s "$base$request" | sed -n 's/.* of \(about \)\{0,1\}\([0-9]*\) matches<\/font>.*/\1\2/p' | head -1)"
  done
  wrk -t2 -c8 -d"${seconds}s" --latency -s "$work/mixed.lua" "$base" >"$work/wrk.txt"
  printf '  %-22s median %7s ms  p99 %7s ms  %8s requests/s\n' "mixed set" \
    "$(ms "$(awk '$1 == "50%" {print $2}' "$work/wrk.txt")")" \
    "$(ms "$(awk '$1 == "99%" {print $2}' "$work/wrk.txt")")" \
    "$(awk '/^Requests\/sec/ {printf "%.0f", $2}' "$work/wrk.txt")"
}
# The first page of each query without article numbers, server address and counts:
# copies of an article differ only in their numbers, which differ between one index and
# shards, and counts beyond 10,000 are estimates.
pages() {
  for entry in "${queries[@]}"; do
    curl -s "$base${entry#*|}&maxhits=20" | sed 's/AN=[0-9]*//g; s|http://[^/]*||g' |
      grep -v 'class="summary"'
  done | md5sum
}
index_timed() {  # index_timed <db> <paths...>: sets $secs, $cpu (user + system) and $rss_mb
  /usr/bin/time -f '%e %M %U %S' -o "$work/time.txt" "$archive" index --jobs "$jobs" --db "$@" \
    >"$work/index.log" 2>&1
  read -r secs rss user system <"$work/time.txt"
  cpu=$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.1f", u + s }')
  rss_mb=$((rss / 1024))
}

echo "varnook-archive at scale, $(nproc) cores, index --jobs $jobs, wrk 8 connections ${seconds} s"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
summary=()
for size in $sizes; do
  raw="$work/raw-$size"
  python3 bench/server/scale-corpus.py "$corpus" "$raw" "$size" >/dev/null
  raw_bytes=$(du -sb "$raw" | cut -f1)
  db="$work/index-$size"
  echo
  echo "== $size articles (load $(cut -d' ' -f1 /proc/loadavg))"
  index_timed "$db" "$raw"
  articles=$("$archive" stats --db "$db" | sed -n 's/^Articles: *//p' | tr -d ',')
  index_bytes=$(du -sb "$db" | cut -f1)
  row=$(awk -v a="$articles" -v r="$raw_bytes" -v s="$secs" -v c="$cpu" -v i="$index_bytes" \
    -v m="$rss_mb" 'BEGIN { printf "%9d %8.0f %9.1f %8.1f %10.0f %9.0f %6.2f %8d", a, r / 1048576,
      s, c, a / s, i / 1048576, i / r, m }')
  summary+=("$row")
  printf '%9s %8s %9s %8s %10s %9s %6s %8s\n' articles "raw MB" "index s" "CPU s" articles/s \
    "index MB" "x raw" "RSS MB"
  echo "$row"
  if [ "$size" = 15000 ]; then
    # The same articles in the peers that index mail: a Maildir, one file per article.
    mkdir -p "$work/maildir/cur" "$work/maildir/new" "$work/maildir/tmp"
    python3 - "$raw" "$work/maildir/cur" <<'PY'
import os, re, sys
n = 0
for name in sorted(os.listdir(sys.argv[1])):
    data = open(os.path.join(sys.argv[1], name), "rb").read()
    for part in re.split(rb"(?m)^From \S+ .*\n", data):
        if part.strip():
            n += 1
            open(os.path.join(sys.argv[2], "%d.scale:2,S" % n), "wb").write(
                re.sub(rb"(?m)^>(>*From )", rb"\1", part))
PY
    if command -v notmuch >/dev/null; then
      printf '[database]\npath=%s\n[user]\nname=B\nprimary_email=b@example.com\n[new]\ntags=\n' \
        "$work/maildir" >"$work/notmuch-config"
      /usr/bin/time -f '%e' -o "$work/time.txt" env NOTMUCH_CONFIG="$work/notmuch-config" notmuch new >/dev/null 2>&1
      echo "  notmuch new:  $(cat "$work/time.txt") s, index $(du -sm "$work/maildir/.notmuch" | cut -f1) MB"
    fi
    if command -v mu >/dev/null; then
      mu init --muhome="$work/mu" --maildir="$work/maildir" >/dev/null 2>&1
      /usr/bin/time -f '%e' -o "$work/time.txt" mu index --muhome="$work/mu" >/dev/null 2>&1
      echo "  mu index:     $(cat "$work/time.txt") s, index $(du -sm "$work/mu" | cut -f1) MB"
    fi
    if command -v public-inbox-index >/dev/null; then
      # public-inbox stores the articles in git, then indexes them from there: both
      # steps count, as an index run here both stores and indexes. A v1 inbox, filled
      # through the importer its manual documents; public-inbox-index at its default
      # (full) level, positions included.
      export PI_CONFIG="$work/pi-config"
      public-inbox-init -V1 scale "$work/inbox" http://127.0.0.1/scale scale@example.com
      /usr/bin/time -f '%e' -o "$work/time.txt" perl - "$work/inbox" "$work/maildir/cur" \
        >/dev/null 2>&1 <<'PL'
use strict; use warnings;
use PublicInbox::Eml; use PublicInbox::Git; use PublicInbox::Import;
my ($git_dir, $dir) = @ARGV;
my $im = PublicInbox::Import->new(PublicInbox::Git->new($git_dir), 'bench', 'bench@example.com');
opendir(my $dh, $dir) or die "$dir: $!";
for my $name (sort grep { !/^\./ } readdir $dh) {
  open(my $fh, '<:raw', "$dir/$name") or die "$name: $!";
  local $/;
  my $raw = <$fh>;
  $im->add(PublicInbox::Eml->new(\$raw));
}
$im->done;
PL
      imported=$(cat "$work/time.txt")
      /usr/bin/time -f '%e' -o "$work/time.txt" public-inbox-index "$work/inbox" >/dev/null 2>&1
      echo "  public-inbox: $(awk -v a="$imported" -v b="$(cat "$work/time.txt")" \
        'BEGIN { printf "%.1f", a + b }') s (git $imported s, index $(cat "$work/time.txt") s)," \
        "store and index $(du -sm "$work/inbox" | cut -f1) MB"
      unset PI_CONFIG
    fi
    rm -rf "$work/maildir" "$work/mu" "$work/inbox"
  fi
  serve "$db"
  measure_queries "  queries against one index:"
  single_pages=$(pages)
  echo "  server memory: $(awk '/^VmHWM/ {printf "%d MB peak", $2 / 1024}' "/proc/${pids[-1]}/status")"
  stop_all

  if [ "$size" = "$largest" ]; then
    # Four shards with disjoint number ranges, each served by xapian-tcpsrv. Each copy
    # of the corpus goes whole to one shard, so that a cross-posted article (one
    # Message-ID in two group files) is not in two shards.
    stub="$work/shards.stub"
    : >"$stub"
    shard_secs=0
    for k in 0 1 2 3; do
      shard_paths=()
      for file in "$raw"/c*; do
        copy=$(basename "$file" | cut -c2-4)
        [ $((10#$copy % 4)) = "$k" ] && shard_paths+=("$file")
      done
      [ ${#shard_paths[@]} -gt 0 ] || continue
      index_timed "$work/shard-$k" --first-number $((k * 1000000000 + 1)) --termlist "${shard_paths[@]}"
      shard_secs=$(awk -v a="$shard_secs" -v b="$secs" 'BEGIN { print a + b }')
      port=$((20000 + RANDOM % 20000))
      # In a session of its own: on SIGTERM it signals its whole process group.
      setsid xapian-tcpsrv --port "$port" --interface 127.0.0.1 "$work/shard-$k" \
        >"$work/tcpsrv-$k.log" 2>&1 &
      pids+=($!)
      started "$work/tcpsrv-$k.log" "Listening"
      echo "remote 127.0.0.1:$port" >>"$stub"
    done
    echo "  $(wc -l <"$stub") shards with term lists: indexed one after another in ${shard_secs} s," \
      "$(du -scm "$work"/shard-* | tail -1 | cut -f1) MB"
    serve "$stub"
    measure_queries "  queries through $(wc -l <"$stub") xapian-tcpsrv shards:"
    if [ "$(pages)" = "$single_pages" ]; then
      echo "  shards: the same first pages as the single index"
    else
      echo "  shards: first pages DIFFER from the single index"
    fi
    stop_all
    rm -rf "$work"/shard-*
  fi
  rm -rf "$raw" "$db"
done
echo
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%9s %8s %9s %8s %10s %9s %6s %8s\n' articles "raw MB" "index s" "CPU s" articles/s \
  "index MB" "x raw" "RSS MB"
printf '%s\n' "${summary[@]}"
