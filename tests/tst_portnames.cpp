// How COM numbers name devices: the override folder, the user's own entries, and the order
// in which the machine's serial devices get their numbers.
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
};

void tst_PortNames::cleanup()
{
    qunsetenv("TAMRIN_PORTS_DIR");
    qunsetenv("XDG_CONFIG_HOME");
}

void tst_PortNames::systemOrder_data()
{
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QStringList>("ordered");
    QTest::newRow("USB adapters first, natural order")
        << QStringList{"/dev/ttyS1", "/dev/ttyUSB10", "/dev/ttyS0", "/dev/ttyACM0", "/dev/ttyUSB2"}
        << QStringList{"/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyS1"};
    QTest::newRow("none") << QStringList{} << QStringList{};
}

void tst_PortNames::systemOrder()
{
    QFETCH(QStringList, listed);
    QFETCH(QStringList, ordered);
    QCOMPARE(PortNames::orderedSystemPorts(listed), ordered);
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

QTEST_GUILESS_MAIN(tst_PortNames)
#include "tst_portnames.moc"
