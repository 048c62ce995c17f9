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
#include "app/TamrinForm.h"

#include "app/TerminalPane.h"
#include "app/WaitCursor.h"
#include "link/ClientSocketForm.h"
#include "link/EthernetFields.h"
#include "link/Timing.h"
#include "upload/ProgressForm.h"

#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QTcpSocket>
#include <QTimer>

using namespace EthernetFields;

namespace {

constexpr int ConnectPolls = 5000;
constexpr int ReconnectPauseMs = 200;
constexpr int ResendPauseMs = 900;
// What the system may hold of a transfer beyond the block being handed over: small, so that
// a block counted as sent is on its way to the unit rather than waiting in this computer.
constexpr int SocketSendBuffer = 8192;

} // namespace

void TTamrinForm::attachClientSocket()
{
    connect(m_clientSocket, &QTcpSocket::readyRead, this, &TTamrinForm::ClientSocket1Read);
    // Each event is queued together with the connection it belongs to.
    const auto deliver = [this](void (TTamrinForm::*handler)()) {
        const int generation = ethernet.generation;
        QMetaObject::invokeMethod(
            this,
            [this, generation, handler] {
                if (generation == ethernet.generation)
                    (this->*handler)();
            },
            Qt::QueuedConnection);
    };
    connect(m_clientSocket, &QTcpSocket::connected, this,
            [deliver] { deliver(&TTamrinForm::ClientSocket1Connect); });
    connect(m_clientSocket, &QTcpSocket::errorOccurred, this,
            [deliver] { deliver(&TTamrinForm::ClientSocket1Error); });
}

void TTamrinForm::closeClientSocket()
{
    ++ethernet.generation;
    m_clientSocket->abort();
}

void TTamrinForm::EnetConnect1Click()
{
    ethernet.userDisconnect = false;
    m_windows.ethernet->show();
    m_windows.ethernet->raise();
    m_windows.ethernet->activateWindow();
}

void TTamrinForm::connectEthernet(EthernetConnectReport report)
{
    if (ethernet.connectInProgress)
        return;
    ethernet.connectInProgress = true;
    WaitCursor hourglass;
    if (tcpConnected()) {
        ethernet.connectInProgress = false;
        return;
    }
    TClientSocketForm &dialog = *m_windows.ethernet;
    const PortCheck portCheck = checkPort(dialog.portText());
    const std::optional<QHostAddress> unit = address(dialog.octetTexts());
    if (portCheck != PortCheck::Valid || !unit) {
        showMessage(portCheck == PortCheck::TooLarge
                        ? QStringLiteral("Error! Port # must be less than 65535")
                        : QStringLiteral("Error! Invalid IP Address / Port #"));
        dialog.focusPortField();
    } else {
        closeClientSocket();
        ethernet.connectOutcomePending = true;
        ethernet.connectFailed = false;
        show_status(QStringLiteral("Attempting Ethernet connection. Please wait...."));
        m_clientSocket->connectToHost(*unit, *portNumber(dialog.portText()));
        dialog.setFieldsEnabled(false);
        ethernet.connectTimedOut = false;
        ConnectionTimer->start();
        Timing::pump();
        waitForConnectOutcome(report);
    }
    if (tcpConnected()) {
        if (dialog.isVisible())
            dialog.hide();
        m_link->setLastLinkKind(LinkKind::Ethernet);
    }
    ethernet.connectInProgress = false;
    AdTerminal1DblClick();
}

// Until the connect event (or an error) clears the waiting mark; the connect event's prompt
// check therefore runs inside this wait.
void TTamrinForm::waitForConnectOutcome(EthernetConnectReport report)
{
    for (int polls = 0; ethernet.connectOutcomePending && !ethernet.userDisconnect; ++polls) {
        if (polls > ConnectPolls || ethernet.connectTimedOut) {
            giveUpConnecting(report);
            break;
        }
        Timing::sleepMs(1);
        Timing::pump();
    }
    ConnectionTimer->stop();
    if (ethernet.connectOutcomePending) {
        // The operator disconnected meanwhile: the attempt is abandoned.
        closeClientSocket();
        ethernet.connectOutcomePending = false;
        m_windows.ethernet->setFieldsEnabled(true);
    }
    if (ethernet.connectFailed && report == EthernetConnectReport::Shown) {
        showMessage(QStringLiteral("Error! Cannot connect to server/lost connection. Verify IP "
                                   "Address and Port #"));
        endEthernetLink();
    }
}

void TTamrinForm::giveUpConnecting(EthernetConnectReport report)
{
    ConnectionTimer->stop();
    m_windows.ethernet->DisconnectButtonClick();
    if (report == EthernetConnectReport::Shown)
        showMessage(QStringLiteral("Error! Cannot connect to server. Check IP Address"));
    EthernetCheckBox->setChecked(false);
    ethernet.connectOutcomePending = false;
    SetTryEnetAgainFlag(false);
}

void TTamrinForm::ConnectionTimerTimer()
{
    ConnectionTimer->stop();
    ethernet.connectTimedOut = true;
}

