#!/usr/bin/env bash
# Runs the demonstration print runs with the given program. Everything it
# writes goes to a fresh demo folder, which is printed at the end.
set -uo pipefail
prog=$(realpath "$1")
cd "$(dirname "$0")/.."
demo=$(mktemp -d /tmp/impthermorvane-demo.XXXXXX)
export TMPDIR="$demo" ALLUSERSPROFILE="$demo/profile"

echo "== A print run refused for a missing parameter"
"$prog" print --batch --param prnType=1
echo "   exit status $? ; parameter log $demo/ImpThermOrvane.Log:"
sed 's/^/   | /' "$demo/ImpThermOrvane.Log"

echo
echo "== Scrambling a proxy password for a page"
echo "   impthermorvane scramble 'secret' -> $("$prog" scramble secret)"
echo
echo "== The version exchange with a web server on this machine"
# A tiny server on a free loopback port that answers every GET with one line.
python3 - "$demo/http.port" <<'PY' &
import http.server, sys
class H(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        body = b"VERSION OK\r\n"
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *a): pass
s = http.server.HTTPServer(("127.0.0.1", 0), H)
open(sys.argv[1], "w").write(str(s.server_port))
s.serve_forever()
PY
server=$!
for _ in $(seq 50); do [ -s "$demo/http.port" ] && break; sleep 0.1; done
port=$(cat "$demo/http.port")
"$prog" print --batch --param prnType=1 --param fileOut=FILE \
  --param "streamUrl=127.0.0.1:$port/app/UPDATEPLUGIN.asp?id=7" --param Cookie=ASP=abc
echo "   exit status $? ; run log $demo/OWTMP.LOG:"
sed 's/^/   | /' "$demo/OWTMP.LOG"
kill "$server" 2>/dev/null
wait "$server" 2>/dev/null

echo
echo "Demo files are in $demo"
