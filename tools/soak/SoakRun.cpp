// A soak run against its own simulated unit, with the fault of its plan. The unit plays its
// own faults from a control command; the soak plays the operator's: a key typed into the
// terminal pane, a file cut or rewritten while Tamrin uploads it; and the supervisor's: the
// run's time limit, SIGTERM.
#include "SoakRun.h"

#include "FormFixture.h"
#include "OutsideStop.h"
#include "RecordCheck.h"
#include "StderrCapture.h"
#include "UnitSim.h"

#include "app/ClientSocketForm.h"
#include "app/TerminalPane.h"
#include "link/SerialPort.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int PtyPortNumber = 3; // UnitSim links its pty as COM3
// A run Tamrin let pass had the unit's prompt after the data, so the unit's upload line is
// already on its way; a failed run only gets a glance.
constexpr int StoreWaitAfterSuccessMs = 3000;
constexpr int StoreWaitAfterFailureMs = 200;

QByteArray readFile(const QString &path, bool *ok)
{
    QFile file(path);
    *ok = file.open(QIODevice::ReadOnly);
    return *ok ? file.readAll() : QByteArray();
}

// The first byte at which the two differ, or -1 when they are equal.
qint64 firstDifference(const QByteArray &a, const QByteArray &b)
{
    const qint64 common = std::min(a.size(), b.size());
    for (qint64 i = 0; i < common; ++i) {
        if (a.at(i) != b.at(i))
            return i;
    }
    return a.size() == b.size() ? -1 : common;
}

void copyFolder(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    for (const QFileInfo &entry : QDir(from).entryInfoList(QDir::Files))
        QFile::copy(entry.absoluteFilePath(), to + QLatin1Char('/') + entry.fileName());
}

QStringList tamrinLinesOf(const QByteArray &caught)
{
    QStringList lines;
    for (const QByteArray &line : caught.split('\n')) {
        if (line.startsWith("Tamrin: "))
            lines << QString::fromLocal8Bit(line);
    }
    return lines;
}

} // namespace

SoakRun::SoakRun(const RunPlan &plan, int unitBaud, QObject *parent)
    : QObject(parent), m_plan(plan), m_unitBaud(unitBaud)
{
    m_pauseWatch.setInterval(0);
    connect(&m_pauseWatch, &QTimer::timeout, this, &SoakRun::watchPause);
}

SoakRun::~SoakRun() = default;

RunOutcome SoakRun::execute()
{
    QString error;
    StderrCapture capture;
    if (setUp(&error) && !capture.start(stderrPath()))
        error = QStringLiteral("cannot catch standard error in %1").arg(stderrPath());
    if (!error.isEmpty()) {
        m_outcome.harnessError = error;
        m_outcome.classify();
        return m_outcome;
    }
    runScripts();
    noteHowTheRunEnded();
    m_outcome.classify(); // from Tamrin's side alone, to know how long to wait for the unit
    readWhatTheUnitStored(m_outcome.verdict == RunOutcome::Verdict::FailureReported);
    // Tamrin's file reads ahead of the block it sends: a rewrite it had read past left the
    // unit the original bytes, and missed.
    if (m_plan.fault == SoakFault::ChangedContent && m_outcome.storedExactly)
        m_outcome.faultInjected = false;
    m_outcome.classify();
    judgeTheRecords(capture.finish());
    if (m_outcome.failsTamrin())
        m_outcome.evidenceFolder = keepEvidence();
    return m_outcome;
}

// A run stopped from outside ends on the next pass of the event loop; after that, what Tamrin
// reported and the end of the process it asked for.
void SoakRun::noteHowTheRunEnded()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    m_outcome.messages = m_fixture->dialogs().messages;
    m_outcome.cancelFlag = form().cancelFlag();
    if (form().runControl().cancelled())
        m_outcome.cancelReason = form().runControl().cancelReason();
    m_outcome.exitStatus = m_fixture->exitStatus();
}

void SoakRun::judgeTheRecords(const QByteArray &caughtStderr)
{
    m_outcome.tamrinLines = tamrinLinesOf(caughtStderr);
    m_outcome.fileSha256 = QCryptographicHash::hash(m_data, QCryptographicHash::Sha256).toHex();
    if (m_stop) {
        // A stop that came once the run was over struck nothing.
        m_outcome.faultInjected = RecordCheck::stopTaken(m_plan, m_outcome.tamrinLines);
        m_outcome.forcedEnd = m_stop->forcedEndFired();
    }
    m_outcome.falseRecords = RecordCheck::falseRecords(m_plan, m_outcome);
}

bool SoakRun::setUp(QString *error)
{
    m_data = m_plan.fileBytes();
    QFile file(filePath());
    if (!m_files.isValid() || !file.open(QIODevice::WriteOnly) ||
        file.write(m_data) != m_data.size()) {
        *error = QStringLiteral("cannot write the file %1").arg(filePath());
        return false;
    }
    file.close();
    return startUnit(error) && connectLink(error) && prepareFault(error);
}

