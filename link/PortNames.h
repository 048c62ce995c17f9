// How port numbers name devices: COMn is a path on this machine.
//
//  - With the environment variable TAMRIN_PORTS_DIR set, COMn is "$TAMRIN_PORTS_DIR/COMn"
//    (a device or a symlink to one) and nothing else is a port. The simulated unit and the
//    tests use this.
//  - Otherwise an entry COMn in ~/.config/tamrin/ports/ (a symlink the user makes) names COMn.
//  - Numbers without such an entry go to the machine's serial devices as Qt lists them:
//    USB adapters first (ttyUSB*, then ttyACM*), then all others, each group in natural
//    order (ttyUSB2 before ttyUSB10); COM1 is the first of that list.
#pragma once

#include <QString>
#include <QStringList>

namespace PortNames {

// The device path that COMn names, or an empty text when COMn names nothing.
QString devicePath(int portNumber);

// The machine's serial devices in the order COM numbers are given to them.
QStringList orderedSystemPorts(const QStringList &systemLocations);

} // namespace PortNames
