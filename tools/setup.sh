#!/usr/bin/env bash
# Installs what Tamrin needs from Debian 12's packages (with sudo when not root) and builds
# everything into build/: the tamrin application, the tamrin-unitsim simulated unit, the tests
# and the benchmarks.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

# libxcb1-dev: the desktop test holds the X server as a slow window manager would.
# Fonts: fonts-dejavu-core, the sans-serif the build paints the artwork's text with and the
# terminal pane's monospaced face; fonts-liberation, Liberation Sans, drawn to Arial's widths,
# the plain sans that stands in for the "MS Sans Serif" and "Comic Sans MS" the layout names
# (DejaVu Sans is wider than the layout was measured for); fonts-urw-base35, the URW fonts an
# operator's desktop has (Ghostscript brings them), whose calligraphic Z003 fontconfig offers
# for "Comic Sans MS": the tests see the fonts the operator sees.
# systemd: systemd-escape, which the station template's test uses.
# The desktop test runs the program as an operator's desktop would: openbox as the window
# manager (stacking, frames), and a session bus (dbus) with the accessibility bus
# (at-spi2-core) on which it reads the terminal pane as a screen reader does (python3-pyatspi).
packages=(g++ cmake ninja-build qt6-base-dev qt6-serialport-dev xvfb xauth x11-utils
  fonts-dejavu-core fonts-liberation fonts-urw-base35 libxcb1-dev systemd
  openbox dbus at-spi2-core python3-pyatspi)
"$root/tools/install-packages.sh" "${packages[@]}"

# TAMRIN_WERROR=ON (as CI sets it) makes every compiler warning an error.
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTAMRIN_WERROR="${TAMRIN_WERROR:-OFF}" >/dev/null
cmake --build "$root/build"
