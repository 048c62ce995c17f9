// The one line a supervisor's log keeps of each upload, written to standard error whatever
// the mode: what was uploaded, over which link, how long it took and how it ended.
//
//   upload file="fw.bin" size=70000 checksum=f07c sha256=9f86d0... address="80000"
//          version="V2.1" link=COM1:115200 seconds=9.47 unit_said="LOAD OK 70000 f07c"
//          outcome=delivered
//
// (one line). The outcome is "delivered" when the unit confirmed the file with its prompt,
// "sent" when every byte went without a confirmation being asked for (Send File, a raw send),
// "cancelled" when the transfer was cancelled (link lost, watchdog, time limit, a signal) and
// "failed" otherwise; the last two carry why as reason="...". The prompt is all the protocol
// confirms: unit_said keeps what the unit printed between the end of the data and that prompt
// (at most 200 bytes), so that a unit that reports an error and then shows its prompt is seen
// to have done so. Texts are quoted with \" and \\ inside; in what the unit said every byte
// that does not print as itself in ASCII is shown as an escape (ByteText::quotedBytes).
#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

#include <optional>

struct UploadRecord
{
    enum class Outcome
    {
        Delivered,
        Sent,
        Cancelled,
        Failed
    };

    QString file;
    qint64 size = 0;
    // The bytes the transfer handed to the link.
    qint64 bytesSent = 0;
    quint16 checksum = 0;
    // The file's SHA-256 as measured, in lower-case hexadecimal; empty before it is measured.
    QByteArray sha256;
    QString address;
    QString version;
    QString link;
    // When the upload began, on the wall clock (UTC) and on the timing module's clock, and how
    // long it took.
    QDateTime startedAt;
    qint64 startedMs = 0;
    qint64 milliseconds = 0;
    Outcome outcome = Outcome::Failed;
    QString reason;
    // What the unit printed after the data, up to its prompt; nullopt when it was not asked to
    // confirm the upload.
    std::optional<QByteArray> unitSaid;
    // The unit's answer to the run's last _QC: who the unit said it was.
    QByteArray unitAnswer;
};

QString uploadRecordLine(const UploadRecord &record);
// "delivered", "sent", "cancelled" or "failed".
QString outcomeWord(UploadRecord::Outcome outcome);
// A text between double quotes, with \ and " escaped.
QString quotedField(const QString &text);
