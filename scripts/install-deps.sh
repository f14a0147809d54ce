#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Varnook need.
# Idempotent: packages already present are not touched, and the package lists are
# refreshed only when something has to be installed.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config g++ clang libclang-rt-14-dev
  # test and benchmark frameworks
  libgtest-dev libgmock-dev libbenchmark-dev
  # desktop program
  qt6-base-dev qt6-base-dev-tools libgl-dev
  # archive server
  libxapian-dev xapian-tools libgmime-3.0-dev libmicrohttpd-dev zlib1g-dev
  # real peers for the tests, and graphical checks
  nginx-light tinyproxy xvfb xauth curl
  desktop-file-utils libxml2-utils
  # desktop integration tests (xdg-mime registers handlers) and the .deb package
  xdg-utils shared-mime-info dpkg-dev file
  # benchmarks
  wrk hyperfine time python3
  # archive server: browser check, and the indexers its benchmark compares against
  chromium notmuch maildir-utils
)

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
