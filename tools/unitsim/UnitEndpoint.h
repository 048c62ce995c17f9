#pragma once

// UnitEndpoint is one way into the simulated unit: a pseudo-terminal or a TCP
// connection. The host reads what the client sent (in slices on a timer while
// reception is paced, otherwise whenever readyRead() says there is something), and
// writes the unit's answers back. Writing to an endpoint with no client drops the
// bytes, as a unit talking to an unplugged cable would.

#include "UnitProtocol.h"

#include <QByteArray>
#include <QObject>

class UnitEndpoint : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual UnitProtocol::Channel channel() const = 0;
    // True while the unit's answers can reach a client.
    virtual bool isConnected() const = 0;
    // Takes at most maxBytes of what the client sent, without waiting.
    virtual QByteArray read(qint64 maxBytes) = 0;
    virtual void write(const QByteArray &bytes) = 0;
    // While paced the endpoint stops announcing data; the host polls read() instead.
    virtual void setPaced(bool paced) = 0;
    virtual void hangUp() = 0;
    // Hangs up once what was written has reached the client, so a last answer is not
    // lost with the line.
    virtual void hangUpAfterSending() = 0;

signals:
    void readyRead();
    // The client is gone: whatever it had half sent is void.
    void connectionLost();
};
