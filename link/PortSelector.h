// PortSelector: which serial port reaches the unit. It checks one port for the unit through
// DeviceLink's prompt wait, searches COM1 to COM14, answers the COM Port, Baud and None menu
// entries, falls back to the configured port when no unit answered, and handles a device that
// vanishes. It owns the serial selection (the configured port, the last good one, the port
// shown as selected, the Use COM choice and the refusals noted in the current look) and is
// handed the serial port, DeviceLink, the run control and the operator's reports. The window
// reads the selection when told it changed, and hears the rest as events: a port check begins
// and ends, the unit ready or not, the line lights live or not, the operator's port answered,
// the port closed.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class DeviceLink;
class OperatorReports;
class RunControl;
class SerialPort;

// Which serial port reaches the unit.
struct SerialSelection
{
    // From the settings file; 0 = none configured.
    int configuredComPort = 0;
    // The last port on which the unit answered; 0 = never.
    int lastGoodComPort = 0;
    // The port shown as the one in use; 0 = None.
    int shownPort = 0;
    // While a serial port reaches the unit Ethernet is not offered.
    bool ethernetOffered = true;
    // The Use COM choice, and whether the operator may still change it (not once a search
    // or a station's start has settled the port).
    bool useCom = false;
    bool useComLocked = false;
    // The notes of ports that would not open, given in the current look for the unit (the
    // start-up, or one of the operator's selections and searches): each is given once.
    QStringList refusalsNoted;
};

class PortSelector : public QObject
{
    Q_OBJECT
public:
    PortSelector(SerialPort &port, DeviceLink &link, RunControl &run, OperatorReports &reports,
                 QObject *parent = nullptr);

    int check_com(int portNumber);
    int process_com();
    void SelectComPort(int portNumber);
    void OpenConfiguredComPort();
    // The operator's None: closePort().
    void NoneMenuClick();
    // The serial port closed and none selected; Ethernet offered instead.
    void closePort();
    void SearchAllMenuClick();
    void BaudMenuClick(int baud);
    // The operator ticked or cleared Use COM.
    void ComCheckBoxClick(bool checked);
    void onSerialDeviceLost(int portNumber);

    int configuredComPort() const { return m_selection.configuredComPort; }
    void setConfiguredComPort(int portNumber) { m_selection.configuredComPort = portNumber; }
    int lastGoodComPort() const { return m_selection.lastGoodComPort; }
    void setLastGoodComPort(int portNumber) { m_selection.lastGoodComPort = portNumber; }
    const SerialSelection &selection() const { return m_selection; }
    // Use COM stays as it is from now on.
    void lockUseCom();

signals:
    // The selection as shown changed: the port, the baud rate, Ethernet offered, Use COM.
    void changed();
    // A port is being checked (the notice says which, before the check blocks the thread),
    // and the check is over.
    void portCheckStarted(const QString &notice);
    void portCheckEnded();
    // The unit can be worked with over the serial port, or not.
    void unitReady(bool ready);
    // The line lights follow the open port, or not.
    void linesLive(bool live);
    // The operator chose a port (COM Port menu), and it answered.
    void portChosen();
    void chosenPortAnswered();
    // The port was closed and none selected.
    void portClosed();

private:
    bool probeForPrompt(int portNumber);

    SerialPort &m_port;
    DeviceLink &m_link;
    RunControl &m_run;
    OperatorReports &m_reports;
    SerialSelection m_selection;
};
