// Start-up: when the main window is about to appear for the first time it reads
// LoaderDefault.ini, looks for the unit on the serial ports, and then either waits for the
// operator or, in automatic mode, runs the configured script and ends the process.
#include "app/TamrinForm.h"

#include "app/Settings.h"
#include "app/SplashForm.h"
#include "app/StatusLightController.h"
#include "app/TerminalPane.h"
#include "link/ClientSocketForm.h"
#include "link/SerialPort.h"
#include "link/Timing.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QShowEvent>
#include <QTimer>

namespace {

const QString SettingsFileName = QStringLiteral("LoaderDefault.ini");

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
    SetPromptChar(link.loaderPrompt);
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
    const int configured = serial.configuredComPort;
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
        showMessage(QStringLiteral("Error!! COM port communication failed. Please check RS232 "
                                   "connection/INI settings. Exiting application"));
        startup.autoRunFailed = true;
    } else {
        show_status(QStringLiteral("Uploading file(s). Please wait...."));
        Timing::pump();
        setEnabled(false);
        script.fileName = QString::fromLocal8Bit(startup.autoScriptPath);
        const int result = read_ini();
        setEnabled(true);
        // Success is a run to its end (or _FI) that showed the operator nothing but the
        // script's own messages and questions.
        startup.autoRunFailed = result == 0 || cancelFlag() != 0 || script.errorShown;
        show_status(QStringLiteral(" "));
        Timing::pump();
    }
    JustUploadTimer->start();
}

void TTamrinForm::JustUploadTimerTimer()
{
    JustUploadTimer->stop();
    endProcess(startup.autoRunFailed ? 1 : 0);
}

void TTamrinForm::read_defaults()
{
    const std::optional<LoaderSettings> settings = readSettingsFile(SettingsFileName);
    if (settings)
        applySettings(*settings);
}

void TTamrinForm::applySettings(const LoaderSettings &settings)
{
    if (settings.comPort)
        serial.configuredComPort = *settings.comPort;
    applySerialSettings(settings);
    if (settings.autoScriptPath)
        startup.autoScriptPath = *settings.autoScriptPath;
    if (settings.scriptFolder)
        startup.scriptFolder = *settings.scriptFolder;
    startup.autoMode = settings.autoMode;
    if (settings.normalPrompt)
        link.normalPrompt = *settings.normalPrompt;
    if (settings.loaderPrompt)
        link.loaderPrompt = *settings.loaderPrompt;
    if (settings.loaderModeCommand)
        link.loaderModeCommand = *settings.loaderModeCommand;
    applyTerminalSettings(settings);
    if (settings.uploadKeyword)
        link.uploadKeyword = *settings.uploadKeyword;
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
