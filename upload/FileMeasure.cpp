#include "upload/FileMeasure.h"

#include "base/NativeFile.h"
#include "base/Timing.h"

#include <QCryptographicHash>
#include <QFile>

#include <algorithm>
#include <array>
#include <climits>

namespace {

constexpr int ReadChunk = 64 * 1024;

} // namespace

quint16 addToChecksum(quint16 sum, QByteArrayView bytes)
{
    quint32 total = sum;
    for (const char byte : bytes)
        total += quint8(byte);
    return quint16(total & 0xFFFF);
}

std::optional<FileMeasure> measureFile(const QByteArray &fileName)
{
    QFile file;
    if (!NativeFile::openForReading(file, fileName))
        return std::nullopt;
    std::array<char, ReadChunk> chunk;
    FileMeasure measure;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (;;) {
        const qint64 got = file.read(chunk.data(), chunk.size());
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break;
        const QByteArrayView bytes(chunk.data(), got);
        measure.checksum = addToChecksum(measure.checksum, bytes);
        hash.addData(bytes);
        measure.size += got;
    }
    measure.sha256 = hash.result().toHex();
    return measure;
}

QByteArray fileDateText(const QDateTime &localTime)
{
    const QDateTime earliest(QDate(1980, 1, 1), QTime(0, 0, 0));
    const QDateTime latest(QDate(2107, 12, 31), QTime(23, 59, 58));
    const QDateTime held = std::clamp(localTime, earliest, latest);
    const QDate date = held.date();
    const QTime time = held.time();
    return QStringLiteral("%1/%2/%3_%4:%5:%6")
        .arg(date.month())
        .arg(date.day())
        .arg(date.year())
        .arg(time.hour())
        .arg(time.minute(), 2, 10, QLatin1Char('0'))
        .arg(time.second() / 2 * 2, 2, 10, QLatin1Char('0'))
        .toLatin1();
}

qint64 sizeWaitMs(qint64 size)
{
    return qint64(double(size) * 0.00571 + 1000.0);
}

int postUploadPromptTicks(qint64 size)
{
    constexpr qint64 MarginTicks = 120;
    return int(std::min<qint64>(sizeWaitMs(size) / Timing::TickMs + MarginTicks, INT_MAX));
}

QByteArray uploadHeader(const QByteArray &keyword, const QByteArray &address, qint64 size,
                        quint16 checksum, const QByteArray &version)
{
    return keyword + ' ' + address + ' ' + QByteArray::number(size) + ' ' +
           QByteArray::number(checksum, 16) + ' ' + version + '\r';
}
