#!/usr/bin/env bash
# Checks the Debian package with lintian and fails on any error or warning. Installs lintian
# (and desktop-file-utils for the desktop entry) when missing. Without an argument it makes
# the package first with tools/package.sh (TAMRIN_BUILD_DIR is passed on).
#
#   tools/lint-package.sh [PATH/TO/tamrin_VERSION_ARCH.deb]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/install-packages.sh" lintian desktop-file-utils
if (($#)); then
  deb="$1"
else
  deb="$("$root/tools/package.sh")"
fi
desktop-file-validate "$root/tools/package/tamrin.desktop"
# Lintian says that running as root is not recommended; the check is the same.
echo "lintian --fail-on error,warning $deb"
lintian --fail-on error,warning "$deb" 2> >(grep -v 'running with root privileges' >&2)
echo "lintian: no error and no warning in $(basename "$deb")"
