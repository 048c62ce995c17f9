// Start-up from LoaderDefault.ini in the current folder: finding the unit, the fall-back,
// the settings that act on the window, and the automatic run with its exit status.
#include "FormFixture.h"
#include "UnitSim.h"

#include "app/ClientSocketForm.h"
#include "app/InfoForm.h"
#include "app/ProcessGuard.h"
#include "app/ProgressForm.h"
#include "app/SplashForm.h"
#include "app/StatusLightController.h"
#include "app/TerminalPane.h"
#include "link/SerialPort.h"
#include "upload/RecordLog.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <functional>
#include <memory>
#include <thread>

#include <unistd.h>

class tst_StartUp : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void noSettingsAndNoPorts();
    void configuredPortWithTheUnit();
    void searchFindsTheUnitWithSettingsPrompts();
    void invalidBaudRateIsReported();
    void terminalSettingsApply();
    void automaticRun_data();
    void automaticRun();
    void ethernetOnlySkipsTheSerialSearch();
    void unattendedStation_data();
    void unattendedStation();
    void commandLine_data();
    void commandLine();
    void settingsFile_data();
    void settingsFile();
    void brands_data();
    void brands();
    // Last: once a forced end has written its records, nothing more is written.
    void forcedEndWhileTheWindowThreadIsBlocked();

private:
    void writeSettings(const QByteArrayList &lines);
    void writeFile(const QString &name, const QByteArray &content);
    void makeFixture();
    void start(const std::function<void()> &beforeShow = {});
    UnitSim &addUnit(int portNumber, const QStringList &args = {});

    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_previousFolder;
    std::vector<std::unique_ptr<UnitSim>> m_units;
    std::unique_ptr<FormFixture> m_fixture;
};

void tst_StartUp::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    QVERIFY(QDir().mkpath(m_folder->filePath(QStringLiteral("ports"))));
    m_previousFolder = QDir::currentPath();
    QDir::setCurrent(m_folder->path());
}

void tst_StartUp::cleanup()
{
    m_fixture.reset();
    m_units.clear();
    QDir::setCurrent(m_previousFolder);
    m_folder.reset();
}

