#!/usr/bin/env bash
# Installs the Debian packages that one of the two commands needs.
#   setup.sh demo   building the program and the demonstration
#   setup.sh test   every test (the default)
# Safe to run again: packages already present are skipped.
set -euo pipefail
what=${1:-test}
case "$what" in demo | test) ;; *) echo "usage: setup.sh [demo|test]" >&2; exit 2 ;; esac

# Each group: what needs it, then its packages. The demonstration takes the
# first two; the tests take them all.
groups=(
  "building the program|build-essential cmake pkg-config ninja-build git libcups2-dev libcairo2-dev
    zlib1g-dev fonts-liberation fontconfig nettle-dev libboost-dev nlohmann-json3-dev"
  "the demonstration's web server and barcode check, and the sheet tests|python3 zbar-tools poppler-utils"
  "the unit tests, style, fuzzing and benchmarks|libgtest-dev libgmock-dev libbenchmark-dev clang
    clang-format libclang-rt-14-dev locales"
  "the Debian package tests|scdoc dpkg-dev lintian man-db binutils systemd"
  "the printer channel tests and Wine's printers|cups cups-client cups-bsd"
  "the proxy tests|squid apache2-utils gss-ntlmssp libgssapi-krb5-2"
  "the serial port tests|socat"
  "the bridge browser tests in Chromium and Firefox ESR|chromium firefox-esr"
  "the integration tests' servers and benchmarks|curl time"
  "the sheet benchmark|glabels"
  "the LPrint route tests|lprint"
  # winbind brings ntlm_auth, through which Wine offers its NTLM package;
  # wine64 sees printers through the amd64 libcups2 of the first group.
  "the Windows builds and the 64-bit Wine tests|g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
    libwine-dev wine wine64 libwine xvfb winbind wixl msitools"
)
[ "$what" = demo ] && groups=("${groups[@]:0:2}")

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
missing=()
for group in "${groups[@]}"; do
  for p in ${group#*|}; do installed "$p" || missing+=("$p"); done
done
# 32-bit Wine runs the 32-bit control's tests, only where the machine runs
# 32-bit programs at all; it needs libcups2:i386 to see any printer.
missing32=()
if [ "$what" = test ] && bash "$(dirname "$0")/runs_32bit.sh"; then
  for p in wine32:i386 libwine:i386 libcups2:i386; do installed "$p" || missing32+=("$p"); done
fi
[ ${#missing[@]} -eq 0 ] && [ ${#missing32[@]} -eq 0 ] && exit 0

export DEBIAN_FRONTEND=noninteractive
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
if [ ${#missing32[@]} -gt 0 ]; then
  dpkg --print-foreign-architectures | grep -qx i386 || "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
echo "setup: installing ${missing[*]} ${missing32[*]}" >&2
# A mirror caught mid-sync serves an index that does not match its size:
# apt-get reports it and keeps the lists it had, and apt-get install decides
# whether what is needed can still be had.
"${sudo_cmd[@]}" apt-get update -qq ||
  echo "setup: apt-get update could not read every package index (above); going on with the lists it has" >&2
if [ ${#missing[@]} -gt 0 ] && ! "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
  # Name each package that cannot be installed and what needs it.
  for group in "${groups[@]}"; do
    for p in ${group#*|}; do
      installed "$p" && continue
      "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "$p" >/dev/null 2>&1 ||
        echo "setup: cannot install $p, needed for ${group%%|*}" >&2
    done
  done
  exit 1
fi
# Without them the 32-bit Windows tests are skipped, and scripts/test.sh says
# so; every other test still runs.
if [ ${#missing32[@]} -gt 0 ] &&
  ! "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing32[@]}" >/dev/null; then
  echo "setup: cannot install ${missing32[*]}, needed for the 32-bit Wine tests only" >&2
fi
# The services that come with the peers are started by the tests themselves.
for svc in cups squid lprint; do
  "${sudo_cmd[@]}" systemctl disable --now "$svc" >/dev/null 2>&1 || true
  "${sudo_cmd[@]}" service "$svc" stop >/dev/null 2>&1 || true
done
