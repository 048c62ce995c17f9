#include "upload/RecordLog.h"

#include "base/ByteText.h"
#include "base/OperatorDialogs.h"
#include "base/Timing.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr int JsonSchema = 1;

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

QJsonValue textOrNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

QString utcText(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

// What every record of the process has: where, when, for what.
QJsonObject commonFields(const RecordContext &context, const char *event,
                         const QDateTime &startedAt, qint64 milliseconds)
{
    const QDateTime ended = startedAt.addMSecs(milliseconds);
    return QJsonObject{
        {QStringLiteral("schema"), JsonSchema},
        {QStringLiteral("event"), QLatin1String(event)},
        {QStringLiteral("tamrin"), QStringLiteral(TAMRIN_VERSION)},
        {QStringLiteral("host"), QSysInfo::machineHostName()},
        {QStringLiteral("started"), utcText(startedAt)},
        {QStringLiteral("ended"), utcText(ended)},
        {QStringLiteral("seconds"), double(milliseconds) / 1000.0},
        {QStringLiteral("port"), textOrNull(context.port)},
        {QStringLiteral("device"), textOrNull(context.device)},
        {QStringLiteral("adapter_serial"),
         context.adapterSerial ? QJsonValue(*context.adapterSerial) : QJsonValue()},
        {QStringLiteral("link"), textOrNull(context.link)},
        {QStringLiteral("configured"), textOrNull(context.configured)},
        {QStringLiteral("script"), context.script},
        {QStringLiteral("attempt"), context.attempt},
    };
}

QJsonObject uploadObject(const RecordContext &context, const UploadRecord &record)
{
    QJsonObject object = commonFields(context, "upload", record.startedAt, record.milliseconds);
    const bool stopped = record.outcome == UploadRecord::Outcome::Cancelled ||
                         record.outcome == UploadRecord::Outcome::Failed;
    object.insert(QStringLiteral("file"), record.file);
    object.insert(QStringLiteral("size"), record.size);
    object.insert(QStringLiteral("checksum"), QString::number(record.checksum, 16));
    object.insert(QStringLiteral("sha256"), textOrNull(QString::fromLatin1(record.sha256)));
    object.insert(QStringLiteral("address"), record.address);
    object.insert(QStringLiteral("version"), record.version);
    object.insert(QStringLiteral("bytes_sent"), record.bytesSent);
    object.insert(QStringLiteral("outcome"), outcomeWord(record.outcome));
    object.insert(QStringLiteral("reason"), stopped ? QJsonValue(record.reason) : QJsonValue());
    object.insert(QStringLiteral("unit_said"), record.unitSaid
                                                   ? QJsonValue(ByteText::displayText(*record.unitSaid))
                                                   : QJsonValue());
    object.insert(QStringLiteral("unit_answer"),
                  textOrNull(ByteText::displayText(record.unitAnswer)));
    return object;
}

QJsonObject runObject(const RecordContext &context, const RunRecord &record)
{
    const qint64 milliseconds =
        record.startedAt.isValid()
            ? record.startedAt.msecsTo(QDateTime::currentDateTimeUtc())
            : 0;
    QJsonObject object = commonFields(context, "run", record.startedAt, milliseconds);
    object.insert(QStringLiteral("status"), record.status);
    object.insert(QStringLiteral("outcome"), outcomeOf(record.status));
    object.insert(QStringLiteral("reason"), textOrNull(record.reason));
    return object;
}

struct Log
{
    std::mutex lock;
    RecordContext context;
    std::optional<UploadRecord> upload;
    std::optional<RunRecord> run;
    int jsonFd = -1;
    bool ended = false;
};

Log &log()
{
    static Log instance;
    return instance;
}

// One write() on a descriptor opened for appending, under an advisory lock: a line from
// another station sharing the file goes before or after it, never into it.
void appendJson(const QJsonObject &object)
{
    const int fd = log().jsonFd;
    if (fd < 0)
        return;
    const QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    const bool locked = ::flock(fd, LOCK_EX) == 0;
    ssize_t written = -1;
    do {
        written = ::write(fd, line.constData(), size_t(line.size()));
    } while (written < 0 && errno == EINTR);
    if (locked)
        ::flock(fd, LOCK_UN);
}

// With the lock held.
void writeUploadLine(const UploadRecord &record)
{
    const bool good = record.outcome == UploadRecord::Outcome::Delivered ||
                      record.outcome == UploadRecord::Outcome::Sent;
    WriteStderrLine(uploadRecordLine(record), good ? LinePriority::Info : LinePriority::Error);
    appendJson(uploadObject(log().context, record));
}

// With the lock held.
void writeRunLine(const RunRecord &record)
{
    WriteStderrLine(runRecordLine(log().context, record),
                    record.status == 0 ? LinePriority::Info : LinePriority::Error);
    appendJson(runObject(log().context, record));
}

// With the lock held.
void writeWhatIsGoing(int status, const QString &reason)
{
    if (log().ended)
        return;
    if (std::optional<UploadRecord> upload = std::exchange(log().upload, std::nullopt)) {
        upload->outcome = UploadRecord::Outcome::Cancelled;
        upload->reason = reason;
        upload->milliseconds = Timing::nowMs() - upload->startedMs;
        writeUploadLine(*upload);
    }
    if (std::optional<RunRecord> run = std::exchange(log().run, std::nullopt)) {
        run->status = status;
        run->reason = reason;
        writeRunLine(*run);
    }
}

} // namespace

QString runRecordLine(const RecordContext &context, const RunRecord &record)
{
    QString line = QStringLiteral("run script=") + quotedField(context.script);
    if (!context.configured.isEmpty())
        line += QStringLiteral(" configured=") + context.configured;
    line += QStringLiteral(" status=") + QString::number(record.status) +
            QStringLiteral(" outcome=") + outcomeOf(record.status);
    if (!record.reason.isEmpty())
        line += QStringLiteral(" reason=") + quotedField(record.reason);
    return line;
}

namespace RecordLog {

void setContext(const RecordContext &context)
{
    const std::lock_guard<std::mutex> hold(log().lock);
    log().context = context;
}

RecordContext context()
{
    const std::lock_guard<std::mutex> hold(log().lock);
    return log().context;
}

bool openJsonFile(const QString &path, QString *error)
{
    const int fd = path == QLatin1String("-")
                       ? ::dup(STDOUT_FILENO)
                       : ::open(QFile::encodeName(path).constData(),
                                O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const std::lock_guard<std::mutex> hold(log().lock);
    if (log().jsonFd >= 0)
        ::close(log().jsonFd);
    log().jsonFd = fd;
    return true;
}

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
        writeUploadLine(record);
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
        writeRunLine(record);
}

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
