// Port names: the override folder, the user's entries, then the machine's devices in COM order
// with the console devices left out (see PortNames.h); and whether a path leads to a terminal
// device, from its device number alone.
#include "link/PortNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStandardPaths>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <optional>

namespace {

// The entry counts as soon as its name is in the folder: a dangling link is the user's pin
// on a device that is gone, not a gap for the machine's devices to fill.
QString entryIn(const QString &folder, int portNumber)
{
    const QString path = QDir(folder).filePath(QStringLiteral("COM%1").arg(portNumber));
    const QFileInfo entry(path);
    return entry.exists() || entry.isSymLink() ? path : QString();
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
struct Pin
{
    int portNumber = 0;
    QString path;
};

Pin &pinned()
{
    static Pin pin;
    return pin;
}

std::optional<QString> folderEntry(int portNumber)
{
    if (portNumber < 1)
        return QString();
    if (!pinned().path.isEmpty())
        return portNumber == pinned().portNumber ? pinned().path : QString();
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

// Whether one line of /proc/tty/drivers ("serial  /dev/ttyS  4 64-95 serial") covers the
// device numbered major:minor. Its fields are read from the end, the driver's name being free
// text: the major number, then the minors, one ("64") or a range ("64-95").
bool driverCovers(const QString &line, unsigned major, unsigned minor)
{
    const QStringList fields = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (fields.size() < 5)
        return false;
    const QStringList minors = fields.at(fields.size() - 2).split(QLatin1Char('-'));
    bool majorRead = false;
    bool firstRead = false;
    bool lastRead = false;
    const unsigned driverMajor = fields.at(fields.size() - 3).toUInt(&majorRead);
    const unsigned firstMinor = minors.constFirst().toUInt(&firstRead);
    const unsigned lastMinor = minors.constLast().toUInt(&lastRead);
    return majorRead && firstRead && lastRead && driverMajor == major && minor >= firstMinor &&
           minor <= lastMinor;
}

} // namespace

namespace PortNames {

// A terminal device is a character device whose number one of the kernel's tty drivers owns.
// /proc/tty/drivers lists every one of them with its numbers, those the kernel hands out at
// run time included (USB adapters, ACM modems) and the pseudo-terminals' slaves (/dev/pts/N),
// which /sys/class/tty leaves out. isatty() would need the device open, and opening a serial
// device raises its modem lines (the unit sees DTR and RTS move) or starts whatever another
// kind of device does on open. Where the list cannot be read any character device is taken
// for one: a port is not refused for a list the machine does not keep.
bool isSerialDevice(const QString &path)
{
    struct stat status = {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &status) != 0 ||
        !S_ISCHR(status.st_mode))
        return false;
    QFile drivers(QStringLiteral("/proc/tty/drivers"));
    if (!drivers.open(QIODevice::ReadOnly))
        return true;
    const QStringList lines = QString::fromLatin1(drivers.readAll()).split(QLatin1Char('\n'));
    return std::any_of(lines.begin(), lines.end(), [&](const QString &line) {
        return driverCovers(line, ::major(status.st_rdev), ::minor(status.st_rdev));
    });
}

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

void pinDevice(int portNumber, const QString &path)
{
    pinned() = Pin{portNumber, path};
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
