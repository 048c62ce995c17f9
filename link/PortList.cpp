// The port list: each COM number's device path and adapter, gathered once per call (one
// listing of the machine's serial devices) and laid out as PortList.h shows.
#include "link/PortList.h"

#include "link/PortNames.h"

#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>
#include <vector>

namespace {

const QString NotPresent = QStringLiteral("not present");
// The widest name, "COM16", and the gap after it.
constexpr int NameWidth = 7;

struct Entry
{
    // The path COMn names, "PATH -> TARGET" for a link; empty when not present.
    QString device;
    // What the system says of a USB adapter; empty for any other device.
    QString adapter;
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

QString adapterAt(const QString &location, const QList<QSerialPortInfo> &systemPorts)
{
    for (const QSerialPortInfo &info : systemPorts) {
        if (info.systemLocation() == location && info.hasVendorIdentifier())
            return adapterText(info);
    }
    return QString();
}

Entry entryFor(int portNumber, const QList<QSerialPortInfo> &systemPorts)
{
    const QString path = PortNames::devicePath(portNumber, systemPorts);
    const QFileInfo file(path);
    if (path.isEmpty() || !file.exists())
        return {};
    const QString target = file.canonicalFilePath();
    const QString device = target == path ? path : QStringLiteral("%1 -> %2").arg(path, target);
    return {device, adapterAt(target, systemPorts)};
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
        return NotPresent;
    if (entry.adapter.isEmpty())
        return entry.device;
    return entry.device.leftJustified(deviceWidth) + QStringLiteral("  ") + entry.adapter;
}

} // namespace

namespace PortList {

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
