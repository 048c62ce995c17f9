// The link core over a real pseudo-terminal, with the simulated unit on the other end:
// sends, prompt waits (and the poll wait they are built on), reply capture, the block send (also to
// a unit that stops reading), the watchdog, a device that vanishes, and the hold on the device
// while the port is open.
#include "FormFixture.h"
#include "UnitSim.h"

#include "app/ProgressForm.h"
#include "app/TerminalModel.h"
#include "app/TerminalPane.h"
#include "base/Timing.h"
#include "link/SerialPort.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(Timing::WaitEnd)

class tst_SerialLink : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void sendStringReachesTheUnitAndTerminal();
    void sendStringRefusesTextLargerThanTheBuffer();
    void promptWaitEndsOnThePrompt_data();
    void promptWaitEndsOnThePrompt();
    void promptWaitTakesWhatItReadsFromTheTerminal();
    void captureReplyEndsBeforeThePrompt_data();
    void captureReplyEndsBeforeThePrompt();
    void captureGuardSkipsEchoedPrompt();
    void captureNudgesAtAThirdOfThePollLimit();
    void captureSurvivesAFlood();
    void pollWaitLooksBeforeEachPoll_data();
    void pollWaitLooksBeforeEachPoll();
    void blockSendDeliversEveryByte();
    void blockSendRefusesOversizedBlock();
    void blockSendToAUnitThatStopsReadingFailsOnce();
    void watchdogEndsAHungCapture();
    void timingTestSendsItsQueries();
    void hangUpDuringPromptWaitIsReportedOnce();
    void vanishedDeviceIsReportedOnceAndClosed();
    void openPortHoldsTheDeviceUnderEveryName();
    void typedKeysGoToThePort_data();
    void typedKeysGoToThePort();

private:
    // Captures the reply to 'command' as a query does; true when the prompt ended it.
    bool capture(const QByteArray &command, int guard, int pollLimit);
    std::unique_ptr<UnitSim> m_sim;
    std::unique_ptr<FormFixture> m_fixture;
};

void tst_SerialLink::init()
{
    m_sim = std::make_unique<UnitSim>();
    QVERIFY(m_sim->start());
    m_fixture = std::make_unique<FormFixture>(m_sim->portsDir(), 0.25);
    QVERIFY(m_fixture->openComPort(3));
}

void tst_SerialLink::cleanup()
{
    m_fixture.reset();
    m_sim.reset();
}

// A second report of a lost device could come only from what the loss left queued or from the
// watchdog: the queue has run, and the watchdog is not timing anything.
static void afterTheLoss(TTamrinForm &form)
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QVERIFY(!form.deviceLink().commandTimer().isActive());
}

bool tst_SerialLink::capture(const QByteArray &command, int guard, int pollLimit)
{
    TTamrinForm &form = m_fixture->form();
    form.deviceLink().captureReply(command, guard, pollLimit);
    return !form.deviceLink().waitFailed();
}

void tst_SerialLink::sendStringReachesTheUnitAndTerminal()
{
    TTamrinForm &form = m_fixture->form();
    form.SendString("VER\r");
    QTRY_COMPARE(m_sim->received(), QByteArray("VER\r"));
    QTRY_VERIFY(form.terminal().model().allRows().join('\n').contains("2.08"));
}

void tst_SerialLink::sendStringRefusesTextLargerThanTheBuffer()
{
    TTamrinForm &form = m_fixture->form();
    form.SendString(QByteArray(SerialPort::OutputBufferSize, 'x'));
    QCOMPARE(m_fixture->dialogs().messages,
             QStringList{"Error! Communications Port Output Buffer Overflow"});
    form.SendString("|");
    QTRY_COMPARE(m_sim->received(), QByteArray("|"));
}

void tst_SerialLink::promptWaitEndsOnThePrompt_data()
{
    QTest::addColumn<QString>("simSetting");
    QTest::addColumn<char>("prompt");
    QTest::addColumn<bool>("found");

    QTest::newRow("normal prompt awaited") << QString() << '#' << true;
    QTest::newRow("loader prompt awaited, unit normal") << QString() << '>' << false;
    QTest::newRow("loader unit") << QStringLiteral("mode loader") << '>' << true;
    QTest::newRow("mute unit") << QStringLiteral("mute on") << '#' << false;
}