bool SoakRun::startUnit(QString *error)
{
    m_unit = std::make_unique<UnitSim>();
    const bool pty = m_plan.transport == SoakTransport::Pty;
    QStringList arguments{QStringLiteral("--loader")};
    if (m_unitBaud > 0)
        arguments << QStringLiteral("--baud") << QString::number(m_unitBaud);
    if (!m_unit->start(arguments, pty, !pty)) {
        *error = m_unit->errorString();
        return false;
    }
    // Over TCP Tamrin gets a ports folder of its own with no port in it.
    const QString ports = pty ? m_unit->portsDir() : m_files.filePath(QStringLiteral("ports"));
    QDir().mkpath(ports);
    m_fixture = std::make_unique<FormFixture>(ports);
    connect(&form(), &TTamrinForm::blockSent, this, &SoakRun::watchBlock);
    return true;
}

bool SoakRun::connectLink(QString *error)
{
    if (m_plan.transport == SoakTransport::Pty) {
        form().comPort().setPortNumber(PtyPortNumber);
        if (!form().comPort().open()) {
            *error = QStringLiteral("COM%1 did not open").arg(PtyPortNumber);
            return false;
        }
        return true;
    }
    TClientSocketForm &dialog = *m_fixture->windows().ethernet;
    dialog.setOctets({127, 0, 0, 1});
    dialog.setPort(m_unit->tcpPort());
    form().EnetConnect1Click();
    dialog.ConnectButtonClick();
    // A script run from the button quietens the keep-alive itself; this one runs without it.
    form().deviceLink().holdKeepAlive(true);
    if (!form().tcpConnected()) {
        *error = QStringLiteral("no TCP connection to port %1: %2")
                     .arg(m_unit->tcpPort())
                     .arg(m_fixture->dialogs().messages.join(QStringLiteral(" / ")));
        return false;
    }
    // The connect's own messages are not the upload's.
    m_fixture->dialogs().messages.clear();
    return true;
}

// Faults the unit plays by itself are set before the run; the others strike during it.
bool SoakRun::prepareFault(QString *error)
{
    if (m_plan.stopsFromOutside()) {
        m_stop = std::make_unique<OutsideStop>(m_plan, m_plan.describe());
        form().setProcessGuard(&m_stop->guard());
        return true;
    }
    QString command;
    if (m_plan.fault == SoakFault::HangupInData)
        command = QStringLiteral("hangup-after %1").arg(m_plan.faultAt);
    else if (m_plan.fault == SoakFault::MuteAfterHeader)
        command = QStringLiteral("mute-after-header on");
    if (command.isEmpty())
        return true;
    if (!m_unit->command(command)) {
        *error = QStringLiteral("the unit refused \"%1\": %2").arg(command, m_unit->errorString());
        return false;
    }
    m_outcome.faultInjected = true;
    return true;
}

void SoakRun::runScripts()
{
    m_scriptRunning = true;
    if (measuresInARunOfItsOwn()) {
        // The chain survives the end of a run: the file is measured in one run, changed, and
        // uploaded by the next.
        const int measured = m_fixture->runScript(chain());
        if (!m_stop)
            m_outcome.faultInjected = alterFile();
        m_outcome.result = runUpload();
        if (measured == 0)
            m_outcome.result = 0;
    } else {
        if (m_plan.fault == SoakFault::TypedKey && m_plan.beforeData)
            m_pauseWatch.start();
        m_outcome.result = m_fixture->runScript(chain() + "_LD\n");
    }
    m_pauseWatch.stop();
    m_scriptRunning = false;
}

// A file changed between the measure and the upload, or a stop counted from the upload's start.
bool SoakRun::measuresInARunOfItsOwn() const
{
    return m_plan.fault == SoakFault::Shrink ||
           (m_plan.fault == SoakFault::ChangedContent && m_plan.beforeData) || m_stop != nullptr;
}

// The _LD run by itself, with the stop from outside on its way from the run's start.
int SoakRun::runUpload()
{
    if (!m_stop)
        return m_fixture->runScript("_LD\n");
    const int mark = m_unit->mark();
    m_stop->start();
    const int result = m_fixture->runScript("_LD\n");
    m_stop->finish();
    m_outcome.unitHeardUpload = !m_unit->receivedSince(mark).isEmpty();
    return result;
}

// Tamrin announces each block just before it sends it: the fault goes off once the block
// holding its data byte is on its way.
void SoakRun::watchBlock(qsizetype size)
{
    const bool holdsFaultByte = m_sent + size > m_plan.faultAt;
    m_sent += size;
    if (!m_plan.strikesInData() || m_faultDue || !holdsFaultByte)
        return;
    m_faultDue = true;
    // Not from inside the send: the control command waits for the unit's reply.
    QTimer::singleShot(0, this, &SoakRun::injectFault);
}

