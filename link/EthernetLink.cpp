// The Ethernet link: the unit reached as a TCP client.
//
// A connect (from the Ethernet dialog, a reconnect, or a prompt wait that finds the link
// down) starts a non-blocking connect and waits, letting window messages run, until the
// connection is up and its prompt has been checked, an error ends the attempt, the operator
// disconnects, or 5000 ms pass. The socket's connected and error signals are delivered as
// queued events, so that they run inside such waits like every other event of the link and
// never inside the socket's own signal emission; an event that belongs to an earlier
// connection is dropped.
//
// The first connection error on a link gets one automatic reconnect; an error (or a watchdog
// firing) after that ends the link. A file transfer whose connection fails is cancelled: its
// bytes are never continued on another connection, and its header is never sent again.
#include "link/EthernetLink.h"

#include "base/OperatorReports.h"
#include "base/Timing.h"
#include "base/WaitCursor.h"
#include "link/DeviceLink.h"
#include "link/EthernetEndpoint.h"
#include "link/EthernetFields.h"
#include "link/RunControl.h"

#include <QTcpSocket>
#include <QTimer>

using namespace EthernetFields;

namespace {

constexpr int ConnectPolls = 5000;
constexpr int ConnectTimeoutMs = 5000;
constexpr int ReconnectPauseMs = 200;
constexpr int ResendPauseMs = 900;
// What the system may hold of a transfer beyond the block being handed over: small, so that
// a block counted as sent is on its way to the unit rather than waiting in this computer.
constexpr int SocketSendBuffer = 8192;

} // namespace

EthernetLink::EthernetLink(QTcpSocket &socket, DeviceLink &link, RunControl &run,
                           OperatorReports &reports, QObject *parent)
    : QObject(parent), m_socket(socket), m_link(link), m_run(run), m_reports(reports)
{
    m_connectionTimer = Timing::protocolTimer(this, ConnectTimeoutMs);
    connect(m_connectionTimer, &QTimer::timeout, this, &EthernetLink::ConnectionTimerTimer);
    connect(&m_socket, &QTcpSocket::readyRead, &m_link, &DeviceLink::ClientSocket1Read);
    // Each event is queued together with the connection it belongs to.
    const auto deliver = [this](void (EthernetLink::*handler)()) {
        const int generation = m_state.generation;
        QMetaObject::invokeMethod(
            this,
            [this, generation, handler] {
                if (generation == m_state.generation)
                    (this->*handler)();
            },
            Qt::QueuedConnection);
    };
    connect(&m_socket, &QTcpSocket::connected, this,
            [deliver] { deliver(&EthernetLink::ClientSocket1Connect); });
    connect(&m_socket, &QTcpSocket::errorOccurred, this,
            [deliver] { deliver(&EthernetLink::ClientSocket1Error); });
}

void EthernetLink::attachDialog(EthernetEndpoint *dialog)
{
    m_dialog = dialog;
    if (m_dialog)
        m_dialog->attach(this);
}

void EthernetLink::closeClientSocket()
{
    ++m_state.generation;
    m_socket.abort();
}

void EthernetLink::EnetConnect1Click()
{
    m_state.userDisconnect = false;
    m_dialog->present();
}

bool EthernetLink::dialogMayAct() const
{
    return m_run.admits(m_state.dialogForRun ? RunControl::Requester::Run
                                             : RunControl::Requester::Operator);
}

bool EthernetLink::reconnectInDialog()
{
    if (!m_dialog)
        return false;
    m_state.userDisconnect = false;
    m_state.dialogForRun = true;
    m_dialog->runModal();
    m_state.dialogForRun = false;
    return true;
}

