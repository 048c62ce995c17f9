// Measuring a file before it is uploaded: its size, its 16-bit additive checksum and its
// SHA-256 (one read serves all three: the checksum goes into the header, the SHA-256 tells
// whether the bytes sent later are the bytes measured, which the 16-bit sum cannot), the date
// text that may stand in for its version, and the header line that announces it to the unit.
//
// The checksum is the plain sum of all byte values (0 to 255) modulo 65536: no seed, no
// complement, no carry wrap-around. The date text is the file's last-write time at the
// resolution of the DOS date format (even seconds, years 1980 to 2107), written
// month/day/year_hour:minutes:seconds, e.g. "3/7/2006_14:05:08".
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

// The longest file name, load address and load version a load chain takes: a longer one is
// refused whole, never cut.
namespace HeaderFields {
constexpr int MaxFileNameLength = 299;
constexpr int MaxAddressLength = 49;
constexpr int MaxVersionLength = 89;
} // namespace HeaderFields

struct FileMeasure
{
    qint64 size = 0;
    quint16 checksum = 0;
    // Lower-case hexadecimal.
    QByteArray sha256;
};

// Reads the whole file named by the bytes 'fileName'; nullopt when it cannot be opened or a
// read fails part-way.
std::optional<FileMeasure> measureFile(const QByteArray &fileName);

// The 16-bit sum of 'bytes' added to 'sum'.
quint16 addToChecksum(quint16 sum, QByteArrayView bytes);

// The date text of a local time, rounded down to even seconds and held to 1980..2107.
QByteArray fileDateText(const QDateTime &localTime);

// How long the unit may need to store a file of 'size' bytes before it shows its prompt again:
// 5.71 ms per thousand bytes and one second more.
qint64 sizeWaitMs(qint64 size);
// The limit of the first prompt wait after an upload, in ticks of 55 ms: the size wait and a
// margin of 120 ticks.
int postUploadPromptTicks(qint64 size);

// "KEYWORD ADDRESS SIZE HEXSUM VERSION\r": one blank between fields, the checksum in lower-case
// hexadecimal without leading zeros, nothing quoted.
QByteArray uploadHeader(const QByteArray &keyword, const QByteArray &address, qint64 size,
                        quint16 checksum, const QByteArray &version);
