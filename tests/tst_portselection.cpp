// Choosing the serial port against simulated units on pseudo-terminals: checking one port
// (also one another program holds, under the same name or another), searching COM1 to COM14,
// the COM Port, None and Baud menu entries, and the fall-back. The real program, started
// unattended, notes a port it may not open, or one another program holds, once.
#include "FormFixture.h"
#include "UnitSim.h"

#include "app/InfoForm.h"
#include "app/StatusLightController.h"
#include "base/Timing.h"
#include "link/SerialPort.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <map>
#include <memory>

class tst_PortSelection : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void checkComResults_data();
    void checkComResults();
    void checkComNotesAPortHeldByAnotherProgram_data();
    void checkComNotesAPortHeldByAnotherProgram();
    void startUpNotesARefusedPortOnce_data();
    void startUpNotesARefusedPortOnce();
    void loaderOnlyUnitIsFoundOnTheSecondProbe();
    void probeGivesUpAfterEightTicks();
    void searchSkipsHeldPortAndStopsAtTheUnit();
    void searchNeverTriesCom15AndFallsBack();
    void selectingAMissingPort();
    void selectingAPortWhereTheUnitIsSilent();
    void selectingThePortOfTheUnit();
    void noneReportsTheLastGoodPort_data();
    void noneReportsTheLastGoodPort();
    void baudOfTheOpenPort();
    void useComBoxSearchFails();

private:
    UnitSim &addUnit(int portNumber, const QStringList &args = {});
    // The output speed the device is set to now; 0 when it cannot be read.
    static speed_t lineSpeed(const QString &device);
    TTamrinForm &form() { return m_fixture->form(); }
    QStringList &messages() { return m_fixture->dialogs().messages; }

    std::unique_ptr<QTemporaryDir> m_ports;
    std::map<int, std::unique_ptr<UnitSim>> m_units;
    std::unique_ptr<FormFixture> m_fixture;
};

void tst_PortSelection::init()
{
    m_ports = std::make_unique<QTemporaryDir>();
    QVERIFY(m_ports->isValid());
    m_fixture = std::make_unique<FormFixture>(m_ports->path(), 0.25);
}

void tst_PortSelection::cleanup()
{
    m_fixture.reset();
    m_units.clear();
    m_ports.reset();
}

UnitSim &tst_PortSelection::addUnit(int portNumber, const QStringList &args)
{
    auto unit = std::make_unique<UnitSim>();
    const QString path = m_ports->filePath(QStringLiteral("COM%1").arg(portNumber));
    if (!unit->start(args, true, false, path))
        qFatal("the simulated unit did not start");
    UnitSim &ref = *unit;
    m_units[portNumber] = std::move(unit);
    return ref;
}

speed_t tst_PortSelection::lineSpeed(const QString &device)
{
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    termios settings{};
    const bool read = fd >= 0 && ::tcgetattr(fd, &settings) == 0;
    if (fd >= 0)
        ::close(fd);
    return read ? ::cfgetospeed(&settings) : speed_t(0);
}

void tst_PortSelection::checkComResults_data()
{
    QTest::addColumn<QStringList>("unitArgs");
    QTest::addColumn<int>("portNumber");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("wire");

    QTest::newRow("unit answers #") << QStringList{} << 3 << 1 << QByteArray("\r");
    QTest::newRow("silent unit") << QStringList{"--mute"} << 3 << 0 << QByteArray("\r\r");
    QTest::newRow("no such port") << QStringList{} << 5 << -1 << QByteArray();
    QTest::newRow("port 0") << QStringList{} << 0 << -1 << QByteArray();
}

