#!/usr/bin/env bash
# Sets up, builds the whole test suite with AddressSanitizer and UndefinedBehaviorSanitizer
# into build-asan/, and runs it with leak detection. Any finding fails the run: undefined
# behaviour aborts, and leaks are reported at exit, except those listed in
# tools/sanitizer/leaks.supp (libraries outside Tamrin that keep caches for the process's
# life).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/setup.sh" >/dev/null
flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S "$root" -B "$root/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$root/build-asan"
cd "$root/build-asan"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$root/tools/sanitizer/leaks.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# Four at a time on two cores, as tools/test.sh: the real-time entries mostly sleep.
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j4