void tst_StartUp::writeFile(const QString &name, const QByteArray &content)
{
    QFile file(m_folder->filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

void tst_StartUp::writeSettings(const QByteArrayList &lines)
{
    writeFile(QStringLiteral("LoaderDefault.ini"), lines.join("\r\n") + "\r\n");
}

UnitSim &tst_StartUp::addUnit(int portNumber, const QStringList &args)
{
    m_units.push_back(std::make_unique<UnitSim>());
    const QString path = m_folder->filePath(QStringLiteral("ports/COM%1").arg(portNumber));
    if (!m_units.back()->start(args, true, false, path))
        qFatal("the simulated unit did not start");
    return *m_units.back();
}

// The windows, on the ports of the test's folder, with Tamrin's waits four times faster.
void tst_StartUp::makeFixture()
{
    m_fixture = std::make_unique<FormFixture>(m_folder->filePath(QStringLiteral("ports")), 0.25);
}

void tst_StartUp::start(const std::function<void()> &beforeShow)
{
    makeFixture();
    if (beforeShow)
        beforeShow();
    m_fixture->form().show();
}

// Settings lines 1 to 29 with the given values; the others have no '=' and no effect.
static QByteArrayList settings(const std::map<int, QByteArray> &values)
{
    QByteArrayList lines;
    for (int n = 1; n <= 29; ++n) {
        const auto it = values.find(n);
        QByteArray line = "line" + QByteArray::number(n);
        if (it != values.end())
            line += '=' + it->second;
        lines << line;
    }
    return lines;
}

void tst_StartUp::noSettingsAndNoPorts()
{
    start();
    TTamrinForm &form = m_fixture->form();
    QCOMPARE(control<QLabel>(form, "VersionLabel")->text(), QStringLiteral("Version : 2.08"));
    QCOMPARE(form.deviceLink().currentPrompt(), '>');
    QCOMPARE(form.statusText(), QStringLiteral("Unable to open Hardware through COM ports. Select "
                                               "new COM port before proceeding"));
    QVERIFY(!control<QPushButton>(form, "PickButton")->isEnabled());
    QVERIFY(!form.serialOpen());
    QVERIFY(m_fixture->dialogs().messages.isEmpty());
    QCOMPARE(m_fixture->exitStatus(), -1);
}

void tst_StartUp::configuredPortWithTheUnit()
{
    UnitSim &unit = addUnit(7);
    writeSettings(settings({{1, "COM7"}, {2, "115200"}}));
    start();
    TTamrinForm &form = m_fixture->form();
    QCOMPARE(form.statusText(), QStringLiteral("Established communication on COM 7"));
    QCOMPARE(control<QLabel>(form, "ComBaudLabel")->text(), QStringLiteral("115200"));
    QCOMPARE(form.comPort().baudRate(), 115200);
    QVERIFY(!control<QCheckBox>(form, "ComCheckBox")->isEnabled());
    QVERIFY(form.statusLights().isMonitoring());
    QCOMPARE(unit.received(), QByteArray("\r"));
}

void tst_StartUp::searchFindsTheUnitWithSettingsPrompts()
{
    UnitSim &unit = addUnit(2, {"--normal-prompt", "$", "--loader-prompt", "%", "--loader"});
    writeSettings(settings({{14, " $"}, {15, "%"}}));
    start();
    TTamrinForm &form = m_fixture->form();
    QCOMPARE(form.statusText(), QStringLiteral("Established communication on COM 2"));
    QCOMPARE(form.deviceLink().currentPrompt(), '%');
    QCOMPARE(unit.received(), QByteArray("\r\r"));
    QVERIFY(control<QCheckBox>(form, "ComCheckBox")->isChecked());
}

void tst_StartUp::invalidBaudRateIsReported()
{
    writeSettings(settings({{2, "14400"}}));
    start();
    TTamrinForm &form = m_fixture->form();
    QCOMPARE(m_fixture->dialogs().messages,
             QStringList{"Error! Baud Rate set in LoaderDefault.ini file is invalid!"});
    QCOMPARE(control<QLabel>(form, "ComBaudLabel")->text(), QStringLiteral("38400"));
    QCOMPARE(form.comPort().baudRate(), 38400);
}

void tst_StartUp::terminalSettingsApply()
{
    writeSettings(settings({{20, ""}, {21, "2"}, {22, "5"}}));
    start();
    TTamrinForm &form = m_fixture->form();
    QVERIFY(!control<QAction>(form, "VisibleMenu")->isChecked());
    QCOMPARE(form.centralWidget()->height() + form.statusBar()->height(), 139);
    QCOMPARE(form.terminal().backgroundColour(), QColor(255, 0, 0));
    QCOMPARE(form.terminal().textColour(), QColor(255, 255, 255));
    form.VisibleMenuClick();
    QCOMPARE(form.centralWidget()->height() + form.statusBar()->height(), 420);
    form.setTerminalBackground(0);
    QCOMPARE(form.terminal().backgroundColour(), QColor(0, 0, 0));
}

void tst_StartUp::automaticRun_data()
{
    QTest::addColumn<bool>("withUnit");
    QTest::addColumn<QByteArray>("scriptName");
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<int>("exitStatus");
    QTest::addColumn<QStringList>("messages");

    const QByteArray finish = "; finish at once\r\n_FI\r\n";
    const QString comFailed = QStringLiteral("Error!! COM port communication failed. Please check "
                                             "RS232 connection/INI settings. Exiting application");
    QTest::newRow("script runs") << true << QByteArray("run.sld") << finish << 0 << QStringList{};
    QTest::newRow("no unit") << false << QByteArray("run.sld") << finish << 2
                             << QStringList{comFailed};
    QTest::newRow("script missing")
        << true << QByteArray("missing.sld") << finish << 2
        << QStringList{QStringLiteral("Error opening file missing.sld for read.")};
    // The script goes on after a refused step, but the run has not succeeded.
    QTest::newRow("an error was shown")
        << true << QByteArray("run.sld") << QByteArray("_LF missing.bin\r\n_FI\r\n") << 1
        << QStringList{QStringLiteral("Error! Unable to open file missing.bin. Cannot upload "
                                      "file.")};
    QTest::newRow("the script's own message")
        << true << QByteArray("run.sld") << QByteArray("_DM \"Done\"\r\n") << 0
        << QStringList{QStringLiteral("Done")};
    // The message box below closes the window, as an operator might in the middle of a run.
    QTest::newRow("window closed during the run")
        << true << QByteArray("run.sld") << QByteArray("_DM \"Close\"\r\n") << 1
        << QStringList{QStringLiteral("Close")};
}

void tst_StartUp::automaticRun()
{
    QFETCH(bool, withUnit);
    QFETCH(QByteArray, scriptName);
    QFETCH(QByteArray, script);
    QFETCH(int, exitStatus);
    QFETCH(QStringList, messages);
    if (withUnit)
        addUnit(1);
    writeFile(QStringLiteral("run.sld"), script);
    writeSettings(settings({{6, " " + scriptName}, {8, "Auto Matic"}}));
    start([this] {
        m_fixture->dialogs().whileMessageShown = [this](const QString &text) {
            if (text == QLatin1String("Close"))
                m_fixture->form().close();
        };
    });
    TTamrinForm &form = m_fixture->form();
    QTRY_COMPARE(m_fixture->exitStatus(), exitStatus);
    QCOMPARE(m_fixture->dialogs().messages, messages);
    if (withUnit)
        QCOMPARE(form.statusText(), QStringLiteral(" "));
    QVERIFY(form.isEnabled());
}

void tst_StartUp::ethernetOnlySkipsTheSerialSearch()
{
    UnitSim &unit = addUnit(1);
    writeSettings(settings({{8, "automatic"}, {25, "TRUE"}}));
    start();
    QTRY_COMPARE(m_fixture->exitStatus(), 2);
    QVERIFY(unit.received().isEmpty());
    QVERIFY(!m_fixture->form().serialOpen());
    QCOMPARE(m_fixture->dialogs().messages.size(), 1);
}

static int signalNumber(const QString &name)
{
    return name == QLatin1String("SIGTERM") ? SIGTERM : name == QLatin1String("SIGHUP") ? SIGHUP : SIGINT;
}

// A display number no X server here answers: neither its socket nor its lock file is there.
static int displayWithoutServer()
{
    int number = 97;
    while (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)) ||
           QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
        ++number;
    return number;
}

// One run of the real program as a station's supervisor starts it: its settings, its script,
// what the test does to it meanwhile, and what it must end with.
struct StationRun
{
    QByteArray mode = "AUTOMATIC"; // settings line 8
    QByteArray configuredPort = "COM4"; // settings line 1; the unit, if any, is on COM4
    bool withUnit = true;
    QByteArray script;
    QByteArray runTimeout; // TAMRIN_RUN_TIMEOUT; empty: not set
    QStringList environment; // more variables, "NAME=VALUE"
    // Once the unit has received 'strikeAfter', the test strikes: a control command to the unit
    // ("mute on") or a signal to Tamrin ("SIGTERM").
    QByteArray strikeAfter;
    QString strike;
    int exitStatus = 0;
    // The run's pauses at their real length: the time limit and the signals that must land in
    // a given pause. The others run with TAMRIN_TIME_SCALE at a tenth.
    bool realTime = false;
    // Each must match exactly one whole line of standard error.
    QStringList stderrLines;
    QByteArray unitReceivedLast;

    StationRun &limit(const QByteArray &seconds) { runTimeout = seconds; return *this; }
    StationRun &after(const QByteArray &received, const QString &what)
    {
        strikeAfter = received;
        strike = what;
        return *this;
    }
    StationRun &atRealTime()
    {
        realTime = true;
        return *this;
    }
    StationRun &ends(int status, const QStringList &lines, const QByteArray &receivedLast = {})
    {
        exitStatus = status;
        stderrLines = lines;
        unitReceivedLast = receivedLast;
        return *this;
    }
};
Q_DECLARE_METATYPE(StationRun)

static StationRun station(const QByteArray &script)
{
    StationRun run;
    run.script = script;
    return run;
}

void tst_StartUp::unattendedStation_data()
{
    QTest::addColumn<StationRun>("run");

    const QByteArray goodUpload = "_LF firmware.bin\r\n_LA 80000\r\n_LV V2.1\r\n_LD\r\n";
    const QByteArray header = "LF 80000 5000 ed28 V2.1\r";
    const QString succeeded = R"(Tamrin: run script="run\.sld" status=0 outcome=success)";
    QTest::newRow("good upload") << station(goodUpload).ends(
        0,
        {R"(Tamrin: upload file="firmware\.bin" size=5000 checksum=ed28 )"
         R"(sha256=6d0b8f82185d3ac961734a362d2404be8ac443e0aa1f524b24d92cd16b9790d9 )"
         R"(address="80000" version="V2\.1" link=COM4:38400 seconds=\d+\.\d\d )"
         R"(unit_said="LOAD OK 5000 ed28" outcome=delivered)",
         succeeded},
        "\r");
    StationRun noUnit = station("_SC \"A\"\r\n").ends(
        2, {R"(Tamrin: run script="run\.sld" status=2 outcome=not-run reason="Error!! COM port .*")"});
    noUnit.withUnit = false;
    QTest::newRow("no unit") << noUnit;
    StationRun badScale = noUnit;
    badScale.environment = QStringList{"TAMRIN_TIME_SCALE=2"};
    badScale.stderrLines.prepend(R"(Tamrin: TAMRIN_TIME_SCALE=2 ignored: .*)");
    QTest::newRow("a time scale above 1 is ignored") << badScale;
    QTest::newRow("a command failed")
        << station("_LF missing.bin\r\n_LD\r\n_SC \"AFTER\"\r\n")
               .ends(1,
                     {R"(Tamrin: upload file="missing\.bin" .* outcome=failed reason="Error! )"
                      R"(The upload chain .* is incomplete: a step was refused\. Exiting script\.")",
                      R"(Tamrin: run script="run\.sld" status=1 outcome=failed reason="Error! )"
                      R"(Unable to open file missing\.bin\. Cannot upload file\.")"},
                     "\r");
    // The safe answer, and a limit that makes no sense is ignored.
    QTest::newRow("question answered Cancel")
        << station("_DQ \"Flash?\"\r\n_DO _SC \"YES\"\r\n_DC _SC \"NO\"\r\n")
               .limit("abc")
               .ends(0,
                     {"Tamrin: TAMRIN_RUN_TIMEOUT=abc ignored: .*", "Tamrin: Flash\\?",
                      "Tamrin: answered Cancel"},
                     "NO\r");

    // A run stopped from outside, by its time limit or a signal, in any wait or pause, ends
    // within seconds with records that say so: an upload stopped before the unit confirmed it
    // is cancelled, and no data goes after a stop in the pause after the header.
    const auto limitPassed = [](int seconds) {
        return QStringLiteral(R"(Tamrin: Error! The run time limit of %1 s \(TAMRIN_RUN_TIMEOUT\) )"
                              R"(has passed\. Exiting script\.)")
            .arg(seconds);
    };
    const auto cancelledBy = [](const QString &reason) {
        return QStringLiteral(R"(Tamrin: upload file="firmware\.bin" .* outcome=cancelled )"
                              R"(reason="%1")")
            .arg(reason);
    };
    const QString timeLimitRun = R"(Tamrin: run script="run\.sld" status=3 outcome=time-limit .*)";
    QTest::newRow("endless _WP under a 5 s limit")
        << station("_SC \"QUIET\"\r\n_DY 1500\r\n_WP\r\n")
               .limit("5")
               .after("QUIET\r", "mute on")
               .atRealTime()
               .ends(3, {limitPassed(5), timeLimitRun});
    QTest::newRow("_DY 30000 under a 3 s limit")
        << station("_SC \"A\"\r\n_DY 30000\r\n_SC \"B\"\r\n")
               .limit("3")
               .atRealTime()
               .ends(3, {limitPassed(3), timeLimitRun}, "A\r");
    QTest::newRow("a 2 s limit in the pause after the header")
        << station(goodUpload).limit("2").atRealTime().ends(
               3, {limitPassed(2), cancelledBy(limitPassed(2).mid(8)), timeLimitRun}, header);
    QTest::newRow("a 5 s limit in a long pause after the data")
        << station("_LP 60\r\n" + goodUpload)
               .limit("5")
               .atRealTime()
               .ends(3, {limitPassed(5), cancelledBy(limitPassed(5).mid(8)), timeLimitRun});
    StationRun stopsReading = station("_LF big.bin\r\n_LA 80000\r\n_LV V2.1\r\n_LD\r\n")
                                  .limit("6")
                                  .after(header.first(9), "baud 1")
                                  .atRealTime()
                                  .ends(3, {limitPassed(6), timeLimitRun});
    QTest::newRow("a 6 s limit while the unit has stopped reading the data") << stopsReading;
    QTest::newRow("SIGTERM in the pause after the header")
        << station(goodUpload)
               .after(header, "SIGTERM")
               .atRealTime()
               .ends(143,
                     {R"(Tamrin: Error! The run was stopped by SIGTERM\. Exiting script\.)",
                      cancelledBy("stopped by SIGTERM"),
                      R"(Tamrin: run script="run\.sld" status=143 outcome=stopped )"
                      R"(reason="stopped by SIGTERM")"},
                     header);
    QTest::newRow("SIGHUP in a long pause")
        << station("_SC \"A\"\r\n_DY 30000\r\n_SC \"B\"\r\n")
               .after("A\r", "SIGHUP")
               .ends(129,
                     {R"(Tamrin: run script="run\.sld" status=129 outcome=stopped )"
                      R"(reason="stopped by SIGHUP")"},
                     "A\r");

    // The configured port does not answer and the search finds a unit on another port.
    StationRun elsewhere = station(goodUpload).ends(
        0,
        {R"(Tamrin: Note: no unit answered on the configured COM2; using COM4\.)",
         R"(Tamrin: run script="run\.sld" configured=COM2 status=0 outcome=success)"},
        "\r");
    elsewhere.configuredPort = "COM2";
    QTest::newRow("the unit found on another port") << elsewhere;

    StationRun manual = station({}).ends(
        4, {"Tamrin: No display: manual mode cannot be operated here.*"});
    manual.mode = "manual";
    QTest::newRow("manual mode without a display") << manual;
    // A display that is named but gone (an ssh session's stale variable) or a platform that
    // cannot start is told in one line, and the program runs as if no display were set.
    const QString staleDisplay =
        QStringLiteral("DISPLAY=:%1").arg(displayWithoutServer());
    const QString noDisplay = QStringLiteral(R"(Tamrin: No display could be opened \(%1\): )"
                                             R"(running without one\.)");
    StationRun staleAutomatic = station(goodUpload).ends(
        0, {noDisplay.arg(staleDisplay), succeeded}, "\r");
    staleAutomatic.environment = QStringList{staleDisplay};
    QTest::newRow("stale DISPLAY, automatic mode") << staleAutomatic;
    StationRun staleManual = manual;
    staleManual.environment = QStringList{staleDisplay};
    staleManual.stderrLines.prepend(noDisplay.arg(staleDisplay));
    QTest::newRow("stale DISPLAY, manual mode") << staleManual;
    StationRun noPlugin = station(goodUpload).ends(
        0, {noDisplay.arg("QT_QPA_PLATFORM=nonesuch"), succeeded}, "\r");
    noPlugin.environment = QStringList{"QT_QPA_PLATFORM=nonesuch"};
    QTest::newRow("a platform plugin that does not exist") << noPlugin;
    StationRun staleWayland = station(goodUpload).ends(
        0, {noDisplay.arg("WAYLAND_DISPLAY=tamrin-gone"), succeeded}, "\r");
    staleWayland.environment = QStringList{"WAYLAND_DISPLAY=tamrin-gone"};
    QTest::newRow("stale WAYLAND_DISPLAY alone") << staleWayland;
}

