#include "UploadStore.h"

#include <QDir>
#include <QFile>

namespace {

bool writeFile(const QString &path, const QByteArray &contents, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(contents) != contents.size()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace

QString UploadStore::dataPath(int number) const
{
    return QDir(folder_).absoluteFilePath(QStringLiteral("upload-%1.bin").arg(number));
}

QString UploadStore::headerPath(int number) const
{
    return QDir(folder_).absoluteFilePath(QStringLiteral("upload-%1.txt").arg(number));
}

bool UploadStore::store(const UnitProtocol::Upload &upload, QString *error) const
{
    if (!QDir().mkpath(folder_)) {
        *error = QStringLiteral("cannot create %1").arg(folder_);
        return false;
    }
    return writeFile(dataPath(upload.number), upload.data, error) &&
           writeFile(headerPath(upload.number), upload.header + '\n', error);
}

QString UploadStore::logLine(const UnitProtocol::Upload &upload) const
{
    return QStringLiteral("upload n=%1 size=%2 sum=%3 expected=%4 result=%5 file=%6")
        .arg(upload.number)
        .arg(upload.data.size())
        .arg(QString::fromLatin1(upload.sumText), QString::fromLatin1(upload.expectedText),
             upload.checksumOk ? QStringLiteral("ok") : QStringLiteral("bad"),
             dataPath(upload.number));
}
