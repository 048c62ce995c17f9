#include "link/DeviceLink.h"

#include "base/OperatorReports.h"
#include "base/Timing.h"
#include "link/RunControl.h"
#include "link/SerialPort.h"
#include "link/TerminalBytes.h"

#include <QTcpSocket>
#include <QTimer>

namespace {

constexpr int BufferPolls = 15000;
constexpr int CtsPolls = 5000;
constexpr int TcpProbePolls = 280;
constexpr int TcpPromptPolls = 6000;
// What is kept of what the unit says after an upload's data.
constexpr int HeardLimit = 200;

const QString WatchdogText = QStringLiteral(
    "Timeout error! Connection failure! Please check RS232/Ethernet connection. Exiting script.");

} // namespace

DeviceLink::DeviceLink(SerialPort &port, QTcpSocket &socket, RunControl &run,
                       OperatorReports &reports, QObject *parent)
    : QObject(parent), m_port(port), m_socket(socket), m_run(run), m_reports(reports)
{
    const auto makeTimer = [this](int interval, void (DeviceLink::*handler)()) {
        QTimer *timer = Timing::protocolTimer(this, interval);
        connect(timer, &QTimer::timeout, this, handler);
        return timer;
    };
    m_commandTimer = makeTimer(15000, &DeviceLink::CommandTimerTimer);
    m_keepAliveTimer = makeTimer(6010, &DeviceLink::CCHECKTimer1Timer);
    m_keepAliveTimer->start();
}

bool DeviceLink::serialOpen() const
{
    return m_port.isOpen();
}

bool DeviceLink::tcpConnected() const
{
    return m_socket.state() == QAbstractSocket::ConnectedState;
}

Transport DeviceLink::activeTransport() const
{
    if (serialOpen())
        return Transport::Serial;
    return tcpConnected() ? Transport::Tcp : Transport::None;
}

bool DeviceLink::failureReported() const
{
    return m_run.cancelled() || activeTransport() == Transport::None;
}

LinkIdentity DeviceLink::currentLink() const
{
    const Transport transport = activeTransport();
    return {transport, transport == Transport::Tcp ? m_hooks.connection() : 0};
}

void DeviceLink::SendString(QByteArrayView text)
{
    if (serialOpen()) {
        if (quint16(m_port.outputFree()) > text.size())
            m_port.putBlock(text);
        else
            m_reports.showMessage(
                QStringLiteral("Error! Communications Port Output Buffer Overflow"));
    } else if (tcpConnected()) {
        m_socket.write(text.data(), text.size());
        m_socket.flush();
    }
}

void DeviceLink::ResendCommand()
{
    if (serialOpen() || tcpConnected())
        sendCommandBuffer();
}

void DeviceLink::sendCommand(const QByteArray &command)
{
    m_state.commandBuffer = command;
    ResendCommand();
}

void DeviceLink::sendOnce(const QByteArray &text)
{
    m_state.commandBuffer = text;
    ResendCommand();
    m_state.commandBuffer.clear();
}

void DeviceLink::captureReply(const QByteArray &command, int promptGuard, int pollLimit)
{
    m_state.commandBuffer = command;
    m_state.promptGuard = promptGuard;
    SendCmdAndCapture(pollLimit);
}

void DeviceLink::restoreCommand(const QByteArray &command)
{
    m_state.commandBuffer = command;
    SendString(command);
}

// The run's command goes; until a prompt comes back the unit has not answered it.
void DeviceLink::sendCommandBuffer()
{
    m_state.commandAnswered = false;
    SendString(m_state.commandBuffer);
}

QByteArray DeviceLink::typeKey(char typed)
{
    // During a run every byte on the link is the run's: a key would land inside a command or
    // a file's data.
    if (!m_run.admits(RunControl::Requester::Operator))
        return {};
    // The operator is talking to the unit: the keep-alive stays quiet until the next run ends.
    holdKeepAlive(true);
    if (serialOpen()) {
        m_port.putBlock(typed == TerminalBytes::Backspace
                            ? TerminalBytes::serialErase()
                            : QByteArray(1, TerminalBytes::serialByte(typed)));
        return {};
    }
    if (!tcpConnected())
        return {};
    m_socket.write(&typed, 1);
    return TerminalBytes::tcpEcho(typed);
}

void DeviceLink::holdKeepAlive(bool held)
{
    m_state.keepAlive = !held;
    if (held)
        m_keepAliveTimer->stop();
    else
        m_keepAliveTimer->start();
}

void DeviceLink::abortWait()
{
    failWait();
    stopWatchdog();
}

void DeviceLink::failWait()
{
    m_state.capturing = false;
    m_state.waitFailed = true;
}

void DeviceLink::endWait()
{
    m_state.capturing = false;
    stopWatchdog();
}

void DeviceLink::stopWatchdog()
{
    m_commandTimer->stop();
}