// The real program, with no display and nobody to press a button, as a production line's
// supervisor starts it.
void tst_StartUp::unattendedStation()
{
    QFETCH(StationRun, run);
    if (run.realTime != FormFixture::realTimeRun())
        QSKIP(run.realTime ? RealTimeSkip : "scaled: the ordinary entry runs it");
    UnitSim *unit = run.withUnit ? &addUnit(4, {QStringLiteral("--loader")}) : nullptr;
    writeFile(QStringLiteral("run.sld"), run.script);
    writeFile(QStringLiteral("firmware.bin"), QByteArray(5000, 'u'));
    writeFile(QStringLiteral("big.bin"), QByteArray(300000, 'b'));
    writeSettings(settings({{1, run.configuredPort}, {6, "run.sld"}, {8, run.mode}}));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "TAMRIN_UNATTENDED"})
        environment.remove(QLatin1String(name));
    environment.insert(QStringLiteral("TAMRIN_PORTS_DIR"),
                       m_folder->filePath(QStringLiteral("ports")));
    if (!run.runTimeout.isEmpty())
        environment.insert(QStringLiteral("TAMRIN_RUN_TIMEOUT"),
                           QString::fromLatin1(run.runTimeout));
    QStringList stderrLines = run.stderrLines;
    if (!run.realTime && !run.environment.join(' ').contains(QLatin1String("TAMRIN_TIME_SCALE"))) {
        environment.insert(QStringLiteral("TAMRIN_TIME_SCALE"), QStringLiteral("0.1"));
        stderrLines.prepend(R"(Tamrin: TAMRIN_TIME_SCALE=0\.1: the protocol's pauses .*)");
    }
    for (const QString &setting : run.environment)
        environment.insert(setting.section(QLatin1Char('='), 0, 0),
                           setting.section(QLatin1Char('='), 1));
    QProcess tamrin;
    tamrin.setProcessEnvironment(environment);
    tamrin.setWorkingDirectory(m_folder->path());
    tamrin.start(QStringLiteral(TAMRIN_APP_PATH), QStringList{});
    if (!run.strikeAfter.isEmpty()) {
        QVERIFY(unit->waitUntil([&] { return unit->received().contains(run.strikeAfter); }, 10000));
        if (run.strike.startsWith(QLatin1String("SIG")))
            QCOMPARE(::kill(pid_t(tamrin.processId()), signalNumber(run.strike)), 0);
        else
            QVERIFY(unit->command(run.strike));
    }
    // A stop that did not stop the run shows in its records and in what the unit received;
    // the wait here only guards against a hang.
    QVERIFY(tamrin.waitForFinished(120000));
    QCOMPARE(tamrin.exitStatus(), QProcess::NormalExit);
    const QString errors = QString::fromLocal8Bit(tamrin.readAllStandardError());
    QCOMPARE(tamrin.exitCode(), run.exitStatus);
    const QStringList lines = errors.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &pattern : stderrLines) {
        const QRegularExpression wanted(QRegularExpression::anchoredPattern(pattern));
        QVERIFY2(
            std::count_if(lines.begin(), lines.end(),
                          [&](const QString &line) { return wanted.match(line).hasMatch(); }) == 1,
            qPrintable(pattern + QStringLiteral("\nnot once in:\n") + errors));
    }
    // A supervisor's log gets Tamrin's lines only: no note or warning of Qt's platform.
    QVERIFY2(
        std::all_of(lines.begin(), lines.end(),
                    [](const QString &line) { return line.startsWith(QLatin1String("Tamrin: ")); }),
        qPrintable(errors));
    if (!run.unitReceivedLast.isEmpty())
        QVERIFY2(unit->received().endsWith(run.unitReceivedLast), unit->received().constData());
}

