// The link core: the one way the rest of Tamrin talks to the unit.
//
// Every operation picks its transport the same way: the serial port if it is open, else the
// TCP client if it is connected, else nothing is sent. Waits are polling loops that let window
// messages run and sleep 1 ms per poll (serial prompt waits count 55 ms ticks instead), so the
// receive, timer and error handlers run nested inside them and report through flags: the
// capture flag, the wait-failed flag and the progress window's cancel flag.
#include "app/TamrinForm.h"

#include "app/TerminalPane.h"
#include "link/SerialPort.h"
#include "link/TerminalBytes.h"
#include "link/Timing.h"

#include <QLabel>
#include <QLineEdit>
#include <QTcpSocket>
#include <QTime>
#include <QTimer>

namespace {

constexpr int BufferPolls = 15000;
constexpr int CtsPolls = 5000;
constexpr int ProbeTicks = 8;
constexpr int TcpProbePolls = 280;
constexpr int TcpPromptPolls = 6000;
constexpr int CaptureSettleMs = 200;

const QString WatchdogText = QStringLiteral(
    "Timeout error! Connection failure! Please check RS232/Ethernet connection. Exiting script.");

void pollPause()
{
    Timing::pump();
    Timing::sleepMs(1);
}

} // namespace

void TTamrinForm::attachSerialPort()
{
    m_comPort->addReceiver([this](QByteArrayView bytes) { return ApdComPort1TriggerAvail(bytes); });
    m_comPort->addReceiver([this](QByteArrayView bytes) {
        AdTerminal1->WriteString(bytes);
        return int(bytes.size());
    });
    connect(m_comPort, &SerialPort::deviceLost, this, &TTamrinForm::onSerialDeviceLost);
    AdTerminal1->sendTypedByte = [this](char byte) {
        if (serialOpen())
            m_comPort->putBlock(QByteArrayView(&byte, 1));
    };
}

void TTamrinForm::SendString(QByteArrayView text)
{
    if (serialOpen()) {
        if (quint16(m_comPort->outputFree()) > text.size())
            m_comPort->putBlock(text);
        else
            showMessage(QStringLiteral("Error! Communications Port Output Buffer Overflow"));
    } else if (tcpConnected()) {
        m_clientSocket->write(text.data(), text.size());
        m_clientSocket->flush();
    }
}

void TTamrinForm::ResendCommand()
{
    if (serialOpen() || tcpConnected())
        SendString(link.commandBuffer);
}

void TTamrinForm::SetPromptChar(char c)
{
    link.currentPrompt = c;
}

void TTamrinForm::SetTryEnetAgainFlag(bool value)
{
    link.reconnectUsed = value;
}

void TTamrinForm::SendByte(QByteArrayView block)
{
    emit blockSent(block.size());
    if (serialOpen()) {
        const QString failure = sendSerialBlock(block);
        if (!failure.isEmpty()) {
            showMessage(failure);
            setCancelFlag(1);
        }
    } else if (tcpConnected()) {
        Timing::sleepMs(1);
        const QString failure = sendTcpBlock(block);
        if (!failure.isEmpty()) {
            showMessage(failure);
            setCancelFlag(1);
        }
        Timing::pump();
        Timing::sleepMs(1);
        Timing::pump();
    }
}

// Hands one block to the socket once what it still holds has drained below one block, so a
// file never piles up in memory ahead of the connection. Returns the failure text, or an
// empty text when the block was handed over (or the connection dropped, which its error
// handling reports).
QString TTamrinForm::sendTcpBlock(QByteArrayView block)
{
    const qint64 limit = std::max<qint64>(block.size(), 1);
    const bool drained = pollUntil([this, limit] { return m_clientSocket->bytesToWrite() < limit; },
                                   BufferPolls, Transport::Tcp);
    if (!tcpConnected())
        return QString();
    if (!drained)
        return QStringLiteral("Error! Output Buffer never empties. Check Ethernet connection. "
                              "Cancel upload.");
    m_clientSocket->write(block.data(), block.size());
    m_clientSocket->flush();
    return QString();
}

// Hands one block to the serial port and waits until it is on the line and CTS allows more.
// Returns the failure text, or an empty text when the block went out (or the device vanished,
// which its own handler reports).
QString TTamrinForm::sendSerialBlock(QByteArrayView block)
{
    if (quint16(m_comPort->outputFree()) < block.size())
        return QStringLiteral("Error! Communications Port Output Buffer Overflow. Cancel upload.");
    CommandTimer->start();
    m_comPort->putBlock(block);
    CommandTimer->stop();
    if (!pollUntil([this] { return quint16(m_comPort->outputUsed()) == 0; }, BufferPolls,
                   Transport::Serial))
        return QStringLiteral("Error! Output Buffer never empties. Check RS232 connection. "
                              "Cancel upload.");
    emit blockLeftQueue();
    if (!pollUntil([this] { return m_comPort->cts(); }, CtsPolls, Transport::Serial))
        return QStringLiteral("Error! CTS line not set. Check RS232 connection. Cancel upload.");
    m_comPort->flushOutput();
    return QString();
}

