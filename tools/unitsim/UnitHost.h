#pragma once

// UnitHost runs one simulated unit behind its endpoints. It takes what clients send
// (at a baud rate's pace when asked), records it in the transcript, feeds the protocol,
// sends each answer to the endpoint its line came from when the answer falls due,
// stores finished uploads and carries out the actions behind the control commands:
// floods, garbage, hang-ups, a port held by another program, a TCP port that stops
// taking clients.

#include "ReceivePacer.h"
#include "Transcript.h"
#include "UnitProtocol.h"
#include "UploadStore.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <vector>

class PtyEndpoint;
class TcpEndpoint;
class UnitEndpoint;

class UnitHost : public QObject
{
    Q_OBJECT

public:
    explicit UnitHost(QObject *parent = nullptr);
    ~UnitHost() override;

    UnitProtocol &protocol() { return protocol_; }

    bool openPty(const QString &linkPath, QString *error);
    bool listenTcp(quint16 port, QString *error);
    bool openTranscript(const QString &path, QString *error);
    void setStoreFolder(const QString &folder) { store_.setFolder(folder); }
    // "ready pty=<slave device or -> tcp=<port or 0>"
    QString readyLine() const;
    QString slaveDevice() const;

    // 0 stops pacing.
    void setBaud(int baud);
    int baud() const { return baud_; }

    // Both go to every endpoint with a client, now, whatever the answer delay.
    void flood(qint64 size);
    void sendGarbage(qint64 size);

    bool hangUp(QString *error);
    // New TCP clients are refused while off; the served and waiting ones stay.
    bool setListening(bool listening, QString *error);
    bool reopen(QString *error);
    bool hold(QString *error);
    bool release(QString *error);

signals:
    // A line for the simulator's stdout: uploads, reopened ports.
    void logLine(const QString &line);

private:
    struct Link
    {
        UnitEndpoint *endpoint;
        ReceivePacer pacer;
    };

    void addEndpoint(UnitEndpoint *endpoint);
    void readFreely(UnitEndpoint *endpoint);
    void readPacedSlices();
    void handleReceived(UnitEndpoint *endpoint, const QByteArray &bytes);
    void handleEvents();
    void sendDueOutput();
    void sendToAll(const QByteArray &bytes);
    UnitEndpoint *endpointFor(UnitProtocol::Channel channel) const;
    qint64 now() const { return clock_.elapsed(); }

    UnitProtocol protocol_;
    QElapsedTimer clock_;
    PtyEndpoint *pty_ = nullptr;
    TcpEndpoint *tcp_ = nullptr;
    std::vector<Link> links_;
    int baud_ = 0;
    Transcript transcript_;
    UploadStore store_;
    QTimer paceTimer_;
    QTimer answerTimer_;
};
