// Sorting a soak run into delivered, reported failure or silent failure.
#include "RunOutcome.h"

#include <QRegularExpression>

bool RunOutcome::saysUploadFailed(const QString &message)
{
    // Tamrin's failure texts all carry one of these words; its notes ("Note: ...") do not,
    // and are not taken as a report.
    static const QRegularExpression failure(
        QStringLiteral("error|cancel|incomplete|unsuccessful|lost|fail|shorter than|unable"),
        QRegularExpression::CaseInsensitiveOption);
    return message.contains(failure);
}

void RunOutcome::classify()
{
    if (!harnessError.isEmpty()) {
        verdict = Verdict::HarnessError;
        return;
    }
    bool reported = cancelFlag != 0 || result == 0;
    for (const QString &message : messages)
        reported = reported || saysUploadFailed(message);
    if (reported)
        verdict = Verdict::FailureReported;
    else
        verdict = storedExactly ? Verdict::Delivered : Verdict::SilentFailure;
}

bool RunOutcome::failsTamrin() const
{
    return verdict == Verdict::SilentFailure || !falseRecords.isEmpty() || forcedEnd;
}

QString RunOutcome::verdictName() const
{
    switch (verdict) {
    case Verdict::Delivered:
        return QStringLiteral("delivered byte-identical");
    case Verdict::FailureReported:
        return QStringLiteral("failure reported");
    case Verdict::SilentFailure:
        return QStringLiteral("SILENT FAILURE");
    case Verdict::HarnessError:
        return QStringLiteral("not run");
    }
    return QStringLiteral("?");
}
