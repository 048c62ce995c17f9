#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite with CTest, offscreen.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/setup.sh"
cd "$root/build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2
