// Start-up from LoaderDefault.ini in the current folder: finding the unit, the fall-back,
// the settings that act on the window, and the automatic run with its exit status.
#include "FormFixture.h"
#include "UnitSim.h"

#include "app/InfoForm.h"
#include "app/SplashForm.h"
#include "app/StatusLightController.h"
#include "app/TerminalPane.h"
#include "link/ClientSocketForm.h"
#include "link/SerialPort.h"
#include "link/Timing.h"
#include "upload/ProgressForm.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

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
    void unattendedRunOfTheProgram();
    void brands_data();
    void brands();

private:
    void writeSettings(const QByteArrayList &lines);
    void writeFile(const QString &name, const QByteArray &content);
    void start(const std::function<void()> &beforeShow = {});
    UnitSim &addUnit(int portNumber, const QStringList &args = {});

    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_previousFolder;
    std::vector<std::unique_ptr<UnitSim>> m_units;
    std::unique_ptr<FormFixture> m_fixture;
};

void tst_StartUp::init()
{
    Timing::setScale(0.25);
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
    Timing::setScale(1.0);
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

void tst_StartUp::start(const std::function<void()> &beforeShow)
{
    m_fixture = std::make_unique<FormFixture>(m_folder->filePath(QStringLiteral("ports")));
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
    QCOMPARE(form.VersionLabel->text(), QStringLiteral("Version : 2.08"));
    QCOMPARE(form.link.currentPrompt, '>');
    QCOMPARE(form.statusText(), QStringLiteral("Unable to open Hardware through COM ports. Select "
                                               "new COM port before proceeding"));
    QVERIFY(!form.PickButton->isEnabled());
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
    QCOMPARE(form.ComBaudLabel->text(), QStringLiteral("115200"));
    QCOMPARE(form.comPort().baudRate(), 115200);
    QVERIFY(!form.ComCheckBox->isEnabled());
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
    QCOMPARE(form.link.currentPrompt, '%');
    QCOMPARE(unit.received(), QByteArray("\r\r"));
    QVERIFY(form.ComCheckBox->isChecked());
}

void tst_StartUp::invalidBaudRateIsReported()
{
    writeSettings(settings({{2, "14400"}}));
    start();
    TTamrinForm &form = m_fixture->form();
    QCOMPARE(m_fixture->dialogs().messages,
             QStringList{"Error! Baud Rate set in LoaderDefault.ini file is invalid!"});
    QCOMPARE(form.ComBaudLabel->text(), QStringLiteral("38400"));
    QCOMPARE(form.comPort().baudRate(), 38400);
}

void tst_StartUp::terminalSettingsApply()
{
    writeSettings(settings({{20, ""}, {21, "2"}, {22, "5"}}));
    start();
    TTamrinForm &form = m_fixture->form();
    QVERIFY(!form.VisibleMenu->isChecked());
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
    QTest::newRow("no unit") << false << QByteArray("run.sld") << finish << 1
                             << QStringList{comFailed};
    QTest::newRow("script missing")
        << true << QByteArray("missing.sld") << finish << 1
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
    QTRY_COMPARE(m_fixture->exitStatus(), 1);
    QVERIFY(unit.received().isEmpty());
    QVERIFY(!m_fixture->form().serialOpen());
    QCOMPARE(m_fixture->dialogs().messages.size(), 1);
}

void tst_StartUp::unattendedRunOfTheProgram()
{
    // The real program, in automatic mode, as a production line would start it.
    UnitSim &unit = addUnit(4);
    writeFile(QStringLiteral("run.sld"), "_WP\r\n_QC \"VER\"\r\n_CE \"2.08\" _SC \"OK\"\r\n");
    writeSettings(settings({{1, "COM4"}, {6, "run.sld"}, {8, "AUTOMATIC"}}));
    QProcess tamrin;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TAMRIN_PORTS_DIR"),
                       m_folder->filePath(QStringLiteral("ports")));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    tamrin.setProcessEnvironment(environment);
    tamrin.setWorkingDirectory(m_folder->path());
    tamrin.start(QStringLiteral(TAMRIN_APP_PATH), QStringList{});
    QVERIFY(tamrin.waitForFinished(30000));
    QCOMPARE(tamrin.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tamrin.exitCode(), 0);
    QVERIFY2(!tamrin.readAllStandardError().contains("Tamrin: "), "a message box was shown");
    QVERIFY(unit.received().endsWith("VER\rOK\r"));
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
    m_fixture = std::make_unique<FormFixture>(m_folder->filePath(QStringLiteral("ports")));
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

QTEST_MAIN(tst_StartUp)
#include "tst_startup.moc"
