// Port names: the override folder, the user's entries, then the machine's devices in COM order
// with the console devices left out (see PortNames.h).
#include "link/PortNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStandardPaths>

#include <algorithm>
#include <optional>

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

// What the override folder or the user's folder makes of COMn (an empty text: nothing);
// nullopt when neither decides and the machine's devices do.
std::optional<QString> folderEntry(int portNumber)
{
    if (portNumber < 1)
        return QString();
    const QString override = qEnvironmentVariable("TAMRIN_PORTS_DIR");
    if (!override.isEmpty())
        return entryIn(override, portNumber);
    const QString userEntry = entryIn(userPortsFolder(), portNumber);
    if (!userEntry.isEmpty())
        return userEntry;
    return std::nullopt;
}

QString systemDeviceAt(int portNumber, const QList<QSerialPortInfo> &available)
{
    QStringList locations;
    for (const QSerialPortInfo &info : available)
        locations << info.systemLocation();
    return PortNames::orderedSystemPorts(locations, PortNames::consoleNames())
        .value(portNumber - 1);
}

} // namespace

namespace PortNames {

QStringList orderedSystemPorts(const QStringList &systemLocations, const QStringList &consoleNames)
{
    QStringList ordered;
    for (const QString &location : systemLocations) {
        if (!consoleNames.contains(QFileInfo(location).fileName()))
            ordered << location;
    }
    std::stable_sort(ordered.begin(), ordered.end(), [](const QString &a, const QString &b) {
        const int ga = groupOf(a);
        const int gb = groupOf(b);
        return ga != gb ? ga < gb : naturalLess(a, b);
    });
    return ordered;
}

QStringList consoleNames()
{
    QFile list(QStringLiteral("/sys/class/tty/console/active"));
    if (!list.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(list.readAll())
        .simplified()
        .split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QString devicePath(int portNumber)
{
    const std::optional<QString> entry = folderEntry(portNumber);
    return entry ? *entry : systemDeviceAt(portNumber, QSerialPortInfo::availablePorts());
}

QString devicePath(int portNumber, const QList<QSerialPortInfo> &available)
{
    const std::optional<QString> entry = folderEntry(portNumber);
    return entry ? *entry : systemDeviceAt(portNumber, available);
}

} // namespace PortNames