void tst_SerialLink::promptWaitEndsOnThePrompt()
{
    QFETCH(QString, simSetting);
    QFETCH(char, prompt);
    QFETCH(bool, found);
    if (!simSetting.isEmpty())
        QVERIFY(m_sim->command(simSetting));
    TTamrinForm &form = m_fixture->form();
    const DeviceLink::Probing probing(form.deviceLink()); // 8 ticks
    form.SetPromptChar(prompt);
    QCOMPARE(form.SendCOMCmd_GetPrompt("\r"), found);
    QCOMPARE(m_sim->received(), QByteArray("\r"));
}

void tst_SerialLink::promptWaitTakesWhatItReadsFromTheTerminal()
{
    // What ends a prompt wait is taken by the wait: it never reaches the terminal pane.
    TTamrinForm &form = m_fixture->form();
    QVERIFY(m_sim->command(QStringLiteral("version PROMPTWAIT")));
    form.SetPromptChar('#');
    QVERIFY(form.SendCOMCmd_GetPrompt("VER\r"));
    // What the unit says after the wait reaches the pane behind anything the wait left there.
    QVERIFY(m_sim->command(QStringLiteral("echo on")));
    form.SendString("MARK");
    QTRY_VERIFY(form.terminal().model().allRows().join('\n').contains("MARK"));
    QVERIFY(!form.terminal().model().allRows().join('\n').contains("PROMPTWAIT"));
}

void tst_SerialLink::captureReplyEndsBeforeThePrompt_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("prompt at the end of the delivery") << "2.08" << QByteArray("2.08\r\n");
    QTest::newRow("prompt in the middle of the delivery") << "ab#cd" << QByteArray("ab");
    QTest::newRow("loader prompt ends a serial capture") << "x>y" << QByteArray("x");
}

void tst_SerialLink::captureReplyEndsBeforeThePrompt()
{
    QFETCH(QString, version);
    QFETCH(QByteArray, reply);
    QVERIFY(m_sim->command(QStringLiteral("version ") + version));
    TTamrinForm &form = m_fixture->form();
    form.SetPromptChar('#');
    QVERIFY(capture("VER", 0, 2000));
    QCOMPARE(form.deviceLink().reply().text(), reply);
    QCOMPARE(m_sim->received(), QByteArray("VER\r"));
    // The terminal pane shows a captured serial reply too.
    QTRY_VERIFY(form.terminal().model().allRows().join('\n').contains(version.left(2).toLatin1()));
}

void tst_SerialLink::captureGuardSkipsEchoedPrompt()
{
    // The unit echoes what it receives; a prompt character inside the echo must not end the
    // capture while it lies below the guard.
    QVERIFY(m_sim->command(QStringLiteral("echo on")));
    TTamrinForm &form = m_fixture->form();
    QVERIFY(capture("VER", 3, 2000));
    QCOMPARE(form.deviceLink().reply().text(), QByteArray("\r\n2.08\r\n"));
}

void tst_SerialLink::captureNudgesAtAThirdOfThePollLimit()
{
    QVERIFY(m_sim->command(QStringLiteral("mute on")));
    TTamrinForm &form = m_fixture->form();
    QVERIFY(!capture("VER", 10, 300));
    QVERIFY(!form.deviceLink().capturing());
    QTRY_COMPARE(m_sim->received(), QByteArray("VER\r.\r"));
    const QList<UnitSim::Chunk> chunks = m_sim->chunks();
    QCOMPARE(chunks.last().bytes, QByteArray(".\r"));
}

void tst_SerialLink::captureSurvivesAFlood()
{
    QVERIFY(m_sim->command(QStringLiteral("answer-padding 20000")));
    TTamrinForm &form = m_fixture->form();
    QVERIFY(capture("VER", 10, 6000));
    const QByteArray reply = form.deviceLink().reply().text();
    QVERIFY(!reply.isEmpty());
    QVERIFY(reply.size() < ReplyBuffer::Size);
    QVERIFY2(reply.endsWith("\r\n") && !reply.contains('#'), reply.right(40).constData());
}