void EthernetLink::connectEthernet(EthernetConnectReport report)
{
    if (m_state.connectInProgress)
        return;
    m_state.connectInProgress = true;
    WaitCursor hourglass;
    if (m_link.tcpConnected()) {
        m_state.connectInProgress = false;
        return;
    }
    EthernetEndpoint &dialog = *m_dialog;
    const PortCheck portCheck = checkPort(dialog.portText());
    const std::optional<QHostAddress> unit = address(dialog.octetTexts());
    if (portCheck != PortCheck::Valid || !unit) {
        m_reports.showMessage(portCheck == PortCheck::TooLarge
                                  ? QStringLiteral("Error! Port # must be less than 65535")
                                  : QStringLiteral("Error! Invalid IP Address / Port #"));
        dialog.focusPortField();
    } else {
        closeClientSocket();
        m_state.connectOutcomePending = true;
        m_state.connectFailed = false;
        m_reports.show_status(QStringLiteral("Attempting Ethernet connection. Please wait...."));
        const quint16 port = *portNumber(dialog.portText());
        m_socket.connectToHost(*unit, port);
        dialog.setFieldsEnabled(false);
        m_state.connectTimedOut = false;
        m_connectionTimer->start();
        Timing::pump();
        waitForConnectOutcome(report, QStringLiteral("%1 port %2").arg(unit->toString()).arg(port));
    }
    if (m_link.tcpConnected()) {
        dialog.dismiss();
        m_link.setLastLinkKind(LinkKind::Ethernet);
    }
    m_state.connectInProgress = false;
    emit connectEnded();
}

// Until the connect event (or an error) clears the waiting mark; the connect event's prompt
// check therefore runs inside this wait.
void EthernetLink::waitForConnectOutcome(EthernetConnectReport report, const QString &target)
{
    const Timing::WaitEnd end =
        Timing::PollWait(
            [this] { return !m_state.connectOutcomePending; },
            [this](int polls) { return polls > ConnectPolls || m_state.connectTimedOut; })
            .stopWhen([this] { return m_state.userDisconnect; })
            .sleepFirst(1)
            .run();
    if (end == Timing::WaitEnd::LimitReached) {
        giveUpConnecting(report);
        m_reports.show_status(QStringLiteral("Ethernet connection to %1 timed out").arg(target));
    }
    m_connectionTimer->stop();
    if (m_state.connectOutcomePending) {
        // The operator disconnected meanwhile: the attempt is abandoned.
        closeClientSocket();
        m_state.connectOutcomePending = false;
        m_dialog->setFieldsEnabled(true);
    }
    // The status line says how the attempt ended, whoever reports it.
    if (m_state.connectFailed)
        m_reports.show_status(QStringLiteral("Ethernet connection to %1 failed: %2")
                                  .arg(target, m_state.connectError));
    if (m_state.connectFailed && report == EthernetConnectReport::Shown) {
        m_reports.showMessage(
            QStringLiteral("Error! Cannot connect to server/lost connection. Verify IP "
                           "Address and Port #"));
        endEthernetLink();
    }
}

void EthernetLink::giveUpConnecting(EthernetConnectReport report)
{
    m_connectionTimer->stop();
    closeClientSocket();
    m_dialog->setFieldsEnabled(true);
    if (report == EthernetConnectReport::Shown)
        m_reports.showMessage(QStringLiteral("Error! Cannot connect to server. Check IP Address"));
    setUp(false);
    m_state.connectOutcomePending = false;
    m_link.SetTryEnetAgainFlag(false);
}

void EthernetLink::ConnectionTimerTimer()
{
    m_connectionTimer->stop();
    m_state.connectTimedOut = true;
}

void EthernetLink::ClientSocket1Connect()
{
    if (!m_link.tcpConnected())
        return;
    m_socket.setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, SocketSendBuffer);
    const int generation = m_state.generation;
    const int errorsBefore = m_state.errors;
    emit connected(!m_link.reconnectUsed());
    m_state.connectOutcomePending = false;
    m_reports.show_status(QStringLiteral("Connection established. Verifying prompt...."));
    probeNewConnection();
    if (m_state.errors != errorsBefore)
        m_reports.showMessage(QStringLiteral("Note: Ethernet connection not responding."));
    // An error met during the check has been handled already, on this connection or a new one.
    if (generation != m_state.generation || !m_link.tcpConnected())
        return;
    m_reports.show_status(QStringLiteral("Connect via Ethernet successful"));
    if (!m_link.reconnectUsed())
        emit unitReady(true);
    m_state.connectOffered = false;
    setUp(true);
}

