// Reads VmHWM from /proc/self/status.
#include "PeakMemory.h"

#include <QByteArray>
#include <QFile>
#include <QList>

long peakMemoryKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (!line.startsWith("VmHWM:"))
            continue;
        const QList<QByteArray> fields = line.mid(6).simplified().split(' ');
        return fields.isEmpty() ? -1 : fields.constFirst().toLong();
    }
    return -1;
}
