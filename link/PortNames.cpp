#include "link/PortNames.h"

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

// Natural order: runs of digits compare by their value, so ttyUSB2 comes before ttyUSB10.
bool naturalLess(const QString &a, const QString &b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a.at(i).isDigit() && b.at(j).isDigit()) {
            const qsizetype startA = i;
            const qsizetype startB = j;
            while (i < a.size() && a.at(i).isDigit())
                ++i;
            while (j < b.size() && b.at(j).isDigit())
                ++j;
            const qulonglong numberA = a.mid(startA, i - startA).toULongLong();
            const qulonglong numberB = b.mid(startB, j - startB).toULongLong();
            if (numberA != numberB)
                return numberA < numberB;
        } else {
            if (a.at(i) != b.at(j))
                return a.at(i) < b.at(j);
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

} // namespace

namespace PortNames {

QStringList orderedSystemPorts(const QStringList &systemLocations)
{
    QStringList ordered = systemLocations;
    std::stable_sort(ordered.begin(), ordered.end(), [](const QString &a, const QString &b) {
        const int ga = groupOf(a);
        const int gb = groupOf(b);
        return ga != gb ? ga < gb : naturalLess(a, b);
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
