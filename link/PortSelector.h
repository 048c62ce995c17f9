// PortSelector: which serial port reaches the unit. It checks one port for the unit through
// DeviceLink's prompt wait, searches COM1 to COM14, answers the COM Port, Baud and None menu
// entries, falls back to the configured port when no unit answered, and handles a device that
// vanishes. It owns the serial selection (the configured port, the last good one and the
// refusals noted in the current look) and is handed the serial port, DeviceLink, the run
// control and the window's view of the port: status line, message boxes, the information
// window's notice, labels, the Use COM box, the line lights, buttons and menus.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class DeviceLink;
class RunControl;
class SerialPort;

// Which serial port reaches the unit.
struct SerialSelection
{
    // From the settings file; 0 = none configured.
    int configuredComPort = 0;
    // The last port on which the unit answered; 0 = never.
    int lastGoodComPort = 0;
    // The notes of ports that would not open, given in the current look for the unit (the
    // start-up, or one of the operator's selections and searches): each is given once.
    QStringList refusalsNoted;
};

class PortSelector
{
public:
    struct View
    {
        std::function<void(const QString &)> showStatus;
        std::function<void(const QString &)> showMessage;
        // The same, for a failure the window also keeps as its message text.
        std::function<void(const QString &)> reportFailure;
        // The information window's notice while a port is checked, drawn before the check
        // blocks the thread; and its end.
        std::function<void(const QString &)> showNotice;
        std::function<void()> hideNotice;
        std::function<void(const QString &)> showComNumber;
        std::function<void(int)> showBaudRate;
        // Ethernet offered in the menus (while no serial port reaches the unit), or not.
        std::function<void(bool)> offerEthernet;
        std::function<void(bool)> checkCom;
        std::function<bool()> comChecked;
        // The Use COM box stays as it is: the search found the unit.
        std::function<void()> lockComBox;
        // The line lights follow the port, or not.
        std::function<void(bool)> monitorLines;
        std::function<void()> enableButtons;
        std::function<void()> disableButtons;
        std::function<void()> clearPane;
        std::function<void()> hideEthernetDialog;
        std::function<void()> hideProgress;
    };

    PortSelector(SerialPort &port, DeviceLink &link, RunControl &run);
    void setView(View view) { m_view = std::move(view); }

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
    void ComCheckBoxClick();
    void onSerialDeviceLost(int portNumber);

    int configuredComPort() const { return m_selection.configuredComPort; }
    void setConfiguredComPort(int portNumber) { m_selection.configuredComPort = portNumber; }
    int lastGoodComPort() const { return m_selection.lastGoodComPort; }
    void setLastGoodComPort(int portNumber) { m_selection.lastGoodComPort = portNumber; }

private:
    bool probeForPrompt(int portNumber);

    SerialPort &m_port;
    DeviceLink &m_link;
    RunControl &m_run;
    View m_view;
    SerialSelection m_selection;
};
