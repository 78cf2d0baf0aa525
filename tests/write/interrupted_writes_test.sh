#!/usr/bin/env bash
# Writes that stop part way: a run killed at any moment, and a full disk, leave under the user's
# name either the complete output or nothing; a stray temporary of a killed run is named as one,
# is never read as a survey, and does not stop the next write to the same name.
#   interrupted_writes_test.sh BIN_DIR EXAMPLES_DIR
set -euo pipefail
bin=$1
examples=$2
tool="$bin/quarlomet"
work=$(mktemp -d)
cleanup() {
  mountpoint -q "$work/full" 2>/dev/null && umount "$work/full"
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*"; exit 1; }

mkdir -p "$work/site"
cp "$examples"/line*.csv "$work/site/"
"$tool" export "$work/site" -o "$work/reference.csv" >/dev/null

# A readings export stopped after N bytes, as a kill would stop it: nothing under the name, a
# temporary named as one; the next export to the same name completes; the temporary lying in the
# survey folder is not read as a survey.
for n in 0 1 4096 100000; do
  out="$work/site/out.csv"
  status=0
  QM_WRITE_STOP_AFTER=$n "$tool" export "$work/site" -o "$out" >/dev/null 2>&1 || status=$?
  [ "$status" -eq 86 ] || fail "export stopped after $n bytes exited with $status"
  [ ! -e "$out" ] || fail "a partial export lies under the user's name (stopped after $n bytes)"
  ls "$work/site"/out.csv.partial-* >/dev/null 2>&1 || fail "no temporary named as one after $n bytes"
done
"$tool" export "$work/site" -o "$work/site/out.csv" >/dev/null || fail "the next export to the same name failed"
cmp -s <(sed 's|^[^,]*/||' "$work/site/out.csv") <(sed 's|^[^,]*/||' "$work/reference.csv") ||
  fail "the export beside stray temporaries differs from the reference"
rm "$work/site/out.csv"

# A grid killed at several moments: its name holds the complete GeoTIFF or nothing.
for delay in 0.05 0.2 0.4 0.8; do
  rm -f "$work/grid.tif"
  "$tool" grid "$work/site" -o "$work/grid.tif" --cell 0.05 >/dev/null 2>&1 &
  pid=$!
  sleep "$delay"
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  if [ -e "$work/grid.tif" ]; then
    gdalinfo -checksum "$work/grid.tif" >/dev/null 2>&1 || fail "a killed grid left an incomplete file (after ${delay} s)"
  fi
done
"$tool" grid "$work/site" -o "$work/grid.tif" --cell 0.05 >/dev/null || fail "the next grid to the same name failed"

# A full disk: every writer fails with a message naming the file, and leaves nothing behind. As
# root on a small file system of its own; otherwise under a limit on the size of a file.
mkdir "$work/full"
full_disk() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  else
    (trap '' XFSZ; ulimit -f 16; "$@")
  fi
}
if [ "$(id -u)" -eq 0 ]; then
  mount -t tmpfs -o size=16k tmpfs "$work/full" || fail "cannot mount a small file system for the full-disk test"
fi
for out in readings.csv readings.geojson grid.tif grid.png grid.kmz; do
  case $out in
    grid.*) command=(grid "$work/site" -o "$work/full/$out" --cell 0.05) ;;
    *) command=(export "$work/site" -o "$work/full/$out") ;;
  esac
  status=0
  message=$(full_disk "$tool" "${command[@]}" 2>&1 >/dev/null) || status=$?
  [ "$status" -ne 0 ] || fail "$out on a full disk reported success"
  echo "$message" | grep -q "Cannot write $work/full/$out" || fail "$out on a full disk: $message"
  [ -z "$(ls -A "$work/full")" ] || fail "$out on a full disk left $(ls -A "$work/full")"
done
echo "interrupted writes: 3 passed, 0 failed"
