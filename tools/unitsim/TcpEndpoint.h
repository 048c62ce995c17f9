#pragma once

// TcpEndpoint plays a serial-to-network adapter in front of the unit: it listens on
// 127.0.0.1 and serves one client at a time. Later clients wait, connected but
// unanswered, until the served one leaves; then the longest waiting one is served,
// with whatever it has sent meanwhile. A client that reconnects at once therefore
// gets served even if its old connection has not been noticed closing yet.
//
// While reception is paced the socket's read buffer is kept small, so Qt stops reading
// the kernel and the client's send buffer fills as it would at the baud rate.
//
// hangUp() aborts the connection, like a pulled cable. hangUpAfterSending() closes it
// the polite way: the answers written so far go out, then the client reads the end of
// the stream; whatever it still sends is read and dropped, so no reset can cut the last
// answer off.
//
// setListening(false) closes the listening socket, so a new client is refused at once,
// while the served and the waiting clients stay; setListening(true) listens again on
// the same port.

#include "UnitEndpoint.h"

#include <QList>
#include <QPointer>
#include <QTcpServer>

class QTcpSocket;

class TcpEndpoint : public UnitEndpoint
{
    Q_OBJECT

public:
    // Room for the largest slice the pacer grants (two ticks at the highest rate), so that a
    // fast paced line is not held to what a tiny buffer lets through.
    static constexpr qint64 PacedReadBufferSize = 8192;
    // A client that does not close its end after a polite hang-up is aborted after this.
    static constexpr int MaxClosingMs = 3000;

    explicit TcpEndpoint(QObject *parent = nullptr);
    ~TcpEndpoint() override;

    bool listen(quint16 port, QString *error);
    bool setListening(bool listening, QString *error);
    // The port it listens on, also while it does not.
    quint16 port() const { return port_; }

    UnitProtocol::Channel channel() const override { return UnitProtocol::Channel::Tcp; }
    bool isConnected() const override;
    QByteArray read(qint64 maxBytes) override;
    void write(const QByteArray &bytes) override;
    void setPaced(bool paced) override;
    void hangUp() override;
    void hangUpAfterSending() override;

private:
    QTcpSocket *takeClient();
    void closeAfterSending(QTcpSocket *socket);
    void acceptClients();
    void serveNextClient();
    void dropClient();
    void applyReadBufferSize();

    QTcpServer server_;
    quint16 port_ = 0;
    QPointer<QTcpSocket> client_;
    QList<QPointer<QTcpSocket>> waiting_;
    bool paced_ = false;
};
