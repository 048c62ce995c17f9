#!/usr/bin/env bash
# Builds Tamrin's libFuzzer targets (tests/fuzz) with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz/, and runs each one on a scratch copy of its seed
# corpus, so the inputs it adds stay out of the repository. Any finding fails the run; the
# input that caused it and the target's log stay in build-fuzz/fuzz-runs/TARGET/.
#
#   tools/fuzz.sh [SECONDS] [TARGET...]   each target for SECONDS seconds (default 30)
#   tools/fuzz.sh --runs N [TARGET...]    each target for N inputs
#
# TARGET names one of the targets (fuzz_settings, ...); without any, all of them run.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-fuzz"

usage() {
  echo "usage: tools/fuzz.sh [SECONDS] [TARGET...] | tools/fuzz.sh --runs N [TARGET...]" >&2
  exit 2
}

limit=(-max_total_time=30)
if [ "${1:-}" = "--runs" ]; then
  [[ "${2:-}" =~ ^[0-9]+$ ]] || usage
  limit=(-runs="$2")
  shift 2
elif [[ "${1:-}" =~ ^[0-9]+$ ]]; then
  limit=(-max_total_time="$1")
  shift
elif [[ "${1:-}" == -* ]]; then
  usage
fi

# Each target and the longest input it is given: enough for its format's limits to be
# crossed (29 settings lines, 199-byte command lines, 100 terminal rows). The reply buffer's
# input floods its 1000 bytes with a repeat mark ('*') rather than by its own length.
declare -A max_len=(
  [fuzz_settings]=4096
  [fuzz_scriptline]=2048
  [fuzz_scriptsyntax]=512
  [fuzz_replybuffer]=2048
  [fuzz_terminalmodel]=2048
  [fuzz_header]=512
)
all_targets=(fuzz_settings fuzz_scriptline fuzz_scriptsyntax fuzz_replybuffer
  fuzz_terminalmodel fuzz_header)
targets=("$@")
((${#targets[@]})) || targets=("${all_targets[@]}")
for target in "${targets[@]}"; do
  [ -n "${max_len[$target]:-}" ] || { echo "unknown target: $target" >&2; usage; }
done

# libclang-rt-14-dev holds libFuzzer and the sanitizers' run-time libraries for clang 14;
# fonts-dejavu-core is the font the build paints Tamrin's artwork with.
packages=(clang libclang-rt-14-dev cmake ninja-build qt6-base-dev qt6-serialport-dev
  fonts-dejavu-core)
"$root/tools/install-packages.sh" "${packages[@]}"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTAMRIN_FUZZ=ON >/dev/null
cmake --build "$build" --target tamrin-fuzz

# Undefined behaviour is already fatal in the build (-fno-sanitize-recover=undefined); these
# make every report carry its stack and stop at the first one. For speed (two and a half
# times as many inputs a second) AddressSanitizer keeps no stack of each allocation and a
# small quarantine; to see where a faulty block came from, run the kept input again with
# ASAN_OPTIONS=malloc_context_size=30.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:malloc_context_size=0"
ASAN_OPTIONS+=":quarantine_size_mb=16"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

# One target's run; its result line goes to $work/result, its status is the run's.
run_target() {
  local target="$1" work="$build/fuzz-runs/$1"
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/findings"
  cp "$root/tests/fuzz/corpus/$target/"* "$work/corpus/"
  local start end status=0 inputs findings seconds
  start=$(date +%s.%N)
  "$build/tests/fuzz/$target" "${limit[@]}" -max_len="${max_len[$target]}" -timeout=30 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/findings/" \
    "$work/corpus" >"$work/log" 2>&1 || status=$?
  end=$(date +%s.%N)
  inputs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -n 1)
  findings=$(find "$work/findings" -type f | wc -l)
  # A target that ends with an error but left no input behind is a finding too.
  if ((status != 0 && findings == 0)); then
    findings=1
  fi
  seconds=$(awk -v start="$start" -v end="$end" 'BEGIN { printf "%.1f", end - start }')
  printf '%-20s %12s %10s %9d\n' "$target" "${inputs:-?}" "$seconds" "$findings" >"$work/result"
  ((findings == 0))
}

# As many targets at once as there are processors: each runs on one, for its own time.
lanes=$(nproc)
for target in "${targets[@]}"; do
  while (($(jobs -rp | wc -l) >= lanes)); do
    wait -n || true
  done
  run_target "$target" &
done
wait

failed=0
printf '%-20s %12s %10s %9s\n' target inputs seconds findings
for target in "${targets[@]}"; do
  work="$build/fuzz-runs/$target"
  cat "$work/result"
  if [ "$(awk '{ print $NF }' "$work/result")" != 0 ]; then
    failed=1
    echo "  $target: see $work/log; kept inputs:" >&2
    find "$work/findings" -type f -printf '    %p\n' >&2
    grep -E "ERROR|runtime error|invariant broken|SUMMARY|^    #[0-9]+ " "$work/log" |
      head -n 30 | sed 's/^/    /' >&2
  fi
done
exit "$failed"
