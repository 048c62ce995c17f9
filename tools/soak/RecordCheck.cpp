// Reading Tamrin's record lines and holding them against the run.
#include "RecordCheck.h"

#include <QRegularExpression>

#include <cmath>

namespace {

const QString LinePrefix = QStringLiteral("Tamrin: ");

// A quoted value from just after its opening quote: \" and \\ stand for themselves, other
// escapes (\r, \x07) are kept as written. 'at' ends past the closing quote.
QString quotedValue(const QString &text, qsizetype &at)
{
    QString value;
    while (at < text.size()) {
        const QChar c = text.at(at++);
        if (c == QLatin1Char('"'))
            return value;
        if (c == QLatin1Char('\\') && at < text.size()) {
            const QChar next = text.at(at);
            if (next == QLatin1Char('"') || next == QLatin1Char('\\')) {
                value += next;
                ++at;
                continue;
            }
        }
        value += c;
    }
    return value;
}

QString plainValue(const QString &text, qsizetype &at)
{
    const qsizetype end = text.indexOf(QLatin1Char(' '), at);
    const qsizetype stop = end < 0 ? text.size() : end;
    const QString value = text.mid(at, stop - at);
    at = stop;
    return value;
}

QList<QHash<QString, QString>> recordsOfKind(const QStringList &lines, const QString &kind)
{
    QList<QHash<QString, QString>> records;
    for (const QString &line : lines) {
        const QHash<QString, QString> fields = RecordCheck::fieldsOf(line);
        if (fields.value(QStringLiteral("kind")) == kind)
            records << fields;
    }
    return records;
}

// Tamrin's other lines: its messages, questions and notes.
QStringList messageLines(const QStringList &lines)
{
    QStringList messages;
    for (const QString &line : lines) {
        if (RecordCheck::fieldsOf(line).isEmpty())
            messages << line.mid(LinePrefix.size());
    }
    return messages;
}

// The time limit's text, with the limit in seconds that it names.
bool isTimeLimitText(const QString &text, int limitMs)
{
    static const QRegularExpression pattern(QStringLiteral(
        R"(^Error! The run time limit of ([0-9.]+) s \(TAMRIN_RUN_TIMEOUT\) has passed\. )"
        R"(Exiting script\.$)"));
    const QRegularExpressionMatch match = pattern.match(text);
    bool number = false;
    const double seconds = match.hasMatch() ? match.captured(1).toDouble(&number) : 0.0;
    return number && std::abs(seconds * 1000.0 - limitMs) < 0.5;
}

bool isStopText(const RunPlan &plan, const QString &text)
{
    if (plan.fault == SoakFault::Sigterm)
        return text.contains(QLatin1String("stopped by SIGTERM"));
    return plan.fault == SoakFault::TimeLimit && isTimeLimitText(text, plan.stopAfterMs);
}

// The reason a record must give for an upload the stop cut short.
bool isStopReason(const RunPlan &plan, const QString &reason)
{
    if (plan.fault == SoakFault::Sigterm)
        return reason == QLatin1String("stopped by SIGTERM");
    return plan.fault == SoakFault::TimeLimit && isTimeLimitText(reason, plan.stopAfterMs);
}

// What Tamrin told of a failure, leaving out the plan's stop itself when 'besidesStop'.
bool failureReported(const RunPlan &plan, const RunOutcome &outcome, bool besidesStop)
{
    const bool stopCancel = besidesStop && isStopReason(plan, outcome.cancelReason);
    if (outcome.result == 0 || (outcome.cancelFlag != 0 && !stopCancel))
        return true;
    for (const QString &message : messageLines(outcome.tamrinLines)) {
        if (RunOutcome::saysUploadFailed(message) && !(besidesStop && isStopText(plan, message)))
            return true;
    }
    return false;
}

QStringList checkDelivered(const RunPlan &plan, const RunOutcome &outcome)
{
    QStringList findings;
    if (!outcome.storedExactly)
        findings << QStringLiteral("the record says delivered, but the unit does not hold exactly "
                                   "the file: %1")
                        .arg(outcome.storedDetail);
    // A stop that comes once the unit has confirmed the upload cancels the run, not the upload.
    if (failureReported(plan, outcome, true))
        findings << QStringLiteral("the record says delivered, but Tamrin reported a failure");
    return findings;
}

QStringList checkNotDelivered(const RunPlan &plan, const RunOutcome &outcome,
                              const QHash<QString, QString> &upload)
{
    QStringList findings;
    const QString word = upload.value(QStringLiteral("outcome"));
    if (!failureReported(plan, outcome, false))
        findings
            << QStringLiteral("the record says %1, but Tamrin reported nothing wrong").arg(word);
    // Taken before the unit confirmed, the stop is what ended the upload.
    const QString reason = upload.value(QStringLiteral("reason"));
    if (RecordCheck::stopTaken(plan, outcome.tamrinLines) &&
        (word != QLatin1String("cancelled") || !isStopReason(plan, reason)))
        findings << QStringLiteral("the stop came before the unit confirmed, but the record "
                                   "says %1, reason \"%2\"")
                        .arg(word, reason);
    return findings;
}

QStringList checkUpload(const RunPlan &plan, const RunOutcome &outcome,
                        const QHash<QString, QString> &upload)
{
    QStringList findings;
    const QString sha256 = upload.value(QStringLiteral("sha256"));
    if (sha256 != QLatin1String(outcome.fileSha256))
        findings << QStringLiteral("the record's sha256=%1 is not the file's %2")
                        .arg(sha256, QLatin1String(outcome.fileSha256));
    const QString word = upload.value(QStringLiteral("outcome"));
    if (word == QLatin1String("delivered"))
        findings << checkDelivered(plan, outcome);
    else if (word == QLatin1String("cancelled") || word == QLatin1String("failed"))
        findings << checkNotDelivered(plan, outcome, upload);
    else
        findings << QStringLiteral("the record says outcome=%1 of an upload the unit was asked "
                                   "to confirm")
                        .arg(word);
    return findings;
}

// A run SIGTERM stopped ends the process with 128 + 15, and its record says so.
QStringList checkSigtermEnd(const RunOutcome &outcome)
{
    QStringList findings;
    if (outcome.exitStatus != 143)
        findings << QStringLiteral("SIGTERM stopped the run, but the process end asked for was "
                                   "%1, not 143")
                        .arg(outcome.exitStatus);
    const QList<QHash<QString, QString>> runs =
        recordsOfKind(outcome.tamrinLines, QStringLiteral("run"));
    const bool stopped =
        runs.size() == 1 &&
        runs.constFirst().value(QStringLiteral("status")) == QLatin1String("143") &&
        runs.constFirst().value(QStringLiteral("outcome")) == QLatin1String("stopped");
    if (!stopped)
        findings << QStringLiteral("SIGTERM stopped the run, but there is not one run record "
                                   "with status=143 outcome=stopped (%1 run records)")
                        .arg(runs.size());
    return findings;
}

} // namespace

