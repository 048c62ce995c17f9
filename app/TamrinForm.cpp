#include "app/TamrinForm.h"

#include "app/ClientSocketForm.h"
#include "app/InfoForm.h"
#include "app/ProcessGuard.h"
#include "app/ProgressForm.h"
#include "app/StationProgress.h"
#include "app/TerminalPane.h"
#include "base/OperatorDialogs.h"
#include "base/Timing.h"
#include "link/SerialPort.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

// The terminal pane's menu later switches between 420 and 139.
constexpr int FirstClientHeight = 425;

// What a window manager may make of the window, and it undoes.
constexpr Qt::WindowStates EnlargedStates = Qt::WindowMaximized | Qt::WindowFullScreen;

} // namespace

TTamrinForm::TTamrinForm(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("TTamrinForm"));
    setWindowTitle(QStringLiteral("Quenby Research Inc. :- Tamrin"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    m_comPort = new SerialPort(this);
    m_clientSocket = new QTcpSocket(this);
    OperatorReports &reports = *this;
    m_link = new DeviceLink(*m_comPort, *m_clientSocket, m_run, reports, this);
    m_ethernet = new EthernetLink(*m_clientSocket, *m_link, m_run, reports, this);
    m_ports = std::make_unique<PortSelector>(*m_comPort, *m_link, m_run, reports);
    m_uploader = std::make_unique<Uploader>(*m_comPort, *m_clientSocket, *m_link, m_run, reports);
    m_script = std::make_unique<ScriptRunner>(
        ScriptLinks{*m_link, *m_ports, *m_ethernet, *m_uploader}, m_run, reports);
    buildControls();
    buildMenus();
    nameControls();
    setClientHeight(FirstClientHeight);
    buildTimers();
    attachDeviceLink();
    attachSerialPort();
    attachEthernetLink();
    attachPortSelector();
    attachUploader();
    attachScriptRunner();
    applyLinkState();
    exitProcess = [this](int status) {
        m_comPort->close();
        m_clientSocket->abort();
        std::fflush(nullptr);
        std::_Exit(status);
    };
    // A run being ended waits for nothing more; the stop is taken at the first look.
    Timing::setInterruption([this] {
        takeStopRequest();
        return m_run.ending();
    });
}

TTamrinForm::~TTamrinForm()
{
    Timing::setInterruption({});
}

void TTamrinForm::setProcessGuard(ProcessGuard *guard)
{
    m_guard = guard;
    connect(guard, &ProcessGuard::stopRequested, this, &TTamrinForm::takeStopRequest,
            Qt::QueuedConnection);
}

void TTamrinForm::attachWindows(const CompanionWindows &windows)
{
    m_windows = windows;
    if (m_windows.progress)
        m_windows.progress->attach(m_run);
    m_ethernet->attachDialog(m_windows.ethernet);
    m_uploader->attachProgress(m_windows.progress);
}

void TTamrinForm::show_status(const QString &text)
{
    InfoStatusBar->setText(text);
}

QString TTamrinForm::statusText() const
{
    return InfoStatusBar->text();
}

void TTamrinForm::disable_btns()
{
    UploadButton->setEnabled(false);
    PickButton->setEnabled(false);
}

// A reconnect in the middle of a run asks for the buttons too; they wait for the run's end.
void TTamrinForm::enable_btns()
{
    if (runGoing())
        return;
    UploadButton->setEnabled(true);
    PickButton->setEnabled(true);
    AdTerminal1->setFocus();
}

void TTamrinForm::showMessage(const QString &text)
{
    if (runGoing())
        m_script->noteError(text);
    m_uploader->noteMessage(text);
    ShowMessage(this, text);
}

void TTamrinForm::reportFailure(const QString &text)
{
    message_text = text;
    showMessage(message_text);
}

void TTamrinForm::startRunning()
{
    if (!m_run.start())
        return;
    startup.attemptStartedAt = QDateTime::currentDateTimeUtc();
    m_script->forgetErrors();
    m_uploader->forgetRefusal();
    disable_btns();
    m_link->holdKeepAlive(true);
    // A dialog the operator left open would connect elsewhere in the middle of the run.
    hideEthernetDialog();
    applyLinkState();
}

void TTamrinForm::stopRunning()
{
    if (!m_run.stop())
        return;
    applyLinkState();
    enable_btns();
    m_link->holdKeepAlive(false);
    // A run in manual mode stopped by a signal ends the process once it has unwound.
    if (startup.stopStatus && !startup.autoMode)
        QTimer::singleShot(0, this, [this] { endWithRunRecord(*startup.stopStatus); });
}

bool TTamrinForm::operatorMay() const
{
    return m_run.admits(RunControl::Requester::Operator);
}

// The controls that show the link and the run, from the port selection, the Ethernet link and
// the run control: the port in use and its baud rate, Use COM, the Ethernet box, which link the
// menus offer, the menus that could change the link hidden during a transfer, and, while a run
// holds the link, what would reach the unit or change the link greyed: the COM Port and Baud
// entries, Ethernet Connect and Disconnect, Send File and the timing controls.
void TTamrinForm::applyLinkState()
{
    const SerialSelection &serial = m_ports->selection();
    ComNumberLabel->setText(serial.shownPort > 0 ? QString::number(serial.shownPort)
                                                 : QStringLiteral("None"));
    ComBaudLabel->setText(QString::number(m_comPort->baudRate()));
    ComCheckBox->setChecked(serial.useCom);
    if (serial.useComLocked)
        ComCheckBox->setEnabled(false);
    Ethernet1->setEnabled(serial.ethernetOffered);
    EthernetCheckBox->setChecked(m_ethernet->up());
    ConfigMenu->setEnabled(m_ethernet->connectOffered());
    const bool transfer = m_run.transferGoing();
    ConfigMenu->menuAction()->setVisible(!transfer);
    Ethernet1->menuAction()->setVisible(!transfer);

    const bool free = !runGoing();
    ComPortMenu->menuAction()->setEnabled(free);
    BaudMenu->menuAction()->setEnabled(free);
    EnetDisconnect1->setEnabled(free);
    EnetConnect1->setEnabled(free && m_ethernet->connectOffered());
    SendFile1->setEnabled(free);
    for (QWidget *timingControl :
         std::initializer_list<QWidget *>{TimingCommandEdit, TimingCountEdit, Button1})
        timingControl->setEnabled(free);
}

void TTamrinForm::ExitMenuClick()
{
    close();
}

void TTamrinForm::VersionLabelClick()
{
    SendFile1->setVisible(!SendFile1->isVisible());
}

bool TTamrinForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == VersionLabel && event->type() == QEvent::MouseButtonRelease)
        VersionLabelClick();
    return QMainWindow::eventFilter(watched, event);
}

