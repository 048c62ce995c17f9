// Start-up: when the main window is about to appear for the first time it moves to the middle
// of the screen, reads LoaderDefault.ini, looks for the unit on the serial ports, and then
// either waits for the operator or, in automatic mode, runs the configured script and ends
// the process with the run's record line. Here too is how a stop from outside (the time
// limit, a signal) ends a run, or the process when no run is going.
#include "app/TamrinForm.h"

#include "app/ClientSocketForm.h"
#include "app/ProcessGuard.h"
#include "app/Settings.h"
#include "app/SplashForm.h"
#include "app/StatusLightController.h"
#include "app/TerminalPane.h"
#include "app/WindowLook.h"
#include "base/OperatorDialogs.h"
#include "base/Timing.h"
#include "link/SerialPort.h"

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QShowEvent>
#include <QTimer>

void TTamrinForm::showEvent(QShowEvent *event)
{
    // The first show opens the window in the middle of the screen, unless it has been placed:
    // left to the window manager it goes wherever there is room, at worst a corner.
    if (!startup.started && !testAttribute(Qt::WA_Moved))
        WindowLook::centre(this, nullptr);
    QMainWindow::showEvent(event);
    if (startup.started)
        return;
    startup.started = true;
    FormShow();
}

void TTamrinForm::FormShow()
{
    VersionLabel->setText(QStringLiteral("Version : 2.08"));
    read_defaults();
    if (m_request && !applyStationRequest())
        return;
    if (startup.station.headless && !startup.autoMode) {
        WriteStderrLine(QStringLiteral("No display: manual mode cannot be operated here. Set "
                                       "automatic mode in LoaderDefault.ini (line 8), or start "
                                       "Tamrin on a display."));
        endProcess(ExitCannotStart);
        return;
    }
    SetPromptChar(m_link->loaderPrompt());
    // The records name the automatic run's script from now on: a signal during the search too.
    if (startup.autoMode) {
        RecordContext context = RecordLog::context();
        context.script = QString::fromLocal8Bit(startup.autoScriptPath);
        RecordLog::setContext(context);
    }
    if (m_request)
        reachStationUnit(m_request->waitPortSeconds.value_or(0));
    else if (startup.ethernetOnly)
        disable_btns(); // the operator connects over Ethernet first
    else
        findUnitOnSerialPorts();
    if (m_windows.splash)
        m_windows.splash->hide();
    if (startup.autoMode)
        automaticRun();
    else
        AdTerminal1->setFocus();
}

void TTamrinForm::findUnitOnSerialPorts()
{
    const int configured = m_ports->configuredComPort();
    const bool onConfigured = configured != 0 && check_com(configured) > 0;
    const bool found = onConfigured || process_com() > 0;
    if (found && configured != 0 && !onConfigured)
        noteUnitElsewhere(configured);
    if (!found && !startup.autoMode)
        OpenConfiguredComPort();
    else
        m_ports->lockUseCom();
    m_lights->setMonitoring(serialOpen() && m_ports->selection().shownPort > 0);
}

// The search found a unit, but not on the port the settings named: perhaps the neighbour's.
void TTamrinForm::noteUnitElsewhere(int configured)
{
    const int used = m_comPort->portNumber();
    if (used == configured)
        return;
    WriteStderrLine(QStringLiteral("Note: no unit answered on the configured COM%1; using COM%2.")
                        .arg(configured)
                        .arg(used));
    RecordContext context = RecordLog::context();
    context.configured = QStringLiteral("COM%1").arg(configured);
    RecordLog::setContext(context);
}

// The automatic run, and a station's further attempts at it after the link was lost.
void TTamrinForm::automaticRun()
{
    boundTheRun();
    for (int attempt = 1;; ++attempt) {
        const int status = runAttempt();
        if (!retryWanted(status, attempt)) {
            startup.exitStatus = status;
            break;
        }
        RecordLog::writeRun(runRecordOf(status, runFailureReason()));
        startNextAttempt(attempt + 1);
    }
    JustUploadTimer->start();
}

int TTamrinForm::runAttempt()
{
    startup.attemptStartedAt = QDateTime::currentDateTimeUtc();
    RecordLog::runGoing(runRecordOf(ExitSuccess, QString()));
    if (!serialOpen() && !(m_request && m_request->overTcp() && tcpConnected())) {
        if (startup.failure.isEmpty()) {
            reportFailure(QStringLiteral("Error!! COM port communication failed. Please check "
                                         "RS232 connection/INI settings. Exiting application"));
            startup.failure = message_text;
        }
        return ExitUnitNotReached;
    }
    show_status(QStringLiteral("Uploading file(s). Please wait...."));
    Timing::pump();
    setEnabled(false);
    m_script->ClearScriptLines();
    m_script->setFileName(QString::fromLocal8Bit(startup.autoScriptPath));
    const int result = read_ini();
    setEnabled(true);
    show_status(QStringLiteral(" "));
    Timing::pump();
    return automaticRunStatus(result);
}

