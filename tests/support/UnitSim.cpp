#include "UnitSim.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <utility>

namespace {

constexpr int StartTimeoutMs = 5000;

// Runs an action once, the first time the watched window is hidden.
class OnFirstHide : public QObject
{
public:
    OnFirstHide(QWidget *window, std::function<void()> action)
        : m_window(window), m_action(std::move(action))
    {
        m_window->installEventFilter(this);
    }
    ~OnFirstHide() override { m_window->removeEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_window && event->type() == QEvent::Hide && m_action)
            std::exchange(m_action, nullptr)();
        return false;
    }

private:
    QWidget *m_window;
    std::function<void()> m_action;
};

QString valueAfter(const QString &line, const QString &key)
{
    for (const QString &field : line.split(QLatin1Char(' '))) {
        if (field.startsWith(key))
            return field.mid(key.size());
    }
    return {};
}

} // namespace

UnitSim::UnitSim(QObject *parent) : QObject(parent) {}

UnitSim::~UnitSim()
{
    stop();
}

bool UnitSim::start(const QStringList &extraArgs, bool withPty, bool withTcp,
                    const QString &ptyPath)
{
    if (isRunning()) {
        errorString_ = QStringLiteral("already running");
        return false;
    }
    tempDir_ = std::make_unique<QTemporaryDir>();
    output_.clear();
    ptyPath_ = withPty ? (ptyPath.isEmpty() ? tempDir_->filePath(QStringLiteral("ports/COM3"))
                                            : QFileInfo(ptyPath).absoluteFilePath())
                       : QString();
    QDir().mkpath(storeDir());

    QStringList arguments{QStringLiteral("--transcript"), transcriptPath(),
                          QStringLiteral("--store"), storeDir()};
    if (withPty)
        arguments << QStringLiteral("--pty") << ptyPath_;
    if (withTcp)
        arguments << QStringLiteral("--tcp") << QStringLiteral("0");
    arguments << extraArgs;

    process_ = std::make_unique<QProcess>();
    // The simulator's complaints belong in the test log.
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_->start(QStringLiteral(TAMRIN_UNITSIM_PATH), arguments);
    const auto ready = [this] {
        return outputLines().filter(QRegularExpression(QStringLiteral("^ready "))).size() > 0;
    };
    if (!process_->waitForStarted(StartTimeoutMs) || !waitUntil(ready, StartTimeoutMs)) {
        errorString_ = QStringLiteral("tamrin-unitsim did not get ready: %1 %2")
                           .arg(process_->errorString(), output());
        return false;
    }
    const QString readyLine =
        outputLines().filter(QRegularExpression(QStringLiteral("^ready "))).constFirst();
    slaveDevice_ = valueAfter(readyLine, QStringLiteral("pty="));
    tcpPort_ = valueAfter(readyLine, QStringLiteral("tcp=")).toUShort();
    return true;
}

bool UnitSim::stop(int timeoutMs)
{
    if (!process_ || process_->state() == QProcess::NotRunning)
        return true;
    process_->closeWriteChannel();
    if (process_->waitForFinished(timeoutMs))
        return true;
    process_->kill();
    process_->waitForFinished(timeoutMs);
    return false;
}

bool UnitSim::isRunning() const
{
    return process_ && process_->state() != QProcess::NotRunning;
}

qint64 UnitSim::processId() const
{
    return process_ ? process_->processId() : 0;
}

QString UnitSim::slaveDevice() const
{
    const QFileInfo link(ptyPath_);
    return link.isSymLink() ? link.symLinkTarget() : slaveDevice_;
}

QString UnitSim::storeDir() const
{
    return tempDir_ ? tempDir_->filePath(QStringLiteral("store")) : QString();
}

QString UnitSim::portsDir() const
{
    return ptyPath_.isEmpty() ? QString() : QFileInfo(ptyPath_).absolutePath();
}

QString UnitSim::transcriptPath() const
{
    return tempDir_ ? tempDir_->filePath(QStringLiteral("transcript.txt")) : QString();
}