namespace RecordCheck {

QHash<QString, QString> fieldsOf(const QString &line)
{
    QHash<QString, QString> fields;
    for (const QString &kind : {QStringLiteral("upload"), QStringLiteral("run")}) {
        if (line.startsWith(LinePrefix + kind + QLatin1Char(' ')))
            fields.insert(QStringLiteral("kind"), kind);
    }
    if (fields.isEmpty())
        return fields;
    qsizetype at = LinePrefix.size() + fields.value(QStringLiteral("kind")).size();
    while (at < line.size()) {
        const qsizetype nameStart = at + 1; // past the blank
        const qsizetype equals = line.indexOf(QLatin1Char('='), nameStart);
        if (equals < 0)
            break;
        const QString name = line.mid(nameStart, equals - nameStart);
        at = equals + 1;
        const bool quoted = at < line.size() && line.at(at) == QLatin1Char('"');
        if (quoted)
            ++at;
        fields.insert(name, quoted ? quotedValue(line, at) : plainValue(line, at));
    }
    return fields;
}

bool stopTaken(const RunPlan &plan, const QStringList &tamrinLines)
{
    for (const QString &message : messageLines(tamrinLines)) {
        if (isStopText(plan, message))
            return true;
    }
    return false;
}

QStringList falseRecords(const RunPlan &plan, const RunOutcome &outcome)
{
    QStringList findings;
    const QList<QHash<QString, QString>> uploads =
        recordsOfKind(outcome.tamrinLines, QStringLiteral("upload"));
    const bool stopped = stopTaken(plan, outcome.tamrinLines);
    // A stop taken before _LD began leaves nothing to record: the unit then heard nothing.
    const bool noUploadBegan = stopped && !outcome.unitHeardUpload;
    if (uploads.size() == 1)
        findings << checkUpload(plan, outcome, uploads.constFirst());
    else if (!(uploads.isEmpty() && noUploadBegan))
        findings << QStringLiteral("%1 upload records of the one _LD").arg(uploads.size());
    if (plan.fault == SoakFault::Sigterm && stopped)
        findings << checkSigtermEnd(outcome);
    return findings;
}

} // namespace RecordCheck
