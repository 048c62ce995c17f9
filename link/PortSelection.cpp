// Choosing the serial port: checking one port for the unit (a CR answered by one of its two
// prompt characters), searching COM1 to COM14, the COM Port, Baud and None menu entries, the
// fall-back when no unit answered, and what happens when an open device vanishes.
//
// A port that exists but does not open is noted with its reason: this account may not open
// it, or another program holds it. A look for the unit notes each refusal once: the start-up
// checks the configured port and then searches from COM1, which checks it again, and both are
// one look. Each of the operator's selections and searches is a look of its own.
#include "app/TamrinForm.h"

#include "app/InfoForm.h"
#include "app/StatusLightController.h"
#include "app/TerminalPane.h"
#include "link/ClientSocketForm.h"
#include "link/PortNames.h"
#include "link/SerialPort.h"
#include "link/Timing.h"
#include "link/WaitCursor.h"
#include "upload/ProgressForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QTimer>

namespace {

constexpr int SearchedPorts = 14;
QString refusalNote(int portNumber, SerialPort::OpenFailure failure)
{
    if (failure == SerialPort::OpenFailure::PermissionDenied)
        return QStringLiteral("Note: COM Port #%1 (%2) cannot be opened: permission denied: add "
                              "your account to the dialout group and log in again.")
            .arg(QString::number(portNumber), PortNames::devicePath(portNumber));
    return QStringLiteral("Note: COM Port #%1 is not responding/being used by other applications.")
        .arg(portNumber);
}

// True, and remembered, when 'note' has not been given yet in the current look.
bool newInThisLook(QStringList &noted, const QString &note)
{
    if (noted.contains(note))
        return false;
    noted << note;
    return true;
}

} // namespace

int TTamrinForm::check_com(int portNumber)
{
    if (!SerialPort::isAvailable(portNumber))
        return -1;
    if (m_windows.info) {
        m_windows.info->setText(QStringLiteral("Checking COM Port %1, Baud %2. Please wait....")
                                    .arg(portNumber)
                                    .arg(m_comPort->baudRate()));
        m_windows.info->showNotice();
    }
    const bool opened = m_comPort->setPortNumber(portNumber) && m_comPort->open();
    if (!opened) {
        const QString note = refusalNote(portNumber, m_comPort->openFailure());
        if (newInThisLook(serial.refusalsNoted, note))
            showMessage(note);
        m_comPort->close();
    }
    m_link->setProbing(true);
    const bool answered = opened && probeForPrompt(portNumber);
    m_link->setProbing(false);

    int result = 0;
    if (answered) {
        show_status(QStringLiteral("Established communication on COM %1").arg(portNumber));
        ComNumberLabel->setText(QString::number(m_comPort->portNumber()));
        serial.lastGoodComPort = m_comPort->portNumber();
        m_link->setLastLinkKind(LinkKind::Serial);
        ComBaudLabel->setText(QString::number(m_comPort->baudRate()));
        Ethernet1->setEnabled(false);
        result = 1;
    }
    if (m_windows.info)
        m_windows.info->hideNotice();
    Timing::pump();
    return result;
}

// A CR answered by the normal prompt, else by the loader prompt. The current prompt character
// is left at the one that answered, or at the loader prompt when neither did.
bool TTamrinForm::probeForPrompt(int portNumber)
{
    SetPromptChar(m_link->normalPrompt());
    bool answered = SendCOMCmd_GetPrompt("\r");
    if (!answered && serialOpen()) {
        SetPromptChar(m_link->loaderPrompt());
        answered = SendCOMCmd_GetPrompt("\r");
    }
    if (!serialOpen()) {
        // The device failed under the probe; its loss handler has closed it.
        SetPromptChar(m_link->loaderPrompt());
        showMessage(QStringLiteral("Note: COM Port #%1 is not responding.").arg(portNumber));
        return false;
    }
    return answered;
}

int TTamrinForm::process_com()
{
    WaitCursor hourglass;
    for (int n = 1; n <= SearchedPorts; ++n) {
        if (check_com(n) > 0) {
            ComCheckBox->setChecked(true);
            return 1;
        }
    }
    return -1;
}