void TTamrinForm::ClientSocket1Connect()
{
    if (!tcpConnected())
        return;
    m_clientSocket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, SocketSendBuffer);
    const int generation = ethernet.generation;
    const int errorsBefore = ethernet.errors;
    if (!m_link->reconnectUsed())
        AdTerminal1->ClearAll();
    AdTerminal1->setEnabled(true);
    AdTerminal1->setFocus();
    ethernet.connectOutcomePending = false;
    show_status(QStringLiteral("Connection established. Verifying prompt...."));
    m_link->setProbing(true);
    if (!SendCOMCmd_GetPrompt("\r") && tcpConnected()) {
        SetPromptChar(m_link->currentPrompt() == m_link->normalPrompt() ? m_link->loaderPrompt()
                                                              : m_link->normalPrompt());
        SendCOMCmd_GetPrompt("\r");
    }
    m_link->setProbing(false);
    if (ethernet.errors != errorsBefore)
        showMessage(QStringLiteral("Note: Ethernet connection not responding."));
    // An error met during the check has been handled already, on this connection or a new one.
    if (generation != ethernet.generation || !tcpConnected())
        return;
    show_status(QStringLiteral("Connect via Ethernet successful"));
    if (!m_link->reconnectUsed())
        enable_btns();
    ConfigMenu->setEnabled(false);
    EnetConnect1->setEnabled(false);
    EthernetCheckBox->setChecked(true);
    ethernet.up = true;
}

void TTamrinForm::EnetDisconnect1Click()
{
    if (!tcpConnected() && EnetConnect1->isEnabled())
        return;
    ethernet.userDisconnect = true;
    m_link->setCapturing(false);
    m_link->commandTimer().stop();
    closeClientSocket();
    ethernet.up = false;
    show_status(QStringLiteral("Ethernet connection closed"));
    disable_btns();
    ConfigMenu->setEnabled(true);
    EnetConnect1->setEnabled(true);
    m_windows.ethernet->setFieldsEnabled(true);
    EthernetCheckBox->setChecked(false);
    if (m_windows.progress)
        m_windows.progress->HideProgressForm();
}

int TTamrinForm::ClientSocketTryAgain(bool clearFlag)
{
    // The new connection's prompt check goes through the command buffer too.
    const QByteArray interruptedCommand = m_link->commandBuffer();
    EnetDisconnect1Click();
    Timing::sleepMs(ReconnectPauseMs);
    // Unlike an operator's Disconnect, the reconnect waits for the outcome of its connect.
    ethernet.userDisconnect = false;
    connectEthernet(EthernetConnectReport::Quiet);
    Timing::pump();
    if (!tcpConnected())
        return 0;
    enable_btns();
    Timing::sleepMs(ResendPauseMs);
    // The run's command the unit may have missed goes again, but never a file's header (that
    // transfer has been cancelled), nor a query's text, which goes without its line end (its
    // capture has failed), nor anything at all when no run is going.
    const bool wholeCommand =
        interruptedCommand.endsWith('\r') || interruptedCommand.endsWith('\n');
    if (runGoing() && !m_run.uploadInFlight() && wholeCommand) {
        m_link->setCommandBuffer(interruptedCommand);
        SendString(m_link->commandBuffer());
    }
    if (clearFlag)
        SetTryEnetAgainFlag(false);
    return 1;
}

void TTamrinForm::ClientSocket1Error()
{
    ++ethernet.errors;
    // A capture or prompt wait under way fails with the connection, even if a reconnect
    // follows: its answer cannot come over the new connection.
    const bool waitRunning = m_link->capturing() || m_link->commandTimer().isActive();
    if (ethernet.connectOutcomePending) {
        // The outcome of the connect attempt, which reports it.
        ethernet.connectOutcomePending = false;
        ethernet.connectFailed = true;
    } else if (!ethernet.handlingError) {
        ethernet.handlingError = true;
        if (m_run.uploadInFlight())
            setCancelFlag(1);
        const bool wasUp = ethernet.up;
        if (m_link->reconnectUsed() || ethernet.userDisconnect) {
            setCancelFlag(1);
            reportEthernetLoss(wasUp ? QStringLiteral("Error! Connection to server lost")
                                     : QStringLiteral("Error! Cannot connect to server/lost "
                                                      "connection."));
        } else {
            m_link->commandTimer().stop();
            SetTryEnetAgainFlag(true);
            if (ClientSocketTryAgain(true) == 0)
                reportEthernetLoss(wasUp ? QStringLiteral("Error! Connection to server lost")
                                         : QStringLiteral("Error! Cannot connect to server/lost "
                                                          "connection. Verify IP Address and "
                                                          "Port #"));
        }
        ethernet.handlingError = false;
    }
    if (waitRunning) {
        m_link->setCapturing(false);
        m_link->setWaitFailed(true);
    }
}

// The link is down for good: closed, reported, and the dialog ready for a new connect.
void TTamrinForm::reportEthernetLoss(const QString &text)
{
    EnetDisconnect1Click();
    showMessage(text);
    endEthernetLink();
}

void TTamrinForm::endEthernetLink()
{
    m_windows.ethernet->setFieldsEnabled(true);
    EthernetCheckBox->setChecked(false);
    m_link->setWaitFailed(true);
    SetTryEnetAgainFlag(false);
}