void tst_PortSelection::checkComResults()
{
    QFETCH(QStringList, unitArgs);
    QFETCH(int, portNumber);
    QFETCH(int, result);
    QFETCH(QByteArray, wire);
    UnitSim &unit = addUnit(3, unitArgs);

    QCOMPARE(form().check_com(portNumber), result);
    QCOMPARE(unit.received(), wire);
    QVERIFY(messages().isEmpty());
    QVERIFY(!form().infoForm()->isVisible());
    QVERIFY(!form().deviceLink().probing());
    if (result >= 0)
        QCOMPARE(form().infoForm()->text(),
                 QStringLiteral("Checking COM Port 3, Baud 38400. Please wait...."));
    if (result == 1) {
        QCOMPARE(form().statusText(), QStringLiteral("Established communication on COM 3"));
        QCOMPARE(control<QLabel>(form(), "ComNumberLabel")->text(), QStringLiteral("3"));
        QCOMPARE(form().portSelector().lastGoodComPort(), 3);
        QCOMPARE(form().deviceLink().lastLinkKind(), LinkKind::Serial);
        QVERIFY(!control<QMenu>(form(), "Ethernet1")->isEnabled());
        QCOMPARE(form().deviceLink().currentPrompt(), '#');
    } else {
        QCOMPARE(form().portSelector().lastGoodComPort(), 0);
    }
    // A port that opened stays open, answer or not.
    QCOMPARE(form().serialOpen(), result >= 0);
}

void tst_PortSelection::checkComNotesAPortHeldByAnotherProgram_data()
{
    QTest::addColumn<bool>("heldUnderAnotherName");
    QTest::newRow("held under its own name") << false;
    QTest::newRow("held under another name") << true;
}

void tst_PortSelection::checkComNotesAPortHeldByAnotherProgram()
{
    QFETCH(bool, heldUnderAnotherName);
    UnitSim &unit = addUnit(3);
    // The other program: the simulator holding the port, or a port of this process that
    // opened the same device as COM5, at the 9600 baud the simulator's holder leaves set.
    SerialPort other;
    if (heldUnderAnotherName) {
        QVERIFY(QFile::link(unit.slaveDevice(), m_ports->filePath(QStringLiteral("COM5"))));
        other.setPortNumber(5);
        other.setBaudRate(9600);
        QVERIFY(other.open());
    } else {
        QVERIFY(unit.command(QStringLiteral("hold")));
    }
    QCOMPARE(form().check_com(3), 0);
    QCOMPARE(messages(), QStringList{"Note: COM Port #3 is not responding/being used by other "
                                     "applications."});
    QVERIFY(!form().serialOpen());
    QVERIFY(unit.received().isEmpty());
    // The failed open left the other program's line as it was.
    QCOMPARE(lineSpeed(unit.slaveDevice()), speed_t(B9600));
}

void tst_PortSelection::startUpNotesARefusedPortOnce_data()
{
    // Else another program holds the port.
    QTest::addColumn<bool>("permissionDenied");
    // %1: the path COM1 names.
    QTest::addColumn<QString>("note");
    QTest::addColumn<QString>("notNoted");
    QTest::newRow("the account may not open it")
        << true
        << "Note: COM Port #1 (%1) cannot be opened: permission denied: add your account to the "
           "dialout group and log in again."
        << "being used by other applications";
    QTest::newRow("another program holds it")
        << false << "Note: COM Port #1 is not responding/being used by other applications."
        << "permission denied";
}

