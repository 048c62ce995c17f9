// Which device each COM number names, and what the system says of it: the text of
// `tamrin --list-ports` and of the COM Port menu entries' status tips.
//
// Each COMn is looked up through PortNames::devicePath. A path that is a link shows its target
// too. A device Qt lists as a USB adapter (matched by the path the link leads to) adds the
// adapter's description, maker and serial number. COMn naming nothing is "not present"; a
// link that leads nowhere is "not present (TARGET)", its target as the link has it; a path
// that leads to a FIFO, a file, a folder or a device that is no terminal is "not a serial
// device (PATH)", told without opening it (PortNames::isSerialDevice). Nothing here needs an
// application object: it can run before one exists.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace PortList {

constexpr int PortCount = 16;

// One line per COM number, COM1 to COM16, the device paths aligned in one column:
//   COM1   /dev/ttyUSB0  FT232R USB UART (FTDI), serial A12345
//   COM2   not present (/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A12345-if00-port0)
//   COM3   not a serial device (/dev/null)
//   COM4   not present
QString table();

// The USB serial number of the adapter at 'devicePath' (a link is followed), or nullopt when
// the device is no USB adapter or has none.
std::optional<QString> adapterSerial(const QString &devicePath);

// The text of each COM number without its name, index 0 for COM1: what a menu entry's status
// tip shows.
QStringList descriptions();

} // namespace PortList
