#!/usr/bin/env bash
# Sets up and builds Tamrin, then draws the README's pictures into docs/screenshots under Xvfb:
# the idle main window, the main window during a script run, the progress window in the middle
# of an upload of a file with a 59-character name deep in its folders, the Ethernet dialog and
# the same with the box that says its connect was refused, all against the simulated unit, then
# the information window checking COM Port 14 at 115200 baud and the Telvin and KTQ splash
# pictures.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/setup.sh"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$root/build/tests/make_screenshots" "$root/docs/screenshots"
