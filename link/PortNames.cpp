#include "link/PortNames.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStandardPaths>

#include <algorithm>

namespace {

QString entryIn(const QString &folder, int portNumber)
{
    const QString path = QDir(folder).filePath(QStringLiteral("COM%1").arg(portNumber));
    return QFileInfo::exists(path) ? path : QString();
}

QString userPortsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/tamrin/ports");
}

int groupOf(const QString &location)
{
    const QString name = QFileInfo(location).fileName();
    if (name.startsWith(QLatin1String("ttyUSB")))
        return 0;
    if (name.startsWith(QLatin1String("ttyACM")))
        return 1;
    return 2;
}

} // namespace

namespace PortNames {

QStringList orderedSystemPorts(const QStringList &systemLocations)
{
    QStringList ordered = systemLocations;
    QCollator natural;
    natural.setNumericMode(true);
    std::stable_sort(ordered.begin(), ordered.end(), [&](const QString &a, const QString &b) {
        const int ga = groupOf(a);
        const int gb = groupOf(b);
        return ga != gb ? ga < gb : natural.compare(a, b) < 0;
    });
    return ordered;
}

QString devicePath(int portNumber)
{
    if (portNumber < 1)
        return QString();
    const QString override = qEnvironmentVariable("TAMRIN_PORTS_DIR");
    if (!override.isEmpty())
        return entryIn(override, portNumber);
    const QString userEntry = entryIn(userPortsFolder(), portNumber);
    if (!userEntry.isEmpty())
        return userEntry;
    QStringList locations;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        locations << info.systemLocation();
    const QStringList ordered = orderedSystemPorts(locations);
    return portNumber <= ordered.size() ? ordered.at(portNumber - 1) : QString();
}

} // namespace PortNames
