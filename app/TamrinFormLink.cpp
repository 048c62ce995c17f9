// The window's link: its link and port names delegate to DeviceLink, EthernetLink and
// PortSelector, which are wired here to the serial port and to each other, and whose signals
// the window answers here: the terminal pane, the buttons, the line lights, the information
// window's notice, the Ethernet dialog and the progress window. What they show of their state
// the window sets in applyLinkState.
#include "app/TamrinForm.h"

#include "app/ClientSocketForm.h"
#include "app/InfoForm.h"
#include "app/ProgressForm.h"
#include "app/StatusLightController.h"
#include "app/TerminalPane.h"
#include "link/DeviceLink.h"
#include "link/SerialPort.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTime>

void TTamrinForm::attachDeviceLink()
{
    DeviceLink::Hooks hooks;
    // Unless the operator has disconnected; a failed attempt is the wait's failure, which its
    // caller reports.
    hooks.reconnectEthernet = [this] {
        if (!m_ethernet->userDisconnected() && m_windows.ethernet)
            connectEthernet(EthernetConnectReport::Quiet);
    };
    hooks.tryEthernetAgain = [this] { m_ethernet->ClientSocketTryAgain(false); };
    hooks.stopWaiting = [this] { return m_closing; };
    hooks.connection = [this] { return m_ethernet->generation(); };
    m_link->setHooks(std::move(hooks));
    connect(m_link, &DeviceLink::received, this,
            [this](QByteArrayView bytes) { AdTerminal1->WriteString(bytes); });
    connect(m_link, &DeviceLink::blockSent, this, &TTamrinForm::blockSent);
    connect(m_link, &DeviceLink::blockLeftQueue, this, &TTamrinForm::blockLeftQueue);
}

void TTamrinForm::attachEthernetLink()
{
    connect(m_ethernet, &EthernetLink::changed, this, &TTamrinForm::applyLinkState);
    connect(m_ethernet, &EthernetLink::unitReady, this, &TTamrinForm::showUnitReady);
    connect(m_ethernet, &EthernetLink::connectEnded, AdTerminal1, &TerminalPane::ClearAll);
    // The pane takes the new connection's keys.
    connect(m_ethernet, &EthernetLink::connected, this, [this](bool fresh) {
        if (fresh)
            AdTerminal1->ClearAll();
        AdTerminal1->setEnabled(true);
        AdTerminal1->setFocus();
    });
    connect(m_ethernet, &EthernetLink::linkClosed, this, &TTamrinForm::hideProgressWindow);
}

// The operator's menus, refused while a run holds the link (the entries are greyed then).
void TTamrinForm::EnetConnect1Click()
{
    if (operatorMay())
        m_ethernet->EnetConnect1Click();
}

void TTamrinForm::EnetDisconnect1Click()
{
    if (operatorMay())
        m_ethernet->EnetDisconnect1Click();
}

void TTamrinForm::connectEthernet(EthernetConnectReport report)
{
    m_ethernet->connectEthernet(report);
}

void TTamrinForm::attachPortSelector()
{
    connect(m_ports.get(), &PortSelector::changed, this, &TTamrinForm::applyLinkState);
    connect(m_ports.get(), &PortSelector::unitReady, this, &TTamrinForm::showUnitReady);
    connect(m_ports.get(), &PortSelector::linesLive, m_lights,
            &StatusLightController::setMonitoring);
    // The notice is drawn before the check blocks the thread.
    connect(m_ports.get(), &PortSelector::portCheckStarted, this, [this](const QString &notice) {
        if (m_windows.info) {
            m_windows.info->setText(notice);
            m_windows.info->showNotice();
        }
    });
    connect(m_ports.get(), &PortSelector::portCheckEnded, this, [this] {
        if (m_windows.info)
            m_windows.info->hideNotice();
    });
    // The operator's own port: a dialog left open would connect elsewhere.
    connect(m_ports.get(), &PortSelector::portChosen, this, &TTamrinForm::hideEthernetDialog);
    connect(m_ports.get(), &PortSelector::chosenPortAnswered, AdTerminal1, &TerminalPane::ClearAll);
    connect(m_ports.get(), &PortSelector::portClosed, this, &TTamrinForm::hideProgressWindow);
}

void TTamrinForm::showUnitReady(bool ready)
{
    if (ready)
        enable_btns();
    else
        disable_btns();
}

void TTamrinForm::hideEthernetDialog()
{
    if (m_windows.ethernet && m_windows.ethernet->isVisible())
        m_windows.ethernet->hide();
}

void TTamrinForm::hideProgressWindow()
{
    if (m_windows.progress)
        m_windows.progress->HideProgressForm();
}

int TTamrinForm::check_com(int portNumber)
{
    return m_ports->check_com(portNumber);
}

int TTamrinForm::process_com()
{
    return m_ports->process_com();
}

void TTamrinForm::SelectComPort(int portNumber)
{
    if (operatorMay())
        m_ports->SelectComPort(portNumber);
}

void TTamrinForm::OpenConfiguredComPort()
{
    m_ports->OpenConfiguredComPort();
}

void TTamrinForm::NoneMenuClick()
{
    if (operatorMay())
        m_ports->NoneMenuClick();
}

void TTamrinForm::SearchAllMenuClick()
{
    if (operatorMay())
        m_ports->SearchAllMenuClick();
}

void TTamrinForm::BaudMenuClick(int baud)
{
    if (operatorMay())
        m_ports->BaudMenuClick(baud);
}

void TTamrinForm::ComCheckBoxClick()
{
    if (operatorMay())
        m_ports->ComCheckBoxClick(ComCheckBox->isChecked());
}

void TTamrinForm::attachSerialPort()
{
    m_comPort->addReceiver([this](QByteArrayView bytes) { return ApdComPort1TriggerAvail(bytes); });
    m_comPort->addReceiver([this](QByteArrayView bytes) {
        AdTerminal1->WriteString(bytes);
        return int(bytes.size());
    });
    connect(m_comPort, &SerialPort::deviceLost, this,
            [this](int portNumber) { m_ports->onSerialDeviceLost(portNumber); });
}

void TTamrinForm::SendString(QByteArrayView text)
{
    m_link->SendString(text);
}

void TTamrinForm::SendByte(QByteArrayView block)
{
    m_link->SendByte(block);
}

bool TTamrinForm::SendCOMCmd_GetPrompt(QByteArrayView command)
{
    return m_link->SendCOMCmd_GetPrompt(command);
}

void TTamrinForm::SetPromptChar(char c)
{
    m_link->SetPromptChar(c);
}

int TTamrinForm::ApdComPort1TriggerAvail(QByteArrayView delivery)
{
    return m_link->ApdComPort1TriggerAvail(delivery);
}

bool TTamrinForm::serialOpen() const
{
    return m_link->serialOpen();
}

bool TTamrinForm::tcpConnected() const
{
    return m_link->tcpConnected();
}

Transport TTamrinForm::activeTransport() const
{
    return m_link->activeTransport();
}

// The timing test: the command in its field, as many times as its count field says.
void TTamrinForm::Button1Click()
{
    if (!operatorMay())
        return;
    const int count = TimingCountEdit->text().toInt();
    TimingStartLabel->setText(QTime::currentTime().toString(QStringLiteral("hh:mm:ss")));
    for (int i = 0; i < count; ++i)
        SendCOMCmd_GetPrompt("OTPM? 1\r");
    TimingEndLabel->setText(QTime::currentTime().toString(QStringLiteral("hh:mm:ss")));
}
