#pragma once

// UnitSim runs tamrin-unitsim for a test. Each run gets its own temporary folder with
// the transcript, the stored uploads and the "ports" folder holding the pty symlink
// (point TAMRIN_PORTS_DIR at portsDir()). Control commands go through the simulator's
// standard input; waiting for their replies keeps this thread's events flowing, so
// Tamrin code under test in the same process goes on working meanwhile. The simulator
// exits when its UnitSim goes away, because its standard input closes.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>

#include <functional>
#include <memory>

class UnitSim : public QObject
{
    Q_OBJECT

public:
    struct Chunk
    {
        qint64 ms;
        QString endpoint;
        QByteArray bytes;
    };

    explicit UnitSim(QObject *parent = nullptr);
    ~UnitSim() override;

    bool start(const QStringList &extraArgs = {}, bool withPty = true, bool withTcp = false,
               const QString &ptyPath = QString());
    // Closes stdin and waits; true if the simulator then exited on its own.
    bool stop(int timeoutMs = 2000);
    bool isRunning() const;
    qint64 processId() const;
    QString errorString() const { return errorString_; }

    QString ptyPath() const { return ptyPath_; }
    // Follows the symlink, so it is current after a "reopen".
    QString slaveDevice() const;
    quint16 tcpPort() const { return tcpPort_; }
    QString storeDir() const;
    QString portsDir() const;
    QString transcriptPath() const;

    enum class Wait
    {
        PumpingEvents, // this thread's sockets and timers go on meanwhile
        Blocked        // nothing else of this thread runs until the reply is in
    };

    // Sends a control line; true once the simulator answers "ok".
    bool command(const QString &line, int timeoutMs = 3000, Wait wait = Wait::PumpingEvents);
    QString lastReply() const { return lastReply_; }
    // Hangs the unit up the moment 'window' is first hidden, inside hide(): the code that hid
    // it goes on only with the line already down. Holds while the returned object lives.
    std::unique_ptr<QObject> hangUpWhenHidden(QWidget *window);

    QByteArray received() const;
    QList<Chunk> chunks() const;
    // The data of an upload as the unit received it: from the chunk after the one that ends
    // the header with 'headerEnd', up to 'size' bytes.
    struct DataPhase
    {
        qint64 bytes = 0;
        qint64 firstMs = -1;
        qint64 lastMs = -1;
        // Bytes per second, 0 when the data came in one chunk.
        double rate() const
        {
            return lastMs > firstMs ? double(bytes) * 1000.0 / double(lastMs - firstMs) : 0.0;
        }
    };
    DataPhase dataPhase(const QByteArray &headerEnd, qint64 size) const;
    int mark() const;
    QByteArray receivedSince(int mark) const;
    bool waitForReceived(int byteCount, int timeoutMs = 3000);

    // The "upload n=... result=... file=..." lines so far.
    QStringList uploadLines() const;
    bool waitForUploadLines(int count, int timeoutMs = 3000);
    // Everything the simulator printed on stdout so far.
    QString output() const;

    // Waits until done() holds, the time is up or the simulator died, pumping this thread's
    // events meanwhile unless blocked.
    bool waitUntil(const std::function<bool()> &done, int timeoutMs,
                   Wait wait = Wait::PumpingEvents);

private:
    QStringList outputLines() const;
    void collectOutput() const;

    std::unique_ptr<QTemporaryDir> tempDir_;
    std::unique_ptr<QProcess> process_;
    mutable QByteArray output_;
    QString ptyPath_;
    QString slaveDevice_;
    quint16 tcpPort_ = 0;
    QString lastReply_;
    QString errorString_;
};
