#include "TcpEndpoint.h"

#include <QTcpSocket>

TcpEndpoint::TcpEndpoint(QObject *parent) : UnitEndpoint(parent)
{
    connect(&server_, &QTcpServer::newConnection, this, &TcpEndpoint::acceptClients);
}

bool TcpEndpoint::listen(quint16 port, QString *error)
{
    if (!server_.listen(QHostAddress::LocalHost, port)) {
        *error =
            QStringLiteral("cannot listen on port %1: %2").arg(port).arg(server_.errorString());
        return false;
    }
    return true;
}

bool TcpEndpoint::isConnected() const
{
    return client_ && client_->state() == QAbstractSocket::ConnectedState;
}

QByteArray TcpEndpoint::read(qint64 maxBytes)
{
    if (!client_ || maxBytes <= 0)
        return {};
    return client_->read(maxBytes);
}

void TcpEndpoint::write(const QByteArray &bytes)
{
    if (isConnected())
        client_->write(bytes);
}

void TcpEndpoint::setPaced(bool paced)
{
    paced_ = paced;
    applyReadBufferSize();
}

void TcpEndpoint::hangUp()
{
    if (!client_)
        return;
    QTcpSocket *client = client_;
    client_ = nullptr;
    client->disconnect(this);
    client->abort();
    client->deleteLater();
    emit connectionLost();
    serveNextClient();
}

void TcpEndpoint::acceptClients()
{
    while (QTcpSocket *socket = server_.nextPendingConnection()) {
        waiting_.append(socket);
        // A client that gives up waiting is simply forgotten.
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
    serveNextClient();
}

void TcpEndpoint::serveNextClient()
{
    while (!client_ && !waiting_.isEmpty()) {
        QTcpSocket *socket = waiting_.takeFirst();
        if (!socket || socket->state() != QAbstractSocket::ConnectedState)
            continue;
        disconnect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        client_ = socket;
        applyReadBufferSize();
        connect(socket, &QTcpSocket::readyRead, this, &UnitEndpoint::readyRead);
        connect(socket, &QTcpSocket::disconnected, this, &TcpEndpoint::dropClient);
        if (!paced_ && socket->bytesAvailable() > 0)
            emit readyRead();
    }
}

// The client left on its own. What it sent just before leaving still reaches the unit
// unless reception is paced: a paced line loses what was still on the wire.
void TcpEndpoint::dropClient()
{
    if (!client_)
        return;
    if (!paced_ && client_->bytesAvailable() > 0)
        emit readyRead();
    client_->deleteLater();
    client_ = nullptr;
    emit connectionLost();
    serveNextClient();
}

void TcpEndpoint::applyReadBufferSize()
{
    if (client_)
        client_->setReadBufferSize(paced_ ? PacedReadBufferSize : 0);
}