void TTamrinForm::SelectComPort(int portNumber)
{
    WaitCursor hourglass;
    serial.refusalsNoted.clear();
    if (m_windows.ethernet && m_windows.ethernet->isVisible())
        m_windows.ethernet->hide();
    show_status(QStringLiteral("Checking COM %1.... Please wait.... ").arg(portNumber));
    const int result = check_com(portNumber);
    if (result > 0) {
        show_status(QStringLiteral("Established communication on COM %1").arg(portNumber));
        AdTerminal1DblClick();
        ComCheckBox->setChecked(true);
        m_lights->setMonitoring(true);
        enable_btns();
    } else {
        show_status(QStringLiteral("Unable to open Hardware thru COM ports. Select new COM "
                                   "port/check RS232 connection before proceeding"));
        message_text = QStringLiteral("Error! Cannot establish communication using COM %1. "
                                      "Please check RS232 connection")
                           .arg(portNumber);
        showMessage(message_text);
        if (result < 0) {
            disable_btns();
        } else {
            m_lights->setMonitoring(true);
            enable_btns();
        }
    }
    ComNumberLabel->setText(result < 0 ? QStringLiteral("None")
                                       : QString::number(m_comPort->portNumber()));
}

void TTamrinForm::NoneMenuClick()
{
    const QString lastGood = serial.lastGoodComPort > 0 ? QString::number(serial.lastGoodComPort)
                                                        : QStringLiteral("Never");
    show_status(QStringLiteral("Note: Last successful COM port used is: ") + lastGood);
    m_comPort->close();
    m_comPort->setPortNumber(0);
    ComNumberLabel->setText(QStringLiteral("None"));
    Ethernet1->setEnabled(true);
    disable_btns();
    if (m_windows.progress)
        m_windows.progress->HideProgressForm();
}

void TTamrinForm::SearchAllMenuClick()
{
    serial.refusalsNoted.clear();
    if (process_com() == -1) {
        OpenConfiguredComPort();
        return;
    }
    ComCheckBox->setEnabled(false);
    m_lights->setMonitoring(true);
    enable_btns();
}

void TTamrinForm::OpenConfiguredComPort()
{
    const int configured = serial.configuredComPort;
    if (configured == 0) {
        show_status(QStringLiteral("Unable to open Hardware through COM ports. Select new COM "
                                   "port before proceeding"));
        disable_btns();
        m_lights->setMonitoring(false);
        return;
    }
    show_status(QStringLiteral("Error opening Hardware via COM ports. Select new COM port/check "
                               "RS232 connection before proceeding"));
    if (SerialPort::isAvailable(configured))
        m_comPort->setPortNumber(configured);
    if (!serialOpen() && !m_comPort->open())
        m_comPort->close();
    if (serialOpen())
        ComNumberLabel->setText(QString::number(m_comPort->portNumber()));
    disable_btns();
    m_lights->setMonitoring(false);
}

void TTamrinForm::BaudMenuClick(int baud)
{
    m_comPort->setBaudRate(baud);
    ComBaudLabel->setText(QString::number(m_comPort->baudRate()));
}

void TTamrinForm::ComCheckBoxClick()
{
    serial.refusalsNoted.clear();
    if (!ComCheckBox->isChecked() && serialOpen()) {
        m_comPort->close();
    } else if (ComCheckBox->isChecked() && !serialOpen() && process_com() == -1) {
        ComCheckBox->setChecked(false);
        showMessage(QStringLiteral("Unable to use Com Ports. Please make sure no one else is using "
                                   "the Hardware thru the Com Ports"));
    }
}

// The open device vanished (adapter pulled, far end hung up): the port is already closed.
// A probe reports it itself; anywhere else the operator is told once, and whatever was
// running on the link stops.
void TTamrinForm::onSerialDeviceLost(int portNumber)
{
    m_link->setCapturing(false);
    m_link->setWaitFailed(true);
    // The loss is the one report: the watchdog must not add a time-out to it.
    m_link->commandTimer().stop();
    if (m_link->probing())
        return;
    setCancelFlag(1);
    ComNumberLabel->setText(QStringLiteral("None"));
    Ethernet1->setEnabled(true);
    disable_btns();
    show_status(QStringLiteral("Connection to the unit on COM %1 lost").arg(portNumber));
    message_text = QStringLiteral("Error! COM Port #%1 was lost (device removed or hung up). "
                                  "Please check RS232 connection")
                       .arg(portNumber);
    showMessage(message_text);
}
