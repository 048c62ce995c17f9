// The main window: Tamrin's one working window, its widgets, menus and operator-facing
// handlers, and the place where the subsystems are wired together.
//
// Each subsystem is a class that owns its state and is handed what it may use:
//   RunControl    the gate to the unit: whether a run, a transfer or an upload is going,
//                 and the one cancel with its reason
//   DeviceLink    the link to the unit: sending, prompt waits, reply capture, the watchdog
//                 and the keep-alive (serial port, TCP client, run control)
//   EthernetLink  the TCP client's connects, errors and reconnects (DeviceLink, the Ethernet
//                 dialog)
//   PortSelector  which serial port reaches the unit (serial port, DeviceLink)
//   Uploader      the load chain, the transfer and the record line (DeviceLink, the progress
//                 window)
//   ScriptRunner  the script run, its command table and the query state (DeviceLink, the
//                 port selection and the Ethernet link that _ST restarts, Uploader)
// Each is also handed the run control and the window as its OperatorReports (the status line,
// message boxes, the script's message and question). None decides what the window shows: each
// owns the state the window shows of it and says what happened as signals, which the window
// answers (app/TamrinFormLink.cpp, TamrinFormUpload.cpp, TamrinFormScript.cpp), and
// applyLinkState() sets the controls from that state and the run control. DeviceLink alone
// keeps hooks: the Ethernet link's reconnects, its connection's number, and what ends a wait.
//
// The window keeps the names of its operations and handlers that something calls on it
// (SendString, check_com, read_ini, SelectComPort, ...), each a one-line delegation, and its
// own start-up settings (TamrinState.h). The rest live only on the subsystem that does them:
//   DeviceLink    SendCmdAndCapture, ResendCommand, SetTryEnetAgainFlag, ClientSocket1Read,
//                 CommandTimerTimer, CCHECKTimer1Timer, currentLink, failureReported
//   EthernetLink  ClientSocket1Connect, ClientSocket1Error, ConnectionTimerTimer,
//                 ClientSocketTryAgain, closeClientSocket
//   Uploader      get_file_checksum, get_date, scriptUpload, SendRawFile, startUploadRecord,
//                 recordUpload
//   ScriptRunner  ExecuteScriptLine
//
// Every long operation runs inside the handler that started it, on the window thread; its
// waits let window messages run, so receive, timer and error handlers run nested in them and
// talk to the waiting code through flags.
//
// From a run's start to its end nothing of the operator's reaches the unit or changes the
// link: the COM Port, Baud and Ethernet entries, the timing controls, Send File and the script
// button are greyed, and their handlers refuse (the run control's gate). A stop from outside
// (the time limit, a signal; ProcessGuard) cancels the run at once; outside a run a signal
// closes the window, or in automatic mode ends it with its run record.
#pragma once

#include "app/StationRequest.h"
#include "app/TamrinState.h"
#include "base/OperatorReports.h"
#include "link/DeviceLink.h"
#include "link/EthernetLink.h"
#include "link/PortSelector.h"
#include "link/RunControl.h"
#include "script/ScriptRunner.h"
#include "upload/RecordLog.h"
#include "upload/Uploader.h"

#include <QMainWindow>

#include <array>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QFile;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTcpSocket;
class QTimer;
class ProcessGuard;
class StationProgress;
class SerialPort;
class StatusLightController;
class TerminalPane;
class TClientSocketForm;
class TInfoForm;
class TProgressForm;
class TSplashForm;
struct LoaderSettings;

// The other windows of the application, created after the main window.
struct CompanionWindows
{
    TProgressForm *progress = nullptr;
    TClientSocketForm *ethernet = nullptr;
    TSplashForm *splash = nullptr;
    TInfoForm *info = nullptr;
};

class TTamrinForm : public QMainWindow, private OperatorReports
{
    Q_OBJECT
public:
    explicit TTamrinForm(QWidget *parent = nullptr);
    ~TTamrinForm() override;