// The first pass of the event loop with the header gone is in Tamrin's pause before the data.
void SoakRun::watchPause()
{
    if (!form().runControl().uploadInFlight())
        return;
    m_pauseWatch.stop();
    typeKey();
    m_outcome.faultInjected = m_sent == 0;
}

void SoakRun::injectFault()
{
    if (!m_scriptRunning)
        return;
    if (m_plan.fault == SoakFault::TypedKey) {
        typeKey();
        // A key once the last block has gone lands after the data.
        m_outcome.faultInjected = m_sent < m_plan.size;
        return;
    }
    if (m_plan.fault == SoakFault::ChangedContent) {
        m_outcome.faultInjected = alterFile();
        return;
    }
    const QString command = m_plan.fault == SoakFault::Garbage
                                ? QStringLiteral("garbage %1").arg(GarbageSize)
                                : QStringLiteral("hangup");
    m_outcome.faultInjected = m_unit->command(command);
}

// As the operator types it: a key event on the pane, which hands its byte to Tamrin.
void SoakRun::typeKey()
{
    QTest::keyClick(&form().terminal(), m_plan.typedKey);
}

// The file Tamrin measured, cut short or rewritten in place: Tamrin's file, open during the
// data, reads the new bytes from where it has got to (WriteOnly would empty the file first).
bool SoakRun::alterFile()
{
    if (m_plan.fault == SoakFault::Shrink)
        return QFile::resize(filePath(), m_plan.shrunkSize);
    const QByteArray changed = m_plan.changedBytes();
    QFile file(filePath());
    return file.open(QIODevice::ReadWrite) && file.write(changed) == changed.size() && file.flush();
}

void SoakRun::readWhatTheUnitStored(bool tamrinReportedFailure)
{
    m_unit->waitForUploadLines(1, tamrinReportedFailure ? StoreWaitAfterFailureMs
                                                        : StoreWaitAfterSuccessMs);
    m_outcome.uploadLines = m_unit->uploadLines();
    const QStringList &lines = m_outcome.uploadLines;
    if (lines.size() != 1) {
        m_outcome.storedDetail =
            lines.isEmpty() ? QStringLiteral("the unit stored nothing")
                            : QStringLiteral("the unit stored %1 uploads").arg(lines.size());
        return;
    }
    const QString &line = lines.constFirst();
    const qsizetype fileField = line.indexOf(QLatin1String(" file="));
    bool read = false;
    const QByteArray stored =
        fileField < 0 ? QByteArray() : readFile(line.mid(fileField + 6), &read);
    const bool resultOk = line.contains(QLatin1String(" result=ok "));
    const qint64 difference = firstDifference(stored, m_data);
    m_outcome.storedExactly = read && resultOk && difference < 0;
    if (!m_outcome.storedExactly)
        m_outcome.storedDetail =
            QStringLiteral("the unit stored %1 bytes (%2), first difference at byte %3")
                .arg(stored.size())
                .arg(resultOk ? QStringLiteral("result=ok") : QStringLiteral("result not ok"))
                .arg(difference);
}

// A copy of the unit's transcript and store and of the file, outside the folders that go
// with the run.
QString SoakRun::keepEvidence() const
{
    const QString folder = QDir::temp().filePath(
        QStringLiteral("tamrin-soak-seed%1-run%2").arg(m_plan.seed).arg(m_plan.run));
    // A replay of the run replaces what an earlier one kept.
    QDir(folder).removeRecursively();
    copyFolder(m_unit->storeDir(), folder + QStringLiteral("/store"));
    QFile::copy(m_unit->transcriptPath(), folder + QStringLiteral("/transcript.txt"));
    QFile::copy(filePath(), folder + QStringLiteral("/file-after-run.bin"));
    QFile original(folder + QStringLiteral("/file.bin"));
    if (original.open(QIODevice::WriteOnly))
        original.write(m_data);
    QFile notes(folder + QStringLiteral("/notes.txt"));
    if (notes.open(QIODevice::WriteOnly | QIODevice::Text)) {
        QStringList text{m_plan.describe(), m_outcome.storedDetail};
        text << m_outcome.falseRecords << m_outcome.tamrinLines << m_unit->output();
        notes.write(text.join(QLatin1Char('\n')).toUtf8());
    }
    return folder;
}

QByteArray SoakRun::chain() const
{
    return "_LF " + QFile::encodeName(filePath()) + "\n_LA 80000\n_LV V2.1\n";
}

QString SoakRun::filePath() const
{
    return m_files.filePath(QStringLiteral("image.bin"));
}

QString SoakRun::stderrPath() const
{
    return m_files.filePath(QStringLiteral("stderr.txt"));
}

TTamrinForm &SoakRun::form()
{
    return m_fixture->form();
}
