#include "TcpEndpoint.h"

#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

TcpEndpoint::TcpEndpoint(QObject *parent) : UnitEndpoint(parent)
{
    connect(&server_, &QTcpServer::newConnection, this, &TcpEndpoint::acceptClients);
}

// The sockets are the server's children and go with it, after the other members: the
// served one must not report its end to an endpoint that is half gone.
TcpEndpoint::~TcpEndpoint()
{
    takeClient();
}

bool TcpEndpoint::listen(quint16 port, QString *error)
{
    if (!server_.listen(QHostAddress::LocalHost, port)) {
        *error =
            QStringLiteral("cannot listen on port %1: %2").arg(port).arg(server_.errorString());
        return false;
    }
    port_ = server_.serverPort();
    return true;
}

bool TcpEndpoint::setListening(bool listening, QString *error)
{
    if (listening == server_.isListening())
        return true;
    if (listening)
        return listen(port_, error);
    // Clients the system has already connected are waiting clients: take them first.
    server_.waitForNewConnection(0);
    acceptClients();
    server_.close();
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
    QTcpSocket *client = takeClient();
    if (!client)
        return;
    client->abort();
    client->deleteLater();
    emit connectionLost();
    serveNextClient();
}

void TcpEndpoint::hangUpAfterSending()
{
    QTcpSocket *client = takeClient();
    if (!client)
        return;
    closeAfterSending(client);
    emit connectionLost();
    serveNextClient();
}

// The served client, no longer served: its signals reach the endpoint no more.
QTcpSocket *TcpEndpoint::takeClient()
{
    QTcpSocket *client = client_;
    client_ = nullptr;
    if (client)
        client->disconnect(this);
    return client;
}

// Shutting down the sending side puts the end of the stream behind the written bytes;
// the socket goes once the client has closed its end too.
void TcpEndpoint::closeAfterSending(QTcpSocket *socket)
{
    socket->setReadBufferSize(0);
    connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(MaxClosingMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    const auto shutDownWhenSent = [socket] {
        if (socket->bytesToWrite() == 0 && socket->socketDescriptor() >= 0)
            ::shutdown(int(socket->socketDescriptor()), SHUT_WR);
    };
    connect(socket, &QTcpSocket::bytesWritten, socket, shutDownWhenSent);
    socket->flush();
    shutDownWhenSent();
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
