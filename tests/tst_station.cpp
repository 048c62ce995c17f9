// tamrin --run as a production line's station runs it: the real program, no display, against
// simulated units on pseudo-terminals; its JSON records and progress lines, a port that comes
// late or never, a link lost in the data and the attempt after it, six stations at once.
#include "UnitSim.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <sys/stat.h>
#include <vector>

class tst_Station : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void oneUnitWithRecordAndProgress();
    void portThatComesLateOrNever_data();
    void portThatComesLateOrNever();
    void retryAfterTheLinkWasLost();
    void sixStationsIntoOneRecord();
    void journalPriorities();
    void overTcpByHostName();

private:
    UnitSim &addUnit(int portNumber, const QStringList &args = {});
    // Standard error goes to 'journal', when given, as to the journal's stream.
    QProcess *startTamrin(const QStringList &arguments, const QString &journal = QString());
    QList<QJsonObject> jsonLines(const QString &name) const;
    QString path(const QString &name) const { return m_folder->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_folder;
    std::vector<std::unique_ptr<UnitSim>> m_units;
    std::vector<std::unique_ptr<QProcess>> m_stations;
};

namespace {

constexpr int FileSize = 70000;
const QByteArray Script = "_QC \"VER\"\r\n_LF firmware.bin\r\n_LA 80000\r\n_LV V2.1\r\n_LD\r\n";

QByteArray sha256Of(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
}

// The file the unit stored, named on its "upload n=..." line.
QString storedFile(const QString &uploadLine)
{
    return uploadLine.section(QStringLiteral(" file="), 1);
}

bool finished(QProcess &tamrin)
{
    return tamrin.waitForFinished(120000) && tamrin.exitStatus() == QProcess::NormalExit;
}

} // namespace

void tst_Station::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir().mkpath(path(QStringLiteral("ports"))));
    QByteArray firmware(FileSize, '\0');
    for (int i = 0; i < FileSize; ++i)
        firmware[i] = char((i * 13 + i / 97) & 0xff);
    QFile file(path(QStringLiteral("firmware.bin")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(firmware);
    file.close();
    QFile script(path(QStringLiteral("station.sld")));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(Script);
}

void tst_Station::cleanup()
{
    m_stations.clear();
    m_units.clear();
    m_folder.reset();
}

UnitSim &tst_Station::addUnit(int portNumber, const QStringList &args)
{
    m_units.push_back(std::make_unique<UnitSim>());
    const QString link = path(QStringLiteral("ports/COM%1").arg(portNumber));
    if (!m_units.back()->start(QStringList{QStringLiteral("--loader")} + args, true, false, link))
        qFatal("the simulated unit did not start");
    return *m_units.back();
}

QProcess *tst_Station::startTamrin(const QStringList &arguments, const QString &journal)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "TAMRIN_UNATTENDED",
                             "TAMRIN_RUN_TIMEOUT"})
        environment.remove(QLatin1String(name));
    environment.insert(QStringLiteral("TAMRIN_PORTS_DIR"), path(QStringLiteral("ports")));
    // What these cases prove does not hang on the protocol's pauses: a tenth of them.
    environment.insert(QStringLiteral("TAMRIN_TIME_SCALE"), QStringLiteral("0.1"));
    m_stations.push_back(std::make_unique<QProcess>());
    QProcess *tamrin = m_stations.back().get();
    struct stat stream
    {
    };
    if (!journal.isEmpty() && QFile(journal).open(QIODevice::WriteOnly) &&
        ::stat(QFile::encodeName(journal).constData(), &stream) == 0) {
        environment.insert(QStringLiteral("JOURNAL_STREAM"),
                           QStringLiteral("%1:%2").arg(quint64(stream.st_dev)).arg(quint64(stream.st_ino)));
        tamrin->setStandardErrorFile(journal);
    }
    tamrin->setProcessEnvironment(environment);
    tamrin->setWorkingDirectory(m_folder->path());
    tamrin->start(QStringLiteral(TAMRIN_APP_PATH),
                  QStringList{QStringLiteral("--run"), QStringLiteral("station.sld")} + arguments);
    return tamrin;
}

QList<QJsonObject> tst_Station::jsonLines(const QString &name) const
{
    QFile file(path(name));
    QList<QJsonObject> objects;
    if (!file.open(QIODevice::ReadOnly))
        return objects;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (!line.isEmpty())
            objects << QJsonDocument::fromJson(line).object();
    }
    return objects;
}

