#!/usr/bin/env bash
# Tamrin's folders are layers: base/ at the bottom, then link/, upload/, script/ and app/. A
# folder may include from itself and the folders below it only. The build refuses a call upward
# (each library is linked whole against the ones below it alone); this also refuses an upward
# include that has nothing to link (a struct, an inline function). Prints each offending line;
# exit status 1 when there is one.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
layers=(base link upload script app)
status=0
for ((low = 0; low < ${#layers[@]}; ++low)); do
  for ((high = low + 1; high < ${#layers[@]}; ++high)); do
    if grep -rn --include='*.h' --include='*.cpp' "#include \"${layers[high]}/" \
      "$root/${layers[low]}"; then
      status=1
    fi
  done
done
exit "$status"
