// A station's start (tamrin --run): the settings file's values overridden by the command line,
// the one port it names reached (waited for, if asked), never another; the records' context
// and the progress lines; and, after a run that failed because the link was lost, the next
// attempt, from the script's first line.
#include "app/TamrinForm.h"

#include "app/ClientSocketForm.h"
#include "app/StationProgress.h"
#include "app/StatusLightController.h"
#include "base/OperatorDialogs.h"
#include "base/Timing.h"
#include "link/PortList.h"
#include "link/PortNames.h"
#include "link/SerialPort.h"

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QHostInfo>
#include <QLabel>

namespace {

constexpr int PortPollMs = 100;

} // namespace

void TTamrinForm::setStationRequest(const StationRequest &request)
{
    m_request = request;
}

// False when the station cannot start (its record or progress file cannot be opened): the
// process has ended then.
bool TTamrinForm::applyStationRequest()
{
    startup.autoMode = true;
    startup.autoScriptPath = QFile::encodeName(m_request->script);
    if (m_request->overTcp() || m_request->namesAPort())
        startup.ethernetOnly = false;
    if (m_request->baud) {
        m_comPort->setBaudRate(*m_request->baud);
        applyLinkState();
    }
    if (!m_request->device.isEmpty())
        PortNames::pinDevice(1, m_request->device);
    if (m_request->namesAPort())
        m_ports->setConfiguredComPort(m_request->comPort.value_or(1));
    QString error;
    if (!m_request->recordPath.isEmpty() && !RecordLog::openJsonFile(m_request->recordPath, &error))
        return cannotStart(m_request->recordPath, error);
    if (!m_request->progressPath.isEmpty()) {
        m_progress = std::make_unique<StationProgress>();
        if (!m_progress->open(m_request->progressPath, &error))
            return cannotStart(m_request->progressPath, error);
        m_progress->setPort(stationPortName());
    }
    RecordContext context;
    context.port = stationPortName();
    RecordLog::setContext(context);
    return true;
}

bool TTamrinForm::cannotStart(const QString &path, const QString &error)
{
    WriteStderrLine(QStringLiteral("Error! %1 cannot be opened: %2").arg(path, error));
    endProcess(ExitCannotStart);
    return false;
}

// The COM port open, else the one the station will try; 0 before a search.
int TTamrinForm::stationPortNumber() const
{
    return serialOpen() ? m_comPort->portNumber() : m_ports->configuredComPort();
}

// "tcp", or the station's COM port; empty before a search.
QString TTamrinForm::stationPortName() const
{
    if (m_request->overTcp())
        return QStringLiteral("tcp");
    return stationPortNumber() > 0 ? QStringLiteral("COM%1").arg(stationPortNumber()) : QString();
}

// The link the station was given, waited for up to 'waitSeconds' first, and no other; or,
// when it names none, the settings' port and the search, as an automatic run finds the unit.
void TTamrinForm::reachStationUnit(int waitSeconds)
{
    tellProgress(QStringLiteral("waiting"));
    bool reached = false;
    if (m_request->overTcp())
        reached = connectStationTcp(waitSeconds);
    else if (m_request->namesAPort())
        reached = reachStationPort(waitSeconds);
    else if (!startup.ethernetOnly)
        findUnitOnSerialPorts();
    reached = reached || serialOpen();
    m_ports->lockUseCom();
    noteStationLink();
    if (reached)
        tellProgress(QStringLiteral("connected"));
}

bool TTamrinForm::reachStationPort(int waitSeconds)
{
    const int portNumber = m_ports->configuredComPort();
    if (waitSeconds > 0 && !waitForSerialPort(portNumber, waitSeconds)) {
        startup.failure = QStringLiteral("Error! COM%1 (%2) did not appear within %3 s. Exiting "
                                         "application")
                              .arg(portNumber)
                              .arg(PortNames::devicePath(portNumber))
                              .arg(waitSeconds);
        WriteStderrLine(startup.failure);
        return false;
    }
    const bool answered = check_com(portNumber) > 0;
    m_lights->setMonitoring(serialOpen());
    return answered;
}

