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
  # real peers for the tests, and graphical checks
  nginx-light tinyproxy xvfb xauth xapian-tools
  desktop-file-utils libxml2-utils
  # desktop integration tests (xdg-mime registers handlers) and the .deb package
  shared-mime-info dpkg-dev file
  # benchmarks
  wrk hyperfine time python3
  # archive server: browser check, and the indexers its benchmark compares against
  chromium notmuch maildir-utils
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
if ! $SUDO apt-get install -y --no-install-recommends "${missing[@]}"; then
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
# The tests start their own nginx and tinyproxy on loopback ports; the packages'
# system services are not needed.
for svc in nginx tinyproxy; do
  if command -v systemctl >/dev/null 2>&1; then $SUDO systemctl disable --now "$svc" >/dev/null 2>&1 || true; fi
done
