#!/usr/bin/env bash
# Runs the control under Wine: registers it with regsvr32, lets the test host
# create and drive it (on a virtual display, since it shows windows), then
# unregisters it and checks what is left. Usage: run_wine_tests.sh BUILD_DIR
# A 64-bit build runs under 64-bit Wine, a 32-bit one under 32-bit Wine. The
# Wine prefix lives inside the build folder; every Wine call is bounded.
set -uo pipefail
build=$(cd "${1:?usage: run_wine_tests.sh BUILD_DIR}" && pwd)
bits=$(cat "$build/windows_bits.txt" 2>/dev/null)
fail() { echo "wine tests ($bits-bit): FAIL: $*"; exit 1; }
# The loader of the build's width, called by its path: /usr/bin/wine and its
# tools take the 32-bit loader whenever 32-bit Wine is installed.
case "$bits" in
  64) wine=/usr/lib/wine/wine64 ;;
  32) wine=/usr/lib/wine/wine ;;
  *) fail "$build/windows_bits.txt names no width (configure $build with a mingw-w64 toolchain file)" ;;
esac
[ -x "$wine" ] || fail "$wine is missing ($bits-bit Wine: scripts/setup.sh test installs it)"

# Wine's desktop process takes the display of the first Wine program of the
# session, so every step runs on the same virtual display.
if [ -z "${IMPTHERM_WINE_DISPLAY:-}" ]; then
  command -v xvfb-run >/dev/null || fail "xvfb-run is not installed (scripts/setup.sh installs it)"
  IMPTHERM_WINE_DISPLAY=1 exec timeout 900 xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$build"
fi

for tool in wineserver timeout python3 cmp socat cupsd lpadmin curl setpriv; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/setup.sh installs it)"
done
[ -f "$build/ImpThermOrvane.ocx" ] || fail "$build/ImpThermOrvane.ocx is not built"
[ -f "$build/control_host.exe" ] || fail "$build/control_host.exe is not built"
[ -f "$build/backend_test.exe" ] || fail "$build/backend_test.exe is not built"
[ -f "$build/net_profile_test.exe" ] || fail "$build/net_profile_test.exe is not built"
[ -f "$build/proxy_dialog_test.exe" ] || fail "$build/proxy_dialog_test.exe is not built"
[ -f "$build/impthermorvane.exe" ] || fail "$build/impthermorvane.exe is not built"
# The Linux program, whose job file the control's must equal byte for byte.
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
linux_program=${IMPTHERM_LINUX_PROGRAM:-$source_dir/build/impthermorvane}
[ -x "$linux_program" ] || fail "$linux_program is not built (ninja -C build impthermorvane)"
# The Linux build's browser test, which drives the Windows bridge too.
linux_tests="$(dirname "$linux_program")/tests/integration_tests"
[ -x "$linux_tests" ] || fail "$linux_tests is not built (ninja -C build integration_tests)"
labels="$source_dir/data/sample/labels.txt"
[ -f "$labels" ] || fail "$labels is missing"
[ -f "$build/device_test.exe" ] || fail "$build/device_test.exe is not built"
[ -f "$build/sheet_test.exe" ] || fail "$build/sheet_test.exe is not built"
# The x64 package also holds the 32-bit control (IMPTHERM_OCX32).
if [ "$bits" = 64 ]; then msi_name='ImpThermOrvane-*-x64.msi'; else msi_name='ImpThermOrvane-*[0-9].msi'; fi
msi=$(ls "$build"/$msi_name 2>/dev/null | head -n 1)
[ -n "$msi" ] || fail "no $msi_name in $build (configure the 64-bit build with -DIMPTHERM_OCX32=..., ninja -C $build impthermmsi)"

export WINEPREFIX="$build/wineprefix" WINEARCH=win$bits WINEDEBUG=-all
# No Mono or Gecko installer dialogs while the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
# The tests start their own wineserver and stop it at the end, whatever happens.
timeout 30 wineserver -k >/dev/null 2>&1
server_pid=
socat_pid=
cupsd_pid=
work=$(mktemp -d) || fail "cannot make a scratch folder"
# The pseudo-terminal pair goes only after Wine's server: the server holds the
# first pseudo-terminal as its controlling terminal, and a hang-up would make
# it dump its objects to the log.
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
  timeout 30 wineserver -k >/dev/null 2>&1 || true
  [ -n "$socat_pid" ] && kill "$socat_pid" 2>/dev/null
  [ -n "$cupsd_pid" ] && kill "$cupsd_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A new prefix every run: what a failed run left registered or installed (a