bool DeviceLink::waitGoing() const
{
    return m_state.capturing || m_commandTimer->isActive();
}

void DeviceLink::setWatchdogMs(int ms)
{
    m_commandTimer->setInterval(ms);
}

void DeviceLink::setKeepAliveMs(int ms)
{
    m_keepAliveTimer->setInterval(ms);
}

void DeviceLink::startHearing()
{
    m_heard.clear();
    m_hearing = Hearing::Listening;
    m_port.setListener([this](QByteArrayView bytes) { hear(bytes); });
}

QByteArray DeviceLink::stopHearing()
{
    m_hearing = Hearing::Off;
    m_port.setListener({});
    return m_heard.trimmed();
}

// Keeps what the unit says up to its first prompt, at most HeardLimit bytes of it.
void DeviceLink::hear(QByteArrayView bytes)
{
    for (const char byte : bytes) {
        if (m_hearing != Hearing::Listening)
            return;
        if (byte == m_state.normalPrompt || byte == m_state.loaderPrompt)
            m_hearing = Hearing::PromptHeard;
        else if (m_heard.size() < HeardLimit)
            m_heard += byte;
    }
}

// A prompt from the unit answers the command that went before it.
void DeviceLink::notePrompts(QByteArrayView bytes)
{
    if (bytes.contains(m_state.normalPrompt) || bytes.contains(m_state.loaderPrompt))
        m_state.commandAnswered = true;
}

void DeviceLink::SetPromptChar(char c)
{
    m_state.currentPrompt = c;
}

void DeviceLink::SetTryEnetAgainFlag(bool value)
{
    m_state.reconnectUsed = value;
}

void DeviceLink::SendByte(QByteArrayView block)
{
    emit blockSent(block.size());
    if (serialOpen()) {
        reportBlockFailure(sendSerialBlock(block));
    } else if (tcpConnected()) {
        Timing::sleepMs(1);
        reportBlockFailure(sendTcpBlock(block));
        Timing::pump();
        Timing::sleepMs(1);
        Timing::pump();
    }
}

// A block that could not be sent cancels the run; a run being ended (its time limit, a
// signal) cut the block's wait short, which is no failure of the link.
void DeviceLink::reportBlockFailure(const QString &failure)
{
    if (failure.isEmpty() || m_run.ending())
        return;
    m_reports.showMessage(failure);
    m_run.cancel(failure);
}

// Hands one block to the socket once what it still holds has drained below one block, so a
// file never piles up in memory ahead of the connection. Returns the failure text, or an
// empty text when the block was handed over (or the connection dropped, which its error
// handling reports).
QString DeviceLink::sendTcpBlock(QByteArrayView block)
{
    const qint64 limit = std::max<qint64>(block.size(), 1);
    const bool drained = pollUntil([this, limit] { return m_socket.bytesToWrite() < limit; },
                                   BufferPolls, Transport::Tcp);
    if (!tcpConnected())
        return QString();
    if (!drained)
        return QStringLiteral("Error! Output Buffer never empties. Check Ethernet connection. "
                              "Cancel upload.");
    m_socket.write(block.data(), block.size());
    m_socket.flush();
    return QString();
}

// Hands one block to the serial port and waits until it is on the line and CTS allows more.
// Returns the failure text, or an empty text when the block went out (or the device vanished,
// which its own handler reports).
QString DeviceLink::sendSerialBlock(QByteArrayView block)
{
    if (quint16(m_port.outputFree()) < block.size())
        return QStringLiteral("Error! Communications Port Output Buffer Overflow. Cancel upload.");
    m_commandTimer->start();
    m_port.putBlock(block);
    m_commandTimer->stop();
    if (!pollUntil([this] { return quint16(m_port.outputUsed()) == 0; }, BufferPolls,
                   Transport::Serial))
        return QStringLiteral("Error! Output Buffer never empties. Check RS232 connection. "
                              "Cancel upload.");
    emit blockLeftQueue();
    if (!pollUntil([this] { return m_port.cts(); }, CtsPolls, Transport::Serial))
        return QStringLiteral("Error! CTS line not set. Check RS232 connection. Cancel upload.");
    m_port.flushOutput();
    return QString();
}

// Polls 'done' up to 'limit' times, letting messages run and sleeping 1 ms between polls.
// A transport that goes away meanwhile ends the wait as if it were done.
bool DeviceLink::pollUntil(const std::function<bool()> &done, int limit, Transport transport)
{
    const auto finished = [&] { return activeTransport() != transport || done(); };
    return Timing::PollWait(finished, Timing::afterPolls(limit)).run() == Timing::WaitEnd::Held;
}

