// Scripts run against the simulated unit over a pseudo-terminal: what the unit receives, the
// messages and status lines the operator sees, and how a run ends.
#include "FormFixture.h"
#include "UnitSim.h"

#include "app/TerminalPane.h"
#include "base/Timing.h"
#include "link/SerialPort.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>

#include <memory>

class tst_ScriptRun : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void sends_data();
    void sends();
    void overlongLineStopsTheRun();
    void largeScriptRunsToItsEnd();
    void loaderModeCheck_data();
    void loaderModeCheck();
    void queryAndConditions_data();
    void queryAndConditions();
    void operatorAnswerBranches_data();
    void operatorAnswerBranches();
    void failingTailStopsTheRun();
    void tailsNestedTenDeep();
    void queryWithoutAnswer();
    void replyOfSeveralLinesIsJoined();
    void promptWaitOutlastsASilentUnit();
    void settingsLastFromRunToRun();
    void restartAfterSend_data();
    void restartAfterSend();
    void fiveThousandLines();
    void loaderModeCheckFailsInRealTime();
    void deviceLostDuringAWait_data();
    void deviceLostDuringAWait();
    void unreadableScriptFile_data();
    void unreadableScriptFile();
    void operatorCannotReachTheUnitDuringARun_data();
    void operatorCannotReachTheUnitDuringARun();

private:
    int run(const QByteArray &script);
    TTamrinForm &form() { return m_fixture->form(); }
    QStringList &messages() { return m_fixture->dialogs().messages; }

    std::unique_ptr<UnitSim> m_sim;
    std::unique_ptr<FormFixture> m_fixture;
    QTemporaryDir m_scripts;
};

void tst_ScriptRun::init()
{
    m_sim = std::make_unique<UnitSim>();
    QVERIFY(m_sim->start());
    m_fixture = std::make_unique<FormFixture>(m_sim->portsDir(), 0.1);
    QVERIFY(m_fixture->openComPort(3));
}

void tst_ScriptRun::cleanup()
{
    m_fixture.reset();
    m_sim.reset();
}

int tst_ScriptRun::run(const QByteArray &script)
{
    return m_fixture->runScript(script);
}

void tst_ScriptRun::sends_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QByteArray>("wire");

    QTest::newRow("send") << QByteArray("_SC \"VER\"\n") << QByteArray("VER\r");
    QTest::newRow("^M inside") << QByteArray("_SC \"A^MB\"\n") << QByteArray("A\rB\r");
    QTest::newRow("CR LF lines and _SR")
        << QByteArray("_SC \"A\"\r\n_SR \"B\"\r\n") << QByteArray("A\rB\r");
    QTest::newRow("comment first") << QByteArray(";_SC \"A\"\n") << QByteArray();
    QTest::newRow("prose before the command")
        << QByteArray("step 1: _SC \"A\"\n") << QByteArray("A\r");
    QTest::newRow("last line without LF") << QByteArray("_SC \"A\"") << QByteArray("A\r");
    QTest::newRow("Ctrl-Z ends the file")
        << QByteArray("_SC \"A\"\n\x1a_SC \"B\"\n") << QByteArray("A\r");
    QTest::newRow("_FI in the middle")
        << QByteArray("_SC \"A\"\n_FI\n_SC \"B\"\n") << QByteArray("A\r");
    QTest::newRow("lower case keyword") << QByteArray("_sc \"A\"\n") << QByteArray();
    QTest::newRow("missing quote") << QByteArray("_SC VER\n") << QByteArray();
    QTest::newRow("binary bytes") << QByteArray("\x00\xff_SC \"\xfe\"\n", 10)
                                  << QByteArray("\xfe\r");
    QTest::newRow("no underscore at all") << QByteArray("hello\nworld\n") << QByteArray();
    QTest::newRow("unknown keyword") << QByteArray("_XX \"A\"\n_SC \"B\"\n") << QByteArray("B\r");
    QTest::newRow("pause without a blank does nothing")
        << QByteArray("_DY\n_DY 10\n_SC \"B\"\n") << QByteArray("B\r");
    // Only a line feed ends a line: CR-only line ends make one long command line.
    QTest::newRow("CR-only line ends")
        << QByteArray("_SC \"A\"\r_SC \"B\"\r") << QByteArray("A\"_SC \"B\r");
}

