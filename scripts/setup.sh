#!/usr/bin/env bash
# Installs every Debian package that building, the demonstration and the
# tests need. Safe to run again: packages already present are skipped.
set -euo pipefail

# Build, unit tests, style, benchmarks and fuzzing.
BUILD_PKGS=(build-essential cmake pkg-config ninja-build git
  libgtest-dev libgmock-dev libbenchmark-dev clang clang-format
  libclang-rt-14-dev locales)
# Libraries of the POSIX backend.
LIB_PKGS=(libcups2-dev libcairo2-dev libpng-dev fonts-liberation fontconfig nettle-dev
  libboost-dev nlohmann-json3-dev)
# Real peers for integration tests and benchmarks.
PEER_PKGS=(cups cups-client cups-bsd squid apache2-utils socat zbar-tools chromium
  poppler-utils curl python3 gss-ntlmssp libgssapi-krb5-2 time glabels)
# Windows cross build and the tests under Wine (32-bit).
# winbind brings ntlm_auth, through which Wine offers its NTLM security package;
# 32-bit Wine needs libcups2:i386 to see any printer.
WIN_PKGS=(g++-mingw-w64-i686 mingw-w64-tools libwine-dev xvfb winbind wixl msitools)
WIN_I386_PKGS=(wine wine32:i386 libwine:i386 libcups2:i386)

want=("${BUILD_PKGS[@]}" "${LIB_PKGS[@]}" "${PEER_PKGS[@]}")
if [ "${IMPTHERM_SKIP_WINE:-0}" != 1 ]; then
  want+=("${WIN_PKGS[@]}" "${WIN_I386_PKGS[@]}")
fi

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

export DEBIAN_FRONTEND=noninteractive
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
if printf '%s\n' "${missing[@]}" | grep -q ':i386'; then
  dpkg --print-foreign-architectures | grep -qx i386 || "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
echo "setup: installing ${missing[*]}" >&2
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
# The services that come with the peers are started by the tests themselves.
for svc in cups squid; do
  "${sudo_cmd[@]}" systemctl disable --now "$svc" >/dev/null 2>&1 || true
  "${sudo_cmd[@]}" service "$svc" stop >/dev/null 2>&1 || true
done
