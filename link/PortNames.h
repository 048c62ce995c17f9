// How port numbers name devices: COMn is a path on this machine.
//
//  - A station given its port as a device path (tamrin --run --port /dev/serial/by-id/...)
//    pins it as COM1 for the process: COM1 is that path and nothing else is a port.
//  - With the environment variable TAMRIN_PORTS_DIR set, COMn is "$TAMRIN_PORTS_DIR/COMn"
//    (a device or a symlink to one) and nothing else is a port. The simulated unit and the
//    tests use this.
//  - Otherwise an entry COMn in ~/.config/tamrin/ports/ (a symlink the user makes) names COMn.
//  - In either folder an entry decides its number as soon as its name is there: a link whose
//    target is gone (an adapter unplugged from its /dev/serial/by-id/ name) leaves COMn not
//    present; it never lets the number fall to another device, which a search would probe.
//  - Numbers without such an entry go to the machine's serial devices as Qt lists them:
//    USB adapters first (ttyUSB*, then ttyACM*), then all others, each group in natural
//    order (ttyUSB2 before ttyUSB10); COM1 is the first of that list. A device the kernel
//    writes its console to (listed in /sys/class/tty/console/active) gets no number: Search
//    sends to and reconfigures every numbered device. An entry the user made for it is kept.
#pragma once

#include <QList>
#include <QSerialPortInfo>
#include <QString>
#include <QStringList>

namespace PortNames {

// The path that COMn names, or an empty text when COMn names nothing. A folder entry is
// named even when it leads nowhere: opening it then fails as a device that is not there.
QString devicePath(int portNumber);
// The same, with Qt's list of the machine's serial devices taken already: one listing (which
// takes a while) serves many numbers.
QString devicePath(int portNumber, const QList<QSerialPortInfo> &available);

// The machine's serial devices in the order COM numbers are given to them, without the
// devices named in 'consoleNames' (names as in /dev: "ttyS0").
QStringList orderedSystemPorts(const QStringList &systemLocations, const QStringList &consoleNames);

// True when 'path' leads to a terminal device, told from its file type and device number
// alone: the device is never opened.
bool isSerialDevice(const QString &path);

// From now on COMn is 'path' and nothing else is a port.
void pinDevice(int portNumber, const QString &path);

// The devices the kernel's console is written to, as /sys/class/tty/console/active lists them
// ("tty0 ttyS0"); none when that list cannot be read.
QStringList consoleNames();

} // namespace PortNames