// The records say what happened, and the upload's SHA-256 is that of what the unit stored;
// the progress never goes back and ends with every byte sent.
void tst_Station::oneUnitWithRecordAndProgress()
{
    UnitSim &unit = addUnit(2);
    QVERIFY(unit.command(QStringLiteral("version Unit 2.08 sn 4711")));
    QProcess *tamrin = startTamrin({QStringLiteral("--port"), QStringLiteral("COM2"),
                                    QStringLiteral("--record"), QStringLiteral("record.jsonl"),
                                    QStringLiteral("--progress"), QStringLiteral("progress.jsonl")});
    QVERIFY(finished(*tamrin));
    QCOMPARE(tamrin->exitCode(), 0);
    const QList<QJsonObject> records = jsonLines(QStringLiteral("record.jsonl"));
    QCOMPARE(records.size(), 2);
    const QJsonObject upload = records.at(0);
    QCOMPARE(upload.value(QStringLiteral("event")).toString(), QStringLiteral("upload"));
    QCOMPARE(upload.value(QStringLiteral("outcome")).toString(), QStringLiteral("delivered"));
    QCOMPARE(upload.value(QStringLiteral("bytes_sent")).toInteger(), FileSize);
    QCOMPARE(upload.value(QStringLiteral("port")).toString(), QStringLiteral("COM2"));
    QCOMPARE(upload.value(QStringLiteral("unit_answer")).toString(),
             QStringLiteral("Unit 2.08 sn 4711"));
    QCOMPARE(upload.value(QStringLiteral("device")).toString(),
             QFileInfo(unit.ptyPath()).canonicalFilePath());
    QVERIFY(unit.waitForUploadLines(1));
    QCOMPARE(upload.value(QStringLiteral("sha256")).toString().toLatin1(),
             sha256Of(storedFile(unit.uploadLines().first())));
    QCOMPARE(records.at(1).value(QStringLiteral("event")).toString(), QStringLiteral("run"));
    QCOMPARE(records.at(1).value(QStringLiteral("status")).toInt(), 0);
    const QList<QJsonObject> progress = jsonLines(QStringLiteral("progress.jsonl"));
    QVERIFY(progress.size() > 4);
    qint64 bytes = 0;
    double t = 0;
    for (const QJsonObject &line : progress) {
        QVERIFY(line.value(QStringLiteral("bytes")).toInteger() >= bytes);
        QVERIFY(line.value(QStringLiteral("t")).toDouble() >= t);
        bytes = line.value(QStringLiteral("bytes")).toInteger();
        t = line.value(QStringLiteral("t")).toDouble();
    }
    QCOMPARE(bytes, FileSize);
    QCOMPARE(progress.last().value(QStringLiteral("phase")).toString(), QStringLiteral("done"));
}

void tst_Station::portThatComesLateOrNever_data()
{
    QTest::addColumn<int>("unitLateMs"); // -1: never
    QTest::addColumn<int>("waitSeconds"); // --wait-port, on the scaled clock
    QTest::addColumn<int>("exitStatus");
    QTest::addColumn<QString>("runOutcome");
    // The wait, 60 s at a tenth, outlasts the unit's lateness on any machine.
    QTest::newRow("half a second late") << 500 << 60 << 0 << "success";
    QTest::newRow("never") << -1 << 5 << 2 << "not-run";
}

void tst_Station::portThatComesLateOrNever()
{
    QFETCH(int, unitLateMs);
    QFETCH(int, waitSeconds);
    QFETCH(int, exitStatus);
    QFETCH(QString, runOutcome);
    QProcess *tamrin = startTamrin({QStringLiteral("--port"), QStringLiteral("COM5"),
                                    QStringLiteral("--wait-port"), QString::number(waitSeconds),
                                    QStringLiteral("--record"), QStringLiteral("record.jsonl")});
    if (unitLateMs >= 0) {
        QTest::qWait(unitLateMs);
        addUnit(5);
    }
    QVERIFY(finished(*tamrin));
    QCOMPARE(tamrin->exitCode(), exitStatus);
    const QList<QJsonObject> records = jsonLines(QStringLiteral("record.jsonl"));
    QVERIFY(!records.isEmpty());
    QCOMPARE(records.last().value(QStringLiteral("outcome")).toString(), runOutcome);
    if (exitStatus != 0)
        QVERIFY(records.last().value(QStringLiteral("reason")).toString().contains(
            QStringLiteral("did not appear within 5 s")));
}