void tst_StartUp::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitStatus");
    QTest::addColumn<QString>("output"); // a regular expression for standard output
    QTest::addColumn<QString>("errors"); // and one for standard error
    QTest::newRow("--help") << QStringList{"--help"} << 0 << "Usage: tamrin .*--list-ports.*"
                            << "";
    QTest::newRow("--version") << QStringList{"--version"} << 0 << "tamrin 2\\.08\n"
                               << "";
    QTest::newRow("--list-ports") << QStringList{"--list-ports"} << 0 << "COM1 .*COM16 .*"
                                  << "";
    // One line of usage, and nothing started: no settings read, no port probed.
    QTest::newRow("unknown") << QStringList{"--upload-everything"} << 4 << ""
                             << "tamrin: unknown argument --upload-everything\\. Usage: .*\n";
    // A station's options that make no sense: one line of usage, nothing started.
    const QString stationUsage = QStringLiteral("\\. Usage: tamrin .*--run FILE\\.sld .*\n");
    QTest::newRow("--run without a script") << QStringList{"--run"} << 4 << ""
                                            << "tamrin: --run needs a value" + stationUsage;
    QTest::newRow("--port and --tcp together")
        << QStringList{"--run", "a.sld", "--port", "COM1", "--tcp", "unit:3000"} << 4 << ""
        << "tamrin: --port and --tcp cannot be given together" + stationUsage;
    QTest::newRow("a baud rate no port takes")
        << QStringList{"--run", "a.sld", "--baud", "1234"} << 4 << ""
        << "tamrin: --baud 1234 is not valid" + stationUsage;
    QTest::newRow("a station option that does not exist")
        << QStringList{"--run", "a.sld", "--retry", "1"} << 4 << ""
        << "tamrin: unknown option --retry" + stationUsage;
    // Qt's own options are Qt's: here the program starts, reads no settings, and, in manual
    // mode without a display, ends as it should.
    QTest::newRow("Qt's own") << QStringList{"-platform", "offscreen"} << 4 << ""
                              << "Tamrin: No display: .*\n";
}