// Every wait of the link is one poll wait: what it waits for is looked at before the stop
// condition and the limit, so a prompt that arrives on the last poll is still found.
void tst_SerialLink::pollWaitLooksBeforeEachPoll_data()
{
    QTest::addColumn<int>("holdsAfter"); // polls after which what it waits for holds; -1 never
    QTest::addColumn<int>("stopAfter");
    QTest::addColumn<int>("limit");
    QTest::addColumn<Timing::WaitEnd>("end");
    QTest::addColumn<int>("polls");

    using Timing::WaitEnd;
    QTest::newRow("holds at once") << 0 << 0 << 0 << WaitEnd::Held << 0;
    QTest::newRow("holds on the last poll") << 3 << -1 << 3 << WaitEnd::Held << 3;
    QTest::newRow("stop before the limit") << -1 << 2 << 2 << WaitEnd::Stopped << 2;
    QTest::newRow("limit") << -1 << -1 << 4 << WaitEnd::LimitReached << 4;
}

void tst_SerialLink::pollWaitLooksBeforeEachPoll()
{
    QFETCH(int, holdsAfter);
    QFETCH(int, stopAfter);
    QFETCH(int, limit);
    int polls = 0;
    const auto after = [&polls](int count) { return count >= 0 && polls >= count; };
    const Timing::WaitEnd end =
        Timing::PollWait([&] { return after(holdsAfter); }, Timing::afterPolls(limit))
            .stopWhen([&] { return after(stopAfter); })
            .afterEachPoll([&polls](int made) { polls = made; })
            .run();
    QTEST(end, "end");
    QTEST(polls, "polls");
}

void tst_SerialLink::blockSendDeliversEveryByte()
{
    QVERIFY(m_sim->command(QStringLiteral("mute on")));
    TTamrinForm &form = m_fixture->form();
    QByteArray block(2000, '\0');
    for (int i = 0; i < block.size(); ++i)
        block[i] = char(i * 7);
    form.SendByte(block);
    QCOMPARE(form.cancelFlag(), 0);
    QVERIFY(m_fixture->dialogs().messages.isEmpty());
    QTRY_COMPARE(m_sim->received(), block);
}

void tst_SerialLink::blockSendRefusesOversizedBlock()
{
    TTamrinForm &form = m_fixture->form();
    form.SendByte(QByteArray(5000, 'x'));
    QCOMPARE(m_fixture->dialogs().messages,
             QStringList{"Error! Communications Port Output Buffer Overflow. Cancel upload."});
    QCOMPARE(form.cancelFlag(), 1);
}

void tst_SerialLink::blockSendToAUnitThatStopsReadingFailsOnce()
{
    // Each block waits up to 15000 polls of 1 ms for the queue to empty: 1.5 s at this scale.
    Timing::setScale(0.1);
    QVERIFY(m_sim->command(QStringLiteral("mute on")));
    // One byte in ten seconds: the unit has all but stopped reading, and the pty fills.
    QVERIFY(m_sim->command(QStringLiteral("baud 1")));
    TTamrinForm &form = m_fixture->form();
    const QByteArray block(2000, 'x');
    // Block after block as an upload sends them, until the pty is full and a block fails.
    for (int sent = 0; sent < 40 && form.cancelFlag() == 0; ++sent) {
        form.SendByte(block);
        form.comPort().processCommunications();
    }
    const QStringList once{
        "Error! Output Buffer never empties. Check RS232 connection. Cancel upload."};
    QCOMPARE(m_fixture->dialogs().messages, once);
    QVERIFY(form.serialOpen());
    // Once the unit reads again, what was queued and what comes next reach it, and the queue
    // that drained was reported no second time.
    QVERIFY(m_sim->command(QStringLiteral("baud off")));
    form.SendString("VER\r");
    QTRY_VERIFY_WITH_TIMEOUT(m_sim->received().endsWith("xVER\r"), 10000);
    QCOMPARE(m_fixture->dialogs().messages, once);
}

void tst_SerialLink::watchdogEndsAHungCapture()
{
    QVERIFY(m_sim->command(QStringLiteral("mute on")));
    TTamrinForm &form = m_fixture->form();
    form.deviceLink().setWatchdogMs(300);
    form.deviceLink().captureReply("VER", 0, 100000);
    QVERIFY(form.deviceLink().waitFailed());
    QCOMPARE(form.cancelFlag(), 1);
    const QString text = QStringLiteral("Timeout error! Connection failure! Please check "
                                        "RS232/Ethernet connection. Exiting script.");
    QCOMPARE(m_fixture->dialogs().messages, QStringList{text});
    QCOMPARE(form.messageText(), text);
    QVERIFY(!form.deviceLink().commandTimer().isActive());
}

