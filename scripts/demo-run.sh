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
echo "Demo files are in $demo"