void tst_ScriptRun::sends()
{
    QFETCH(QByteArray, script);
    QFETCH(QByteArray, wire);
    QCOMPARE(run(script), 1);
    QCOMPARE(form().statusText(), QStringLiteral("SUCCESS. Reading script file complete"));
    QVERIFY(messages().isEmpty());
    // What the unit has once it has the marker sent after the run is all the run sent.
    QCOMPARE(run("_SC \"MARK\"\n"), 1);
    QTRY_VERIFY(m_sim->received().endsWith("MARK\r"));
    QCOMPARE(m_sim->received(), wire + "MARK\r");
}

void tst_ScriptRun::overlongLineStopsTheRun()
{
    // 10 MB on one line: read to its end, refused, never held in memory.
    const QByteArray script =
        "_SC \"A\"\n_SC \"" + QByteArray(10 * 1024 * 1024, 'x') + "\"\n_SC \"B\"\n";
    QCOMPARE(run(script), 0);
    QCOMPARE(messages().size(), 1);
    QVERIFY2(messages().first().contains("Line 2"), qPrintable(messages().first()));
    QCOMPARE(form().statusText(), QStringLiteral(" "));
    QTRY_COMPARE(m_sim->received(), QByteArray("A\r"));
}

void tst_ScriptRun::largeScriptRunsToItsEnd()
{
    // 50 MB of comment lines, then a command: read as the run goes, to its end.
    const QString path = m_scripts.filePath(QStringLiteral("large.sld"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    const QByteArray megabyte = QByteArray(99, ';').append('\n').repeated(10 * 1024);
    for (int i = 0; i < 50; ++i)
        QCOMPARE(file.write(megabyte), megabyte.size());
    QVERIFY(file.write("_SC \"B\"\n") > 0);
    file.close();
    form().scriptRunner().setFileName(path);
    QCOMPARE(form().read_ini(), 1);
    QTRY_COMPARE(m_sim->received(), QByteArray("B\r"));
}

void tst_ScriptRun::loaderModeCheck_data()
{
    QTest::addColumn<QString>("unitSetting");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("already in loader mode")
        << "mode loader" << 1 << QByteArray("\r") << QStringList{};
    QTest::newRow("enters loader mode") << "" << 1 << QByteArray("\rLOADR\r\n\r") << QStringList{};
    QTest::newRow("stays in normal mode")
        << "no-loader on" << 0 << QByteArray("\rLOADR\r\n\r\r\r\r")
        << QStringList{"Error! Unit not in Loader Mode! Exiting script"};
    QTest::newRow("never answers")
        << "mute on" << 0 << QByteArray("\rLOADR\r\n\r\r\r\r")
        << QStringList{"Error! Unable to get response from unit(_TC)! Exiting script"};
}

void tst_ScriptRun::loaderModeCheck()
{
    QFETCH(QString, unitSetting);
    QFETCH(int, result);
    QFETCH(QByteArray, wire);
    QFETCH(QStringList, messages);
    if (!unitSetting.isEmpty())
        QVERIFY(m_sim->command(unitSetting));
    Timing::setScale(0.02);
    QCOMPARE(run("_TC \"^M\"\n_SC \"AFTER\"\n"), result);
    QCOMPARE(this->messages(), messages);
    QCOMPARE(form().deviceLink().currentPrompt(), result ? '>' : '#');
    if (result)
        wire += "AFTER\r";
    QTRY_COMPARE(m_sim->received(), wire);
    QCOMPARE(form().statusText(), result ? QStringLiteral("SUCCESS. Reading script file complete")
                                         : QStringLiteral(" "));
}

void tst_ScriptRun::queryAndConditions_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QStringList>("messages");

    const QByteArray ask = "_QC \"VER\"\n";
    QTest::newRow("major tests") << "2.08"
                                 << ask + "_AG \"2\" _SC \"a\"\n_AL \"2\" _SC \"b\"\n"
                                          "_AL \"3\" _SC \"c\"\n"
                                 << QByteArray("a\rc\r") << QStringList{};
    QTest::newRow("minor tests") << "2.08" << ask + "_IG \"8\" _SC \"a\"\n_IL \"8\" _SC \"b\"\n"
                                 << QByteArray("a\r") << QStringList{};
    QTest::newRow("answer without a version")
        << "Boot" << ask + "_AG \"1\" _SC \"a\"\n"
        << QByteArray() << QStringList{"Prev _QC does not have version info."};
    QTest::newRow("comparisons") << "Unit ABoot 1.2"
                                 << ask + "_CS \"Boot\" _SC \"a\"\n_CN \"Boot\" _SC \"b\"\n"
                                          "_CE \"Boot 1.2\" _SC \"c\"\n"
                                          "_CE \"Unit ABoot 1.2\" _SC \"d\"\n"
                                 << QByteArray("a\rd\r") << QStringList{};
    QTest::newRow("empty tail") << "2.08" << ask + "_CE \"2.08\"\n_CS \"2\"  \n"
                                << QByteArray()
                                << QStringList{"Error! No line found after successful _CE",
                                               "Error! No line found after successful _CS/_CN"};
    QTest::newRow("empty values") << "2.08"
                                  << ask + "_CS \"\" _SC \"a\"\n_CN \"\" _SC \"b\"\n"
                                           "_CE \"\" _SC \"c\"\n_CS \"\\r\" _SC \"d\"\n"
                                  << QByteArray("a\r") << QStringList{};
    QTest::newRow("tails nested") << "2.08" << ask + "_AG \"2\" _IG \"8\" _CS \"08\" _SC \"x\"\n"
                                  << QByteArray("x\r") << QStringList{};
}

void tst_ScriptRun::queryAndConditions()
{
    QFETCH(QString, version);
    QFETCH(QByteArray, script);
    QFETCH(QByteArray, sent);
    QFETCH(QStringList, messages);
    QVERIFY(m_sim->command(QStringLiteral("version ") + version));
    form().SetPromptChar('#');
    QCOMPARE(run(script), 1);
    QCOMPARE(this->messages(), messages);
    QTRY_COMPARE(m_sim->received(), "VER\r" + sent);
}

void tst_ScriptRun::operatorAnswerBranches_data()
{
    QTest::addColumn<QList<bool>>("answers");
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("OK") << QList<bool>{true} << QByteArray("ok\r");
    QTest::newRow("Cancel") << QList<bool>{false} << QByteArray("cancel\r");
}

void tst_ScriptRun::operatorAnswerBranches()
{
    QFETCH(QList<bool>, answers);
    QFETCH(QByteArray, sent);
    // Before any question neither branch runs.
    QCOMPARE(run("_DO _SC \"no\"\n_DC _SC \"no\"\n"), 1);
    m_fixture->dialogs().answers = answers;
    QCOMPARE(run("_DQ \"Go on?^MReally\"\n_DO _SC \"ok\"\n_DC _SC \"cancel\"\n"), 1);
    QCOMPARE(m_fixture->dialogs().questions, QStringList{"Tamrin - Query: Go on?\rReally"});
    QTRY_COMPARE(m_sim->received(), sent);
}

void tst_ScriptRun::failingTailStopsTheRun()
{
    QVERIFY(m_sim->command(QStringLiteral("no-loader on")));
    Timing::setScale(0.02);
    m_fixture->dialogs().answers = {true};
    QCOMPARE(run("_DQ \"Load?\"\n_DO _TC \"^M\"\n_SC \"AFTER\"\n"), 0);
    QCOMPARE(messages(), QStringList{"Error! Unit not in Loader Mode! Exiting script"});
    QCOMPARE(run("_SC \"MARK\"\n"), 1);
    QTRY_VERIFY(m_sim->received().endsWith("MARK\r"));
    QVERIFY(!m_sim->received().contains("AFTER"));
}

void tst_ScriptRun::tailsNestedTenDeep()
{
    m_fixture->dialogs().answers = {true};
    QByteArray line = "_SC \"deep\"";
    for (int i = 0; i < 10; ++i)
        line = "_DO " + line;
    QCOMPARE(run("_DQ \"Go?\"\n" + line + "\n"), 1);
    QTRY_COMPARE(m_sim->received(), QByteArray("deep\r"));
    // The question, the condition lines and the tail each took a row.
    QCOMPARE(form().scriptRunner().lines().size(), 12);
}

void tst_ScriptRun::queryWithoutAnswer()
{
    QVERIFY(m_sim->command(QStringLiteral("version 2.08")));
    QCOMPARE(run("_QC \"VER\"\n"), 1);
    QCOMPARE(form().scriptRunner().query().lastAnswer, QByteArray("2.08"));
    QVERIFY(m_sim->command(QStringLiteral("mute on")));
    QCOMPARE(run("_QC \"VER\"\n_CE \"\" _SC \"empty\"\n"), 1);
    QCOMPARE(messages(), QStringList{"Error! No response detected with _QC command"});
    QVERIFY(form().scriptRunner().query().lastAnswer.isEmpty());
    // The silent unit still got the nudge a third of the way through the wait.
    QTRY_VERIFY(m_sim->received().endsWith("VER\r.\rempty\r"));
}

void tst_ScriptRun::replyOfSeveralLinesIsJoined()
{
    // Filler lines before the version: the answer is the lines joined without separators.
    QVERIFY(m_sim->command(QStringLiteral("answer-padding 70")));
    QCOMPARE(run("_QC \"VER\"\n_CS \"2.08\" _SC \"a\"\n_CE \"2.08\" _SC \"b\"\n"), 1);
    const QByteArray answer = form().scriptRunner().query().lastAnswer;
    QVERIFY(answer.endsWith("2.08"));
    QVERIFY(answer.size() > 60);
    QVERIFY(!answer.contains('\r') && !answer.contains('\n'));
    QTRY_VERIFY(m_sim->received().endsWith("VER\ra\r"));
}

void tst_ScriptRun::promptWaitOutlastsASilentUnit()
{
    QVERIFY(m_sim->command(QStringLiteral("mute on")));
    // Each wait gives up after 400 ticks, 0.44 s at this scale: silent for several of them.
    Timing::setScale(0.02);
    QTimer::singleShot(1500, this, [this] { m_sim->command(QStringLiteral("mute off")); });
    QCOMPARE(run("_WP\n_SC \"AFTER\"\n"), 1);
    QTRY_VERIFY(m_sim->received().endsWith("\rAFTER\r"));
    QVERIFY(m_sim->received().count('\r') > 3);
    QCOMPARE(form().deviceLink().currentPrompt(), '#');
}

void tst_ScriptRun::settingsLastFromRunToRun()
{
    QCOMPARE(run("_PC \"%\"\n_LC \"LX\"\n_LP 7\n_LT 0\n"), 1);
    QCOMPARE(run("_LP 0\n_LP -3\n"), 1);
    QCOMPARE(form().deviceLink().loaderPrompt(), '%');
    QCOMPARE(form().deviceLink().uploadKeyword(), QByteArray("LX"));
    QCOMPARE(form().uploader().state().postUploadPauseMs, 7000);
    QCOMPARE(form().uploader().state().terminalLock, '0');
}

void tst_ScriptRun::restartAfterSend_data()
{
    QTest::addColumn<int>("lastGoodPort");
    QTest::addColumn<int>("result");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("unit back on its port") << 3 << 1 << QStringList{};
    QTest::newRow("port gone")
        << 5 << 0
        << QStringList{"Error! Cannot establish communication using COM 5. Please check RS232 "
                       "connection",
                       "Error! Unable to connect to unit! Exiting script"};
}

void tst_ScriptRun::restartAfterSend()
{
    QFETCH(int, lastGoodPort);
    QFETCH(int, result);
    QFETCH(QStringList, messages);
    form().deviceLink().setLastLinkKind(LinkKind::Serial);
    form().portSelector().setLastGoodComPort(lastGoodPort);
    QCOMPARE(run("_ST \"RESET\"\n_SC \"AFTER\"\n"), result);
    QCOMPARE(this->messages(), messages);
    QCOMPARE(form().serialOpen(), result == 1);
    if (result == 1) {
        QCOMPARE(form().statusText(), QStringLiteral("SUCCESS. Reading script file complete"));
        QTRY_COMPARE(m_sim->received(), QByteArray("RESET\r\rAFTER\r"));
    }
}

void tst_ScriptRun::fiveThousandLines()
{
    QByteArray script;
    for (int i = 0; i < 5000; ++i)
        script += "_PC \">\"\r\n";
    script += "_SC \"END\"";
    QCOMPARE(run(script), 1);
    QCOMPARE(form().scriptRunner().lines().size(), 5001);
    QTRY_COMPARE(m_sim->received(), QByteArray("END\r"));
}

void tst_ScriptRun::loaderModeCheckFailsInRealTime()
{
    // The loader-mode check against a unit that stays in normal mode, at the protocol's own
    // pace: 135-tick waits for the loader prompt, and the pauses of 500, 2500 and 2000 ms.
    REAL_TIME_CASE();
    QVERIFY(m_sim->command(QStringLiteral("no-loader on")));
    QCOMPARE(run("_TC \"^M\"\n"), 0);
    QCOMPARE(messages(), QStringList{"Error! Unit not in Loader Mode! Exiting script"});
    QList<qint64> times;
    for (const UnitSim::Chunk &chunk : m_sim->chunks())
        times << chunk.ms;
    QCOMPARE(m_sim->received(), QByteArray("\rLOADR\r\n\r\r\r\r"));
    QCOMPARE(times.size(), 6);
    const qint64 wait = 135 * 55; // about 7.4 s, give or take a tick
    const QList<qint64> least{wait - 55, 500, wait - 55 + 2500, wait - 55 + 2000, wait - 55};
    // The unit stamps each chunk when it reads it, in whole milliseconds, and so does the
    // sender's clock: a pause may measure a few milliseconds short. Late is what a loaded
    // machine adds: no gap has an upper bound; that no wait or pause is repeated shows in the
    // six chunks above.
    constexpr qint64 StampSlack = 25;
    for (int i = 0; i < least.size(); ++i) {
        const qint64 gap = times.at(i + 1) - times.at(i);
        QVERIFY2(gap >= least.at(i) - StampSlack,
                 qPrintable(QStringLiteral("gap %1: %2 ms").arg(i).arg(gap)));
    }
}

void tst_ScriptRun::deviceLostDuringAWait_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::newRow("query capture") << QByteArray("_QC \"VER\"\n");
    QTest::newRow("loader-mode check") << QByteArray("_TC \"^M\"\n");
    QTest::newRow("prompt wait") << QByteArray("_WP\n");
}