// The window has one size. A window manager may maximise it or make it fullscreen all the same
// (openbox offers fullscreen to every window), which moves it to the screen's corner with
// nothing to show for it: it is put back as it was.
void TTamrinForm::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && (windowState() & EnlargedStates))
        QTimer::singleShot(0, this, [this] { setWindowState(windowState() & ~EnlargedStates); });
}

void TTamrinForm::closeEvent(QCloseEvent *event)
{
    // An upload in progress is the only thing worth a question, and only with someone there
    // to answer it; everything else ends at once.
    if (m_run.transferGoing() && !startup.station.unattended &&
        !AskYesNo(this, QStringLiteral("Loader GUI : Confirm Exit"),
                  QStringLiteral("File upload in progress.\rAre you sure you want to cancel "
                                 "upload and exit the application?"))) {
        event->ignore();
        return;
    }
    event->accept();
    m_link->endWait();
    // An automatic run that was cut short did not succeed, and what was going is recorded so.
    const int status = startup.autoMode && runGoing() ? ExitRunFailed : ExitSuccess;
    if (runGoing())
        RecordLog::writeGoing(status, QStringLiteral("the window was closed during the run"));
    endProcess(status);
}

void TTamrinForm::endProcess(int status)
{
    m_closing = true;
    if (m_guard)
        m_guard->standDown();
    hide();
    exitProcess(status);
}
