#!/usr/bin/env bash
# Installs Varnook the way a user gets it and checks the result:
#   scripts/install-check.sh           `cmake --install` into a scratch prefix
#   scripts/install-check.sh --deb     build the .deb with CPack and unpack it into a scratch root
#   scripts/install-check.sh --deb --system
#                                      build the .deb and install it on this machine with apt
# Then: `varnook-batch --version` and `varnook-archive stats` run from the installed place
# (a program that is not built yet is skipped, and the script says so), the desktop entry
# passes desktop-file-validate, the MIME package and the manual pass xmllint, the MIME
# package teaches update-mime-database that *.vnk is application/x-news-collection, and
# the man pages format without warnings.
# VARNOOK_INSTALL_BUILD names the build folder (default build-install, a Release build).
set -euo pipefail
cd "$(dirname "$0")/.."

mode=prefix
system=no
for arg in "$@"; do
  case "$arg" in
    --deb) mode=deb ;;
    --system) system=yes ;;
    *) echo "usage: $0 [--deb [--system]]" >&2; exit 2 ;;
  esac
done

build=${VARNOOK_INSTALL_BUILD:-build-install}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVARNOOK_TESTS=OFF \
    -DVARNOOK_BENCH=OFF >/dev/null
else
  cmake "$build" >/dev/null
fi

programs=(varnook varnook-batch varnook-archive)
targets=$(cmake --build "$build" --target help 2>/dev/null | sed -n 's/^\([a-z-]*\): .*/\1/p')
built=()
for p in "${programs[@]}"; do
  if grep -qx "$p" <<<"$targets"; then
    built+=("$p")
  else
    echo "SKIP: $p is not part of this build yet"
  fi
done
if [ ${#built[@]} -gt 0 ]; then
  cmake --build "$build" --target "${built[@]}"
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok:   $*"; }

if [ "$mode" = prefix ]; then
  cmake --install "$build" --prefix "$scratch/usr" >/dev/null
  root=$scratch
else
  (cd "$build" && cpack -G DEB >/dev/null)
  deb=$(ls -t "$build"/varnook_*.deb | head -1)
  echo "package: $deb"
  dpkg-deb --info "$deb" | sed -n 's/^ \(Package\|Version\|Depends\|Recommends\):/  \1:/p'
  if [ "$system" = yes ]; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO=sudo
    $SUDO apt-get install -y --no-install-recommends "$(realpath "$deb")" >/dev/null
    root=""
  else
    dpkg-deb -x "$deb" "$scratch"
    root=$scratch
  fi
fi
bin=$root/usr/bin
share=$root/usr/share

# The programs, run from where they were installed.
for p in "${programs[@]}"; do
  if [ ! -x "$bin/$p" ]; then
    echo "SKIP: $p is not installed (not built yet)"
  fi
done
if [ -x "$bin/varnook-batch" ]; then
  if out=$("$bin/varnook-batch" --version 2>&1) && [ -n "$out" ]; then
    pass "varnook-batch --version: $out"
  else
    fail "varnook-batch --version: $out"
  fi
fi
if [ -x "$bin/varnook-archive" ]; then
  db=$scratch/archive-db
  printf 'From check@varnook.invalid Mon Apr  5 23:23:53 1993\nFrom: check@varnook.invalid\nSubject: install check\nDate: Mon, 05 Apr 1993 23:23:53 +0000\nMessage-ID: <install-check@varnook.invalid>\nNewsgroups: alt.test\n\nAn article for the install check.\n\n' \
    >"$scratch/check.mbox"
  if ! "$bin/varnook-archive" index --db "$db" "$scratch/check.mbox" >"$scratch/index.out" 2>&1; then
    fail "varnook-archive index: $(cat "$scratch/index.out")"
  elif out=$("$bin/varnook-archive" stats --db "$db" 2>&1) && grep -Eq "^Articles: +1$" <<<"$out"; then
    pass "varnook-archive stats: $(grep -E "^Articles:" <<<"$out")"
  else
    fail "varnook-archive stats: $out"
  fi
fi
if [ -x "$bin/varnook" ]; then
  pass "varnook installed"
fi

# The desktop files.
desktop=$share/applications/varnook.desktop
mime=$share/mime/packages/varnook.xml
if desktop-file-validate "$desktop"; then pass "desktop-file-validate varnook.desktop"; else fail "desktop entry"; fi
if xmllint --noout "$mime"; then pass "xmllint varnook.xml"; else fail "MIME package"; fi
mkdir -p "$scratch/mimedb/packages"
cp "$mime" "$scratch/mimedb/packages/"
if update-mime-database "$scratch/mimedb" 2>"$scratch/mime.err" &&
    grep -q 'application/x-news-collection:\*\.vnk' "$scratch/mimedb/globs2"; then
  pass "update-mime-database: *.vnk is application/x-news-collection"
else
  fail "update-mime-database: $(cat "$scratch/mime.err")"
fi
for icon in apps/varnook.svg mimetypes/application-x-news-collection.svg; do
  if xmllint --noout "$share/icons/hicolor/scalable/$icon"; then pass "icon $icon"; else fail "icon $icon"; fi
done
if xmllint --html --noout "$share/varnook/manual.html"; then
  pass "manual.html"
else
  fail "manual.html"
fi
if command -v man >/dev/null; then
  for page in varnook varnook-batch varnook-archive; do
    file=$(ls "$share/man/man1/$page.1"* 2>/dev/null | head -1)
    if [ -z "$file" ]; then
      fail "man page $page.1 missing"
    elif warnings=$(MANWIDTH=80 man -l --warnings "$file" 2>&1 >/dev/null) && [ -z "$warnings" ]; then
      pass "man page $page.1"
    else
      fail "man page $page.1: $warnings"
    fi
  done
fi

if [ "$failures" -gt 0 ]; then
  echo "install check: $failures failed"
  exit 1
fi
echo "install check: all passed"
