#!/usr/bin/env bash
# Six stations at once: six simulated units on six pseudo-terminals COM1 to COM6 in one shared
# ports folder, and six real Tamrin processes (automatic mode, started with no display and no
# platform chosen, so each goes offscreen and unattended by itself), each in a folder of
# its own whose LoaderDefault.ini names its own port, all uploading a different random 200 KB
# file at the same time. Checks that every unit stored its own station's file byte-identical,
# that every Tamrin ended with status 0 and logged its upload as delivered, and that no station
# opened another station's port:
# the ports each Tamrin process has open are sampled from /proc while it runs, and each unit's
# transcript must hold exactly one upload header, its own station's. Prints a line per
# station; exits 1 if any check failed.
#
# Uses an existing build: build/ by default, another with TAMRIN_BUILD_DIR=/path/to/build.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TAMRIN_BUILD_DIR:-$root/build}"
tamrin="$build/tamrin"
unitsim="$build/tools/tamrin-unitsim"
stations=6
file_size=204800
limit_seconds=120
for program in "$tamrin" "$unitsim"; do
  [ -x "$program" ] || { echo "six-stations: $program is missing; build first" >&2; exit 2; }
done

work="$(mktemp -d)"
declare -a unit_fd runner_pid
cleanup() {
  # Tamrin processes still running were started here; closing a unit's control input ends it.
  [ -d "$work/station1" ] && stop_stations
  for fd in "${unit_fd[@]}"; do eval "exec $fd>&-"; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/ports"

# The 16-bit sum of a file's bytes, in lower-case hex as the upload header has it.
checksum() {
  od -An -v -tu1 "$1" | awk '{ for (i = 1; i <= NF; i++) s += $i } END { printf "%x", s % 65536 }'
}

# The bytes a unit received, from its transcript ("ms endpoint hex" lines).
received_bytes() {
  perl -ne '@f = split; print pack("H*", $f[2]) if @f == 3' "$1"
}

prepare_station() {
  local n=$1 st="$work/station$1"
  mkdir -p "$st/uploads"
  head -c "$file_size" /dev/urandom >"$st/firmware.bin"
  sed -e "s/^Port=.*/Port=COM$n/" -e 's/^AutoScript=.*/AutoScript=station.sld/' \
    "$root/tools/demo/LoaderDefault.ini" >"$st/LoaderDefault.ini"
  cat >"$st/station.sld" <<'SCRIPT'
; One station: wait for the unit, put it into loader mode, upload firmware.bin.
_WP
_TC "LOADR^M"
_LF firmware.bin
_LA 80000
_LV V2.1
_LD
_FI
SCRIPT
  mkfifo "$st/unit-control"
  "$unitsim" --pty "$work/ports/COM$n" --transcript "$st/wire.txt" --store "$st/uploads" \
    <"$st/unit-control" >"$st/unit.log" &
  exec {fd}>"$st/unit-control"
  unit_fd[$n]=$fd
}

wait_until_ready() {
  local st="$work/station$1"
  for _ in $(seq 50); do
    grep -q '^ready' "$st/unit.log" 2>/dev/null && break
    sleep 0.1
  done
  grep '^ready' "$st/unit.log" | sed -n 's/.*pty=\([^ ]*\).*/\1/p' >"$st/device"
  [ -s "$st/device" ] || { echo "six-stations: unit $1 did not get ready" >&2; exit 2; }
}

# Runs station n's Tamrin in the background; its process id, exit status and end time go to
# files of the station's folder.
start_tamrin() {
  local st="$work/station$1"
  date +%s.%N >"$st/started"
  (
    cd "$st"
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u TAMRIN_UNATTENDED \
      TAMRIN_PORTS_DIR="$work/ports" "$tamrin" </dev/null >"$st/tamrin.out" 2>"$st/tamrin.err" &
    echo $! >"$st/pid"
    status=0
    wait $! || status=$?
    date +%s.%N >"$st/ended"
    echo "$status" >"$st/status"
  ) &
  runner_pid[$1]=$!
}

# Records which pseudo-terminals each running Tamrin has open until all have ended, and ends
# any that overrun the limit.
watch_stations() {
  local deadline=$((SECONDS + limit_seconds)) running n pid
  while :; do
    running=0
    for n in $(seq "$stations"); do
      [ -e "$work/station$n/status" ] && continue
      running=1
      pid=$(cat "$work/station$n/pid" 2>/dev/null) || continue
      for fd in /proc/"$pid"/fd/*; do
        readlink "$fd" 2>/dev/null || true
      done | grep '^/dev/pts/' >>"$work/station$n/opened" || true
    done
    [ "$running" -eq 1 ] || break
    if [ "$SECONDS" -ge "$deadline" ]; then
      stop_stations
      echo "six-stations: stopped the stations still running after $limit_seconds s" >&2
      break
    fi
    sleep 0.05
  done
}

stop_stations() {
  local n pid
  for n in $(seq "$stations"); do
    [ -e "$work/station$n/status" ] && continue
    pid=$(cat "$work/station$n/pid" 2>/dev/null) && kill "$pid" 2>/dev/null || true
  done
}

# One line for station n; returns 1 if one of its checks failed.
report_station() {
  local n=$1 st="$work/station$1" problems=() status device sum header stored opened
  status=$(cat "$st/status")
  device=$(cat "$st/device")
  sum=$(checksum "$st/firmware.bin")
  header="LF 80000 $file_size $sum V2.1"
  [ "$status" -eq 0 ] || problems+=("Tamrin ended with status $status")
  grep -q '^Tamrin: upload file="firmware.bin" .* outcome=delivered$' "$st/tamrin.err" ||
    problems+=("Tamrin's log has no delivered upload")
  stored=$(grep -c '^upload .* result=ok ' "$st/unit.log" || true)
  if [ "$stored" -ne 1 ] || ! cmp -s "$st/firmware.bin" "$st/uploads/upload-1.bin"; then
    problems+=("the unit did not store exactly this station's file ($stored uploads stored)")
  fi
  received_bytes "$st/wire.txt" >"$st/wire.bin"
  if [ "$(grep -a -c 'LF 80000 ' "$st/wire.bin" || true)" -ne 1 ] ||
    ! grep -a -q -F "$header" "$st/wire.bin"; then
    problems+=("the unit's transcript does not hold exactly one header, this station's")
  fi
  opened=$(sort -u "$st/opened" 2>/dev/null | tr '\n' ' ' | sed 's/ $//')
  if [ -n "$(sort -u "$st/opened" 2>/dev/null | grep -v -x -F "$device" || true)" ]; then
    problems+=("Tamrin had other ports open: $opened")
  elif [ -z "$opened" ]; then
    problems+=("Tamrin was never seen with its port open")
  fi
  local seconds
  seconds=$(awk -v a="$(cat "$st/started")" -v b="$(cat "$st/ended")" -v t0="$start0" \
    'BEGIN { printf "%.1f-%.1f s", a - t0, b - t0 }')
  if [ ${#problems[@]} -eq 0 ]; then
    echo "station $n: COM$n ($device), $file_size bytes, sum $sum, ran $seconds: stored" \
      "byte-identical by its own unit, Tamrin status 0 and delivered, only its own port opened"
    return 0
  fi
  local joined
  joined=$(printf '%s; ' "${problems[@]}")
  echo "station $n: COM$n ($device), ran $seconds: FAILED: ${joined%; }"
  sed 's/^/    /' "$st/tamrin.err" | head -n 20
  return 1
}

for n in $(seq "$stations"); do prepare_station "$n"; done
for n in $(seq "$stations"); do wait_until_ready "$n"; done
start0=$(date +%s.%N)
for n in $(seq "$stations"); do start_tamrin "$n"; done
watch_stations
for pid in "${runner_pid[@]}"; do wait "$pid" || true; done

failed=0
for n in $(seq "$stations"); do report_station "$n" || failed=1; done
if [ "$failed" -eq 0 ]; then
  echo "All $stations stations: every upload stored byte-identical by its own unit, every" \
    "Tamrin ended with status 0, no station opened another's port."
fi
exit "$failed"
