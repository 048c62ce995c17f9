#include "upload/RecordLog.h"

#include "link/OperatorDialogs.h"
#include "link/Timing.h"

#include <mutex>
#include <optional>
#include <utility>

namespace {

QString outcomeOf(int status)
{
    switch (status) {
    case 0:
        return QStringLiteral("success");
    case 1:
        return QStringLiteral("failed");
    case 2:
        return QStringLiteral("not-run");
    case 3:
        return QStringLiteral("time-limit");
    case 4:
        return QStringLiteral("not-started");
    default:
        return QStringLiteral("stopped");
    }
}

struct Log
{
    std::mutex lock;
    std::optional<UploadRecord> upload;
    std::optional<RunRecord> run;
    bool ended = false;
};

Log &log()
{
    static Log instance;
    return instance;
}

} // namespace

QString runRecordLine(const RunRecord &record)
{
    QString line = QStringLiteral("run script=") + quotedField(record.script);
    if (!record.configured.isEmpty())
        line += QStringLiteral(" configured=") + record.configured;
    line += QStringLiteral(" status=") + QString::number(record.status) +
            QStringLiteral(" outcome=") + outcomeOf(record.status);
    if (!record.reason.isEmpty())
        line += QStringLiteral(" reason=") + quotedField(record.reason);
    return line;
}

namespace RecordLog {

void uploadGoing(const UploadRecord &record)
{
    const std::lock_guard<std::mutex> hold(log().lock);
    log().upload = record;
}

void writeUpload(const UploadRecord &record)
{
    const std::lock_guard<std::mutex> hold(log().lock);
    log().upload.reset();
    if (!log().ended)
        WriteStderrLine(uploadRecordLine(record));
}

void runGoing(const RunRecord &record)
{
    const std::lock_guard<std::mutex> hold(log().lock);
    log().run = record;
}

void writeRun(const RunRecord &record)
{
    const std::lock_guard<std::mutex> hold(log().lock);
    log().run.reset();
    if (!log().ended)
        WriteStderrLine(runRecordLine(record));
}

namespace {

// With the lock held.
void writeWhatIsGoing(int status, const QString &reason)
{
    if (log().ended)
        return;
    if (std::optional<UploadRecord> upload = std::exchange(log().upload, std::nullopt)) {
        upload->outcome = UploadRecord::Outcome::Cancelled;
        upload->reason = reason;
        upload->milliseconds = Timing::nowMs() - upload->startedMs;
        WriteStderrLine(uploadRecordLine(*upload));
    }
    if (std::optional<RunRecord> run = std::exchange(log().run, std::nullopt)) {
        run->status = status;
        run->reason = reason;
        WriteStderrLine(runRecordLine(*run));
    }
}

} // namespace

void writeGoing(int status, const QString &reason)
{
    const std::lock_guard<std::mutex> hold(log().lock);
    writeWhatIsGoing(status, reason);
}

void writeForcedEnd(int status, const QString &reason)
{
    const std::lock_guard<std::mutex> hold(log().lock);
    writeWhatIsGoing(status, reason);
    log().ended = true;
}

} // namespace RecordLog
