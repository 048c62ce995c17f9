// DeviceLink: the one way the rest of Tamrin talks to the unit.
//
// Every operation picks its transport the same way: the serial port if it is open, else the
// TCP client if it is connected, else nothing is sent. Waits are polling loops that let window
// messages run and sleep 1 ms per poll (serial prompt waits count 55 ms ticks instead), so the
// receive, timer and error handlers run nested inside them and report through flags: the
// capture flag, the wait-failed flag and the run control's cancel flag.
//
// The link owns its state (the prompt characters, the command and reply buffers, the capture
// and wait-failed flags), the command watchdog (CommandTimer) and the keep-alive
// (CCHECKTimer1); others change it only through operations that say what they mean (send a
// command, capture a reply, abort a wait, probe). It is handed the serial port, the TCP
// client, the run control and the operator's reports; what the unit says outside a capture
// goes out as a signal (received), and four hooks reach the Ethernet link's reconnects, its
// connection's number, and what ends a wait early.
//
// Every byte Tamrin sends to the unit goes through here, and the run control is asked first
// for what is not the run's own: keys the operator types (typeKey) and the keep-alive are
// refused while a run is going.
#pragma once

#include "link/LinkState.h"

#include <QByteArrayView>
#include <QObject>
#include <QString>

#include <functional>

class QTcpSocket;
class QTimer;
class OperatorReports;
class RunControl;
class SerialPort;

class DeviceLink : public QObject
{
    Q_OBJECT
public:
    struct Hooks
    {
        // A wait on a unit last reached over Ethernet finds no connection: try one, quietly.
        std::function<void()> reconnectEthernet;
        // The watchdog's one reconnect over TCP.
        std::function<void()> tryEthernetAgain;
        // A serial prompt wait ends at once when this holds (the window closes, the run's time
        // limit passed).
        std::function<bool()> stopWaiting;
        // The TCP connection's number: it changes with every connect and close.
        std::function<int()> connection;
    };

    // A capture sends its command, waits this long, and sends the line end: over the serial
    // port what came meanwhile (the command's echo) is dropped.
    static constexpr int CaptureSettleMs = 200;
    // A capture still without its reply a third of the way through its polls nudges the unit
    // with ".\r".
    static constexpr int NudgeFraction = 3;
    // A port being checked waits this many 55 ms ticks for each prompt.
    static constexpr int ProbeTicks = 8;

    DeviceLink(SerialPort &port, QTcpSocket &socket, RunControl &run, OperatorReports &reports,
               QObject *parent = nullptr);
    void setHooks(Hooks hooks) { m_hooks = std::move(hooks); }

    // Sending and waiting.
    void SendString(QByteArrayView text);
    void SendByte(QByteArrayView block);
    // Sends the command and waits for the current prompt: over the serial port up to 'ticks'
    // ticks of 55 ms (a port check's ProbeTicks while probing), over TCP a capture.
    bool SendCOMCmd_GetPrompt(QByteArrayView command,
                              int ticks = LinkState::DefaultPromptTicks);
    void SendCmdAndCapture(int pollLimit);
    void ResendCommand();
    // The run's command: kept, to go again if a reconnect interrupts it, and sent.
    void sendCommand(const QByteArray &command);
    // Sent once and never again, whatever reconnects: an upload's header.
    void sendOnce(const QByteArray &text);
    // A query: the command goes and what the unit says up to its prompt is captured (see
    // ReplyBuffer for the guard), for at most 'pollLimit' polls.
    void captureReply(const QByteArray &command, int promptGuard, int pollLimit);
    // A new connection puts back the command the lost one interrupted and sends it again.
    void restoreCommand(const QByteArray &command);
    void SetPromptChar(char c);
    void SetTryEnetAgainFlag(bool value);
    // A key the operator typed into the terminal pane: sent unless a run is going. Returns what
    // the pane shows of it itself (over TCP the unit does not echo).
    QByteArray typeKey(char typed);
    // The current wait ends at once as failed, and its watchdog stops.
    void abortWait();
    // The current wait ends as failed; its watchdog, if running, still runs.
    void failWait();
    // The current wait ends, neither failed nor answered, and its watchdog stops.
    void endWait();
    void stopWatchdog();
    // A capture is under way or the watchdog is timing a command.
    bool waitGoing() const;
    // The watchdog's time-out for the commands that follow, in milliseconds.
    void setWatchdogMs(int ms);
    // The keep-alive's period, in milliseconds.
    void setKeepAliveMs(int ms);
    // Keeps what the unit says from now until its first prompt (at most 200 bytes), whichever
    // wait or handler takes the bytes: what it printed after an upload's data.
    void startHearing();
    QByteArray stopHearing();
    // A prompt has come since the run's last command went: the unit answered it.
    bool commandAnswered() const { return m_state.commandAnswered; }

