#!/usr/bin/env bash
# Sets up and builds Tamrin, makes the Debian package with CPack in the build folder and prints
# the path of the .deb it wrote: on standard output, alone (the set-up and the build report on
# standard error), so that `deb="$(tools/package.sh)"` works.
#
#   tools/package.sh                                  # tools/setup.sh, into build/
#   TAMRIN_BUILD_DIR=/path/to/build tools/package.sh  # configure and build that folder instead
#
# dpkg-dev is installed when missing: its dpkg-shlibdeps names the libraries the package
# depends on. Another build folder needs the packages that tools/setup.sh installs.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TAMRIN_BUILD_DIR:-$root/build}"
"$root/tools/install-packages.sh" dpkg-dev >&2
if [ "$build" = "$root/build" ]; then
  "$root/tools/setup.sh" >&2
else
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >&2
  cmake --build "$build" >&2
fi
cd "$build"
output="$(cpack -G DEB)"
deb="$(sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p' <<<"$output")"
if [ -z "$deb" ]; then
  printf '%s\n' "$output" >&2
  echo "package.sh: cpack wrote no .deb" >&2
  exit 1
fi
echo "$deb"