void tst_ScriptRun::deviceLostDuringAWait()
{
    QFETCH(QByteArray, script);
    QVERIFY(m_sim->command(QStringLiteral("mute on")));
    bool watchdogRunning = true;
    m_fixture->dialogs().whileMessageShown = [&](const QString &) {
        watchdogRunning = form().deviceLink().commandTimer().isActive();
    };
    QTimer::singleShot(150, this, [this] { m_sim->command(QStringLiteral("hangup")); });
    QCOMPARE(run(script + "_SC \"AFTER\"\n") == 1,
             !script.startsWith("_TC")); // a loader-mode check that did not get there fails
    // One report of the loss, and nothing after it: no time-out, no "no response".
    QCOMPARE(messages().size(), 1);
    QVERIFY2(messages().first().contains("COM Port #3 was lost"), qPrintable(messages().first()));
    QVERIFY(!watchdogRunning);
    QCOMPARE(form().cancelFlag(), 1);
    QVERIFY(!m_sim->received().contains("AFTER"));
}

void tst_ScriptRun::unreadableScriptFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing") << "missing";
    QTest::newRow("a folder") << "folder";
    QTest::newRow("a FIFO nobody writes") << "fifo";
    QTest::newRow("an endless device") << "device";
}

void tst_ScriptRun::unreadableScriptFile()
{
    QFETCH(QString, kind);
    QString path = m_scripts.filePath(kind + QStringLiteral(".sld"));
    if (kind == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(path));
    else if (kind == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (kind == QLatin1String("device"))
        path = QStringLiteral("/dev/zero");
    form().scriptRunner().setFileName(path);
    // Returning at all is the proof: a FIFO's open or an endless read would never return.
    QCOMPARE(form().read_ini(), 0);
    QCOMPARE(messages(), QStringList{"Error opening file " + path + " for read."});
    QCOMPARE(form().statusText(), QStringLiteral(" "));
    QVERIFY(control<QPushButton>(form(), "PickButton")->isEnabled());
}

// Greyed: the entry itself, or a menu it is reached through.
static bool greyed(const QAction *action)
{
    for (const QObject *at = action; at; at = at->parent()) {
        if (const auto *menu = qobject_cast<const QMenu *>(at); menu && !menu->menuAction()->isEnabled())
            return true;
    }
    return !action->isEnabled();
}

void tst_ScriptRun::operatorCannotReachTheUnitDuringARun_data()
{
    QTest::addColumn<QString>("control"); // a menu entry's object name, or what the row does
    QTest::newRow("COM Port > COM3") << "COM31";
    QTest::newRow("COM Port > Search") << "SearchAllMenu";
    QTest::newRow("COM Port > None") << "NoneMenu";
    QTest::newRow("Baud > 9600") << "N96001";
    QTest::newRow("Ethernet > Connect") << "EnetConnect1";
    QTest::newRow("Ethernet > Disconnect") << "EnetDisconnect1";
    QTest::newRow("Send File") << "SendFile1";
    QTest::newRow("the timing test's button") << "timing test";
    QTest::newRow("a key typed into the pane") << "key";
}

// In the middle of a query, the operator's hand on a control: it is greyed, and even its
// handler, run all the same, sends nothing and leaves the port as it is.
void tst_ScriptRun::operatorCannotReachTheUnitDuringARun()
{
    QFETCH(QString, control);
    QVERIFY(m_sim->command(QStringLiteral("mute on")));
    if (control == QLatin1String("SendFile1"))
        form().VersionLabelClick(); // the click that reveals it
    const int mark = m_sim->mark();
    bool wasGreyed = false;
    QTimer hand;
    connect(&hand, &QTimer::timeout, this, [&] {
        if (!form().deviceLink().capturing())
            return;
        hand.stop();
        if (control == QLatin1String("key")) {
            wasGreyed = true;
            QTest::keyClick(&form().terminal(), 'x');
        } else if (control == QLatin1String("timing test")) {
            const QLineEdit *count = ::control<QLineEdit>(form(), "TimingCountEdit");
            wasGreyed = !count->isEnabled() && count->focusPolicy() == Qt::NoFocus;
            form().Button1Click();
        } else {
            auto *action = form().findChild<QAction *>(control);
            QVERIFY(action);
            wasGreyed = greyed(action);
            action->trigger();
        }
    });
    hand.start(1);
    QCOMPARE(run("_QC \"VER\"\n"), 1);
    QVERIFY(wasGreyed);
    QCOMPARE(m_sim->receivedSince(mark), QByteArray("VER\r.\r"));
    QVERIFY(form().serialOpen());
    QCOMPARE(form().comPort().portNumber(), 3);
    QCOMPARE(form().comPort().baudRate(), 38400);
    QCOMPARE(messages(), QStringList{"Error! No response detected with _QC command"});
    // The run over, the operator has the controls back.
    if (auto *action = form().findChild<QAction *>(control))
        QVERIFY(!greyed(action));
}

QTEST_MAIN(tst_ScriptRun)
#include "tst_scriptrun.moc"