    // Handlers: bytes from the serial port (during a capture), bytes from the TCP client, the
    // watchdog's time-out and the keep-alive's tick.
    int ApdComPort1TriggerAvail(QByteArrayView delivery);
    void ClientSocket1Read();
    void CommandTimerTimer();
    void CCHECKTimer1Timer();

    // The transport in use.
    bool serialOpen() const;
    bool tcpConnected() const;
    Transport activeTransport() const;
    LinkIdentity currentLink() const;
    // A failure that has been reported already (a lost link, the watchdog) cancelled the run,
    // or the link went down for good, which its loss handling has reported: a command whose
    // wait it ended stops quietly instead of reporting it again.
    bool failureReported() const;

    // Prompts, commands and settings that the script, the upload and start-up set.
    char normalPrompt() const { return m_state.normalPrompt; }
    void setNormalPrompt(char c) { m_state.normalPrompt = c; }
    char loaderPrompt() const { return m_state.loaderPrompt; }
    void setLoaderPrompt(char c) { m_state.loaderPrompt = c; }
    char currentPrompt() const { return m_state.currentPrompt; }
    QByteArray loaderModeCommand() const { return m_state.loaderModeCommand; }
    void setLoaderModeCommand(const QByteArray &command) { m_state.loaderModeCommand = command; }
    QByteArray uploadKeyword() const { return m_state.uploadKeyword; }
    void setUploadKeyword(const QByteArray &keyword) { m_state.uploadKeyword = keyword; }
    QByteArray commandBuffer() const { return m_state.commandBuffer; }
    const ReplyBuffer &reply() const { return m_state.reply; }

    // The state of the current wait.
    bool probing() const { return m_state.probing; }
    bool capturing() const { return m_state.capturing; }
    bool waitFailed() const { return m_state.waitFailed; }

    // While one lives, the link is checking a port or a new connection for the unit: prompt
    // waits are short and the keep-alive is quiet. Checks do not nest: the first to end ends
    // the probing.
    class Probing
    {
    public:
        explicit Probing(DeviceLink &link) : m_link(link) { m_link.m_state.probing = true; }
        ~Probing() { m_link.m_state.probing = false; }
        Probing(const Probing &) = delete;
        Probing &operator=(const Probing &) = delete;

    private:
        DeviceLink &m_link;
    };

    // Reconnects and the keep-alive.
    bool reconnectUsed() const { return m_state.reconnectUsed; }
    LinkKind lastLinkKind() const { return m_state.lastLinkKind; }
    void setLastLinkKind(LinkKind kind) { m_state.lastLinkKind = kind; }
    bool keepAlive() const { return m_state.keepAlive; }
    // Held during runs and once the operator has typed; released when a run ends.
    void holdKeepAlive(bool held);
    const QTimer &commandTimer() const { return *m_commandTimer; }
    const QTimer &keepAliveTimer() const { return *m_keepAliveTimer; }

signals:
    // A block of an upload is about to be handed to the link, with its size.
    void blockSent(qsizetype size);
    // The serial port's output queue has emptied of the block just sent.
    void blockLeftQueue();
    // What the unit sent over TCP outside a capture, as the terminal pane shows it.
    void received(QByteArrayView bytes);

private:
    enum class Hearing
    {
        Off,
        Listening,
        PromptHeard
    };

    void sendCommandBuffer();
    void reportBlockFailure(const QString &failure);
    void hear(QByteArrayView bytes);
    void heardOverTcp(QByteArrayView bytes);
    void notePrompts(QByteArrayView bytes);
    QString sendTcpBlock(QByteArrayView block);
    QString sendSerialBlock(QByteArrayView block);
    bool pollUntil(const std::function<bool()> &done, int limit, Transport transport);

    SerialPort &m_port;
    QTcpSocket &m_socket;
    RunControl &m_run;
    OperatorReports &m_reports;
    Hooks m_hooks;
    LinkState m_state;
    QTimer *m_commandTimer = nullptr;
    QTimer *m_keepAliveTimer = nullptr;
    Hearing m_hearing = Hearing::Off;
    QByteArray m_heard;
};
