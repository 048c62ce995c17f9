#pragma once

// PtyEndpoint plays the unit's end of a serial cable with a pseudo-terminal pair. The
// client opens the slave side through a symlink (e.g. ".../ports/COM3"), the simulator
// reads and writes the master. The simulator keeps a slave descriptor of its own open
// all the time, so the master never sees a hang-up when the client closes and reopens
// the port between operations.
//
// A real port drops what arrives while nobody has it open; to match, the endpoint
// counts the client's opens and closes of the slave (inotify) and discards the unit's
// output, and the slave's unread input, while no client has it open.
//
// hangUp() closes the whole pair and removes the symlink: the client's descriptor
// fails and the device is gone until reopen() makes a fresh pair at the same path.
// That discards what the client has not read yet, so hangUpAfterSending() first waits
// until the client has read everything (or has closed the port, or stopped reading).
// hold() opens the slave through QSerialPort, by the symlink and by the device path,
// so the lock files another QSerialPort user checks are taken, as when another program
// has the port open.

#include "UnitEndpoint.h"

#include <QDeadlineTimer>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

class QSerialPort;
class QSocketNotifier;

class PtyEndpoint : public UnitEndpoint
{
    Q_OBJECT

public:
    // Unsent output beyond this is dropped while the client does not read it: room for the
    // largest burst the controls make (a 16 MiB flood or garbage) and the answers around it,
    // so that a client that reads gets every byte.
    static constexpr qint64 MaxPendingOutput = 32 * 1024 * 1024;
    // A client that stops reading keeps the line up no longer than this.
    static constexpr int MaxHangupWaitMs = 3000;

    explicit PtyEndpoint(QObject *parent = nullptr);
    ~PtyEndpoint() override;

    bool open(const QString &linkPath, QString *error);
    bool reopen(QString *error);
    QString linkPath() const { return linkPath_; }
    QString slaveDevice() const { return slaveDevice_; }

    bool hold(QString *error);
    void release();
    bool isHeld() const { return !holders_.empty(); }

    UnitProtocol::Channel channel() const override { return UnitProtocol::Channel::Pty; }
    bool isConnected() const override { return masterFd_ >= 0; }
    // True while some program other than the simulator's keep-alive has the slave open.
    bool hasClient();
    QByteArray read(qint64 maxBytes) override;
    void write(const QByteArray &bytes) override;
    void setPaced(bool paced) override;
    void hangUp() override;
    void hangUpAfterSending() override;

private:
    bool createPair(QString *error);
    bool createLink(QString *error);
    void watchClients();
    void countClients();
    void closePair();
    void writePending();
    void backOff();
    void updateReadNotifier();
    void hangUpIfRead();
    int unreadByClient() const;

    QString linkPath_;
    QString slaveDevice_;
    int masterFd_ = -1;
    int slaveFd_ = -1;
    int clientWatchFd_ = -1;
    // Opens minus closes of the slave since the pair was made; unset when unknown.
    std::optional<int> clientCount_;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    std::unique_ptr<QSocketNotifier> clientNotifier_;
    QByteArray outgoing_;
    bool paced_ = false;
    QTimer backOffTimer_;
    QTimer hangupWaitTimer_;
    QDeadlineTimer hangupDeadline_;
    std::vector<std::unique_ptr<QSerialPort>> holders_;
};