// Polls 'done' up to 'limit' times, letting messages run and sleeping 1 ms between polls.
// A transport that goes away meanwhile ends the wait as if it were done.
bool TTamrinForm::pollUntil(const std::function<bool()> &done, int limit, Transport transport)
{
    const auto finished = [&] { return activeTransport() != transport || done(); };
    for (int polls = 0; polls < limit; ++polls) {
        if (finished())
            return true;
        pollPause();
    }
    return finished();
}

bool TTamrinForm::SendCOMCmd_GetPrompt(QByteArrayView command)
{
    if (serialOpen()) {
        m_comPort->flushInput();
        SendString(command);
        const int ticks = link.probing ? ProbeTicks : link.promptTimeoutTicks;
        const bool found =
            m_comPort->waitForText(QByteArrayView(&link.currentPrompt, 1), ticks,
                                   [this] { return m_closing || startup.runTimedOut; });
        m_comPort->flushInput();
        m_comPort->flushOutput();
        return found;
    }
    // A unit last reached over Ethernet is looked for there again, unless the operator has
    // disconnected; a failed attempt is this wait's failure, which the caller reports.
    if (!tcpConnected() && link.lastLinkKind == LinkKind::Ethernet && !ethernet.userDisconnect &&
        m_windows.ethernet)
        connectEthernet(EthernetConnectReport::Quiet);
    if (!tcpConnected())
        return false;
    const LinkIdentity waitLink = currentLink();
    link.commandBuffer = command.toByteArray();
    link.promptGuard = 0;
    SendCmdAndCapture(link.probing ? TcpProbePolls : TcpPromptPolls);
    Timing::pump();
    Timing::sleepMs(100);
    Timing::pump();
    // A reconnect meanwhile checked its new connection with a wait of its own, whose outcome
    // says nothing about this one.
    const bool found = !link.waitFailed && currentLink() == waitLink;
    Timing::pump();
    return found;
}

void TTamrinForm::SendCmdAndCapture(int pollLimit)
{
    const bool overTcp = !serialOpen() && tcpConnected();
    if (!serialOpen() && !overTcp)
        return;
    const LinkIdentity waitLink = currentLink();
    link.capturing = false;
    link.waitFailed = false;
    link.reply.clear();
    if (!overTcp)
        m_comPort->flushInput();
    CommandTimer->start();
    link.capturing = true;
    SendString(link.commandBuffer);
    Timing::sleepMs(CaptureSettleMs);
    if (!overTcp) {
        // Whatever arrived meanwhile (the echo of the command) is not part of the reply.
        m_comPort->flushInput();
        SendString("\r");
    } else {
        SendString("\r\n");
    }
    int polls = 0;
    while (link.capturing && !link.waitFailed) {
        const bool transportGone = overTcp ? !tcpConnected() : !serialOpen();
        if (transportGone) {
            link.capturing = false;
            link.waitFailed = true;
            break;
        }
        pollPause();
        ++polls;
        if (polls == pollLimit) {
            link.capturing = false;
            link.waitFailed = true;
            break;
        }
        if (polls == pollLimit / 3)
            SendString(".\r");
    }
    CommandTimer->stop();
    // Whatever a reconnect's own check captured on another connection is not this reply.
    if (currentLink() != waitLink) {
        link.capturing = false;
        link.waitFailed = true;
        link.reply.clear();
    }
}

int TTamrinForm::ApdComPort1TriggerAvail(QByteArrayView delivery)
{
    if (!link.capturing)
        return 0;
    const char prompts[] = {link.normalPrompt, link.loaderPrompt};
    if (link.reply.deliver(delivery, QByteArrayView(prompts, 2), link.promptGuard))
        link.capturing = false;
    return int(delivery.size());
}

void TTamrinForm::ClientSocket1Read()
{
    if (link.capturing) {
        const QByteArray pending = m_clientSocket->readAll();
        if (link.reply.deliver(pending, QByteArrayView(&link.currentPrompt, 1), link.promptGuard))
            link.capturing = false;
        return;
    }
    // Outside a capture everything goes to the terminal pane.
    while (m_clientSocket->bytesAvailable() > 0)
        AdTerminal1->WriteString(TerminalBytes::shownFromTcp(m_clientSocket->read(999)));
}

void TTamrinForm::CommandTimerTimer()
{
    CommandTimer->stop();
    if (!tcpConnected() || link.reconnectUsed) {
        setCancelFlag(1);
        message_text = WatchdogText;
        showMessage(message_text);
        link.waitFailed = true;
        Timing::pump();
        return;
    }
    // Over TCP the first time-out gets one reconnect. The wait it interrupted has failed all
    // the same, and a file transfer does not go on over the new connection.
    SetTryEnetAgainFlag(true);
    if (m_run.uploadInFlight())
        setCancelFlag(1);
    ClientSocketTryAgain(false);
    link.capturing = false;
    link.waitFailed = true;
}

void TTamrinForm::CCHECKTimer1Timer()
{
    if (tcpConnected() && !link.probing && link.keepAlive && !runGoing())
        SendString("\r\n");
}

void TTamrinForm::Button1Click()
{
    const int count = TimingCountEdit->text().toInt();
    TimingStartLabel->setText(QTime::currentTime().toString(QStringLiteral("hh:mm:ss")));
    for (int i = 0; i < count; ++i)
        SendCOMCmd_GetPrompt("OTPM? 1\r");
    TimingEndLabel->setText(QTime::currentTime().toString(QStringLiteral("hh:mm:ss")));
}
