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
# One web server on a free loopback port serves the sample label data files
# (data/sample), as the application server would, for every run below.
timeout 300 python3 - "$PWD/data/sample" "$demo/http.port" 2>/dev/null <<'PY' &
import functools, http.server, socketserver, sys
handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=sys.argv[1])
with socketserver.TCPServer(("127.0.0.1", 0), handler) as httpd:
    open(sys.argv[2], "w").write(str(httpd.server_address[1]))
    httpd.serve_forever()
PY
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null' EXIT
for _ in $(seq 50); do [ -s "$demo/http.port" ] && break; sleep 0.1; done
port=$(cat "$demo/http.port" 2>/dev/null)

echo "== The version exchange with that web server"
"$prog" print --batch --param prnType=1 --param fileOut=FILE \
  --param "streamUrl=127.0.0.1:$port/labels.txt?app=UPDATEPLUGIN" --param Cookie=ASP=abc
echo "   exit status $? ; run log $demo/OWTMP.LOG:"
sed 's/^/   | /' "$demo/OWTMP.LOG"

echo
echo "== Sheet print runs (prnType 0) into PDF files, first label in slot 3"
for sample in sheet_parcels sheet_baggage; do
  pdf="$demo/$sample.pdf"
  "$prog" print --batch --first-label 3 --sheet-pdf "$pdf" --param prnType=0 --param fileOut=WIN \
    --param nbEtiquColis=2 --param nbEtiquPalettes=1 --param "streamUrl=http://127.0.0.1:$port/$sample.txt" \
    | sed 's/^/   | /'
  echo "   exit status ${PIPESTATUS[0]} ; $pdf"
  if [ -s "$pdf" ]; then
    echo "   pages: $(pdfinfo "$pdf" 2>/dev/null | sed -n 's/^Pages: *//p')"
    pdftoppm -r 300 -png "$pdf" "$demo/$sample"
    for png in "$demo/$sample"-*.png; do
      zbarimg -q "$png" 2>/dev/null | sed "s|^|   $(basename "$png"): |"
    done
  fi
done

echo
echo "== Thermal print runs of the sample label data (data/sample) to the job file"
for sample in labels.txt baggage.txt; do
  "$prog" print --batch --param prnType=4 --param fileOut=FILE \
    --param "streamUrl=http://127.0.0.1:$port/$sample" --param nbEtiquColis=2 --param nbEtiquPalettes=1
  echo "   $sample: exit status $?"
done
echo "   job file $demo/etiquettesOrvane.txt: $(cat "$demo/etiquettesOrvane.txt" 2>/dev/null | grep -c $'^P\r$') labels, first lines:"
head -n 12 "$demo/etiquettesOrvane.txt" 2>/dev/null | sed 's/^/   | /'
echo "   run log: $(cat "$demo/OWTMP.LOG" 2>/dev/null | grep -c fondPage) records (fondPage lines)"
echo "   printer configuration $demo/profile/MERIDON/ImpThermOrvane.ini:"
sed 's/^/   | /' "$demo/profile/MERIDON/ImpThermOrvane.ini" 2>/dev/null

echo
echo "== The thermal jobs drawn as a 203 dpi printer would print them (impthermorvane preview)"
"$prog" preview "$demo/etiquettesOrvane.txt" -o "$demo/preview/" --contact-sheet "$demo/contact-sheet.png" \
  2>"$demo/preview-notes.txt" | sed 's/^/   | /'
status=${PIPESTATUS[0]} notes=$(wc -l <"$demo/preview-notes.txt")
if [ "$notes" -eq 0 ]; then
  echo "   exit status $status ; every line drawn as written"
else
  echo "   exit status $status ; $notes lines not drawn as written (in $demo/preview-notes.txt), first ones:"
  head -n 3 "$demo/preview-notes.txt" | sed 's/^/   | /'
fi
read=0 total=0
for png in "$demo"/preview/*.png; do
  [ -e "$png" ] || continue
  total=$((total + 1))
  code=$(zbarimg -q --raw "$png" 2>/dev/null | head -n 1)
  [ -n "$code" ] && read=$((read + 1)) && [ "$read" -le 3 ] && echo "   $(basename "$png"): $code"
done
echo "   barcodes read back by zbarimg: $read of $total"
echo "   the same print run drawn instead of sent (print --preview):"
"$prog" print --batch --preview "$demo/labels-preview.pdf" --param prnType=4 --param fileOut=FILE \
  --param "streamUrl=http://127.0.0.1:$port/labels.txt" --param nbEtiquColis=2 --param nbEtiquPalettes=1 \
  2>/dev/null | tail -n 1 | sed 's/^/   | /'
echo "   $demo/labels-preview.pdf: $(pdfinfo "$demo/labels-preview.pdf" 2>/dev/null | sed -n 's/^Pages: *//p') pages"

echo
echo "Demo files are in $demo"
echo "The labels the preview drew, side by side: $demo/contact-sheet.png"