// The unit answers a new connection with its prompt: the one it last showed, else the other.
void EthernetLink::probeNewConnection()
{
    const DeviceLink::Probing probing(m_link);
    if (!m_link.SendCOMCmd_GetPrompt("\r") && m_link.tcpConnected()) {
        m_link.SetPromptChar(m_link.currentPrompt() == m_link.normalPrompt()
                                 ? m_link.loaderPrompt()
                                 : m_link.normalPrompt());
        m_link.SendCOMCmd_GetPrompt("\r");
    }
}

void EthernetLink::EnetDisconnect1Click()
{
    closeLink();
}

void EthernetLink::closeLink()
{
    if (!m_link.tcpConnected() && m_state.connectOffered)
        return;
    m_state.userDisconnect = true;
    m_link.endWait();
    closeClientSocket();
    m_reports.show_status(QStringLiteral("Ethernet connection closed"));
    emit unitReady(false);
    m_state.connectOffered = true;
    m_dialog->setFieldsEnabled(true);
    setUp(false);
    emit linkClosed();
}

int EthernetLink::ClientSocketTryAgain(bool clearFlag)
{
    // The new connection's prompt check goes through the command buffer too.
    const QByteArray interruptedCommand = m_link.commandBuffer();
    const bool answered = m_link.commandAnswered();
    closeLink();
    Timing::sleepMs(ReconnectPauseMs);
    // Unlike an operator's Disconnect, the reconnect waits for the outcome of its connect.
    m_state.userDisconnect = false;
    connectEthernet(EthernetConnectReport::Quiet);
    Timing::pump();
    if (!m_link.tcpConnected())
        return 0;
    emit unitReady(true);
    Timing::sleepMs(ResendPauseMs);
    // The run's command the unit may have missed goes again, but never one the unit answered
    // with its prompt before the connection failed, nor a file's header (that transfer has
    // been cancelled), nor a query's text, which goes without its line end (its capture has
    // failed), nor anything at all when no run is going.
    const bool wholeCommand =
        interruptedCommand.endsWith('\r') || interruptedCommand.endsWith('\n');
    if (m_run.going() && !m_run.uploadInFlight() && wholeCommand && !answered) {
        m_link.restoreCommand(interruptedCommand);
    }
    if (clearFlag)
        m_link.SetTryEnetAgainFlag(false);
    return 1;
}

void EthernetLink::ClientSocket1Error()
{
    ++m_state.errors;
    // A capture or prompt wait under way fails with the connection, even if a reconnect
    // follows: its answer cannot come over the new connection.
    const bool waitRunning = m_link.waitGoing();
    if (m_state.connectOutcomePending) {
        // The outcome of the connect attempt, which reports it.
        m_state.connectOutcomePending = false;
        m_state.connectFailed = true;
        m_state.connectError = m_socket.errorString();
    } else if (!m_state.handlingError) {
        m_state.handlingError = true;
        const bool wasUp = m_state.up;
        const QString lost = wasUp ? QStringLiteral("Error! Connection to server lost")
                                   : QStringLiteral("Error! Cannot connect to server/lost "
                                                    "connection.");
        if (m_run.uploadInFlight())
            m_run.cancel(lost, RunControl::Cause::LinkLost);
        if (m_link.reconnectUsed() || m_state.userDisconnect) {
            m_run.cancel(lost, RunControl::Cause::LinkLost);
            reportEthernetLoss(lost);
        } else {
            m_link.stopWatchdog();
            m_link.SetTryEnetAgainFlag(true);
            if (ClientSocketTryAgain(true) == 0)
                reportEthernetLoss(wasUp ? QStringLiteral("Error! Connection to server lost")
                                         : QStringLiteral("Error! Cannot connect to server/lost "
                                                          "connection. Verify IP Address and "
                                                          "Port #"));
        }
        m_state.handlingError = false;
    }
    if (waitRunning)
        m_link.failWait();
}

// The link is down for good: closed, reported, and the dialog ready for a new connect.
void EthernetLink::reportEthernetLoss(const QString &text)
{
    closeLink();
    m_reports.showMessage(text);
    endEthernetLink();
}

// The Ethernet box follows: ticked while connected and checked.
void EthernetLink::setUp(bool up)
{
    m_state.up = up;
    emit changed();
}

void EthernetLink::endEthernetLink()
{
    m_dialog->setFieldsEnabled(true);
    setUp(false);
    m_link.failWait();
    m_link.SetTryEnetAgainFlag(false);
}
