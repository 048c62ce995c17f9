// How COM numbers name devices: the override folder, the user's own entries, the order in
// which the machine's serial devices get their numbers (the console's device getting none),
// and the list of what each number names.
#include "UnitSim.h"

#include "link/PortList.h"
#include "link/PortNames.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class tst_PortNames : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void systemOrder_data();
    void systemOrder();
    void overrideFolderIsTheOnlySource();
    void userEntriesNamePorts();
    void listTellsWhatEachNumberNames();
};

void tst_PortNames::cleanup()
{
    qunsetenv("TAMRIN_PORTS_DIR");
    qunsetenv("XDG_CONFIG_HOME");
}

void tst_PortNames::systemOrder_data()
{
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QStringList>("console"); // as /sys/class/tty/console/active lists it
    QTest::addColumn<QStringList>("ordered");
    QTest::newRow("USB adapters first, natural order")
        << QStringList{"/dev/ttyS1", "/dev/ttyUSB10", "/dev/ttyS0", "/dev/ttyACM0", "/dev/ttyUSB2"}
        << QStringList{"tty0"}
        << QStringList{"/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyS1"};
    QTest::newRow("the console's serial device gets no number")
        << QStringList{"/dev/ttyS0", "/dev/ttyUSB0"} << QStringList{"tty0", "ttyS0"}
        << QStringList{"/dev/ttyUSB0"};
    QTest::newRow("none") << QStringList{} << QStringList{} << QStringList{};
}

void tst_PortNames::systemOrder()
{
    QFETCH(QStringList, listed);
    QFETCH(QStringList, console);
    QFETCH(QStringList, ordered);
    QCOMPARE(PortNames::orderedSystemPorts(listed, console), ordered);
}

void tst_PortNames::overrideFolderIsTheOnlySource()
{
    QTemporaryDir ports;
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), ports.filePath(QStringLiteral("COM3"))));
    QVERIFY(QFile::link(ports.filePath(QStringLiteral("gone")),
                        ports.filePath(QStringLiteral("COM4"))));
    qputenv("TAMRIN_PORTS_DIR", ports.path().toLocal8Bit());
    QCOMPARE(PortNames::devicePath(3), ports.filePath(QStringLiteral("COM3")));
    QVERIFY2(PortNames::devicePath(4).isEmpty(), "a dangling link names no device");
    QVERIFY(PortNames::devicePath(1).isEmpty());
    QVERIFY(PortNames::devicePath(0).isEmpty());
    QVERIFY(PortNames::devicePath(-1).isEmpty());
}

void tst_PortNames::userEntriesNamePorts()
{
    QTemporaryDir config;
    QVERIFY(QDir().mkpath(config.filePath(QStringLiteral("tamrin/ports"))));
    const QString entry = config.filePath(QStringLiteral("tamrin/ports/COM7"));
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), entry));
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QCOMPARE(PortNames::devicePath(7), entry);
}

void tst_PortNames::listTellsWhatEachNumberNames()
{
    UnitSim unit;
    QVERIFY(unit.start());
    const QString ports = unit.portsDir();
    QVERIFY(QFile::link(ports + QStringLiteral("/gone"), ports + QStringLiteral("/COM2")));
    qputenv("TAMRIN_PORTS_DIR", ports.toLocal8Bit());
    const QStringList lines = PortList::table().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), PortList::PortCount);
    QCOMPARE(lines.at(2),
             QStringLiteral("COM3   %1 -> %2").arg(unit.ptyPath(), unit.slaveDevice()));
    QCOMPARE(lines.at(1), QStringLiteral("COM2   not present"));
    QCOMPARE(lines.at(15), QStringLiteral("COM16  not present"));
}

QTEST_GUILESS_MAIN(tst_PortNames)
#include "tst_portnames.moc"
