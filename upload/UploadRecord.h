// The one line a supervisor's log keeps of each upload, written to standard error whatever
// the mode: what was uploaded, over which link, how long it took and how it ended.
//
//   upload file="fw.bin" size=70000 checksum=f07c address="80000" version="V2.1"
//          link=COM1:115200 seconds=9.47 outcome=delivered
//
// (one line). The outcome is "delivered" when the unit confirmed the file with its prompt,
// "sent" when every byte went without a confirmation being asked for (Send File, a raw send),
// "cancelled" when the transfer was cancelled (link lost, watchdog, time limit) and "failed"
// otherwise; the last two carry the first message the upload showed as reason="...".
// Texts are quoted with \" and \\ inside.
#pragma once

#include <QString>
#include <QtGlobal>

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
    quint16 checksum = 0;
    QString address;
    QString version;
    QString link;
    qint64 milliseconds = 0;
    Outcome outcome = Outcome::Failed;
    QString reason;
};

QString uploadRecordLine(const UploadRecord &record);
// A text between double quotes, with \ and " escaped.
QString quotedField(const QString &text);
