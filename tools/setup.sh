#!/usr/bin/env bash
# Installs what Tamrin needs from Debian 12's packages (with sudo when not root) and builds
# everything into build/: the tamrin application, the tamrin-unitsim simulated unit, the tests
# and the benchmarks.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

# fonts-dejavu-core: the sans-serif font the build paints the artwork's text with.
packages=(g++ cmake ninja-build qt6-base-dev qt6-serialport-dev xvfb xauth x11-utils
  fonts-dejavu-core)
"$root/tools/install-packages.sh" "${packages[@]}"

cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build"