// The real program in automatic mode, configured for COM1: the start-up checks COM1, then
// searches from COM1. Root may open any device, so the program that must be refused runs as
// the account "nobody", outside the device's group.
void tst_PortSelection::startUpNotesARefusedPortOnce()
{
    QFETCH(bool, permissionDenied);
    QFETCH(QString, note);
    QFETCH(QString, notNoted);
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (permissionDenied && (::geteuid() != 0 || setpriv.isEmpty()))
        QSKIP("needs root and setpriv to run the program as another account");
    const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
    const QFile::Permissions readable = ownerOnly | QFile::ReadGroup | QFile::ReadOther;
    const QFile::Permissions enterable =
        readable | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    QVERIFY(QFile::setPermissions(m_ports->path(), enterable));
    UnitSim &unit = addUnit(1);
    if (permissionDenied)
        QVERIFY(QFile::setPermissions(unit.slaveDevice(), ownerOnly));
    else
        QVERIFY(unit.command(QStringLiteral("hold")));
    QTemporaryDir station;
    QVERIFY(QFile::setPermissions(station.path(), enterable));
    const QByteArray settings("Port=COM1\r\nline2\r\nline3\r\nline4\r\nline5\r\n"
                              "AutoScript=run.sld\r\nline7\r\nMode=AUTOMATIC\r\n");
    const std::map<QString, QByteArray> files{{"LoaderDefault.ini", settings},
                                              {"run.sld", "_SC \"VER\"\r\n"}};
    for (const auto &[name, content] : files) {
        QFile file(station.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        QVERIFY(file.setPermissions(readable));
    }

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"})
        environment.remove(QLatin1String(name));
    environment.insert(QStringLiteral("TAMRIN_PORTS_DIR"), m_ports->path());
    environment.insert(QStringLiteral("HOME"), station.path());
    QProcess tamrin;
    tamrin.setProcessEnvironment(environment);
    tamrin.setWorkingDirectory(station.path());
    const QString app = QStringLiteral(TAMRIN_APP_PATH);
    if (permissionDenied)
        tamrin.start(setpriv, {"--reuid=65534", "--regid=65534", "--clear-groups", "--", app});
    else
        tamrin.start(app, QStringList{});
    QVERIFY(tamrin.waitForFinished(30000));
    const QString errors = QString::fromLocal8Bit(tamrin.readAllStandardError());
    QCOMPARE(tamrin.exitCode(), 2);
    const QStringList lines = errors.split(QLatin1Char('\n'));
    const QString noteLine =
        QStringLiteral("Tamrin: ") + note.replace(QStringLiteral("%1"), m_ports->filePath("COM1"));
    QVERIFY2(lines.count(noteLine) == 1, qPrintable(errors));
    QVERIFY2(!errors.contains(notNoted), qPrintable(errors));
    QVERIFY(unit.received().isEmpty());
}

void tst_PortSelection::loaderOnlyUnitIsFoundOnTheSecondProbe()
{
    UnitSim &unit = addUnit(3, {"--only-prompt", ">"});
    QCOMPARE(form().check_com(3), 1);
    QCOMPARE(unit.received(), QByteArray("\r\r"));
    QCOMPARE(form().deviceLink().currentPrompt(), '>');
}

void tst_PortSelection::probeGivesUpAfterEightTicks()
{
    // Real time: 8 ticks of 55 ms, counted from the tick the wait began in.
    Timing::setScale(1.0);
    addUnit(3, {"--mute"});
    QVERIFY(m_fixture->openComPort(3));
    const DeviceLink::Probing probing(form().deviceLink());
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!form().SendCOMCmd_GetPrompt("\r"));
    const qint64 elapsed = clock.elapsed();
    // 440 to 495 ms by the ticks; a loaded machine only ever makes it later, so there is no
    // upper bound: the unit stays mute, and the wait returning is its end by the ticks.
    QVERIFY2(elapsed >= 430, QByteArray::number(elapsed).constData());
}

void tst_PortSelection::searchSkipsHeldPortAndStopsAtTheUnit()
{
    UnitSim &held = addUnit(1);
    QVERIFY(held.command(QStringLiteral("hold")));
    UnitSim &unit = addUnit(3);
    UnitSim &beyond = addUnit(4);

    QCOMPARE(form().process_com(), 1);
    QCOMPARE(messages(), QStringList{"Note: COM Port #1 is not responding/being used by other "
                                     "applications."});
    QCOMPARE(unit.received(), QByteArray("\r"));
    QVERIFY(held.received().isEmpty());
    QVERIFY(beyond.received().isEmpty());
    QVERIFY(control<QCheckBox>(form(), "ComCheckBox")->isChecked());
    QCOMPARE(form().comPort().portNumber(), 3);
}

void tst_PortSelection::searchNeverTriesCom15AndFallsBack()
{
    UnitSim &unit = addUnit(15);
    form().portSelector().setConfiguredComPort(15);
    form().SearchAllMenuClick();
    QVERIFY(unit.received().isEmpty());
    QCOMPARE(form().statusText(),
             QStringLiteral("Error opening Hardware via COM ports. Select new COM port/check "
                            "RS232 connection before proceeding"));
    QVERIFY(form().serialOpen());
    QCOMPARE(form().comPort().portNumber(), 15);
    QCOMPARE(control<QLabel>(form(), "ComNumberLabel")->text(), QStringLiteral("15"));
    QVERIFY(!control<QPushButton>(form(), "PickButton")->isEnabled());
    QVERIFY(!form().statusLights().isMonitoring());
}

