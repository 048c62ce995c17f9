// EthernetLink: the unit reached as a TCP client, from the Ethernet dialog's Connect to the
// link's end. It owns where a connect stands, how connection errors are being handled, the
// connect time-out (ConnectionTimer) and the connection's number, which changes with every
// connect and close so that an event of an earlier connection is dropped. It is handed the TCP
// client, DeviceLink (the prompt checks go through it), the run control, the operator's
// reports and the Ethernet dialog (as an EthernetEndpoint: its fields, and showing it). What
// the window shows of the link it reads from here when told (changed) or hears as events: the
// unit ready or not, a connect attempt over, a new connection, the link closed.
#pragma once

#include <QObject>
#include <QString>

class DeviceLink;
class OperatorReports;
class QTcpSocket;
class QTimer;
class RunControl;
class EthernetEndpoint;

// Whether a failed connect attempt tells the operator itself, or leaves that to its caller
// (a reconnect, a prompt wait).
enum class EthernetConnectReport
{
    Shown,
    Quiet
};

// The Ethernet link: where a connect stands and how its errors are being handled. The unit's
// address and port are the Ethernet dialog's fields.
struct EthernetState
{
    // A connect has been started and waits for its outcome; the dialog cannot be closed.
    bool connectOutcomePending = false;
    // A connect is being made, from its checks to its outcome: a second Connect press
    // returns at once.
    bool connectInProgress = false;
    // The connect attempt ended in an error instead of a connection.
    bool connectFailed = false;
    // Why it ended so, as the system says it ("Connection refused").
    QString connectError;
    // The 5000 ms connect time-out fired.
    bool connectTimedOut = false;
    // Set by Ethernet > Disconnect, cleared by Ethernet > Connect; ends a connect wait.
    bool userDisconnect = false;
    // A connection error is being handled; one arriving meanwhile is part of it.
    bool handlingError = false;
    // Connected and checked for the prompt: the Ethernet box is ticked.
    bool up = false;
    // No connection to close: Connect (and the port settings) are offered.
    bool connectOffered = true;
    // The dialog is open for a run's restart: its Connect is the run's own.
    bool dialogForRun = false;
    // Connection errors seen so far.
    int errors = 0;
    // Changes with every connect and every close: an event from an earlier connection is
    // stale, and a transfer can tell that its connection was replaced.
    int generation = 0;
};

class EthernetLink : public QObject
{
    Q_OBJECT
public:
    EthernetLink(QTcpSocket &socket, DeviceLink &link, RunControl &run, OperatorReports &reports,
                 QObject *parent = nullptr);
    // The dialog whose fields name the unit's address and port.
    void attachDialog(EthernetEndpoint *dialog);

    void EnetConnect1Click();
    // The operator's Disconnect: closeLink().
    void EnetDisconnect1Click();
    // The connection closed and the dialog ready for a new connect (unless there is nothing
    // to close and Connect is already offered).
    void closeLink();
    void connectEthernet(EthernetConnectReport report);
    void ClientSocket1Connect();
    void ClientSocket1Error();
    void ConnectionTimerTimer();
    int ClientSocketTryAgain(bool clearFlag);
    // Ends the TCP connection, whatever state it is in.
    void closeClientSocket();

    // The connection's number: it changes with every connect and close.
    int generation() const { return m_state.generation; }
    int errors() const { return m_state.errors; }
    bool up() const { return m_state.up; }
    bool connectOffered() const { return m_state.connectOffered; }
    bool connectOutcomePending() const { return m_state.connectOutcomePending; }
    bool userDisconnected() const { return m_state.userDisconnect; }
    // A restart in a run reopens the link in the dialog, which waits until it closes: the
    // operator connects again on the run's behalf. False when there is no dialog.
    bool reconnectInDialog();
    // The dialog's buttons may act: outside runs, or in the dialog a run opened.
    bool dialogMayAct() const;
    QTimer &connectionTimer() { return *m_connectionTimer; }

signals:
    // up() or connectOffered() changed.
    void changed();
    // The unit can be worked with over the link (a new connection answered), or no longer.
    void unitReady(bool ready);
    // A connect attempt is over, whatever its outcome.
    void connectEnded();
    // A new connection is being checked for the unit; 'fresh' unless it is the automatic
    // reconnect, whose pane keeps what it showed.
    void connected(bool fresh);
    // The link was closed.
    void linkClosed();

private:
    // 'target' names the address and port being connected to, for the status line.
    void waitForConnectOutcome(EthernetConnectReport report, const QString &target);
    void giveUpConnecting(EthernetConnectReport report);
    void probeNewConnection();
    void endEthernetLink();
    void setUp(bool up);
    void reportEthernetLoss(const QString &text);

    QTcpSocket &m_socket;
    DeviceLink &m_link;
    RunControl &m_run;
    OperatorReports &m_reports;
    EthernetEndpoint *m_dialog = nullptr;
    EthernetState m_state;
    QTimer *m_connectionTimer = nullptr;
};
