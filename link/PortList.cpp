// The port list: each COM number's device path and adapter, gathered once per call (one
// listing of the machine's serial devices) and laid out as PortList.h shows.
#include "link/PortList.h"

#include "link/PortNames.h"

#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <vector>

namespace {

const QString NotPresent = QStringLiteral("not present");
// The widest name, "COM16", and the gap after it.
constexpr int NameWidth = 7;

struct Entry
{
    // The path COMn names, "PATH -> TARGET" for a link; empty when it names no serial device.
    QString device;
    // What the system says of a USB adapter; empty for any other device.
    QString adapter;
    // Why COMn names no serial device: "not present", "not a serial device (PATH)".
    QString absence;
};

QString adapterText(const QSerialPortInfo &info)
{
    QString text = info.description();
    if (!info.manufacturer().isEmpty())
        text += QStringLiteral(" (%1)").arg(info.manufacturer());
    if (!info.serialNumber().isEmpty())
        text += QStringLiteral(", serial %1").arg(info.serialNumber());
    return text.trimmed();
}

const QSerialPortInfo *adapterInfo(const QString &location,
                                   const QList<QSerialPortInfo> &systemPorts)
{
    for (const QSerialPortInfo &info : systemPorts) {
        if (info.systemLocation() == location && info.hasVendorIdentifier())
            return &info;
    }
    return nullptr;
}

QString adapterAt(const QString &location, const QList<QSerialPortInfo> &systemPorts)
{
    const QSerialPortInfo *info = adapterInfo(location, systemPorts);
    return info ? adapterText(*info) : QString();
}

// Where the link at 'path' leads, as it is written (QFileInfo would make it absolute); the
// path itself when it is no link.
QString writtenTarget(const QString &path)
{
    QByteArray target(PATH_MAX, '\0');
    const ssize_t length =
        ::readlink(QFile::encodeName(path).constData(), target.data(), size_t(target.size()));
    if (length < 0)
        return path;
    target.truncate(length);
    return QFile::decodeName(target);
}

Entry entryFor(int portNumber, const QList<QSerialPortInfo> &systemPorts)
{
    const QString path = PortNames::devicePath(portNumber, systemPorts);
    const QFileInfo file(path);
    if (path.isEmpty())
        return {{}, {}, NotPresent};
    if (!file.exists())
        return {{}, {}, QStringLiteral("%1 (%2)").arg(NotPresent, writtenTarget(path))};
    const QString target = file.canonicalFilePath();
    if (!PortNames::isSerialDevice(target))
        return {{}, {}, QStringLiteral("not a serial device (%1)").arg(target)};
    const QString device = target == path ? path : QStringLiteral("%1 -> %2").arg(path, target);
    return {device, adapterAt(target, systemPorts), {}};
}

std::vector<Entry> entries()
{
    const QList<QSerialPortInfo> systemPorts = QSerialPortInfo::availablePorts();
    std::vector<Entry> all;
    for (int n = 1; n <= PortList::PortCount; ++n)
        all.push_back(entryFor(n, systemPorts));
    return all;
}

// The entry's text, its device padded to 'deviceWidth' when an adapter text follows.
QString entryText(const Entry &entry, int deviceWidth)
{
    if (entry.device.isEmpty())
        return entry.absence;
    if (entry.adapter.isEmpty())
        return entry.device;
    return entry.device.leftJustified(deviceWidth) + QStringLiteral("  ") + entry.adapter;
}

} // namespace

namespace PortList {

std::optional<QString> adapterSerial(const QString &devicePath)
{
    const QList<QSerialPortInfo> systemPorts = QSerialPortInfo::availablePorts();
    const QSerialPortInfo *info =
        adapterInfo(QFileInfo(devicePath).canonicalFilePath(), systemPorts);
    if (!info || info->serialNumber().isEmpty())
        return std::nullopt;
    return info->serialNumber();
}

QString table()
{
    const std::vector<Entry> all = entries();
    qsizetype deviceWidth = 0;
    for (const Entry &entry : all)
        deviceWidth = std::max(deviceWidth, entry.device.size());
    QString text;
    int portNumber = 1;
    for (const Entry &entry : all)
        text += QStringLiteral("COM%1").arg(portNumber++).leftJustified(NameWidth) +
                entryText(entry, int(deviceWidth)) + QLatin1Char('\n');
    return text;
}

QStringList descriptions()
{
    QStringList texts;
    for (const Entry &entry : entries())
        texts << entryText(entry, 0);
    return texts;
}

} // namespace PortList
