#!/usr/bin/env bash
# Checks the Debian package as a user meets it: what it installs and depends
# on, the program run from the unpacked package, the manual pages, the bash
# completion, the user units, and lintian.
# Usage: check_package.sh PACKAGE.deb VERSION BUILT_PROGRAM
set -uo pipefail
deb=$1 version=$2 built=$3
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

[ -f "$deb" ] || { echo "FAIL: no package $deb"; exit 1; }
work=$(mktemp -d /tmp/impthermorvane-package.XXXXXX)
server=""
trap '[ -n "$server" ] && kill "$server" 2>/dev/null; rm -rf "$work"' EXIT

echo "== file list"
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/files"
for f in /usr/bin/impthermorvane /usr/share/man/man1/impthermorvane.1.gz \
  /usr/share/man/man5/ImpThermOrvane.ini.5.gz /usr/share/bash-completion/completions/impthermorvane \
  /usr/lib/systemd/user/impthermorvane-bridge.service \
  /usr/share/doc/impthermorvane/copyright /usr/share/doc/impthermorvane/changelog.gz \
  /usr/share/doc/impthermorvane/examples/labels.txt /usr/share/doc/impthermorvane/docs/images/hob-label-203dpi.png \
  /usr/share/doc/impthermorvane/docs/user-guide.md; do
  grep -qx "$f" "$work/files" || fail "the package lacks $f"
done
outside=$(grep -v -e '^/usr/' -e '^/$' "$work/files")
[ -z "$outside" ] || fail "files outside /usr: $outside"

echo "== Depends names the package of every shared library the program needs"
dpkg-deb -x "$deb" "$work/root"
prog=$work/root/usr/bin/impthermorvane
depends=$(dpkg-deb -f "$deb" Depends)
echo "   Depends: $depends"
depends_names=$(echo "$depends" | tr ',|' '\n\n' | sed 's/(.*//; s/[[:space:]]//g')
for lib in $(objdump -p "$prog" | awk '$1 == "NEEDED" {print $2}'); do
  path=$(ldd "$prog" | awk -v l="$lib" '$1 == l {print $3; exit}')
  owner=$(dpkg -S "$path" 2>/dev/null | head -n 1 | cut -d: -f1)
  [ -n "$owner" ] || owner=$(dpkg -S "$(realpath "$path")" 2>/dev/null | head -n 1 | cut -d: -f1)
  grep -qx "$owner" <<<"$depends_names" || fail "$lib comes from '$owner', which Depends does not name"
done
# Loaded when a printer is first asked for, not linked.
grep -qx libcups2 <<<"$depends_names" || fail "Depends does not name libcups2, which the program loads"

echo "== the unpacked program"
out=$("$prog" --version)
[ "$out" = "$version" ] || fail "--version printed '$out', not $version"
# A print run of the packaged sample data to the job file, with the data
# served over loopback HTTP as an application server would; the job file
# must equal the one the build tree's program writes.
examples=$work/root/usr/share/doc/impthermorvane/examples
timeout 60 python3 - "$examples" "$work/http.port" 2>/dev/null <<'PY' &
import functools, http.server, socketserver, sys
handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=sys.argv[1])
with socketserver.TCPServer(("127.0.0.1", 0), handler) as httpd:
    open(sys.argv[2], "w").write(str(httpd.server_address[1]))
    httpd.serve_forever()
PY
server=$!
for _ in $(seq 100); do [ -s "$work/http.port" ] && break; sleep 0.1; done
port=$(cat "$work/http.port" 2>/dev/null)
for who in packaged built; do
  exe=$prog
  [ $who = built ] && exe=$built
  mkdir -p "$work/$who"
  TMPDIR="$work/$who" ALLUSERSPROFILE="$work/$who/profile" "$exe" print --batch --param prnType=4 \
    --param fileOut=FILE --param "streamUrl=http://127.0.0.1:$port/labels.txt" --param nbEtiquColis=2 \
    >"$work/$who.out" 2>&1
  status=$?
  [ $status -eq 0 ] || fail "$who program: print run ended with status $status: $(tail -n 1 "$work/$who.out")"
done
[ -s "$work/packaged/etiquettesOrvane.txt" ] || fail "the packaged program wrote no job file"
cmp -s "$work/packaged/etiquettesOrvane.txt" "$work/built/etiquettesOrvane.txt" ||
  fail "the packaged program's job file differs from the build's"
echo "   $(grep -c $'^P\r$' "$work/packaged/etiquettesOrvane.txt") labels in the job file"

echo "== manual pages"
for page in man1/impthermorvane.1.gz man5/ImpThermOrvane.ini.5.gz; do
  warnings=$(MANWIDTH=80 man --warnings -l "$work/root/usr/share/man/$page" 2>&1 >"$work/page.txt")
  [ -z "$warnings" ] || fail "$page: $warnings"
  grep -q '^NAME' "$work/page.txt" || fail "$page renders no NAME section"
done

echo "== bash completion"
completion=$work/root/usr/share/bash-completion/completions/impthermorvane
# words typed (the last one being completed) | completions expected
while IFS='|' read -r words want; do
  got=$(bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _impthermorvane
                 echo "${COMPREPLY[*]}"' _ "$completion" $words "")
  [ "$got" = "$want" ] || fail "completing '$words': got '$got', want '$want'"
done <<'CASES'
impthermorvane|print preview scramble printers serve help -h --help --version
impthermorvane help|print preview scramble printers serve help
impthermorvane print --param|prnType= fileOut= streamUrl= nbEtiquColis= nbEtiquPalettes= Cookie= prnName= proxyEnable= proxyHttp= proxyDomaine= proxyUser= proxyPassword=
impthermorvane print --param fileOut =|FILE WIN COM1 COM2 COM3 COM4 LPT1 LPT2 LPT3
impthermorvane print --batch|--param --page --batch --first-label --sheet-pdf --preview
impthermorvane serve|--port --config --allow-origin --batch
impthermorvane preview x.epl --dpi|203 300
CASES

echo "== systemd user units"
if command -v systemd-analyze >/dev/null; then
  # Checked as installed, with ExecStart pointing at the unpacked program.
  mkdir -p "$work/units" "$work/runtime" && chmod 700 "$work/runtime"
  for unit in "$work"/root/usr/lib/systemd/user/*; do
    sed "s|/usr/bin/impthermorvane|$prog|" "$unit" >"$work/units/$(basename "$unit")"
  done
  grep -qx 'WantedBy=default.target' "$work/units/impthermorvane-bridge.service" ||
    fail "the bridge's user unit does not start with the user's session"
  result=$(XDG_RUNTIME_DIR=$work/runtime systemd-analyze --user --man=no verify "$work"/units/* 2>&1) ||
    fail "systemd-analyze verify: $result"
fi

echo "== lintian"
# Errors and warnings fail; the informational tags left are listed, with
# why, in docs/testing.md.
lintian --fail-on error,warning "$deb" >"$work/lintian.txt" 2>&1
status=$?
grep -v 'root privileges' "$work/lintian.txt"
[ $status -eq 0 ] || fail "lintian reported errors or warnings"

[ $failures -eq 0 ] && echo "package checks passed" || echo "$failures package check(s) failed"
exit $((failures > 0))
