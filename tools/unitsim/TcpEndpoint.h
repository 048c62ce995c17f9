#pragma once

// TcpEndpoint plays a serial-to-network adapter in front of the unit: it listens on
// 127.0.0.1 and serves one client at a time. Later clients wait, connected but
// unanswered, until the served one leaves; then the longest waiting one is served,
// with whatever it has sent meanwhile. A client that reconnects at once therefore
// gets served even if its old connection has not been noticed closing yet.
//
// While reception is paced the socket's read buffer is kept small, so Qt stops reading
// the kernel and the client's send buffer fills as it would at the baud rate.

#include "UnitEndpoint.h"

#include <QList>
#include <QPointer>
#include <QTcpServer>

class QTcpSocket;

class TcpEndpoint : public UnitEndpoint
{
    Q_OBJECT

public:
    static constexpr qint64 PacedReadBufferSize = 64;

    explicit TcpEndpoint(QObject *parent = nullptr);

    bool listen(quint16 port, QString *error);
    quint16 port() const { return server_.serverPort(); }

    UnitProtocol::Channel channel() const override { return UnitProtocol::Channel::Tcp; }
    bool isConnected() const override;
    QByteArray read(qint64 maxBytes) override;
    void write(const QByteArray &bytes) override;
    void setPaced(bool paced) override;
    void hangUp() override;

private:
    void acceptClients();
    void serveNextClient();
    void dropClient();
    void applyReadBufferSize();

    QTcpServer server_;
    QPointer<QTcpSocket> client_;
    QList<QPointer<QTcpSocket>> waiting_;
    bool paced_ = false;
};
