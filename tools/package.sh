#!/usr/bin/env bash
# Sets up and builds Tamrin (tools/setup.sh, into build/), then makes the Debian package with
# CPack in the build folder and prints the path of the .deb it wrote.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/setup.sh"
cd "$root/build"
output="$(cpack -G DEB)"
deb="$(sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p' <<<"$output")"
if [ -z "$deb" ]; then
  printf '%s\n' "$output" >&2
  echo "package.sh: cpack wrote no .deb" >&2
  exit 1
fi
echo "$deb"
