// How COM numbers name devices: the override folder, the user's own entries, the order in
// which the machine's serial devices get their numbers (the console's device getting none),
// and the list of what each number names.
#include "UnitSim.h"

#include "link/PortList.h"
#include "link/PortNames.h"
#include "link/SerialPort.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

class tst_PortNames : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void systemOrder_data();
    void systemOrder();
    void overrideFolderIsTheOnlySource();
    void entriesDecideTheirNumbers_data();
    void entriesDecideTheirNumbers();
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
    qputenv("TAMRIN_PORTS_DIR", ports.path().toLocal8Bit());
    QCOMPARE(PortNames::devicePath(3), ports.filePath(QStringLiteral("COM3")));
    QVERIFY(PortNames::devicePath(1).isEmpty());
    QVERIFY(PortNames::devicePath(0).isEmpty());
    QVERIFY(PortNames::devicePath(-1).isEmpty());
}

void tst_PortNames::entriesDecideTheirNumbers_data()
{
    QTest::addColumn<bool>("inUserFolder"); // else in TAMRIN_PORTS_DIR
    // "link:TARGET", "fifo", "file" or "folder"
    QTest::addColumn<QString>("entry");
    // What the list and the menu show for the number; "%1" stands for the folder.
    QTest::addColumn<QString>("shown");

    const QString gone =
        QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_GONE-if00-port0");
    QTest::newRow("dangling link in the user's folder")
        << true << QStringLiteral("link:") + gone << QStringLiteral("not present (%1)").arg(gone);
    QTest::newRow("dangling link in TAMRIN_PORTS_DIR")
        << false << QStringLiteral("link:") + gone << QStringLiteral("not present (%1)").arg(gone);
    QTest::newRow("FIFO") << false << QStringLiteral("fifo")
                          << QStringLiteral("not a serial device (%1/COM1)");
    QTest::newRow("regular file") << true << QStringLiteral("file")
                                  << QStringLiteral("not a serial device (%1/COM1)");
    QTest::newRow("folder") << false << QStringLiteral("folder")
                            << QStringLiteral("not a serial device (%1/COM1)");
    QTest::newRow("link to /dev/null") << true << QStringLiteral("link:/dev/null")
                                       << QStringLiteral("not a serial device (/dev/null)");
}

// COM1's entry names COM1, whatever it leads to: the number never falls to the machine's
// first serial device, and nothing there is a port to open.
void tst_PortNames::entriesDecideTheirNumbers()
{
    QFETCH(bool, inUserFolder);
    QFETCH(QString, entry);
    QFETCH(QString, shown);
    QTemporaryDir config;
    const QString folder =
        inUserFolder ? config.filePath(QStringLiteral("tamrin/ports")) : config.path();
    QVERIFY(QDir().mkpath(folder));
    qputenv(inUserFolder ? "XDG_CONFIG_HOME" : "TAMRIN_PORTS_DIR", config.path().toLocal8Bit());
    const QString path = folder + QStringLiteral("/COM1");
    if (entry.startsWith(QLatin1String("link:")))
        QVERIFY(QFile::link(entry.mid(5), path));
    else if (entry == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (entry == QLatin1String("file"))
        QVERIFY(QFile(path).open(QIODevice::WriteOnly));
    else
        QVERIFY(QDir().mkpath(path));
    QCOMPARE(PortNames::devicePath(1), path);
    QCOMPARE(PortList::descriptions().value(0), shown.arg(QFileInfo(folder).canonicalFilePath()));
    QVERIFY(!SerialPort::isAvailable(1));
}

void tst_PortNames::listTellsWhatEachNumberNames()
{
    UnitSim unit;
    QVERIFY(unit.start());
    const QString ports = unit.portsDir();
    QVERIFY(QFile::link(QStringLiteral("gone"), ports + QStringLiteral("/COM2")));
    qputenv("TAMRIN_PORTS_DIR", ports.toLocal8Bit());
    const QStringList lines = PortList::table().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), PortList::PortCount);
    QCOMPARE(lines.at(2),
             QStringLiteral("COM3   %1 -> %2").arg(unit.ptyPath(), unit.slaveDevice()));
    QCOMPARE(lines.at(1), QStringLiteral("COM2   not present (gone)"));
    QCOMPARE(lines.at(15), QStringLiteral("COM16  not present"));
}

QTEST_GUILESS_MAIN(tst_PortNames)
#include "tst_portnames.moc"