void tst_PortSelection::selectingAMissingPort()
{
    form().enable_btns();
    form().SelectComPort(5);
    QCOMPARE(messages(), QStringList{"Error! Cannot establish communication using COM 5. Please "
                                     "check RS232 connection"});
    QCOMPARE(form().statusText(),
             QStringLiteral("Unable to open Hardware thru COM ports. Select new COM port/check "
                            "RS232 connection before proceeding"));
    QVERIFY(!control<QPushButton>(form(), "PickButton")->isEnabled());
    QVERIFY(!control<QPushButton>(form(), "UploadButton")->isEnabled());
    QCOMPARE(control<QLabel>(form(), "ComNumberLabel")->text(), QStringLiteral("None"));
}

void tst_PortSelection::selectingAPortWhereTheUnitIsSilent()
{
    addUnit(3, {"--mute"});
    form().disable_btns();
    form().SelectComPort(3);
    QCOMPARE(messages().size(), 1);
    QCOMPARE(control<QLabel>(form(), "ComNumberLabel")->text(), QStringLiteral("3"));
    QVERIFY(control<QPushButton>(form(), "PickButton")->isEnabled());
    QVERIFY(form().serialOpen());
    QVERIFY(form().statusLights().isMonitoring());
}

void tst_PortSelection::selectingThePortOfTheUnit()
{
    UnitSim &unit = addUnit(2);
    // The menu entry tells which device it will open.
    emit control<QMenu>(form(), "ComPortMenu")->aboutToShow();
    QCOMPARE(form().findChild<QAction *>(QStringLiteral("COM2Menu"))->statusTip(),
             m_ports->filePath(QStringLiteral("COM2")) + QStringLiteral(" -> ") +
                 unit.slaveDevice());
    form().disable_btns();
    form().SelectComPort(2);
    QVERIFY(messages().isEmpty());
    QCOMPARE(form().statusText(), QStringLiteral("Established communication on COM 2"));
    QCOMPARE(control<QLabel>(form(), "ComNumberLabel")->text(), QStringLiteral("2"));
    QVERIFY(control<QCheckBox>(form(), "ComCheckBox")->isChecked());
    QVERIFY(control<QPushButton>(form(), "PickButton")->isEnabled());
    QVERIFY(form().statusLights().isMonitoring());
}

void tst_PortSelection::noneReportsTheLastGoodPort_data()
{
    QTest::addColumn<bool>("connectFirst");
    QTest::addColumn<QString>("status");
    QTest::newRow("after success on COM2") << true << "Note: Last successful COM port used is: 2";
    QTest::newRow("before any success") << false << "Note: Last successful COM port used is: Never";
}

void tst_PortSelection::noneReportsTheLastGoodPort()
{
    QFETCH(bool, connectFirst);
    QFETCH(QString, status);
    if (connectFirst) {
        addUnit(2);
        form().SelectComPort(2);
    }
    form().NoneMenuClick();
    QCOMPARE(form().statusText(), status);
    QVERIFY(!form().serialOpen());
    QCOMPARE(form().comPort().portNumber(), 0);
    QCOMPARE(control<QLabel>(form(), "ComNumberLabel")->text(), QStringLiteral("None"));
    QVERIFY(control<QMenu>(form(), "Ethernet1")->isEnabled());
    QVERIFY(!control<QPushButton>(form(), "PickButton")->isEnabled());
}

void tst_PortSelection::baudOfTheOpenPort()
{
    UnitSim &unit = addUnit(3);
    form().SelectComPort(3);
    form().BaudMenuClick(38400); // the rate in use: nothing changes on the port
    QVERIFY(form().serialOpen());
    QCOMPARE(control<QLabel>(form(), "ComBaudLabel")->text(), QStringLiteral("38400"));
    form().BaudMenuClick(115200);
    QCOMPARE(form().comPort().baudRate(), 115200);
    QCOMPARE(control<QLabel>(form(), "ComBaudLabel")->text(), QStringLiteral("115200"));
    // The port still talks after the change.
    form().SetPromptChar('#');
    QVERIFY(form().SendCOMCmd_GetPrompt("\r"));
    Q_UNUSED(unit);
}

void tst_PortSelection::useComBoxSearchFails()
{
    control<QCheckBox>(form(), "ComCheckBox")->setChecked(true);
    form().ComCheckBoxClick();
    QVERIFY(!control<QCheckBox>(form(), "ComCheckBox")->isChecked());
    QCOMPARE(messages(), QStringList{"Unable to use Com Ports. Please make sure no one else is "
                                     "using the Hardware thru the Com Ports"});
}

QTEST_MAIN(tst_PortSelection)
#include "tst_portselection.moc"