// The unit hangs up 30000 bytes into the data and comes back: the first attempt is cancelled,
// the second runs the script from its first line and delivers the file whole.
void tst_Station::retryAfterTheLinkWasLost()
{
    UnitSim &unit = addUnit(3, {QStringLiteral("--hangup-after"), QStringLiteral("30000")});
    QProcess *tamrin = startTamrin({QStringLiteral("--port"), QStringLiteral("COM3"),
                                    QStringLiteral("--retries"), QStringLiteral("1"),
                                    QStringLiteral("--record"), QStringLiteral("record.jsonl")});
    QVERIFY(unit.waitUntil([&] { return !QFileInfo(unit.ptyPath()).isSymLink(); }, 60000));
    QVERIFY(unit.command(QStringLiteral("hangup-after off")));
    QVERIFY(unit.command(QStringLiteral("reopen")));
    QVERIFY(finished(*tamrin));
    QCOMPARE(tamrin->exitCode(), 0);
    const QList<QJsonObject> records = jsonLines(QStringLiteral("record.jsonl"));
    QStringList seen;
    for (const QJsonObject &record : records)
        seen << QStringLiteral("%1 %2 %3")
                    .arg(record.value(QStringLiteral("attempt")).toInt())
                    .arg(record.value(QStringLiteral("event")).toString(),
                         record.value(QStringLiteral("outcome")).toString());
    QCOMPARE(seen, (QStringList{"1 upload cancelled", "1 run failed", "2 upload delivered",
                                "2 run success"}));
    QVERIFY(unit.waitForUploadLines(1));
    QCOMPARE(sha256Of(storedFile(unit.uploadLines().last())),
             sha256Of(path(QStringLiteral("firmware.bin"))));
}

// Six stations, one folder, one record file: every line whole, each on its own port.
void tst_Station::sixStationsIntoOneRecord()
{
    std::vector<QProcess *> stations;
    for (int port = 1; port <= 6; ++port) {
        addUnit(port);
        stations.push_back(startTamrin({QStringLiteral("--port"), QStringLiteral("COM%1").arg(port),
                                        QStringLiteral("--record"),
                                        QStringLiteral("record.jsonl")}));
    }
    for (QProcess *tamrin : stations) {
        QVERIFY(finished(*tamrin));
        QCOMPARE(tamrin->exitCode(), 0);
    }
    QFile file(path(QStringLiteral("record.jsonl")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), 13); // twelve lines and the empty rest after the last one
    QMap<QString, QStringList> eventsByPort;
    for (qsizetype i = 0; i < 12; ++i) {
        QJsonParseError error{};
        const QJsonObject record = QJsonDocument::fromJson(lines.at(i), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        eventsByPort[record.value(QStringLiteral("port")).toString()]
            << record.value(QStringLiteral("event")).toString();
    }
    QCOMPARE(eventsByPort.size(), 6);
    for (const QStringList &events : eventsByPort)
        QCOMPARE(events, (QStringList{"upload", "run"}));
}

// With standard error the journal's stream, each line carries its syslog priority: errors and
// failed records "<3>", the rest "<6>".
void tst_Station::journalPriorities()
{
    addUnit(4);
    QFile script(path(QStringLiteral("station.sld")));
    QVERIFY(script.open(QIODevice::Append));
    script.write("_LF missing.bin\r\n");
    script.close();
    const QString journal = path(QStringLiteral("journal"));
    QProcess *tamrin = startTamrin({QStringLiteral("--port"), QStringLiteral("COM4")}, journal);
    QVERIFY(finished(*tamrin));
    QFile written(journal);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QStringList priorities;
    for (const QByteArray &line : written.readAll().split('\n')) {
        // "<6>Tamrin: upload file=..." is "<6> upload".
        if (!line.isEmpty())
            priorities << QString::fromLatin1(line.left(3) + ' ' + line.mid(11).split(' ').first());
    }
    QCOMPARE(priorities,
             (QStringList{"<6> TAMRIN_TIME_SCALE=0.1:", "<6> upload", "<3> Error!", "<3> run"}));
}

void tst_Station::overTcpByHostName()
{
    UnitSim unit;
    QVERIFY(unit.start({QStringLiteral("--loader")}, false, true));
    QProcess *tamrin =
        startTamrin({QStringLiteral("--tcp"), QStringLiteral("localhost:%1").arg(unit.tcpPort()),
                     QStringLiteral("--record"), QStringLiteral("record.jsonl")});
    QVERIFY(finished(*tamrin));
    QCOMPARE(tamrin->exitCode(), 0);
    const QList<QJsonObject> records = jsonLines(QStringLiteral("record.jsonl"));
    QCOMPARE(records.size(), 2);
    QCOMPARE(records.first().value(QStringLiteral("outcome")).toString(), QStringLiteral("delivered"));
    QCOMPARE(records.first().value(QStringLiteral("port")).toString(), QStringLiteral("tcp"));
}

QTEST_MAIN(tst_Station)
#include "tst_station.moc"