    void attachWindows(const CompanionWindows &windows);
    // How the process ends; tests replace it. The default closes the ports and exits.
    void setExitProcess(std::function<void(int status)> exit) { exitProcess = std::move(exit); }
    // Where the window runs: at a screen with an operator, or an unattended station.
    void setStation(const StationSettings &station) { startup.station = station; }
    // What brings the time limit and signals to the window; without one neither stops a run.
    void setProcessGuard(ProcessGuard *guard);
    // Start as a station (tamrin --run): the request overrides the settings file.
    void setStationRequest(const StationRequest &request);

    // Status line and buttons.
    void show_status(const QString &text) override;
    QString statusText() const;
    void disable_btns();
    void enable_btns();
    QString messageText() const { return message_text; }
    // Link core.
    void SendString(QByteArrayView text);
    void SendByte(QByteArrayView block);
    bool SendCOMCmd_GetPrompt(QByteArrayView command);
    void SetPromptChar(char c);
    void Button1Click();

    // Script engine.
    void PickButtonClick();
    int read_ini();
    void ClearScriptLines();

    // File upload.
    void SendFile1Click();

    // Ethernet link.
    void EnetConnect1Click();
    void EnetDisconnect1Click();
    void connectEthernet(EthernetConnectReport report);

    // Serial port selection.
    int check_com(int portNumber);
    int process_com();
    void SelectComPort(int portNumber);
    void NoneMenuClick();
    void SearchAllMenuClick();
    void BaudMenuClick(int baud);
    void ComCheckBoxClick();

    // Terminal pane menus.
    void VisibleMenuClick();
    void setTerminalBackground(int entry);
    void TerminalFonts1Click();
    void AdTerminal1DblClick();
    bool AdTerminal1KeyPress(char &key);

    // Main window.
    void ExitMenuClick();
    void VersionLabelClick();

    // Transport state.
    bool serialOpen() const;
    bool tcpConnected() const;

    // Parts that other subsystems and tests reach.
    SerialPort &comPort() { return *m_comPort; }
    DeviceLink &deviceLink() { return *m_link; }
    EthernetLink &ethernetLink() { return *m_ethernet; }
    PortSelector &portSelector() { return *m_ports; }
    Uploader &uploader() { return *m_uploader; }
    ScriptRunner &scriptRunner() { return *m_script; }
    QTcpSocket &clientSocket() { return *m_clientSocket; }
    TerminalPane &terminal() { return *AdTerminal1; }
    StatusLightController &statusLights() { return *m_lights; }
    TInfoForm *infoForm() const { return m_windows.info; }
    RunControl &runControl() { return m_run; }
    // 1 when the run was cancelled (the progress window's flag).
    int cancelFlag() const { return m_run.cancelled() ? 1 : 0; }

signals:
    // A block of an upload is about to be handed to the link, with its size.
    void blockSent(qsizetype size);
    // The serial port's output queue has emptied of the block just sent.
    void blockLeftQueue();

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // What the subsystems tell the operator, and ask (OperatorReports). A message box of the
    // program's own shown during a run marks the run as failed.
    void showMessage(const QString &text) override;
    void reportFailure(const QString &text) override;
    void showScriptMessage(const QString &text) override;
    bool askOperator(const QString &text) override;

    // A script run or Send File, from its start to its end. Nothing outside it may reach the
    // unit or start another run meanwhile, whatever reconnects in between.
    void startRunning();
    void stopRunning();
    bool runGoing() const { return m_run.going(); }

    // Start-up.
    void FormShow();
    void read_defaults();
    void applySettings(const LoaderSettings &settings);

    // Handlers that only the window's own controls, timers and receivers call.
    int ApdComPort1TriggerAvail(QByteArrayView delivery);
    void UploadButtonClick();
    void OpenConfiguredComPort();
    void setTerminalTextColour(int entry);
    void Clear1Click();
    void JustUploadTimerTimer();
    // Takes a stop request (time limit, signal) waiting with the process guard, if any.
    void takeStopRequest();
    Transport activeTransport() const;

