#!/usr/bin/env bash
# Installs the build into a fresh temporary prefix and checks that the installed programs, started
# through their links in bin/, find what they need beside their own files in lib/quarlomet: the
# viewer writes its default map page from the installed template at start, with Leaflet beside it,
# and the command-line tool uses the same template and loads its modules from there.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'kill $viewer 2>/dev/null || true; rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

bin=$prefix/bin
lib=$prefix/lib/quarlomet
for f in quarlomet-viewer quarlomet quarlomet_draw.so quarlomet_gis.so _Mapa.html site_map.html site_map.js leaflet/leaflet.js leaflet/leaflet.css; do
  [ -e "$lib/$f" ] || { echo "not installed: lib/quarlomet/$f"; exit 1; }
done
for f in quarlomet-viewer quarlomet; do
  [ "$(readlink "$bin/$f")" = "../lib/quarlomet/$f" ] || { echo "bin/$f is not a link to lib/quarlomet/$f"; exit 1; }
done
[ -e "$prefix/share/applications/quarlomet-viewer.desktop" ] || { echo "no desktop entry"; exit 1; }

QT_QPA_PLATFORM=offscreen "$bin/quarlomet-viewer" >/dev/null 2>&1 &
viewer=$!
for _ in $(seq 120); do
  [ -s "$lib/Mapa.html" ] && break
  kill -0 $viewer 2>/dev/null || { echo "the installed viewer stopped at start"; exit 1; }
  sleep 0.25
done
grep -q 'new GLatLng(56.751655,37.202829);' "$lib/Mapa.html" || { echo "no default map page written"; exit 1; }
kill -0 $viewer || { echo "the installed viewer stopped"; exit 1; }

"$bin/quarlomet" map -o "$prefix/page.html" --lat 1.5 --lon 2.5
grep -q 'new GLatLng(1.5,2.5);' "$prefix/page.html" || { echo "quarlomet map did not use the installed template"; exit 1; }
# Drawing loads the module installed beside the tool's own file.
printf 'Label,Field,Time,NS,Lat,EW,Lon\r\np1,50000,10:00,N,5645.0993,E,03712.1697\r\n' > "$prefix/line.csv"
QT_QPA_PLATFORM=offscreen "$bin/quarlomet" profile "$prefix/line.csv" -o "$prefix/profile.png" ||
  { echo "the installed quarlomet cannot draw"; exit 1; }
# So does the grid, with the GIS module.
"$bin/quarlomet" grid "$prefix/line.csv" -o "$prefix/grid.tif" --method nearest >/dev/null ||
  { echo "the installed quarlomet cannot grid"; exit 1; }
echo "install: 1 passed, 0 failed"
