#!/usr/bin/env bash
# Sets up and builds Tamrin, runs every benchmark program, and prints their figures as one
# table, each against its target. The programs run against the simulated unit on this
# machine; a run takes a few minutes (the serial gaps alone need 500 blocks at 115200 baud).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/setup.sh" >/dev/null
export QT_QPA_PLATFORM=offscreen
out="$(mktemp)"
trap 'rm -f "$out"' EXIT
for bench in bench_link bench_upload bench_ethernet bench_stations; do
  "$root/build/tests/$bench" 2>/dev/null | grep -F '(target' >>"$out" || true
done
echo "| Figure | Measured | Target |"
echo "|---|---|---|"
# Each figure line reads "what: measured (target ...)".
sed -E 's/^([^:]*): (.*) \(target:? ?(.*)\)$/| \1 | \2 | \3 |/' "$out"
