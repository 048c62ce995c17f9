#!/usr/bin/env bash
# Installs the Debian package on this machine and checks its station template as systemd reads
# it (systemd-analyze verify): the template itself and an instance named as the udev rule names
# one. The instance's device unit need not exist for the check.
#
#   tools/verify-station-unit.sh [PATH/TO/tamrin_VERSION_ARCH.deb]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/install-packages.sh" systemd man-db
if (($#)); then
  deb="$1"
else
  deb="$("$root/tools/package.sh")"
fi
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "$(realpath "$deb")" >/dev/null
instance="$(systemd-escape --path --template=tamrin@.service \
  /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A12345-if00-port0)"
systemd-analyze verify /lib/systemd/system/tamrin@.service "$instance"
echo "systemd-analyze verify: tamrin@.service and $instance are good"
