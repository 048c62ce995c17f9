#include "UnitHost.h"

#include "PtyEndpoint.h"
#include "TcpEndpoint.h"

#include <QRandomGenerator>

namespace {

constexpr qint64 ReadSliceSize = 4096;

} // namespace

UnitHost::UnitHost(QObject *parent)
    : QObject(parent), protocol_(UnitSettings(), QRandomGenerator::global()->generate())
{
    clock_.start();
    paceTimer_.setTimerType(Qt::PreciseTimer);
    paceTimer_.setInterval(ReceivePacer::TickMs);
    connect(&paceTimer_, &QTimer::timeout, this, &UnitHost::readPacedSlices);
    answerTimer_.setTimerType(Qt::PreciseTimer);
    answerTimer_.setSingleShot(true);
    connect(&answerTimer_, &QTimer::timeout, this, &UnitHost::sendDueOutput);
}

// The endpoints go first, while the protocol they report to still exists.
UnitHost::~UnitHost()
{
    links_.clear();
    delete pty_;
    delete tcp_;
}

bool UnitHost::openPty(const QString &linkPath, QString *error)
{
    if (pty_) {
        *error = QStringLiteral("a pty is already open");
        return false;
    }
    auto *pty = new PtyEndpoint(this);
    if (!pty->open(linkPath, error)) {
        delete pty;
        return false;
    }
    pty_ = pty;
    addEndpoint(pty);
    return true;
}

bool UnitHost::listenTcp(quint16 port, QString *error)
{
    if (tcp_) {
        *error = QStringLiteral("already listening");
        return false;
    }
    auto *tcp = new TcpEndpoint(this);
    if (!tcp->listen(port, error)) {
        delete tcp;
        return false;
    }
    tcp_ = tcp;
    addEndpoint(tcp);
    return true;
}

bool UnitHost::openTranscript(const QString &path, QString *error)
{
    return transcript_.open(path, error);
}

QString UnitHost::readyLine() const
{
    return QStringLiteral("ready pty=%1 tcp=%2")
        .arg(pty_ ? pty_->slaveDevice() : QStringLiteral("-"))
        .arg(tcp_ ? tcp_->port() : 0);
}

QString UnitHost::slaveDevice() const
{
    return pty_ ? pty_->slaveDevice() : QString();
}

void UnitHost::setBaud(int baud)
{
    baud_ = std::max(0, baud);
    for (Link &link : links_) {
        link.pacer.setBaud(baud_, now());
        link.endpoint->setPaced(baud_ > 0);
    }
    if (baud_ > 0) {
        paceTimer_.start();
        return;
    }
    paceTimer_.stop();
    // Bytes held back by pacing would otherwise wait for a notification that never comes.
    for (Link &link : links_)
        readFreely(link.endpoint);
}

void UnitHost::flood(qint64 size)
{
    sendToAll(protocol_.fillerText(size));
}

void UnitHost::sendGarbage(qint64 size)
{
    sendToAll(protocol_.garbage(size));
}

bool UnitHost::hangUp(QString *error)
{
    if (links_.empty()) {
        *error = QStringLiteral("no endpoint to hang up");
        return false;
    }
    for (Link &link : links_)
        link.endpoint->hangUp();
    return true;
}

bool UnitHost::setListening(bool listening, QString *error)
{
    if (!tcp_) {
        *error = QStringLiteral("no tcp endpoint to listen on");
        return false;
    }
    return tcp_->setListening(listening, error);
}

bool UnitHost::reopen(QString *error)
{
    if (!pty_) {
        *error = QStringLiteral("no pty to reopen");
        return false;
    }
    if (!pty_->reopen(error))
        return false;
    for (Link &link : links_) {
        if (link.endpoint == pty_)
            link.pacer.setBaud(baud_, now());
    }
    emit logLine(QStringLiteral("reopened pty=%1").arg(pty_->slaveDevice()));
    return true;
}

bool UnitHost::hold(QString *error)
{
    if (!pty_) {
        *error = QStringLiteral("no pty to hold");
        return false;
    }
    return pty_->hold(error);
}

bool UnitHost::release(QString *error)
{
    if (!pty_) {
        *error = QStringLiteral("no pty to release");
        return false;
    }
    pty_->release();
    return true;
}

void UnitHost::addEndpoint(UnitEndpoint *endpoint)
{
    Link link{endpoint, ReceivePacer()};
    link.pacer.setBaud(baud_, now());
    links_.push_back(link);
    endpoint->setPaced(baud_ > 0);
    connect(endpoint, &UnitEndpoint::readyRead, this, [this, endpoint] { readFreely(endpoint); });
    connect(endpoint, &UnitEndpoint::connectionLost, this,
            [this, endpoint] { protocol_.resetChannel(endpoint->channel()); });
}

void UnitHost::readFreely(UnitEndpoint *endpoint)
{
    if (baud_ > 0)
        return;
    for (QByteArray bytes = endpoint->read(ReadSliceSize); !bytes.isEmpty();
         bytes = endpoint->read(ReadSliceSize)) {
        handleReceived(endpoint, bytes);
    }
}

void UnitHost::readPacedSlices()
{
    for (Link &link : links_) {
        const qint64 allowance = link.pacer.allowance(now());
        if (allowance <= 0)
            continue;
        const QByteArray bytes = link.endpoint->read(allowance);
        link.pacer.consume(bytes.size());
        handleReceived(link.endpoint, bytes);
    }
}

void UnitHost::handleReceived(UnitEndpoint *endpoint, const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    const UnitProtocol::Channel channel = endpoint->channel();
    transcript_.record(now(), UnitProtocol::channelName(channel), bytes);
    protocol_.receive(channel, bytes, now());
    // Events first: an upload is stored and logged before the client sees its answer.
    handleEvents();
    sendDueOutput();
}

void UnitHost::handleEvents()
{
    for (const UnitProtocol::Event &event : protocol_.takeEvents()) {
        if (event.kind == UnitProtocol::Event::Kind::Hangup) {
            if (UnitEndpoint *endpoint = endpointFor(event.channel))
                endpoint->hangUp();
            continue;
        }
        QString error;
        if (!store_.store(event.upload, &error))
            qWarning("tamrin-unitsim: %s", qPrintable(error));
        emit logLine(store_.logLine(event.upload));
    }
}

void UnitHost::sendDueOutput()
{
    for (const UnitProtocol::Output &output : protocol_.takeDueOutput(now())) {
        UnitEndpoint *endpoint = endpointFor(output.channel);
        if (!endpoint)
            continue;
        if (output.hangsUp)
            endpoint->hangUpAfterSending();
        else
            endpoint->write(output.bytes);
    }
    const qint64 nextDueMs = protocol_.nextDueMs();
    if (nextDueMs < 0)
        answerTimer_.stop();
    else
        answerTimer_.start(int(std::max<qint64>(0, nextDueMs - now())));
}

void UnitHost::sendToAll(const QByteArray &bytes)
{
    for (const Link &link : links_) {
        if (link.endpoint->isConnected())
            link.endpoint->write(bytes);
    }
}

UnitEndpoint *UnitHost::endpointFor(UnitProtocol::Channel channel) const
{
    if (channel == UnitProtocol::Channel::Tcp)
        return tcp_;
    return pty_;
}