    void buildControls();
    void buildSerialBox(QWidget *client);
    void buildTimingTest(QWidget *client);
    void buildMenus();
    void buildComPortMenu();
    void buildTimers();
    void nameControls();
    QAction *addAction(QMenu *menu, const QString &caption, const char *name,
                       std::function<void()> handler);
    void attachSerialPort();
    void attachEthernetLink();
    void attachPortSelector();
    void attachUploader();
    void attachScriptRunner();
    void attachDeviceLink();
    void endProcess(int status);
    void automaticRun();
    int automaticRunStatus(int result) const;
    void boundTheRun();
    void stopTheRun(int status, const QString &message, const QString &reason);
    RunRecord runRecordOf(int status, const QString &reason) const;
    void endWithRunRecord(int status);
    void findUnitOnSerialPorts();
    void noteUnitElsewhere(int configured);
    int runAttempt();
    QString runFailureReason() const;

    // A station's start and attempts (StationStart.cpp).
    bool applyStationRequest();
    bool cannotStart(const QString &path, const QString &error);
    int stationPortNumber() const;
    QString stationPortName() const;
    void reachStationUnit(int waitSeconds);
    bool reachStationPort(int waitSeconds);
    bool waitForSerialPort(int portNumber, int seconds);
    bool connectStationTcp(int waitSeconds);
    void noteStationLink();
    bool retryWanted(int status, int attempt) const;
    void startNextAttempt(int attempt);
    void tellProgress(const QString &phase);
    bool operatorMay() const;
    void applyLinkState();
    // The buttons follow whether the unit can be worked with (and a run holds them).
    void showUnitReady(bool ready);
    void hideEthernetDialog();
    void hideProgressWindow();
    void setClientHeight(int height);
    // The terminal pane shown (the window at its full height) or hidden, and the check mark.
    void showTerminal(bool show);
    void runChosenFile(const std::function<void(const QString &)> &work);

    void applyTerminalSettings(const LoaderSettings &settings);
    void applySerialSettings(const LoaderSettings &settings);

    CompanionWindows m_windows;
    RunControl m_run;
    DeviceLink *m_link = nullptr;
    EthernetLink *m_ethernet = nullptr;
    std::unique_ptr<PortSelector> m_ports;
    std::unique_ptr<Uploader> m_uploader;
    std::unique_ptr<ScriptRunner> m_script;
    SerialPort *m_comPort = nullptr;
    QTcpSocket *m_clientSocket = nullptr;
    StatusLightController *m_lights = nullptr;
    ProcessGuard *m_guard = nullptr;
    std::optional<StationRequest> m_request;
    std::unique_ptr<StationProgress> m_progress;
    bool m_closing = false;
    // How the process ends; tests replace it. The default closes the ports and exits.
    std::function<void(int status)> exitProcess;
    // The text of the last failure that the window keeps.
    QString message_text;
    StartupSettings startup;

    // Controls, named as the rest of the program refers to them.
    QLabel *Label1 = nullptr;
    QLabel *VersionLabel = nullptr;
    QPushButton *PickButton = nullptr;
    QPushButton *UploadButton = nullptr;
    QGroupBox *RS232GroupBox = nullptr;
    QLabel *ComNumberLabel = nullptr;
    QLabel *ComBaudLabel = nullptr;
    QCheckBox *EthernetCheckBox = nullptr;
    QCheckBox *ComCheckBox = nullptr;
    TerminalPane *AdTerminal1 = nullptr;
    QLabel *InfoStatusBar = nullptr;
    QLineEdit *TimingCommandEdit = nullptr;
    QLineEdit *TimingCountEdit = nullptr;
    QPushButton *Button1 = nullptr;
    QLabel *TimingStartLabel = nullptr;
    QLabel *TimingEndLabel = nullptr;

    QMenu *CommunicationMenu = nullptr;
    QMenu *ConfigMenu = nullptr;
    QMenu *ComPortMenu = nullptr;
    QMenu *BaudMenu = nullptr;
    QMenu *Ethernet1 = nullptr;
    QAction *EnetConnect1 = nullptr;
    QAction *EnetDisconnect1 = nullptr;
    QAction *SendFile1 = nullptr;
    QMenu *TerminalMenu = nullptr;
    QAction *VisibleMenu = nullptr;
    QMenu *TextColorMenu = nullptr;

    QTimer *JustUploadTimer = nullptr;
};
