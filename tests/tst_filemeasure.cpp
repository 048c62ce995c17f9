// Upload's pure pieces: measuring files (the 16-bit checksum and size, the file date text,
// and the header line), and how a script's bytes are shown and put in capitals.
#include "base/ByteText.h"
#include "upload/FileMeasure.h"

#include <QTemporaryDir>
#include <QtTest>

class tst_FileMeasure : public QObject
{
    Q_OBJECT
private slots:
    void checksum_data();
    void checksum();
    void unreadableFile();
    void measuringAgainSeesChanges();
    void dateText_data();
    void dateText();
    void waitsAfterUpload_data();
    void waitsAfterUpload();
    void header_data();
    void header();
    void upperCaseLetters_data();
    void upperCaseLetters();
    void displayText_data();
    void displayText();

private:
    QString write(const QByteArray &content);
    QTemporaryDir m_dir;
    int m_files = 0;
};

QString tst_FileMeasure::write(const QByteArray &content)
{
    const QString path = m_dir.filePath(QString::number(++m_files));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
    return path;
}

void tst_FileMeasure::checksum_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("checksum");

    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("01 02 03") << QByteArray("\x01\x02\x03") << 6;
    QTest::newRow("300 bytes FF wrap past 16 bits") << QByteArray(300, '\xff') << 0x2ad4;
    QTest::newRow("NUL bytes count nothing") << QByteArray(5000, '\0') << 0;
    QByteArray ramp(70000, '\0');
    quint32 sum = 0;
    for (int i = 0; i < ramp.size(); ++i) {
        ramp[i] = char(i * 31);
        sum += quint8(ramp[i]);
    }
    QTest::newRow("70000 bytes across read chunks") << ramp << int(sum & 0xFFFF);
}

void tst_FileMeasure::checksum()
{
    QFETCH(QByteArray, content);
    QFETCH(int, checksum);
    const std::optional<FileMeasure> measure = measureFile(QFile::encodeName(write(content)));
    QVERIFY(measure);
    QCOMPARE(int(measure->checksum), checksum);
    QCOMPARE(measure->size, qint64(content.size()));
}

void tst_FileMeasure::unreadableFile()
{
    QVERIFY(!measureFile(QFile::encodeName(m_dir.filePath(QStringLiteral("missing")))));
    QVERIFY(!measureFile(QFile::encodeName(m_dir.path()))); // a folder opens but cannot be read
}

void tst_FileMeasure::measuringAgainSeesChanges()
{
    const QString path = write("\x01");
    QCOMPARE(int(measureFile(QFile::encodeName(path))->checksum), 1);
    QFile file(path);
    QVERIFY(file.open(QIODevice::Append));
    file.write("\x02");
    file.close();
    QCOMPARE(int(measureFile(QFile::encodeName(path))->checksum), 3);
    QCOMPARE(measureFile(QFile::encodeName(path))->size, qint64(2));
}

void tst_FileMeasure::dateText_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("odd seconds round down")
        << QDateTime(QDate(2006, 3, 7), QTime(14, 5, 9)) << QByteArray("3/7/2006_14:05:08");
    QTest::newRow("no leading zero on hour")
        << QDateTime(QDate(2010, 11, 12), QTime(9, 30, 0)) << QByteArray("11/12/2010_9:30:00");
    QTest::newRow("longest text") << QDateTime(QDate(2107, 12, 31), QTime(23, 59, 59))
                                  << QByteArray("12/31/2107_23:59:58");
    QTest::newRow("before 1980 held at its start")
        << QDateTime(QDate(1970, 1, 1), QTime(0, 0, 0)) << QByteArray("1/1/1980_0:00:00");
    QTest::newRow("after 2107 held at its end")
        << QDateTime(QDate(2200, 6, 1), QTime(1, 2, 3)) << QByteArray("12/31/2107_23:59:58");
}

void tst_FileMeasure::dateText()
{
    QFETCH(QDateTime, time);
    QFETCH(QByteArray, text);
    QCOMPARE(fileDateText(time), text);
}

void tst_FileMeasure::waitsAfterUpload_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("waitMs");
    QTest::addColumn<int>("ticks");
    QTest::newRow("empty") << qint64(0) << qint64(1000) << 18 + 120;
    QTest::newRow("100000") << qint64(100000) << qint64(1571) << 28 + 120;
    QTest::newRow("1000000") << qint64(1000000) << qint64(6710) << 122 + 120;
    // 100 MB: about ten minutes at most, not the hours a size wait in ticks would make.
    QTest::newRow("100 MB") << qint64(100000000) << qint64(572000) << 10400 + 120;
}

void tst_FileMeasure::waitsAfterUpload()
{
    QFETCH(qint64, size);
    QFETCH(qint64, waitMs);
    QFETCH(int, ticks);
    QCOMPARE(sizeWaitMs(size), waitMs);
    QCOMPARE(postUploadPromptTicks(size), ticks);
}

void tst_FileMeasure::header_data()
{
    QTest::addColumn<QByteArray>("keyword");
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("checksum");
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("example") << QByteArray("LF") << QByteArray("80000") << qint64(70000) << 0x5d3c
                             << QByteArray("V2.1") << QByteArray("LF 80000 70000 5d3c V2.1\r");
    QTest::newRow("empty file") << QByteArray("LF") << QByteArray("0") << qint64(0) << 0
                                << QByteArray("X") << QByteArray("LF 0 0 0 X\r");
    QTest::newRow("lower-case hex, blanks passed through")
        << QByteArray("LX") << QByteArray("1 2") << qint64(300) << 0x2ad4
        << QByteArray("3/7/2006_14:05:08") << QByteArray("LX 1 2 300 2ad4 3/7/2006_14:05:08\r");
}

void tst_FileMeasure::header()
{
    QFETCH(QByteArray, keyword);
    QFETCH(QByteArray, address);
    QFETCH(qint64, size);
    QFETCH(int, checksum);
    QFETCH(QByteArray, version);
    QFETCH(QByteArray, line);
    QCOMPARE(uploadHeader(keyword, address, size, quint16(checksum), version), line);
}

void tst_FileMeasure::upperCaseLetters_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("upper");

    QTest::newRow("letters and digit") << QByteArray("beta3a") << QByteArray("BETA3A");
    QTest::newRow("word") << QByteArray("date") << QByteArray("DATE");
    QTest::newRow("mixed") << QByteArray("MiXeD") << QByteArray("MIXED");
    QTest::newRow("bytes next to the letter ranges")
        << QByteArray("@AZ[`az{") << QByteArray("@AZ[`AZ{");
    QTest::newRow("NUL kept") << QByteArray("\0a", 2) << QByteArray("\0A", 2);
    QTest::newRow("high bytes unchanged")
        << QByteArray("\xe9t\xe0\xff\x80") << QByteArray("\xe9T\xe0\xff\x80");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void tst_FileMeasure::upperCaseLetters()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, upper);

    QCOMPARE(ByteText::upperCaseLetters(text), upper);
}

void tst_FileMeasure::displayText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("UTF-8") << QByteArray("caf\xc3\xa9") << QStringLiteral("caf\u00e9");
    QTest::newRow("not UTF-8: Latin-1") << QByteArray("caf\xe9") << QStringLiteral("caf\u00e9");
    QTest::newRow("byte order mark first") << QByteArray("\xef\xbb\xbf"
                                                         "a")
                                           << QStringLiteral("\ufeffa");
}

void tst_FileMeasure::displayText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);

    QCOMPARE(ByteText::displayText(bytes), shown);
}

QTEST_GUILESS_MAIN(tst_FileMeasure)
#include "tst_filemeasure.moc"
