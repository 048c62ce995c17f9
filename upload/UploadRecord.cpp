#include "upload/UploadRecord.h"

#include "base/ByteText.h"

QString outcomeWord(UploadRecord::Outcome outcome)
{
    switch (outcome) {
    case UploadRecord::Outcome::Delivered:
        return QStringLiteral("delivered");
    case UploadRecord::Outcome::Sent:
        return QStringLiteral("sent");
    case UploadRecord::Outcome::Cancelled:
        return QStringLiteral("cancelled");
    case UploadRecord::Outcome::Failed:
        break;
    }
    return QStringLiteral("failed");
}

QString quotedField(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

// Put together piece by piece: a name or a reason may hold "%1", which arg() would fill.
QString uploadRecordLine(const UploadRecord &record)
{
    QString line = QStringLiteral("upload file=") + quotedField(record.file) +
                   QStringLiteral(" size=") + QString::number(record.size) +
                   QStringLiteral(" checksum=") + QString::number(record.checksum, 16) +
                   QStringLiteral(" sha256=") + QString::fromLatin1(record.sha256) +
                   QStringLiteral(" address=") + quotedField(record.address) +
                   QStringLiteral(" version=") + quotedField(record.version) +
                   QStringLiteral(" link=") + record.link + QStringLiteral(" seconds=") +
                   QString::number(double(record.milliseconds) / 1000.0, 'f', 2);
    if (record.unitSaid)
        line += QStringLiteral(" unit_said=") + ByteText::quotedBytes(*record.unitSaid);
    line += QStringLiteral(" outcome=") + outcomeWord(record.outcome);
    if (record.outcome == UploadRecord::Outcome::Cancelled ||
        record.outcome == UploadRecord::Outcome::Failed)
        line += QStringLiteral(" reason=") + quotedField(record.reason);
    return line;
}