// The real program, with no display.
void tst_StartUp::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitStatus);
    QFETCH(QString, output);
    QFETCH(QString, errors);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    environment.insert(QStringLiteral("TAMRIN_PORTS_DIR"),
                       m_folder->filePath(QStringLiteral("ports")));
    QProcess tamrin;
    tamrin.setProcessEnvironment(environment);
    tamrin.setWorkingDirectory(m_folder->path());
    tamrin.start(QStringLiteral(TAMRIN_APP_PATH), arguments);
    QVERIFY(tamrin.waitForFinished(10000));
    QCOMPARE(tamrin.exitCode(), exitStatus);
    const QString printed = QString::fromLocal8Bit(tamrin.readAllStandardOutput());
    const QString complained = QString::fromLocal8Bit(tamrin.readAllStandardError());
    const auto matches = [](const QString &pattern, const QString &text) {
        return QRegularExpression(QRegularExpression::anchoredPattern(pattern),
                                  QRegularExpression::DotMatchesEverythingOption)
            .match(text)
            .hasMatch();
    };
    QVERIFY2(matches(output, printed), qPrintable(printed));
    QVERIFY2(matches(errors, complained), qPrintable(complained));
}

void tst_StartUp::settingsFile_data()
{
    QTest::addColumn<bool>("inCurrentFolder");
    QTest::addColumn<bool>("inConfigFolder");
    QTest::addColumn<int>("exitStatus"); // -1: manual mode, nothing ended
    // Automatic mode without a unit ends with status 2: the file was read.
    QTest::newRow("only in the configuration folder") << false << true << 2;
    QTest::newRow("the current folder's wins") << true << true << -1;
}

