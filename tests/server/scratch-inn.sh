#!/usr/bin/env bash
# INN (innd, nnrpd for readers) on a loopback port, every file in DIR, for the pull
# tests and benchmark. Commands: start DIR PORT GROUP... (exec innd), tls DIR PORT CERT KEY
# (exec nnrpd speaking TLS), feed DIR FILE..., login DIR [USER PASSWORD], ctlinnd DIR
# COMMAND..., renumber DIR GROUP, readers DIR (count), drop DIR (kill readers by pid,
# print count), stop DIR, check DIR. Runs as news (root or sudo -n); 77 when impossible.
set -euo pipefail

bin=/usr/lib/news/bin
command=${1:?usage: scratch-inn.sh start|tls|feed|login|ctlinnd|renumber|readers|drop|stop|check DIR ...}
dir=${2:?the server folder}
shift 2
[ -x "$bin/innd" ] || { echo "INN is not installed (scripts/install-deps.sh installs inn2)" >&2; exit 77; }

if [ "$(id -u)" -eq 0 ]; then root=()
elif sudo -n true 2>/dev/null; then root=(sudo -n)
else echo "innd must run as the news user: run as root, or with sudo -n allowed" >&2; exit 77
fi
as_news=("${root[@]}" setpriv --reuid=news --regid=news --init-groups --pdeathsig keep
         env "INNCONF=$dir/inn/etc/inn.conf")
inn="$dir/inn"

readers_conf() {  # readers_conf [passwd file]
  if [ -z "${1:-}" ]; then printf 'auth "all" {\n  hosts: "*"\n  default: "<all>"\n}\n'; users='"<all>"'
  else printf 'auth "login" {\n  auth: "ckpasswd -f %s"\n}\n' "$1"; users='"*"'; fi
  printf 'access "readers" {\n  users: %s\n  newsgroups: "*"\n  access: RPA\n}\n' "$users"
}

case "$command" in
start)
  port=${1:?the port}
  shift
  "${root[@]}" rm -rf "$inn"
  mkdir -p "$inn"/{etc,db,spool,overview,run,log,tmp,incoming,outgoing,archive,http,filter}
  cat >"$inn/etc/inn.conf" <<EOF
domain: localdomain
pathhost: scratch-inn.invalid
bindaddress: 127.0.0.1
port: $port
nnrpdpostport: $port
artcutoff: 0
ovmethod: tradindexed
hismethod: hisv6
enableoverview: true
wireformat: true
pgpverify: false
docancels: none
maxartsize: 0
localmaxartsize: 0
doinnwatch: false
logstatus: false
status: 0
timer: 0
nnrpdloadlimit: 0
mta: "/bin/true %s"
pathnews: /usr/lib/news
pathbin: $bin
pathcontrol: $bin/control
EOF
  for name in filter etc db spool overview run log tmp incoming outgoing archive http; do
    echo "path$name: $inn/$name" >>"$inn/etc/inn.conf"
  done
  echo "patharticles: $inn/spool/articles" >>"$inn/etc/inn.conf"
  readers_conf >"$inn/etc/readers.conf"
  printf 'streaming: true\nmax-connections: 8\npeer ME {\n  hostname: "127.0.0.1"\n}\n' \
    >"$inn/etc/incoming.conf"
  printf 'ME:*::\n' >"$inn/etc/newsfeeds"
  printf 'method tradspool {\n  newsgroups: *\n  class: 0\n}\n' >"$inn/etc/storage.conf"
  printf '/remember/:11\n*:A:1:90:never\n' >"$inn/etc/expire.ctl"
  # innd stops silently without these groups.
  for group in control control.cancel junk "$@"; do
    echo "$group 0000000000 0000000001 y"
  done >"$inn/db/active"
  : >"$inn/db/newsgroups"
  : >"$inn/db/history"
  : >"$inn/db/active.times"
  chmod a+x "$dir"
  "${root[@]}" chown -R news:news "$inn"
  "${as_news[@]}" "$bin/makedbz" -i -o -s 10000
  exec "${as_news[@]}" "$bin/innd" -f
  ;;
tls)
  port=${1:?the port}
  certificate=${2:?the certificate}
  key=${3:?the key}
  "${root[@]}" install -o news -g news -m 0644 "$certificate" "$inn/etc/tls-$port.pem"
  "${root[@]}" install -o news -g news -m 0600 "$key" "$inn/etc/tls-$port.key"
  { cat "$inn/etc/inn.conf"
    printf 'tlscertfile: %s\ntlskeyfile: %s\n' "$inn/etc/tls-$port.pem" "$inn/etc/tls-$port.key"
  } | "${root[@]}" tee "$inn/etc/inn-tls-$port.conf" >/dev/null
  exec "${as_news[@]}" "INNCONF=$inn/etc/inn-tls-$port.conf" \
    "$bin/nnrpd" -D -f -b 127.0.0.1 -p "$port" -S
  ;;
feed)
  batch="$inn/tmp/feed.$$"
  for file in "$@"; do printf '#! rnews %s\n' "$(stat -c %s "$file")"; cat "$file"; done |
    "${root[@]}" tee "$batch" >/dev/null
  "${root[@]}" chown news:news "$batch"
  status=0
  "${as_news[@]}" "$bin/rnews" -N -r 127.0.0.1 "$batch" || status=$?
  "${root[@]}" rm -f "$batch"
  exit $status
  ;;
login)
  passwd=""
  if [ $# -ge 2 ]; then
    passwd="$inn/etc/passwd.nntp"
    printf '%s:%s\n' "$1" "$(openssl passwd -6 "$2")" | "${root[@]}" tee "$passwd" >/dev/null
  fi
  readers_conf "$passwd" | "${root[@]}" tee "$inn/etc/readers.conf" >/dev/null
  ;;
ctlinnd)
  "${root[@]}" env "INNCONF=$inn/etc/inn.conf" "$bin/ctlinnd" -t 30 "$@" >/dev/null
  ;;
renumber)
  "$0" ctlinnd "$dir" rmgroup "$1"
  "${root[@]}" rm -rf "$inn/spool/articles/${1//.//}"
  "$0" ctlinnd "$dir" newgroup "$1" y
  ;;
readers | drop)
  innd=$(cat "$inn/run/innd.pid")
  pids=$(ps -o pid=,comm= --ppid "$innd" | awk '$2 == "nnrpd" { print $1 }' || true)
  [ "$command" = readers ] || [ -z "$pids" ] || "${root[@]}" kill -KILL $pids
  wc -w <<<"$pids"
  ;;
check) ;;
stop)
  "${root[@]}" env "INNCONF=$inn/etc/inn.conf" "$bin/ctlinnd" -t 30 shutdown "test over" \
    >/dev/null 2>&1 || true
  for _ in $(seq 100); do [ -e "$inn/run/innd.pid" ] || break; sleep 0.1; done
  [ ${#root[@]} -eq 0 ] || "${root[@]}" chown -R "$(id -u):$(id -g)" "$inn"
  ;;
*) echo "unknown command $command" >&2; exit 2 ;;
esac