// Until the device is there and opens (a unit being plugged in), polling.
bool TTamrinForm::waitForSerialPort(int portNumber, int seconds)
{
    const auto opens = [this, portNumber] {
        return SerialPort::isAvailable(portNumber) && m_comPort->setPortNumber(portNumber) &&
               m_comPort->open();
    };
    return Timing::PollWait(opens, Timing::atDeadline(Timing::nowMs() + qint64(seconds) * 1000))
               .sleepFirst(PortPollMs)
               .run() == Timing::WaitEnd::Held;
}

// The unit's address and port go into the Ethernet dialog's fields, and a connect is tried,
// again and again up to 'waitSeconds'.
bool TTamrinForm::connectStationTcp(int waitSeconds)
{
    const QList<QHostAddress> addresses = QHostInfo::fromName(m_request->tcpHost).addresses();
    const auto ipv4 = std::find_if(addresses.begin(), addresses.end(),
                                   [](const QHostAddress &address) {
                                       return address.protocol() == QAbstractSocket::IPv4Protocol;
                                   });
    if (ipv4 == addresses.end() || !m_windows.ethernet) {
        startup.failure = QStringLiteral("Error! %1 cannot be reached: no IPv4 address. Exiting "
                                         "application")
                              .arg(m_request->tcpHost);
        WriteStderrLine(startup.failure);
        return false;
    }
    const quint32 address = ipv4->toIPv4Address();
    m_windows.ethernet->setOctets({int(address >> 24), int((address >> 16) & 0xff),
                                   int((address >> 8) & 0xff), int(address & 0xff)});
    m_windows.ethernet->setPort(m_request->tcpPort);
    const auto connected = [this] {
        connectEthernet(EthernetConnectReport::Quiet);
        return tcpConnected();
    };
    return Timing::PollWait(connected,
                            Timing::atDeadline(Timing::nowMs() + qint64(waitSeconds) * 1000))
               .sleepFirst(PortPollMs)
               .run() == Timing::WaitEnd::Held;
}

// What the records say of the link: the device behind the COM port and its adapter.
void TTamrinForm::noteStationLink()
{
    RecordContext context = RecordLog::context();
    context.port = stationPortName();
    if (m_progress)
        m_progress->setPort(context.port);
    if (m_request->overTcp()) {
        context.link = QStringLiteral("tcp:%1:%2").arg(m_request->tcpHost).arg(m_request->tcpPort);
    } else if (const int portNumber = stationPortNumber(); portNumber > 0) {
        const QString path = PortNames::devicePath(portNumber);
        const QString resolved = QFileInfo(path).canonicalFilePath();
        context.device = resolved.isEmpty() ? path : resolved;
        context.adapterSerial = PortList::adapterSerial(context.device);
        context.link = QStringLiteral("COM%1:%2").arg(portNumber).arg(m_comPort->baudRate());
    }
    RecordLog::setContext(context);
}

// Only a station, only after a link lost (the device vanished, the connection could not be
// brought back), and only as often as it was asked to.
bool TTamrinForm::retryWanted(int status, int attempt) const
{
    return m_request && attempt <= m_request->retries && status == ExitRunFailed &&
           !m_run.ending() && (m_run.linkLost() || activeTransport() == Transport::None);
}

// The next attempt begins as the first did: with the port back (waited for as --wait-port
// says, or 30 s), the script from its first line, the file from its first byte.
void TTamrinForm::startNextAttempt(int attempt)
{
    WriteStderrLine(QStringLiteral("Note: the link was lost; attempt %1 runs the script again.")
                        .arg(attempt));
    RecordContext context = RecordLog::context();
    context.attempt = attempt;
    RecordLog::setContext(context);
    startup.failure.clear();
    m_script->forgetErrors();
    if (serialOpen())
        m_comPort->close();
    reachStationUnit(m_request->waitPortSeconds.value_or(StationRequests::RetryWaitSeconds));
}

// Every phase carries the upload's count so far, so that the bytes never go back within one.
void TTamrinForm::tellProgress(const QString &phase)
{
    if (m_progress)
        m_progress->phase(phase, m_uploader->state().bytesSent, m_uploader->state().fileSize);
}
