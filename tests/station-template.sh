#!/usr/bin/env bash
# The station template's instance names: twenty /dev/serial/by-id/ names escaped as the udev
# rule escapes them (systemd-escape --path) must come back whole where the unit uses them:
# %f (the unescaped path, given to --port) and %i.device (the adapter's device unit).
set -euo pipefail
template="${1:?the path of tamrin@.service}"
grep -q -- '--port %f' "$template" || { echo "ExecStart does not give --port %f"; exit 1; }
grep -q '^BindsTo=%i.device$' "$template" || { echo "the unit is not bound to %i.device"; exit 1; }
names=(
  'usb-FTDI_FT232R_USB_UART_A12345-if00-port0'
  'usb-FTDI_Dual_RS232-HS-if01-port0'
  'usb-FTDI_Quad_RS232-HS_FT4ABCDE-if03-port0'
  'usb-Prolific_Technology_Inc._USB-Serial_Controller_D-if00-port0'
  'usb-Prolific_Technology_Inc._USB-Serial_Controller-if00-port0'
  'usb-1a86_USB2.0-Serial-if00-port0'
  'usb-1a86_USB_Serial-if00-port0'
  'usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0'
  'usb-Silicon_Labs_CP2105_Dual_USB_to_UART_Bridge_Controller_00A1B2C3-if01-port0'
  'usb-Arduino__www.arduino.cc__0043_75735323130351F0E1D1-if00'
  'usb-STMicroelectronics_STM32_STLink_066DFF485550755187184326-if02'
  'usb-SEGGER_J-Link_000123456789-if00'
  'usb-Raspberry_Pi_Pico_E6605838833C2B2F-if00'
  'usb-MCS_USB_2.0_Serial_Adapter-if00-port0'
  'usb-Some\x20Vendor_Fixture\x20Board_7-if00-port0'
  'usb-ACME_Bench_3:Fixture_12-if00'
  'usb-Vendor_Adapter_with.dots..and__underscores-if00-port1'
  'usb-ZZ_-_dash_-_test-if00-port0'
  'usb-0403_6001_FT12345678-if00-port0'
  'usb-Quectel_EG25-G-if02-port0'
)
for name in "${names[@]}"; do
  path="/dev/serial/by-id/$name"
  instance="$(systemd-escape --path --template=tamrin@.service "$path")"
  escaped="${instance#tamrin@}"
  escaped="${escaped%.service}"
  back="$(systemd-escape --unescape --path "$escaped")"
  [ "$back" = "$path" ] || { echo "$path came back as $back"; exit 1; }
  device="$(systemd-escape --path --suffix=device "$path")"
  [ "$escaped.device" = "$device" ] || { echo "$path: %i.device is $escaped.device, not $device"; exit 1; }
done
echo "${#names[@]} names round-trip through tamrin@.service"
