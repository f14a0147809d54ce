#!/usr/bin/env bash
# Installs the Debian packages Varnook needs. Idempotent: packages already present are not
# touched, and the package lists are refreshed only when something has to be installed.
#   scripts/install-deps.sh --runtime   what building and running the three programs needs
#                                       (the demo uses this)
#   scripts/install-deps.sh             everything: also the test frameworks, the real peers
#                                       the tests start, the fuzzing and benchmark tools
set -euo pipefail

runtime=(
  # build; GLib's Unicode tables fold text for accent-blind search (base library)
  build-essential cmake ninja-build pkg-config g++ libglib2.0-dev
  # desktop program, and the X platform plugin its window needs
  qt6-base-dev qt6-base-dev-tools libgl-dev qt6-qpa-plugins
  # HTTPS in the agent and the archive server (libmicrohttpd uses the same library)
  libgnutls28-dev
  # archive server
  libxapian-dev libgmime-3.0-dev libmicrohttpd-dev zlib1g-dev
  # opening links, mail and the manual; checking the demo server
  xdg-utils curl
)
tests=(
  # fuzzing and the sanitizers' leak checks with clang
  clang libclang-rt-14-dev
  # test and benchmark frameworks
  libgtest-dev libgmock-dev libbenchmark-dev
  # formatting check
  clang-format
  # real peers for the tests, and graphical checks; openssl makes the test certificates
  nginx-light tinyproxy xvfb xauth xapian-tools openssl
  desktop-file-utils libxml2-utils
  # desktop integration tests (xdg-mime registers handlers) and the .deb package
  shared-mime-info dpkg-dev file
  # benchmarks
  wrk hyperfine time python3
  # archive server: browser check, the indexers its benchmark compares against, and
  # the news server its pull tests start
  chromium notmuch maildir-utils public-inbox inn2
)

case "${1:-}" in
  --runtime) packages=("${runtime[@]}") ;;
  "") packages=("${runtime[@]}" "${tests[@]}") ;;
  --list-runtime) printf '%s\n' "${runtime[@]}"; exit 0 ;;
  --list) printf '%s\n' "${runtime[@]}" "${tests[@]}"; exit 0 ;;
  *) echo "usage: $0 [--runtime | --list-runtime | --list]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

# inn2 gets its own step: its configure step fails on some hosts (below).
others=()
news=""
for p in "${missing[@]}"; do
  if [ "$p" = inn2 ]; then news=1; else others+=("$p"); fi
done
if [ ${#others[@]} -gt 0 ]; then
  if ! $SUDO apt-get install -y --no-install-recommends "${others[@]}"; then
    $SUDO apt-get update
    $SUDO apt-get install -y --no-install-recommends "${others[@]}"
  fi
fi

if [ -n "$news" ]; then
  if ! $SUDO apt-get install -y --no-install-recommends inn2 && ! dpkg-query -W inn2 >/dev/null 2>&1; then
    $SUDO apt-get update
    $SUDO apt-get install -y --no-install-recommends inn2 || true
  fi
  # On a host whose name has no domain, the configure step stops with "domain not set in
  # inn.conf". Finish it with a copy of the shipped inn.conf that names one; /etc/news
  # stays as shipped (the tests run innd with a configuration of their own).
  if ! installed inn2; then
    conf=$(mktemp)
    { cat /etc/news/inn.conf; echo 'domain: localdomain'; } >"$conf"
    chmod 644 "$conf"
    $SUDO env INNCONF="$conf" dpkg --configure --pending
    rm -f "$conf"
  fi
  installed inn2 || { echo "inn2 could not be installed" >&2; exit 1; }
  # Where nothing stopped the package from starting the system innd, stop it: the tests
  # start their own on a loopback port.
  if [ -s /run/news/innd.pid ]; then
    $SUDO /usr/lib/news/bin/ctlinnd -t 30 shutdown "not needed" >/dev/null 2>&1 ||
      $SUDO kill "$(cat /run/news/innd.pid)" 2>/dev/null || true
  fi
  if command -v update-rc.d >/dev/null 2>&1; then $SUDO update-rc.d inn2 disable >/dev/null 2>&1 || true; fi
fi

# The tests start their own nginx, tinyproxy and innd on loopback ports; the packages'
# system services are not needed.
for svc in nginx tinyproxy inn2; do
  if command -v systemctl >/dev/null 2>&1; then $SUDO systemctl disable --now "$svc" >/dev/null 2>&1 || true; fi
done