# package built anew has another product code, so its msiexec /x cannot
# take the old one away) would mix its keys into the checks below.
echo "-- creating the Wine prefix $WINEPREFIX"
rm -rf "$WINEPREFIX"
timeout 300 "$wine" wineboot -i >/dev/null 2>&1 || fail "wineboot could not create the prefix"
timeout 60 wineserver -w >/dev/null 2>&1 || true

# Pictures of the windows, for people to look at, go to BUILD_DIR/artifacts.
cd "$build" && mkdir -p artifacts || fail "cannot make $build/artifacts"
ocx=$("$wine" winepath -w "$build/ImpThermOrvane.ocx")
host="$build/control_host.exe"

echo "-- the Win32 backend"
timeout 300 "$wine" "$build/backend_test.exe" "$ocx" || fail "the Win32 backend"
echo "-- the Win32 network and profile backends"
timeout 120 "$wine" "$build/net_profile_test.exe" || fail "the Win32 network and profile backends"
echo "-- the proxy credentials dialog"
timeout 120 "$wine" "$build/proxy_dialog_test.exe" || fail "the proxy credentials dialog"

# Wine's printers come from CUPS: a private cupsd (it runs as lp, so it is
# started as root) with two queues whose jobs a backend of ours appends to
# files, which the sheet test reads back.
echo "-- a private CUPS server for Wine's printers"
[ "$(id -u)" -eq 0 ] || fail "the private cupsd has to be started as root"
cups="$build/cups"
rm -rf "$cups" && mkdir -p "$cups"/bin/backend "$cups"/spool/tmp "$cups"/cache "$cups"/state "$cups"/log "$cups"/out ||
  fail "cannot make $cups"
