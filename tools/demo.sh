#!/usr/bin/env bash
# The main job against the simulated unit: sets up and builds Tamrin, starts tamrin-unitsim
# on a virtual serial port (a pseudo-terminal named COM1), and runs Tamrin in automatic mode
# with tools/demo/LoaderDefault.ini and its script. Tamrin opens its window when a display is
# there and runs offscreen when none is. Prints what the unit received and Tamrin's exit status.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/setup.sh"

work="$(mktemp -d)"
trap 'exec 3>&- 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
cp "$root/tools/demo/LoaderDefault.ini" "$root/tools/demo/demo.sld" "$work/"
mkdir -p "$work/ports" "$work/uploads"

# The simulated unit runs until its standard input closes, which this script's exit does.
mkfifo "$work/unit-control"
"$root/build/tools/tamrin-unitsim" --pty "$work/ports/COM1" --transcript "$work/wire.txt" \
  --store "$work/uploads" <"$work/unit-control" >"$work/unit.log" &
exec 3>"$work/unit-control"
for _ in $(seq 50); do grep -q '^ready' "$work/unit.log" 2>/dev/null && break; sleep 0.1; done
echo "Simulated unit: $(head -n 1 "$work/unit.log")"

[ -n "${DISPLAY:-}" ] || export QT_QPA_PLATFORM=offscreen
set +e
(cd "$work" && TAMRIN_PORTS_DIR="$work/ports" timeout 120 "$root/build/tamrin")
status=$?
set -e

echo "Bytes the unit received (ms, endpoint, hex):"
sed 's/^/  /' "$work/wire.txt"
grep '^upload' "$work/unit.log" || true
echo "Tamrin ended with status $status ($([ $status -eq 0 ] && echo success || echo failure))."
exit $status