void tst_SerialLink::timingTestSendsItsQueries()
{
    TTamrinForm &form = m_fixture->form();
    form.SetPromptChar('#');
    control<QLineEdit>(form, "TimingCountEdit")->setText(QStringLiteral("3"));
    form.Button1Click();
    QCOMPARE(m_sim->received(), QByteArray("OTPM? 1\rOTPM? 1\rOTPM? 1\r"));
    QVERIFY(!control<QLabel>(form, "TimingStartLabel")->text().isEmpty());
    QVERIFY(!control<QLabel>(form, "TimingEndLabel")->text().isEmpty());
}

void tst_SerialLink::hangUpDuringPromptWaitIsReportedOnce()
{
    QVERIFY(m_sim->command(QStringLiteral("delay 60000")));
    TTamrinForm &form = m_fixture->form();
    form.SetPromptChar('#');
    // A wait that went on after the device vanished would outlast the suite's time-out: that
    // it returns is the proof.
    QTimer::singleShot(300, this, [this] { m_sim->command(QStringLiteral("hangup")); });
    QVERIFY(!form.deviceLink().SendCOMCmd_GetPrompt("VER\r", 1 << 20));
    QVERIFY(!form.serialOpen());
    afterTheLoss(form);
    QCOMPARE(m_fixture->dialogs().messages.size(), 1);
    QVERIFY(m_fixture->dialogs().messages.first().contains("COM Port #3"));
    QCOMPARE(control<QLabel>(form, "ComNumberLabel")->text(), QStringLiteral("None"));
}

void tst_SerialLink::vanishedDeviceIsReportedOnceAndClosed()
{
    TTamrinForm &form = m_fixture->form();
    QVERIFY(m_sim->command(QStringLiteral("hangup")));
    QTRY_VERIFY(!form.serialOpen());
    afterTheLoss(form);
    QCOMPARE(m_fixture->dialogs().messages.size(), 1);
    QCOMPARE(form.cancelFlag(), 1);
    QVERIFY(!control<QPushButton>(form, "PickButton")->isEnabled());
    // Sends on the closed port are silently dropped.
    form.SendString("VER\r");
    QCOMPARE(m_fixture->dialogs().messages.size(), 1);
}

void tst_SerialLink::openPortHoldsTheDeviceUnderEveryName()
{
    // COM5 is another name for the device the form has open as COM3.
    QVERIFY(QFile::link(m_sim->slaveDevice(), m_sim->portsDir() + QStringLiteral("/COM5")));
    SerialPort second;
    second.setPortNumber(5);
    QVERIFY(SerialPort::isAvailable(5));
    QVERIFY(!second.open());
    QVERIFY2(second.errorString().contains(QStringLiteral("held by another program")),
             qPrintable(second.errorString()));
    QCOMPARE(second.openFailure(), SerialPort::OpenFailure::Busy);
    // Asking about its own port leaves the holder working.
    QVERIFY(SerialPort::isAvailable(3));
    TTamrinForm &form = m_fixture->form();
    form.SendString("VER\r");
    QTRY_COMPARE(m_sim->received(), QByteArray("VER\r"));
    // The hold ends with the port.
    form.comPort().close();
    QVERIFY(second.open());
}

void tst_SerialLink::typedKeysGoToThePort_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("letter, no local echo") << int(Qt::Key_A) << QByteArray("a");
    QTest::newRow("backspace erases at the unit") << int(Qt::Key_Backspace) << QByteArray("\b \b");
    QTest::newRow("Enter") << int(Qt::Key_Return) << QByteArray("\r");
}

void tst_SerialLink::typedKeysGoToThePort()
{
    QFETCH(int, key);
    QFETCH(QByteArray, sent);
    QVERIFY(m_sim->command(QStringLiteral("mute on")));
    TTamrinForm &form = m_fixture->form();
    QTest::keyClick(control<TerminalPane>(form, "AdTerminal1"), Qt::Key(key));
    // A byte sent after the key arrives after whatever the key sent: nothing more came.
    form.SendString("|");
    QTRY_COMPARE(m_sim->received(), sent + '|');
    QCOMPARE(form.terminal().model().screenRowText(0), QByteArray());
}

QTEST_MAIN(tst_SerialLink)
#include "tst_seriallink.moc"
