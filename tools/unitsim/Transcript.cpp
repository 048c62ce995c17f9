#include "Transcript.h"

bool Transcript::open(const QString &path, QString *error)
{
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file_.errorString());
        return false;
    }
    return true;
}

void Transcript::record(qint64 ms, const QString &endpoint, const QByteArray &bytes)
{
    if (!file_.isOpen() || bytes.isEmpty())
        return;
    file_.write(formatLine(ms, endpoint, bytes));
    file_.flush();
}

QByteArray Transcript::formatLine(qint64 ms, const QString &endpoint, const QByteArray &bytes)
{
    return QByteArray::number(ms) + ' ' + endpoint.toLatin1() + ' ' + bytes.toHex() + '\n';
}
