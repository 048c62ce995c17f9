// Start-up: when the main window is about to appear for the first time it reads
// LoaderDefault.ini, looks for the unit on the serial ports, and then either waits for the
// operator or, in automatic mode, runs the configured script and ends the process.
#include "app/TamrinForm.h"

#include "app/Settings.h"
#include "app/SplashForm.h"
#include "app/StatusLightController.h"
#include "app/TerminalPane.h"
#include "link/ClientSocketForm.h"
#include "link/OperatorDialogs.h"
#include "link/SerialPort.h"
#include "link/Timing.h"

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QShowEvent>
#include <QTimer>

namespace {

// How long a run may take to unwind after its time limit before the process ends anyway.
constexpr int RunLimitGraceMs = 30000;

} // namespace

void TTamrinForm::showEvent(QShowEvent *event)
{
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
    if (startup.station.headless && !startup.autoMode) {
        WriteStderrLine(QStringLiteral("No display: manual mode cannot be operated here. Set "
                                       "automatic mode in LoaderDefault.ini (line 8), or start "
                                       "Tamrin on a display."));
        endProcess(ExitCannotStart);
        return;
    }
    SetPromptChar(m_link->loaderPrompt());
    if (startup.ethernetOnly)
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
    const bool found = (configured != 0 && check_com(configured) > 0) || process_com() > 0;
    if (!found && !startup.autoMode)
        OpenConfiguredComPort();
    else
        ComCheckBox->setEnabled(false);
    m_lights->setMonitoring(serialOpen() && ComNumberLabel->text() != QLatin1String("None"));
}

void TTamrinForm::automaticRun()
{
    if (!serialOpen()) {
        reportFailure(QStringLiteral("Error!! COM port communication failed. Please check "
                                     "RS232 connection/INI settings. Exiting application"));
        startup.exitStatus = ExitUnitNotReached;
        startup.failure = message_text;
    } else {
        show_status(QStringLiteral("Uploading file(s). Please wait...."));
        Timing::pump();
        setEnabled(false);
        m_script->setFileName(QString::fromLocal8Bit(startup.autoScriptPath));
        boundTheRun();
        const int result = read_ini();
        setEnabled(true);
        startup.exitStatus = automaticRunStatus(result);
        show_status(QStringLiteral(" "));
        Timing::pump();
    }
    JustUploadTimer->start();
}

// Success is a run to its end (or _FI) that showed the operator nothing but the script's own
// messages and questions.
ExitStatus TTamrinForm::automaticRunStatus(int result) const
{
    if (startup.runTimedOut)
        return ExitRunTimeLimit;
    if (!m_script->fileOpened())
        return ExitUnitNotReached;
    if (result == 0 || cancelFlag() != 0 || !m_script->firstError().isEmpty())
        return ExitRunFailed;
    return ExitSuccess;
}

void TTamrinForm::boundTheRun()
{
    const int seconds = startup.station.runTimeoutSeconds;
    if (seconds > 0)
        QTimer::singleShot(std::chrono::seconds(seconds), this, [this] { runTimeLimitPassed(); });
}

// The run is cancelled as the watchdog cancels it: every wait ends at once and the run unwinds
// (a transfer as a cancelled upload). What cannot be cut short, a script's own pause, is ended
// by force a while later.
void TTamrinForm::runTimeLimitPassed()
{
    if (!runGoing())
        return;
    startup.runTimedOut = true;
    const QString limitText = QStringLiteral("Error! The run time limit of %1 s "
                                             "(TAMRIN_RUN_TIMEOUT) has passed. Exiting script.")
                                  .arg(startup.station.runTimeoutSeconds);
    WriteStderrLine(limitText);
    startup.failure = limitText;
    setCancelFlag(1);
    m_link->setCapturing(false);
    m_link->setWaitFailed(true);
    m_link->commandTimer().stop();
    QTimer::singleShot(RunLimitGraceMs, this, [this] {
        if (m_closing)
            return;
        WriteStderrLine(QStringLiteral("The run did not end within %1 s of its time limit: "
                                       "Tamrin ends it.")
                            .arg(RunLimitGraceMs / 1000));
        endAutomaticRun(ExitRunTimeLimit);
    });
}

void TTamrinForm::JustUploadTimerTimer()
{
    JustUploadTimer->stop();
    endAutomaticRun(startup.exitStatus);
}

// The run's record line for the supervisor's log, then the end of the process.
void TTamrinForm::endAutomaticRun(ExitStatus status)
{
    const QString reason = startup.failure.isEmpty() ? m_script->firstError() : startup.failure;
    WriteStderrLine(Station::runRecordLine(QString::fromLocal8Bit(startup.autoScriptPath), status,
                                           status == ExitSuccess ? QString() : reason));
    endProcess(status);
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
        ComBaudLabel->setText(QString::number(*settings.baudRate));
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
        VisibleMenuClick();
    if (settings.terminalBackground)
        setTerminalBackground(*settings.terminalBackground);
    if (settings.terminalTextColour)
        setTerminalTextColour(*settings.terminalTextColour);
}