bool UnitSim::command(const QString &line, int timeoutMs, Wait wait)
{
    lastReply_.clear();
    if (!isRunning()) {
        errorString_ = QStringLiteral("tamrin-unitsim is not running");
        return false;
    }
    const int repliesBefore = outputLines().size();
    process_->write(line.toUtf8() + '\n');
    const QString okReply = QStringLiteral("ok ") + line.trimmed();
    const auto replied = [&] {
        const QStringList lines = outputLines().mid(repliesBefore);
        for (const QString &reply : lines) {
            if (reply == okReply || reply.startsWith(QLatin1String("error "))) {
                lastReply_ = reply;
                return true;
            }
        }
        return false;
    };
    if (!waitUntil(replied, timeoutMs, wait)) {
        errorString_ = QStringLiteral("no reply to \"%1\"").arg(line);
        return false;
    }
    errorString_ = lastReply_ == okReply ? QString() : lastReply_;
    return lastReply_ == okReply;
}

std::unique_ptr<QObject> UnitSim::hangUpWhenHidden(QWidget *window)
{
    return std::make_unique<OnFirstHide>(
        window, [this] { command(QStringLiteral("hangup"), 3000, Wait::Blocked); });
}

QByteArray UnitSim::received() const
{
    QByteArray bytes;
    for (const Chunk &chunk : chunks())
        bytes += chunk.bytes;
    return bytes;
}

UnitSim::DataPhase UnitSim::dataPhase(const QByteArray &headerEnd, qint64 size) const
{
    DataPhase phase;
    bool afterHeader = false;
    for (const Chunk &chunk : chunks()) {
        if (!afterHeader) {
            afterHeader = chunk.bytes.endsWith(headerEnd);
            continue;
        }
        if (phase.bytes >= size)
            break;
        if (phase.firstMs < 0)
            phase.firstMs = chunk.ms;
        phase.bytes += chunk.bytes.size();
        phase.lastMs = chunk.ms;
    }
    return phase;
}

QList<UnitSim::Chunk> UnitSim::chunks() const
{
    QFile file(transcriptPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<Chunk> result;
    // A line still being written has no newline yet; it is read next time.
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).split(' ');
        if (fields.size() != 3)
            continue;
        result.append({fields.at(0).toLongLong(), QString::fromLatin1(fields.at(1)),
                       QByteArray::fromHex(fields.at(2))});
    }
    return result;
}

int UnitSim::mark() const
{
    return int(received().size());
}

QByteArray UnitSim::receivedSince(int mark) const
{
    return received().mid(mark);
}

bool UnitSim::waitForReceived(int byteCount, int timeoutMs)
{
    return waitUntil([&] { return received().size() >= byteCount; }, timeoutMs);
}

QStringList UnitSim::uploadLines() const
{
    return outputLines().filter(QRegularExpression(QStringLiteral("^upload ")));
}

bool UnitSim::waitForUploadLines(int count, int timeoutMs)
{
    return waitUntil([&] { return uploadLines().size() >= count; }, timeoutMs);
}

QString UnitSim::output() const
{
    collectOutput();
    return QString::fromUtf8(output_);
}

bool UnitSim::waitUntil(const std::function<bool()> &done, int timeoutMs, Wait wait)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired() || !isRunning())
            return done();
        if (wait == Wait::Blocked)
            process_->waitForReadyRead(10);
        else
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        // Nothing to do yet: yield rather than spin on an idle event queue.
        QThread::msleep(1);
    }
    return true;
}

QStringList UnitSim::outputLines() const
{
    collectOutput();
    QStringList lines = QString::fromUtf8(output_).split(QLatin1Char('\n'));
    lines.removeLast(); // the part after the last newline is not a line yet
    return lines;
}

void UnitSim::collectOutput() const
{
    if (!process_)
        return;
    // Take what is already in the pipe, so a line printed before an answer the test has
    // seen is there without another turn of the event loop.
    while (process_->waitForReadyRead(0)) {
    }
    output_ += process_->readAllStandardOutput();
}
