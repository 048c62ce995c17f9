#!/usr/bin/env bash
# The main job against the simulated unit: sets up and builds Tamrin, starts tamrin-unitsim
# on a virtual serial port (a pseudo-terminal named COM1), checks the demo's script with
# tamrin --check, and runs Tamrin in automatic mode with tools/demo/LoaderDefault.ini and that
# script, which puts the unit into loader mode and uploads a 70000-byte sample firmware file.
# Tamrin opens its window when a display is there and otherwise runs offscreen and unattended
# by itself, so it never waits for a button. Prints
# what the unit received, the upload the unit stored with its size and checksum, and Tamrin's
# exit status.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/setup.sh"

work="$(mktemp -d)"
trap 'exec 3>&- 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
cp "$root/tools/demo/LoaderDefault.ini" "$root/tools/demo/demo.sld" "$work/"
mkdir -p "$work/ports" "$work/uploads"
# The sample firmware: 70000 bytes of text.
head -c 70000 <(yes "Tamrin sample firmware image, block of text for the demo upload.") \
  >"$work/firmware.bin"

# The simulated unit runs until its standard input closes, which this script's exit does.
mkfifo "$work/unit-control"
"$root/build/tools/tamrin-unitsim" --pty "$work/ports/COM1" --transcript "$work/wire.txt" \
  --store "$work/uploads" <"$work/unit-control" >"$work/unit.log" &
exec 3>"$work/unit-control"
for _ in $(seq 50); do grep -q '^ready' "$work/unit.log" 2>/dev/null && break; sleep 0.1; done
echo "Simulated unit: $(head -n 1 "$work/unit.log")"

# The run is bounded as a station's should be: at 100 s Tamrin ends it with status 3.
export TAMRIN_RUN_TIMEOUT=100
echo "Script check (tamrin --check demo.sld):"
(cd "$work" && "$root/build/tamrin" --check demo.sld) | sed 's/^/  /' || true

set +e
(cd "$work" && TAMRIN_PORTS_DIR="$work/ports" timeout 120 "$root/build/tamrin")
status=$?
set -e

# Hex bytes as text, with CR and LF shown as \r and \n.
readable() {
  printf '%s\n' "$1" | fold -w2 | while read -r byte; do
    case $byte in
      0d) printf '\\r' ;;
      0a) printf '\\n' ;;
      *) printf "\\x$byte" ;;
    esac
  done
}
echo "What the unit received (ms since its start, then the bytes):"
data_bytes=0
while read -r ms endpoint hex; do
  if [ ${#hex} -gt 80 ]; then
    [ "$data_bytes" -eq 0 ] && data_from=$ms
    data_bytes=$((data_bytes + ${#hex} / 2))
    data_to=$ms
    continue
  fi
  if [ "$data_bytes" -gt 0 ]; then
    echo "  $data_from-$data_to: $data_bytes bytes of file data"
    data_bytes=0
  fi
  echo "  $ms: $(readable "$hex")"
done <"$work/wire.txt"
echo "The unit's own report:"
grep '^upload' "$work/unit.log" | sed 's/^/  /' || echo "  no upload was stored"
if cmp -s "$work/firmware.bin" "$work/uploads/upload-1.bin"; then
  echo "The stored upload is byte-identical to firmware.bin."
fi
case $status in
  0) meaning="success" ;;
  1) meaning="the script ran and failed" ;;
  2) meaning="the unit was not reached or the script could not be opened" ;;
  3) meaning="the run time limit passed" ;;
  4) meaning="Tamrin could not start" ;;
  *) meaning="ended by a signal or the 120 s guard" ;;
esac
echo "Tamrin ended with status $status ($meaning)."
exit $status
