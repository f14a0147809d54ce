#!/usr/bin/env bash
# Speed of `varnook-archive pull` from a news server on loopback (a scratch INN, see
# tests/server/scratch-inn.sh), in articles per second, beside what bounds it:
#   - a minimal client sending a plain sequence of ARTICLE commands (each answer read
#     before the next command), as written naively and with immediate acknowledgements;
#   - the same client keeping 8 commands in flight: what the server can deliver;
#   - `varnook-archive index` of the same article files: what the ingest can take;
#   - the pull with 1 and with 4 connections, and its share of the pipelined client.
# Uses sci.space and rec.autos of ../shared/corpus (about 2,000 articles). Release build in
# build-server-rel; innd needs root or sudo -n. Usage: bench/server/pull-speed.sh
# (VARNOOK_CORPUS_SPOOL names another spool folder holding those groups)
set -euo pipefail
cd "$(dirname "$0")/../.."

build=${VARNOOK_BENCH_BUILD:-build-server-rel}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVARNOOK_GUI=OFF \
  -DVARNOOK_TESTS=OFF -DVARNOOK_BENCH=OFF >/dev/null
ninja -C "$build" -j2 varnook-archive >/dev/null
archive="$PWD/$build/src/server/varnook-archive"
inn="$PWD/tests/server/scratch-inn.sh"
spool=${VARNOOK_CORPUS_SPOOL:-../shared/corpus/spool}
groups=(sci.space rec.autos)
for group in "${groups[@]}"; do
  [ -d "$spool/$group" ] || { echo "needs $spool/$group" >&2; exit 1; }
done
"$inn" check /tmp

work=$(mktemp -d "${TMPDIR:-/tmp}/varnook-pull-speed.XXXXXX")
server=""
cleanup() {
  if [ -n "$server" ]; then
    "$inn" stop "$work" || true
    wait "$server" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

port=$(perl -MIO::Socket::INET -e 'print IO::Socket::INET->new(Listen => 1, LocalAddr => "127.0.0.1:0")->sockport')
"$inn" start "$work" "$port" "${groups[@]}" >"$work/innd.log" 2>&1 &
server=$!
for _ in $(seq 100); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.1
done
files=()
for group in "${groups[@]}"; do files+=("$spool/$group"/*); done
"$inn" feed "$work" "${files[@]}"

# The minimal client: reads the groups' articles by number with WINDOW commands in
# flight, at most COUNT of them, and prints articles per second.
cat >"$work/client.pl" <<'EOF'
use strict;
use IO::Socket::INET;
use Socket qw(IPPROTO_TCP TCP_NODELAY);
use Time::HiRes qw(time);
my ($port, $window, $quick, $limit, @groups) = @ARGV;
my $s = IO::Socket::INET->new(PeerAddr => "127.0.0.1:$port") or die "connect: $!";
setsockopt($s, IPPROTO_TCP, TCP_NODELAY, 1);
my $buffer = '';
sub fill {
  setsockopt($s, IPPROTO_TCP, 12, 1) if $quick;    # TCP_QUICKACK
  sysread($s, $buffer, 1 << 16, length $buffer) or die "closed";
}
sub line {
  my $end;
  fill() while ($end = index($buffer, "\r\n")) < 0;
  my $line = substr($buffer, 0, $end);
  substr($buffer, 0, $end + 2) = '';
  return $line;
}
sub block {
  my $end;
  fill() while ($end = index($buffer, "\r\n.\r\n")) < 0;
  substr($buffer, 0, $end + 5) = '';
}
line();
print $s "MODE READER\r\n";
line();
my ($count, $seconds) = (0, 0);
for my $group (@groups) {
  print $s "GROUP $group\r\n";
  my (undef, undef, $low, $high) = split / /, line();
  $high = $low + $limit - $count - 1 if $high - $low + 1 > $limit - $count;
  my $start = time;
  my ($sent, $got) = ($low, $low);
  while ($got <= $high) {
    my $out = '';
    while ($sent - $got < $window && $sent <= $high) { $out .= "ARTICLE " . $sent++ . "\r\n"; }
    syswrite($s, $out) if length $out;
    block() if line() =~ /^220/;
    $got++;
  }
  $seconds += time - $start;
  $count += $high - $low + 1;
  last if $count >= $limit;
}
printf "%.0f\n", $count / $seconds;
EOF
client() { perl "$work/client.pl" "$port" "$@" "${groups[@]}"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

echo "Load average before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
articles=$(find "${files[@]}" -type f | wc -l)
echo "Articles: $articles files of ${groups[*]} on a scratch INN, 127.0.0.1:$port"
client 8 1 100000 >/dev/null  # reads every article once, so all come from the page cache
plain=$(client 1 0 50)
echo "minimal client, plain sequence (50 articles):  $plain articles/s"
quick=$(client 1 1 100000)
echo "minimal client, plain sequence, quick ACKs:    $quick articles/s"
piped=$(client 8 1 100000)
echo "minimal client, 8 commands in flight:          $piped articles/s"
indexed=$("$archive" index --db "$work/indexed" "${files[@]}" | sed -E 's/.* s, ([0-9]+) articles\/s.*/\1/')
echo "varnook-archive index of the same files:       $indexed articles/s"
for connections in 1 4; do
  TIMEFORMAT='%R %U %S'
  times=$({ time "$archive" pull --db "$work/pulled-$connections" --connections "$connections" \
    "news://127.0.0.1:$port/$(IFS=,; echo "${groups[*]}")" >"$work/pull-$connections.txt"; } 2>&1)
  rate=$(sed -E 's/.* s, ([0-9]+) articles\/s.*/\1/' "$work/pull-$connections.txt")
  cpu=$(echo "$times" | awk '{ printf "%.2f", $2 + $3 }')
  echo "varnook-archive pull, $connections connection(s):        $rate articles/s, CPU $cpu s"
  echo "  = $(ratio "$rate" "$plain") x the plain sequence, $(ratio "$rate" "$quick") x with quick" \
    "ACKs, $(ratio "$rate" "$indexed") x index; the server's share of its time:" \
    "$(ratio "$rate" "$piped")"
done
echo "Load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
