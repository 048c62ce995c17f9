// The one fact about a BMP file that Tamrin's artwork must be right about: its bits per pixel,
// read from the file's own header (the 16-bit field at offset 28).
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtEndian>

// The bits per pixel a BMP file's header states, or 0 when the file is no BMP.
inline int bmpBitsPerPixel(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray header = file.read(30);
    if (header.size() < 30 || !header.startsWith("BM"))
        return 0;
    return qFromLittleEndian<quint16>(header.constData() + 28);
}