// Success is a run to its end (or _FI) that showed the operator nothing but the script's own
// messages and questions.
int TTamrinForm::automaticRunStatus(int result) const
{
    if (startup.stopStatus)
        return *startup.stopStatus;
    if (!m_script->fileOpened())
        return ExitUnitNotReached;
    if (result == 0 || m_run.cancelled() || !m_script->firstError().isEmpty())
        return ExitRunFailed;
    return ExitSuccess;
}

void TTamrinForm::boundTheRun()
{
    if (m_guard && startup.station.runTimeoutSeconds > 0)
        m_guard->armTimeLimit(std::chrono::seconds(startup.station.runTimeoutSeconds));
}

void TTamrinForm::takeStopRequest()
{
    const std::optional<ProcessGuard::Request> request =
        m_guard ? m_guard->takeRequest() : std::nullopt;
    if (!request)
        return;
    if (runGoing()) {
        stopTheRun(request->exitStatus(), request->message(), request->reason());
    } else if (startup.autoMode && JustUploadTimer->isActive()) {
        // The automatic run is over and its end is on its way.
    } else if (startup.autoMode) {
        // Stopped before the run began: nothing reached the unit but the search.
        WriteStderrLine(request->message());
        startup.failure = request->reason();
        endWithRunRecord(request->exitStatus());
    } else {
        close();
    }
}

// The run is cancelled at once: every wait and pause ends, a transfer ends as a cancelled
// upload, nobody is asked anything more, and the records name 'reason'.
void TTamrinForm::stopTheRun(int status, const QString &message, const QString &reason)
{
    WriteStderrLine(message);
    startup.stopStatus = status;
    startup.failure = reason;
    m_run.cancel(reason, RunControl::Cause::Stopped);
    m_link->abortWait();
    OperatorDialogs::stopAsking();
    if (!startup.autoMode) {
        RecordContext context = RecordLog::context();
        context.script = m_script->fileName();
        RecordLog::setContext(context);
    }
    RecordLog::runGoing(runRecordOf(status, reason));
}

void TTamrinForm::JustUploadTimerTimer()
{
    JustUploadTimer->stop();
    endWithRunRecord(startup.exitStatus);
}

RunRecord TTamrinForm::runRecordOf(int status, const QString &reason) const
{
    return RunRecord{status, reason, startup.attemptStartedAt};
}

// The run's record line for the supervisor's log, then the end of the process.
void TTamrinForm::endWithRunRecord(int status)
{
    tellProgress(QStringLiteral("done"));
    RecordLog::writeRun(runRecordOf(status, status == ExitSuccess ? QString() : runFailureReason()));
    endProcess(status);
}

// What stopped the run from outside the script, else the first error the script showed.
QString TTamrinForm::runFailureReason() const
{
    return startup.failure.isEmpty() ? m_script->firstError() : startup.failure;
}

void TTamrinForm::read_defaults()
{
    const QString path = settingsFilePath();
    const std::optional<LoaderSettings> settings = readSettingsFile(path);
    if (settings)
        applySettings(*settings);
    else if (QFileInfo::exists(path))
        WriteStderrLine(path + QStringLiteral(" cannot be read (no regular file, or no "
                                              "permission): the defaults hold."));
}

void TTamrinForm::applySettings(const LoaderSettings &settings)
{
    if (settings.comPort)
        m_ports->setConfiguredComPort(*settings.comPort);
    applySerialSettings(settings);
    if (settings.autoScriptPath)
        startup.autoScriptPath = *settings.autoScriptPath;
    startup.autoMode = settings.autoMode;
    if (settings.normalPrompt)
        m_link->setNormalPrompt(*settings.normalPrompt);
    if (settings.loaderPrompt)
        m_link->setLoaderPrompt(*settings.loaderPrompt);
    if (settings.loaderModeCommand)
        m_link->setLoaderModeCommand(*settings.loaderModeCommand);
    applyTerminalSettings(settings);
    if (settings.uploadKeyword)
        m_link->setUploadKeyword(*settings.uploadKeyword);
    startup.ethernetOnly = settings.ethernetOnly;
    if (m_windows.ethernet && settings.ethernetAddress)
        m_windows.ethernet->setOctets(*settings.ethernetAddress);
    if (m_windows.ethernet && settings.ethernetPort)
        m_windows.ethernet->setPort(*settings.ethernetPort);
}

void TTamrinForm::applySerialSettings(const LoaderSettings &settings)
{
    if (settings.baudRate) {
        m_comPort->setBaudRate(*settings.baudRate);
        applyLinkState();
    } else if (settings.baudRateInvalid) {
        showMessage(QStringLiteral("Error! Baud Rate set in LoaderDefault.ini file is invalid!"));
    }
    if (settings.dataBits)
        m_comPort->setDataBits(*settings.dataBits);
    if (settings.parity)
        m_comPort->setParity(*settings.parity);
    if (settings.stopBits)
        m_comPort->setStopBits(*settings.stopBits);
}

void TTamrinForm::applyTerminalSettings(const LoaderSettings &settings)
{
    if (settings.terminalVisible && *settings.terminalVisible != VisibleMenu->isChecked())
        showTerminal(*settings.terminalVisible);
    if (settings.terminalBackground)
        setTerminalBackground(*settings.terminalBackground);
    if (settings.terminalTextColour)
        setTerminalTextColour(*settings.terminalTextColour);
}