void tst_StartUp::settingsFile()
{
    QFETCH(bool, inCurrentFolder);
    QFETCH(bool, inConfigFolder);
    QFETCH(int, exitStatus);
    const QString config = m_folder->filePath(QStringLiteral("config"));
    QVERIFY(QDir().mkpath(config + QStringLiteral("/tamrin")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    if (inConfigFolder)
        writeFile(QStringLiteral("config/tamrin/LoaderDefault.ini"),
                  settings({{8, "AUTOMATIC"}}).join("\r\n"));
    if (inCurrentFolder)
        writeSettings(settings({{8, "manual"}}));
    start();
    qunsetenv("XDG_CONFIG_HOME");
    // An automatic run ends the process from a 1 ms timer started in show(); a marker of the
    // same kind started after it comes due after it.
    bool marker = false;
    QTimer::singleShot(1, Qt::PreciseTimer, [&marker] { marker = true; });
    QTRY_VERIFY(marker);
    QCOMPARE(m_fixture->exitStatus(), exitStatus);
}

void tst_StartUp::brands_data()
{
    QTest::addColumn<QByteArray>("line23");
    QTest::addColumn<QStringList>("captions"); // main, progress, Ethernet, information
    QTest::addColumn<QString>("splash");       // the picture shown, empty for none
    QTest::addColumn<QSize>("splashSize");

    const QStringList quenby{"Quenby Research Inc. :- Tamrin",
                             "Quenby Research Inc. :- File Upload Progress",
                             "Quenby Research Inc. :- Tamrin - Ethernet", "Information"};
    const QStringList telvin{
        "Telvin Quenby LLC :- Tamrin", "Telvin Quenby LLC :- File Upload Progress",
        "Telvin Quenby LLC :- Ethernet Connection", "Telvin Quenby LLC :- Information"};
    const QStringList ktq{"KTQ :- Tamrin", "KTQ :- File Upload Progress",
                          "KTQ :- Ethernet Connection", "KTQ :- Information"};
    const QStringList plain{"Tamrin", "Tamrin", "Quenby Research Inc. :- Tamrin - Ethernet",
                            "Tamrin"};
    QTest::newRow("no '='") << QByteArray("line23") << quenby << QString() << QSize();
    QTest::newRow("empty value") << QByteArray("x=") << telvin << "QNLImage" << QSize(600, 400);
    QTest::newRow("0 after blanks")
        << QByteArray("x=  0") << telvin << "QNLImage" << QSize(600, 400);
    QTest::newRow("100abc") << QByteArray("x=100abc") << ktq << "KTQImage" << QSize(800, 700);
    QTest::newRow("1") << QByteArray("x=1") << plain << QString() << QSize();
}

void tst_StartUp::brands()
{
    QFETCH(QByteArray, line23);
    QFETCH(QStringList, captions);
    QFETCH(QString, splash);
    QFETCH(QSize, splashSize);
    QByteArrayList lines = settings({});
    lines[22] = line23;
    writeSettings(lines);
    makeFixture();
    AppWindows &windows = m_fixture->windows();
    QCOMPARE((QStringList{windows.main->windowTitle(), windows.progress->windowTitle(),
                          windows.ethernet->windowTitle(), windows.info->windowTitle()}),
             captions);
    TSplashForm &splashForm = *windows.splash;
    QCOMPARE(splashForm.isVisible(), !splash.isEmpty());
    if (splash.isEmpty())
        return;
    QCOMPARE(splashForm.size(), splashSize);
    for (QLabel *image : {splashForm.QNLImage, splashForm.KTQImage, splashForm.TelvinImage})
        QCOMPARE(image->isVisible(), image->objectName() == splash);
    // Only the Telvin picture reacts to a click; start-up hides either.
    QTest::mouseClick(splash == "QNLImage" ? splashForm.QNLImage : splashForm.KTQImage,
                      Qt::LeftButton);
    QCOMPARE(splashForm.isVisible(), splash != "QNLImage");
    m_fixture->form().show();
    QVERIFY(!splashForm.isVisible());
}

// Standard error, written to a file while the object lives.
class CapturedStderr
{
public:
    CapturedStderr() : m_saved(::dup(STDERR_FILENO))
    {
        m_file.open();
        ::dup2(m_file.handle(), STDERR_FILENO);
    }
    ~CapturedStderr() { restore(); }
    QString text()
    {
        restore();
        m_file.seek(0);
        return QString::fromLocal8Bit(m_file.readAll());
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
        m_saved = -1;
    }

    int m_saved;
    QTemporaryFile m_file;
};

// The window thread stuck where no stop reaches it: the guard's own thread ends the process,
// with the records of what was going, after its grace, or at once on a second signal.
void tst_StartUp::forcedEndWhileTheWindowThreadIsBlocked()
{
    std::atomic<int> endedWith{-1};
    std::atomic<bool> endedElsewhere{false};
    const std::thread::id windowThread = std::this_thread::get_id();
    const auto forcedEnd = [&](const ProcessGuard::Request &request) {
        RecordLog::writeForcedEnd(request.exitStatus(), request.reason());
        endedElsewhere = std::this_thread::get_id() != windowThread;
        endedWith = request.exitStatus();
    };
    UploadRecord upload;
    upload.file = QStringLiteral("fw.bin");
    RecordLog::uploadGoing(upload);
    RecordContext context;
    context.script = QStringLiteral("run.sld");
    RecordLog::setContext(context);
    RecordLog::runGoing(RunRecord{});
    CapturedStderr errors;
    {
        ProcessGuard guard(forcedEnd, std::chrono::milliseconds(300));
        guard.armTimeLimit(std::chrono::seconds(1));
        while (endedWith.load() < 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        QCOMPARE(endedWith.load(), 3);
        QVERIFY(endedElsewhere.load());
    }
    const QStringList lines = errors.text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QString reason = QStringLiteral("reason=\"Error! The run time limit of 1 s "
                                          "(TAMRIN_RUN_TIMEOUT) has passed. Exiting script.\"");
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines.at(0).startsWith(QLatin1String("Tamrin: upload file=\"fw.bin\"")) &&
                 lines.at(0).endsWith(QLatin1String(" outcome=cancelled ") + reason),
             qPrintable(lines.at(0)));
    QCOMPARE(lines.at(1), QLatin1String("Tamrin: run script=\"run.sld\" status=3 "
                                        "outcome=time-limit ") + reason);

    endedWith = -1;
    ProcessGuard guard(forcedEnd);
    guard.catchSignals();
    std::raise(SIGTERM);
    std::raise(SIGTERM);
    while (endedWith.load() < 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    QCOMPARE(endedWith.load(), 143);
}

QTEST_MAIN(tst_StartUp)
#include "tst_startup.moc"