for link in filter daemon cgi-bin notifier monitor driver; do ln -s "/usr/lib/cups/$link" "$cups/bin/$link"; done
cat > "$cups/bin/backend/capture" <<'BACKEND'
#!/bin/sh
if [ $# -eq 0 ]; then echo 'direct capture "Unknown" "Capture to file"'; exit 0; fi
out="${DEVICE_URI#capture:}"
if [ -n "$6" ]; then cat "$6" >> "$out"; else cat >> "$out"; fi
BACKEND
chmod 755 "$cups/bin/backend/capture"
printf 'Listen %s/cups.sock\nLogLevel warn\nWebInterface No\nBrowsing No\n<Location />\n  Order allow,deny\n  Allow all\n</Location>\n<Location /admin>\n  Order allow,deny\n  Allow all\n</Location>\n' \
  "$cups" > "$cups/cupsd.conf"
printf 'User lp\nGroup lp\nServerRoot %s\nServerBin %s/bin\nDataDir /usr/share/cups\nRequestRoot %s/spool\nCacheDir %s/cache\nStateDir %s/state\nTempDir %s/spool/tmp\nErrorLog %s/log/error_log\nAccessLog %s/log/access_log\nPageLog %s/log/page_log\n' \
  "$cups" "$cups" "$cups" "$cups" "$cups" "$cups" "$cups" "$cups" "$cups" > "$cups/cups-files.conf"
chown -R lp:lp "$cups"/spool "$cups"/cache "$cups"/state "$cups"/log "$cups"/out && chmod 1770 "$cups/spool/tmp"
cupsd -f -c "$cups/cupsd.conf" -s "$cups/cups-files.conf" > "$cups/cupsd.out" 2>&1 &
cupsd_pid=$!
export CUPS_SERVER="$cups/cups.sock"
for _ in $(seq 100); do [ -S "$CUPS_SERVER" ] && timeout 5 lpstat -r >/dev/null 2>&1 && break; sleep 0.1; done
for queue in Sheets Thermal; do
  timeout 30 lpadmin -p "$queue" -E -v "capture:$cups/out/$queue" -m raw 2>/dev/null ||
    fail "the private cupsd did not take the queue $queue (see $cups/cupsd.out and $cups/log)"
done

echo "-- the sheet and printer backends (drawing, documents, position chooser)"
timeout 300 "$wine" "$build/sheet_test.exe" "$ocx" "$("$wine" winepath -w "$cups/out")" || fail "the sheet and printer backends"
# The chooser at larger screen resolutions: Wine reads its dpi when its
# server starts; 96 is put back for the steps after.
for dpi in 120 144 96; do
  timeout 60 "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null ||
    fail "cannot set Wine's screen resolution"
  timeout 30 wineserver -k >/dev/null 2>&1
  timeout 60 wineserver -w >/dev/null 2>&1 || true
  [ "$dpi" = 96 ] && break
  echo "-- the position chooser at $dpi dpi"
  timeout 120 "$wine" "$build/sheet_test.exe" "$ocx" dpi "$dpi" || fail "the position chooser at $dpi dpi"
done

# The device backends: COM7 and COM8 are the two ends of a pseudo-terminal
# pair, LPT7 a plain file, all mapped in through Wine's port table, which
# Wine reads when its server starts.
echo "-- the device backends (serial and parallel ports)"
rm -f "$build/devtty-a" "$build/devtty-b"
: > "$build/lpt7.out" || fail "cannot make $build/lpt7.out"
socat pty,raw,echo=0,link="$build/devtty-a" pty,raw,echo=0,link="$build/devtty-b" &
socat_pid=$!
for _ in $(seq 50); do [ -e "$build/devtty-b" ] && break; sleep 0.1; done
[ -e "$build/devtty-a" ] && [ -e "$build/devtty-b" ] || fail "socat made no pseudo-terminal pair"
for port in COM7:devtty-a COM8:devtty-b LPT7:lpt7.out; do
  timeout 60 "$wine" reg add 'HKLM\Software\Wine\Ports' /v "${port%%:*}" /d "$build/${port#*:}" /f >/dev/null ||
    fail "cannot map ${port%%:*} in Wine's port table"
done
timeout 30 wineserver -k >/dev/null 2>&1
timeout 60 wineserver -w >/dev/null 2>&1 || true
timeout 120 "$wine" "$build/device_test.exe" COM7 COM8 LPT7 "$("$wine" winepath -w "$build/lpt7.out")" || fail "the device backends"

echo "-- regsvr32 $ocx"
timeout 120 "$wine" regsvr32 /s "$ocx" || fail "regsvr32 could not register the control"

echo "-- test host: the registered control"
timeout 300 "$wine" "$host" registered || fail "the registered control"

# Every registry key of the control's registration, with the control's
# folder written as <dir>: the MSI package must write the same tree.
reg_keys=('HKCR\CLSID\{F0BD7B50-E791-4E1C-ADA6-989562A19877}' 'HKCR\ImpThermOrvane.PluginPrinter'
  'HKCR\TypeLib\{829C1426-1EAB-4619-827C-DAC1E385C929}' 'HKCR\Interface\{E73CB9AD-D1A2-41A1-84AC-C7E4DD53C394}'
  'HKCR\Interface\{CB4C4045-5309-479C-B696-B96BEBB23FAF}')
# registration_tree FOLDER [VIEW [SKIP]]: VIEW is /reg:32 for the 32-bit
# view of 64-bit Windows; SKIP names the ends of keys to leave out: both
# views share HKCR\TypeLib, as on Windows, so it holds the type library
# entries of both controls and one HELPDIR.
registration_tree() {
  for key in "${reg_keys[@]}"; do timeout 30 "$wine" reg query "$key" /s ${2:-}; done | tr -d '\r' | python3 -c '
import sys
folder, skipped = sys.argv[1].rstrip("\\"), tuple(sys.argv[2].split())
skip = False
for line in sys.stdin:
    line = line.rstrip("\n").replace("\\\\?\\", "").replace(folder, "<dir>")
    if line.startswith("HKEY_"):
        skip = bool(skipped) and line.endswith(skipped)
    if not skip:
        print(line[:-1] if line.endswith("<dir>\\") else line)' "$1" "${3:-}"
}
registration_tree "${ocx%\\*}" > "$work/regsvr32.tree"
grep -q InprocServer32 "$work/regsvr32.tree" || fail "no registration tree after regsvr32"

# The port a loopback server announces in FILE (read with the sed script
# SCRIPT); empty when it has said nothing after 10 s.
port_from() {
  local port=
  for _ in $(seq 100); do
    port=$(sed -n "$2" "$1")
    [ -n "$port" ] && break
    sleep 0.1
  done
  echo "$port"
}
stop_server() {
  kill "$server_pid" 2>/dev/null
  wait "$server_pid" 2>/dev/null
  server_pid=
}

echo "-- test host: print runs on served label data, against the Linux program"
# A loopback HTTP server for the sample label data, on a port the system
# picks; its request log shows what the control asked for.
mkdir -p "$work/site" "$work/wine" "$work/linux/tmp" "$work/linux/shared"
cp "$labels" "$work/site/labels.txt"
timeout 600 python3 -u -m http.server --bind 127.0.0.1 --directory "$work/site" 0 \
  >"$work/server.out" 2>"$work/server.log" &
server_pid=$!
port=$(port_from "$work/server.out" 's/^Serving HTTP on [0-9.]* port \([0-9]*\).*/\1/p')
[ -n "$port" ] || fail "the loopback HTTP server did not start"
timeout 300 "$wine" "$host" served "$port" "$("$wine" winepath -w "$work/wine")" || fail "print runs on served label data"
TMPDIR="$work/linux/tmp" ALLUSERSPROFILE="$work/linux/shared" timeout 120 "$linux_program" print --batch \
  --param prnType=4 --param fileOut=FILE --param "streamUrl=http://127.0.0.1:$port/labels.txt" \
  --param nbEtiquColis=2 >"$work/linux.out" 2>&1 || { cat "$work/linux.out"; fail "the Linux program's print run"; }
linux_job="$work/linux/tmp/etiquettesOrvane.txt"
[ -s "$linux_job" ] || fail "the Linux program wrote no job file"
cmp "$work/wine/job.txt" "$linux_job" || fail "the control's job file differs from the Linux program's"
echo "   job files equal ($(wc -c <"$linux_job") bytes)"
grep -q '"GET /labels.txt?mode=UPDATEPLUGIN&version=1,0,0,20 HTTP/1.0"' "$work/server.log" ||
  { cat "$work/server.log"; fail "the version exchange did not send its version"; }
cmp "$work/wine/update.txt" "$labels" || fail "the version exchange did not keep the server's answer"
echo "   the version exchange sent &version=1,0,0,20"
stop_server

echo "-- test host: the same print run through a proxy that wants Basic credentials"
# The page gives no proxy user: the control's dialog asks, the host types
# "agent" and "secret" into it, and the proxy must see ORVANE\agent.
timeout 600 python3 -u "$source_dir/tests/win32/basic_proxy.py" "$labels" 'ORVANE\agent:secret' \
  >"$work/proxy.log" 2>"$work/proxy.err" &
server_pid=$!
proxy_port=$(port_from "$work/proxy.log" 's/^port \([0-9]*\)$/\1/p')
[ -n "$proxy_port" ] || { cat "$work/proxy.err"; fail "the loopback proxy did not start"; }
timeout 300 "$wine" "$host" proxied "$proxy_port" "$("$wine" winepath -w "$work/wine")" || fail "the print run through the proxy"
grep -q "^GET http://127.0.0.1:9/labels.txt HTTP/1.0 | \$" "$work/proxy.log" ||
  { cat "$work/proxy.log"; fail "the first request through the proxy carried credentials"; }
grep -q "^GET http://127.0.0.1:9/labels.txt HTTP/1.0 | Basic T1JWQU5FXGFnZW50OnNlY3JldA==\$" "$work/proxy.log" ||
  { cat "$work/proxy.log"; fail "the proxy never saw the typed credentials"; }
cmp "$work/wine/job-proxied.txt" "$linux_job" || fail "the job file printed through the proxy differs"
echo "   the proxy dialog's credentials reached the proxy; job files equal"
stop_server

echo "-- regsvr32 /u"
timeout 120 "$wine" regsvr32 /u /s "$ocx" || fail "regsvr32 could not unregister the control"
echo "-- test host: the unregistered control"
timeout 120 "$wine" "$host" unregistered || fail "the unregistered control"

echo "-- the MSI package: msiexec /i with ALLOWEDSITES"
sites='https://intranet.example.com;https://*.labels.example.com:8443'
# The package's own value is all it may leave or take: start without others.
# The registry views to look in: 64-bit Windows has two.
if [ "$bits" = 64 ]; then reg_views=(/reg:64 /reg:32); else reg_views=(""); fi
for view in "${reg_views[@]}"; do timeout 30 "$wine" reg delete 'HKLM\SOFTWARE\MERIDON' /f $view >/dev/null 2>&1; done
timeout 180 "$wine" msiexec /i "$("$wine" winepath -w "$msi")" /qn ALLOWEDSITES="$sites" || fail "msiexec /i failed"
installed="$WINEPREFIX/drive_c/Program Files/MERIDON/ImpThermOrvane"
program_folders=("$WINEPREFIX/drive_c/Program Files/MERIDON")
[ -f "$installed/ImpThermOrvane.ocx" ] || fail "the package did not install $installed/ImpThermOrvane.ocx"
cmp "$installed/ImpThermOrvane.ocx" "$build/ImpThermOrvane.ocx" || fail "the package installed another control"
[ -f "$installed/impthermorvane.exe" ] || fail "the package did not install $installed/impthermorvane.exe"
# Windows resolves StartupFolder to the common one in a per-machine package;
# Wine's installer takes the installing user's.
startup_links=("$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/StartUp/ImpThermOrvane bridge.lnk"
  "$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/StartUp/ImpThermOrvane bridge.lnk")
[ -f "${startup_links[0]}" ] || [ -f "${startup_links[1]}" ] || fail "the package made no logon shortcut in a Startup folder"
echo "   the control, the bridge and its logon shortcut are installed"
registration_tree 'C:\Program Files\MERIDON\ImpThermOrvane' "" "$([ "$bits" = 64 ] && echo '\0\win32')" > "$work/msi.tree"
diff "$work/regsvr32.tree" "$work/msi.tree" || fail "the package's registration differs from regsvr32's"
echo "   the package wrote the same registration as regsvr32"
if [ "$bits" = 64 ]; then
  # The 32-bit control beside it, registered in the 32-bit view as its own
  # regsvr32 would: the same keys, its own folder and type library platform.
  ocx32=$(sed -n 's/^IMPTHERM_OCX32:FILEPATH=//p' "$build/CMakeCache.txt")
  installed32="$WINEPREFIX/drive_c/Program Files (x86)/MERIDON/ImpThermOrvane"
  program_folders+=("$WINEPREFIX/drive_c/Program Files (x86)/MERIDON")
  cmp "$installed32/ImpThermOrvane.ocx" "$ocx32" || fail "the package did not install $ocx32 in $installed32"
  registration_tree 'C:\Program Files (x86)\MERIDON\ImpThermOrvane' /reg:32 '\0\win64 \HELPDIR' > "$work/msi32.tree"
  sed 's/\\win64$/\\win32/' "$work/regsvr32.tree" | sed '/\\HELPDIR$/,/^$/d' | diff -B - "$work/msi32.tree" ||
    fail "the package's registration of the 32-bit control is not the 64-bit one's in the 32-bit view"
  echo "   and the 32-bit control in Program Files (x86), registered in the 32-bit view"
fi
allowed=$(timeout 30 "$wine" reg query 'HKLM\SOFTWARE\MERIDON\ImpThermOrvane\AllowedSites' /v Msi | tr -d '\r' |
  sed -n 's/^ *Msi *REG_SZ *//p')
[ "$allowed" = "$sites" ] || fail "AllowedSites\\Msi holds '$allowed', not '$sites'"
echo "   AllowedSites\\Msi = $allowed"

echo "-- test host: a print run on the control the package installed"
timeout 600 python3 -u -m http.server --bind 127.0.0.1 --directory "$work/site" 0 \
  >"$work/server-msi.out" 2>"$work/server-msi.log" &
server_pid=$!
port=$(port_from "$work/server-msi.out" 's/^Serving HTTP on [0-9.]* port \([0-9]*\).*/\1/p')
[ -n "$port" ] || fail "the loopback HTTP server did not start"
mkdir -p "$work/msi"
timeout 300 "$wine" "$host" served "$port" "$("$wine" winepath -w "$work/msi")" || fail "print runs on the installed control"
cmp "$work/msi/job.txt" "$linux_job" || fail "the installed control's job file differs from the Linux program's"
echo "   job files equal"
stop_server

echo "-- the MSI package: msiexec /x"
timeout 180 "$wine" msiexec /x "$("$wine" winepath -w "$msi")" /qn || fail "msiexec /x failed"
timeout 120 "$wine" "$host" unregistered || fail "the control after msiexec /x"
for key in "${reg_keys[@]}" 'HKLM\SOFTWARE\MERIDON'; do
  for view in "${reg_views[@]}"; do
    timeout 30 "$wine" reg query "$key" $view >/dev/null 2>&1 && fail "msiexec /x left $key $view"
  done
done
for folder in "${program_folders[@]}"; do [ -e "$folder" ] && fail "msiexec /x left $(find "$folder")"; done
for link in "${startup_links[@]}"; do [ -e "$link" ] && fail "msiexec /x left $link"; done
echo "   no key and no file left"

echo "-- the browser bridge: impthermorvane.exe serve, then impthermorvane.exe stop"
bridge_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
timeout 120 "$wine" "$build/impthermorvane.exe" serve --batch --port "$bridge_port" >"$work/bridge.out" 2>&1 &
server_pid=$!
listening=$(port_from "$work/bridge.out" "s|^listening on http://127.0.0.1:\($bridge_port\)\r*\$|\1|p")
[ -n "$listening" ] || { cat "$work/bridge.out"; fail "the bridge did not say it listens on $bridge_port"; }
grep -q -- '--allow-origin' "$work/bridge.out" || { cat "$work/bridge.out"; fail "the bridge did not say how to allow an origin"; }
# It serves its own user's processes only: root's request reaches the origin
# check, nobody's is refused. Wine names no owner of a connection, so the
# bridge asks the Linux table of connections.
own=$(timeout 20 curl -s --max-time 10 "http://127.0.0.1:$bridge_port/v1/version")
[[ "$own" == *'"code":"origin-refused"'* ]] || fail "the bridge did not serve its own user's request: $own"
other=$(timeout 20 setpriv --reuid=nobody --regid=nogroup --clear-groups curl -s --max-time 10 "http://127.0.0.1:$bridge_port/v1/version")
[[ "$other" == *'"code":"other-user"'* ]] || fail "the bridge did not refuse another user's request: $other"
grep -q 'other-user (.*runs as another Linux user (uid 65534))' "$work/bridge.out" ||
  { cat "$work/bridge.out"; fail "the bridge log does not say why it refused another user"; }
# Without --port, stop finds this session's bridge on whichever port it took.
timeout 60 "$wine" "$build/impthermorvane.exe" stop || fail "impthermorvane.exe stop found no bridge"
wait "$server_pid"
bridge_status=$?
server_pid=
[ "$bridge_status" -eq 0 ] || { cat "$work/bridge.out"; fail "the bridge ended with $bridge_status after stop"; }
echo "   listened on 127.0.0.1:$bridge_port, refused another user, stopped from its window with status 0"

echo "-- the browser bridge under Wine driven by headless Chromium (FILE channel against the Linux program)"
wine_temp=$("$wine" winepath -u "$(timeout 30 "$wine" cmd /c echo %TEMP% | tr -d '\r')")
[ -d "$wine_temp" ] || fail "Wine's temporary folder $wine_temp is missing"
IMPTHERM_BRIDGE_COMMAND="timeout 300 "$wine" $build/impthermorvane.exe" IMPTHERM_BRIDGE_TEMP="$wine_temp" \
  IMPTHERM_BRIDGE_START_SECONDS=60 timeout 600 "$linux_tests" --gtest_brief=1 --gtest_filter='Pages/BridgeBrowserTest.*' ||
  fail "the browser test against the Windows bridge"

echo "wine tests ($bits-bit): PASS (window pictures in $build/artifacts)"
