// Choosing the serial port: checking one port for the unit (a CR answered by one of its two
// prompt characters), searching COM1 to COM14, the COM Port, Baud and None menu entries, the
// fall-back when no unit answered, and what happens when an open device vanishes.
//
// A port that exists but does not open is noted with its reason: this account may not open
// it, or another program holds it. A look for the unit notes each refusal once: the start-up
// checks the configured port and then searches from COM1, which checks it again, and both are
// one look. Each of the operator's selections and searches is a look of its own.
#include "link/PortSelector.h"

#include "base/OperatorReports.h"
#include "base/Timing.h"
#include "base/WaitCursor.h"
#include "link/DeviceLink.h"
#include "link/PortNames.h"
#include "link/RunControl.h"
#include "link/SerialPort.h"

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

PortSelector::PortSelector(SerialPort &port, DeviceLink &link, RunControl &run,
                           OperatorReports &reports, QObject *parent)
    : QObject(parent), m_port(port), m_link(link), m_run(run), m_reports(reports)
{
}

void PortSelector::lockUseCom()
{
    m_selection.useComLocked = true;
    emit changed();
}

int PortSelector::check_com(int portNumber)
{
    if (!SerialPort::isAvailable(portNumber))
        return -1;
    emit portCheckStarted(QStringLiteral("Checking COM Port %1, Baud %2. Please wait....")
                              .arg(portNumber)
                              .arg(m_port.baudRate()));
    const bool opened = m_port.setPortNumber(portNumber) && m_port.open();
    if (!opened) {
        const QString note = refusalNote(portNumber, m_port.openFailure());
        if (newInThisLook(m_selection.refusalsNoted, note))
            m_reports.showMessage(note);
        m_port.close();
    }
    const bool answered = opened && probeForPrompt(portNumber);

    int result = 0;
    if (answered) {
        m_reports.show_status(
            QStringLiteral("Established communication on COM %1").arg(portNumber));
        m_selection.lastGoodComPort = m_port.portNumber();
        m_link.setLastLinkKind(LinkKind::Serial);
        m_selection.ethernetOffered = false;
        m_selection.shownPort = m_port.portNumber();
        emit changed();
        result = 1;
    }
    emit portCheckEnded();
    Timing::pump();
    return result;
}

// A CR answered by the normal prompt, else by the loader prompt. The current prompt character
// is left at the one that answered, or at the loader prompt when neither did.
bool PortSelector::probeForPrompt(int portNumber)
{
    const DeviceLink::Probing probing(m_link);
    m_link.SetPromptChar(m_link.normalPrompt());
    bool answered = m_link.SendCOMCmd_GetPrompt("\r");
    if (!answered && m_link.serialOpen()) {
        m_link.SetPromptChar(m_link.loaderPrompt());
        answered = m_link.SendCOMCmd_GetPrompt("\r");
    }
    if (!m_link.serialOpen()) {
        // The device failed under the probe; its loss handler has closed it.
        m_link.SetPromptChar(m_link.loaderPrompt());
        m_reports.showMessage(
            QStringLiteral("Note: COM Port #%1 is not responding.").arg(portNumber));
        return false;
    }
    return answered;
}

int PortSelector::process_com()
{
    WaitCursor hourglass;
    for (int n = 1; n <= SearchedPorts; ++n) {
        if (check_com(n) > 0) {
            m_selection.useCom = true;
            emit changed();
            return 1;
        }
    }
    return -1;
}