bool DeviceLink::SendCOMCmd_GetPrompt(QByteArrayView command, int promptTicks)
{
    if (serialOpen()) {
        m_port.flushInput();
        SendString(command);
        const int ticks = m_state.probing ? ProbeTicks : promptTicks;
        const bool found = m_port.waitForText(QByteArrayView(&m_state.currentPrompt, 1), ticks,
                                              [this] { return m_hooks.stopWaiting(); });
        m_port.flushInput();
        m_port.flushOutput();
        return found;
    }
    // A unit last reached over Ethernet is looked for there again, unless the operator has
    // disconnected; a failed attempt is this wait's failure, which the caller reports.
    if (!tcpConnected() && m_state.lastLinkKind == LinkKind::Ethernet)
        m_hooks.reconnectEthernet();
    if (!tcpConnected())
        return false;
    const LinkIdentity waitLink = currentLink();
    m_state.commandBuffer = command.toByteArray();
    m_state.promptGuard = 0;
    SendCmdAndCapture(m_state.probing ? TcpProbePolls : TcpPromptPolls);
    Timing::pump();
    Timing::sleepMs(100);
    Timing::pump();
    // A reconnect meanwhile checked its new connection with a wait of its own, whose outcome
    // says nothing about this one.
    const bool found = !m_state.waitFailed && currentLink() == waitLink;
    Timing::pump();
    return found;
}

void DeviceLink::SendCmdAndCapture(int pollLimit)
{
    const bool overTcp = !serialOpen() && tcpConnected();
    if (!serialOpen() && !overTcp)
        return;
    const LinkIdentity waitLink = currentLink();
    m_state.capturing = false;
    m_state.waitFailed = false;
    m_state.reply.clear();
    if (!overTcp)
        m_port.flushInput();
    m_commandTimer->start();
    m_state.capturing = true;
    sendCommandBuffer();
    Timing::sleepMs(CaptureSettleMs);
    if (!overTcp) {
        // Whatever arrived meanwhile (the echo of the command) is not part of the reply.
        m_port.flushInput();
        SendString("\r");
    } else {
        SendString("\r\n");
    }
    // The reader or the watchdog ends the capture; a third of the way the unit is nudged.
    const Timing::WaitEnd end =
        Timing::PollWait([this] { return !m_state.capturing || m_state.waitFailed; },
                         Timing::afterPolls(pollLimit))
            .stopWhen([this, overTcp] { return overTcp ? !tcpConnected() : !serialOpen(); })
            .afterEachPoll([this, pollLimit](int polls) {
                if (polls == pollLimit / NudgeFraction)
                    SendString(".\r");
            })
            .run();
    if (end != Timing::WaitEnd::Held) {
        m_state.capturing = false;
        m_state.waitFailed = true;
    }
    m_commandTimer->stop();
    // Whatever a reconnect's own check captured on another connection is not this reply.
    if (currentLink() != waitLink) {
        m_state.capturing = false;
        m_state.waitFailed = true;
        m_state.reply.clear();
    }
}

int DeviceLink::ApdComPort1TriggerAvail(QByteArrayView delivery)
{
    notePrompts(delivery);
    if (!m_state.capturing)
        return 0;
    const char prompts[] = {m_state.normalPrompt, m_state.loaderPrompt};
    if (m_state.reply.deliver(delivery, QByteArrayView(prompts, 2), m_state.promptGuard))
        m_state.capturing = false;
    return int(delivery.size());
}

void DeviceLink::ClientSocket1Read()
{
    if (m_state.capturing) {
        const QByteArray pending = m_socket.readAll();
        heardOverTcp(pending);
        if (m_state.reply.deliver(pending, QByteArrayView(&m_state.currentPrompt, 1),
                                  m_state.promptGuard))
            m_state.capturing = false;
        return;
    }
    // Outside a capture everything goes to the terminal pane.
    while (m_socket.bytesAvailable() > 0) {
        const QByteArray bytes = m_socket.read(999);
        heardOverTcp(bytes);
        emit received(TerminalBytes::shownFromTcp(bytes));
    }
}

void DeviceLink::heardOverTcp(QByteArrayView bytes)
{
    notePrompts(bytes);
    if (m_hearing != Hearing::Off)
        hear(bytes);
}

void DeviceLink::CommandTimerTimer()
{
    m_commandTimer->stop();
    if (!tcpConnected() || m_state.reconnectUsed) {
        m_run.cancel(WatchdogText);
        m_reports.reportFailure(WatchdogText);
        m_state.waitFailed = true;
        Timing::pump();
        return;
    }
    // Over TCP the first time-out gets one reconnect. The wait it interrupted has failed all
    // the same, and a file transfer does not go on over the new connection.
    SetTryEnetAgainFlag(true);
    if (m_run.uploadInFlight())
        m_run.cancel(WatchdogText);
    m_hooks.tryEthernetAgain();
    m_state.capturing = false;
    m_state.waitFailed = true;
}

void DeviceLink::CCHECKTimer1Timer()
{
    if (tcpConnected() && !m_state.probing && m_state.keepAlive &&
        m_run.admits(RunControl::Requester::Operator))
        SendString("\r\n");
}