void PortSelector::SelectComPort(int portNumber)
{
    WaitCursor hourglass;
    m_selection.refusalsNoted.clear();
    emit portChosen();
    m_reports.show_status(QStringLiteral("Checking COM %1.... Please wait.... ").arg(portNumber));
    const int result = check_com(portNumber);
    if (result > 0) {
        m_reports.show_status(
            QStringLiteral("Established communication on COM %1").arg(portNumber));
        emit chosenPortAnswered();
        m_selection.useCom = true;
        emit linesLive(true);
        emit unitReady(true);
    } else {
        m_reports.show_status(
            QStringLiteral("Unable to open Hardware thru COM ports. Select new COM "
                           "port/check RS232 connection before proceeding"));
        m_reports.reportFailure(QStringLiteral("Error! Cannot establish communication using COM "
                                               "%1. Please check RS232 connection")
                                    .arg(portNumber));
        if (result < 0) {
            emit unitReady(false);
        } else {
            emit linesLive(true);
            emit unitReady(true);
        }
    }
    m_selection.shownPort = result < 0 ? 0 : m_port.portNumber();
    emit changed();
}

void PortSelector::NoneMenuClick()
{
    closePort();
}

void PortSelector::closePort()
{
    const QString lastGood = m_selection.lastGoodComPort > 0
                                 ? QString::number(m_selection.lastGoodComPort)
                                 : QStringLiteral("Never");
    m_reports.show_status(QStringLiteral("Note: Last successful COM port used is: ") + lastGood);
    m_port.close();
    m_port.setPortNumber(0);
    m_selection.shownPort = 0;
    m_selection.ethernetOffered = true;
    emit changed();
    emit unitReady(false);
    emit portClosed();
}

void PortSelector::SearchAllMenuClick()
{
    m_selection.refusalsNoted.clear();
    if (process_com() == -1) {
        OpenConfiguredComPort();
        return;
    }
    lockUseCom();
    emit linesLive(true);
    emit unitReady(true);
}

void PortSelector::OpenConfiguredComPort()
{
    const int configured = m_selection.configuredComPort;
    if (configured == 0) {
        m_reports.show_status(
            QStringLiteral("Unable to open Hardware through COM ports. Select new COM "
                           "port before proceeding"));
        emit unitReady(false);
        emit linesLive(false);
        return;
    }
    m_reports.show_status(
        QStringLiteral("Error opening Hardware via COM ports. Select new COM port/check "
                       "RS232 connection before proceeding"));
    if (SerialPort::isAvailable(configured))
        m_port.setPortNumber(configured);
    if (!m_link.serialOpen() && !m_port.open())
        m_port.close();
    if (m_link.serialOpen())
        m_selection.shownPort = m_port.portNumber();
    emit changed();
    emit unitReady(false);
    emit linesLive(false);
}

void PortSelector::BaudMenuClick(int baud)
{
    m_port.setBaudRate(baud);
    emit changed();
}

void PortSelector::ComCheckBoxClick(bool checked)
{
    m_selection.refusalsNoted.clear();
    m_selection.useCom = checked;
    if (!checked && m_link.serialOpen()) {
        m_port.close();
    } else if (checked && !m_link.serialOpen() && process_com() == -1) {
        m_selection.useCom = false;
        emit changed();
        m_reports.showMessage(
            QStringLiteral("Unable to use Com Ports. Please make sure no one else is using "
                           "the Hardware thru the Com Ports"));
    }
}

// The open device vanished (adapter pulled, far end hung up): the port is already closed.
// A probe reports it itself; anywhere else the operator is told once, and whatever was
// running on the link stops.
void PortSelector::onSerialDeviceLost(int portNumber)
{
    // The loss is the one report: the watchdog must not add a time-out to it.
    m_link.abortWait();
    if (m_link.probing())
        return;
    const QString lost = QStringLiteral("Error! COM Port #%1 was lost (device removed or hung "
                                        "up). Please check RS232 connection")
                             .arg(portNumber);
    m_run.cancel(lost, RunControl::Cause::LinkLost);
    m_selection.shownPort = 0;
    m_selection.ethernetOffered = true;
    emit changed();
    emit unitReady(false);
    m_reports.show_status(QStringLiteral("Connection to the unit on COM %1 lost").arg(portNumber));
    m_reports.reportFailure(lost);
}
