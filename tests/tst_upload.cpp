// File uploads against the simulated unit over a pseudo-terminal: the exact wire sequence of
// a script upload, byte-identical files at the edge sizes, the raw send, Send File, and the
// ways an upload fails.
#include "FormFixture.h"
#include "OpenWatch.h"
#include "UnitSim.h"

#include "app/ProgressForm.h"
#include "app/TerminalPane.h"
#include "base/Timing.h"
#include "upload/FileMeasure.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>

#include <cstdio>
#include <memory>

class tst_Upload : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void scriptUploadIsByteIdentical_data();
    void scriptUploadIsByteIdentical();
    void rawSendWithoutChain_data();
    void rawSendWithoutChain();
    void blocksAndSteps_data();
    void blocksAndSteps();
    void windowDuringTransfer_data();
    void windowDuringTransfer();
    void closingDuringTransferAsks();
    void sendFileHasNoHeader();
    void chainSurvivesTheRun();
    void versionDateIsTheFileDate();
    void noPromptBeforeHeader();
    void noPromptAfterData();
    void unitHangsUp_data();
    void unitHangsUp();
    void fileVanishesAfterTheHeader();
    void fileChangedAfterMeasuring_data();
    void fileChangedAfterMeasuring();
    void fileDeletedAfterNaming();
    void noRegularFileToUpload_data();
    void noRegularFileToUpload();
    void overlongAddressIsRefused();
    void realTimeUpload();
    void hundredMegabyteFileIsMeasured();

private:
    QByteArray makeFile(const QString &name, int size);
    QByteArray makeFile(const QByteArray &name, int size);
    int run(const QByteArray &script);
    QByteArray chainFor(const QString &name, const QByteArray &version = "V2.1");
    TTamrinForm &form() { return m_fixture->form(); }
    QStringList &messages() { return m_fixture->dialogs().messages; }

    std::unique_ptr<UnitSim> m_sim;
    std::unique_ptr<FormFixture> m_fixture;
    std::unique_ptr<QTemporaryDir> m_files;
};

void tst_Upload::init()
{
    m_files = std::make_unique<QTemporaryDir>();
    m_sim = std::make_unique<UnitSim>();
    QVERIFY(m_sim->start({QStringLiteral("--loader")}));
    m_fixture = std::make_unique<FormFixture>(m_sim->portsDir(), 0.05);
    QVERIFY(m_fixture->openComPort(3));
}

void tst_Upload::cleanup()
{
    m_fixture.reset();
    m_sim.reset();
    m_files.reset();
}

QByteArray tst_Upload::makeFile(const QString &name, int size)
{
    return makeFile(QFile::encodeName(name), size);
}

QByteArray tst_Upload::makeFile(const QByteArray &name, int size)
{
    QByteArray content(size, '\0');
    for (int i = 0; i < size; ++i)
        content[i] = char((i * 7 + i / 251) & 0xFF); // every value, prompts and CR included
    const QByteArray path = QFile::encodeName(m_files->path()) + '/' + name;
    if (std::FILE *file = std::fopen(path.constData(), "wb")) {
        std::fwrite(content.constData(), 1, size_t(content.size()), file);
        std::fclose(file);
    }
    return content;
}

QByteArray tst_Upload::chainFor(const QString &name, const QByteArray &version)
{
    return "_LF " + m_files->filePath(name).toLocal8Bit() + "\n_LA 80000\n_LV " + version + "\n";
}

int tst_Upload::run(const QByteArray &script)
{
    return m_fixture->runScript(script);
}

void tst_Upload::scriptUploadIsByteIdentical_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("name");
    for (int size : {0, 1999, 2000, 2001, 5000, 70000})
        QTest::addRow("%d bytes", size) << size << QByteArray("image.bin");
    // File names are bytes: this one is Latin-1, not UTF-8.
    QTest::addRow("name not UTF-8") << 100 << QByteArray("lat\xe9.bin");
}

void tst_Upload::scriptUploadIsByteIdentical()
{
    QFETCH(int, size);
    QFETCH(QByteArray, name);
    const QByteArray data = makeFile(name, size);
    QString pathShown;
    connect(m_fixture->windows().progress, &TProgressForm::stepped, this,
            [&] { pathShown = m_fixture->windows().progress->BlockNameLabel->toolTip(); });
    const QByteArray path = QFile::encodeName(m_files->path()) + '/' + name;
    QCOMPARE(run("_LF " + path + "\n_LA 80000\n_LV V2.1\n_LD\n"), 1);
    QCOMPARE(pathShown, QString::fromLatin1(path));
    QCOMPARE(messages(), QStringList{});
    QCOMPARE(form().cancelFlag(), 0);
    QCOMPARE(form().statusText(), QStringLiteral("SUCCESS. Reading script file complete"));

    const quint16 sum = addToChecksum(0, data);
    const QByteArray header = uploadHeader("LF", "80000", size, sum, "V2.1");
    QCOMPARE(m_sim->received(), "\r" + header + data + "\r");
    QVERIFY(m_sim->waitForUploadLines(1));
    QVERIFY2(m_sim->uploadLines().first().contains("result=ok"),
             qPrintable(m_sim->uploadLines().first()));
    QFile stored(m_sim->storeDir() + QStringLiteral("/upload-1.bin"));
    QVERIFY(stored.open(QIODevice::ReadOnly));
    QCOMPARE(stored.readAll(), data);
    QVERIFY(!form().uploader().state().chain.complete());
    QVERIFY(!form().runControl().transferGoing());
    QCOMPARE(form().deviceLink().commandTimer().interval(), 14000);
}

void tst_Upload::rawSendWithoutChain_data()
{
    QTest::addColumn<int>("size");
    for (int size : {0, 4000, 8000, 10000})
        QTest::addRow("%d bytes", size) << size;
}

void tst_Upload::rawSendWithoutChain()
{
    QFETCH(int, size);
    const QByteArray data = makeFile(QStringLiteral("raw.bin"), size);
    const QByteArray name = m_files->filePath(QStringLiteral("raw.bin")).toLocal8Bit();
    QCOMPARE(run("_LF " + name + "\n_LA 1\n_LD\n"), 1);
    QVERIFY(messages().isEmpty());
    QTRY_COMPARE(m_sim->received(), data);
}

void tst_Upload::blocksAndSteps_data()
{
    QTest::addColumn<bool>("chain");
    QTest::addColumn<int>("size");
    QTest::addColumn<QList<qsizetype>>("blocks");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("steps");

    QTest::newRow("empty file") << true << 0 << QList<qsizetype>{0} << 1 << 1;
    QTest::newRow("1999") << true << 1999 << QList<qsizetype>{1999} << 1 << 1;
    QTest::newRow("2000") << true << 2000 << QList<qsizetype>{2000} << 1 << 1;
    QTest::newRow("2001") << true << 2001 << QList<qsizetype>{2000, 1} << 1 << 2;
    QTest::newRow("5000") << true << 5000 << QList<qsizetype>{2000, 2000, 1000} << 2 << 3;
    QTest::newRow("70000") << true << 70000 << QList<qsizetype>(35, 2000) << 35 << 35;
    QTest::newRow("raw 10000") << false << 10000 << QList<qsizetype>{4000, 4000, 2000} << 0 << 0;
    QTest::newRow("raw 8000") << false << 8000 << QList<qsizetype>{4000, 4000, 0} << 0 << 0;
    QTest::newRow("raw 4000") << false << 4000 << QList<qsizetype>{4000} << 0 << 0;
    QTest::newRow("raw empty") << false << 0 << QList<qsizetype>{} << 0 << 0;
}

void tst_Upload::blocksAndSteps()
{
    QFETCH(bool, chain);
    QFETCH(int, size);
    QFETCH(QList<qsizetype>, blocks);
    QFETCH(int, maximum);
    QFETCH(int, steps);
    makeFile(QStringLiteral("image.bin"), size);
    QList<qsizetype> sent;
    connect(&form(), &TTamrinForm::blockSent, this, [&](qsizetype block) { sent << block; });
    TProgressForm &progress = *m_fixture->windows().progress;
    int stepCount = 0;
    int seenMaximum = 0;
    connect(&progress, &TProgressForm::stepped, this, [&](int position) {
        ++stepCount;
        seenMaximum = progress.FileProgressBar->maximum();
        QVERIFY(position <= seenMaximum);
    });
    const QByteArray name = m_files->filePath(QStringLiteral("image.bin")).toLocal8Bit();
    const QByteArray script =
        chain ? chainFor(QStringLiteral("image.bin")) + "_LD\n" : "_LF " + name + "\n_LD\n";
    QCOMPARE(run(script), 1);
    QCOMPARE(sent, blocks);
    QCOMPARE(stepCount, steps);
    QCOMPARE(seenMaximum, maximum);
    QCOMPARE(progress.FileProgressBar->value(), 0);
    QVERIFY(!progress.isVisible());
}

void tst_Upload::windowDuringTransfer_data()
{
    QTest::addColumn<QByteArray>("lockLine");
    QTest::addColumn<bool>("paneEnabled");
    QTest::newRow("default lock") << QByteArray() << true;
    QTest::newRow("_LT 0 stores the character 0") << QByteArray("_LT 0\n") << true;
    QTest::newRow("_LT with blanks only stores 0") << QByteArray("_LT  \n") << false;
}

void tst_Upload::windowDuringTransfer()
{
    QFETCH(QByteArray, lockLine);
    QFETCH(bool, paneEnabled);
    makeFile(QStringLiteral("image.bin"), 5000);
    QStringList during;
    connect(m_fixture->windows().progress, &TProgressForm::stepped, this, [&] {
        const QCursor *cursor = QApplication::overrideCursor();
        during = QStringList{
            control<QMenu>(form(), "ConfigMenu")->menuAction()->isVisible() ? "RS232 Config shown"
                                                                            : "hidden",
            control<QMenu>(form(), "Ethernet1")->menuAction()->isVisible() ? "Ethernet shown"
                                                                           : "hidden",
            control<TerminalPane>(form(), "AdTerminal1")->isEnabled() ? "pane enabled"
                                                                      : "pane disabled",
            control<QPushButton>(form(), "PickButton")->isEnabled() ? "button enabled"
                                                                    : "button disabled",
            control<QAction>(form(), "SendFile1")->isEnabled() ? "Send File enabled"
                                                               : "Send File disabled",
            cursor && cursor->shape() == Qt::WaitCursor ? "hourglass" : "arrow"};
        // The operator types while the data goes: nothing of it may reach the unit.
        QTest::keyClick(control<TerminalPane>(form(), "AdTerminal1"), Qt::Key_X);
    });
    QTemporaryFile script(m_files->filePath(QStringLiteral("XXXXXX.sld")));
    QVERIFY(script.open());
    script.write(lockLine + chainFor(QStringLiteral("image.bin")) + "_LD\n");
    script.close();
    m_fixture->dialogs().fileToOpen = script.fileName();
    form().PickButtonClick();
    QCOMPARE(during,
             (QStringList{"hidden", "hidden", paneEnabled ? "pane enabled" : "pane disabled",
                          "button disabled", "Send File disabled", "hourglass"}));
    QVERIFY(m_sim->waitForUploadLines(1));
    QVERIFY2(m_sim->uploadLines().first().contains("result=ok"),
             qPrintable(m_sim->uploadLines().first()));
    // All back as it was, the arrow included.
    QVERIFY(control<QMenu>(form(), "ConfigMenu")->menuAction()->isVisible());
    QVERIFY(control<QMenu>(form(), "Ethernet1")->menuAction()->isVisible());
    QVERIFY(control<TerminalPane>(form(), "AdTerminal1")->isEnabled());
    QVERIFY(control<QPushButton>(form(), "PickButton")->isEnabled());
    QVERIFY(!QApplication::overrideCursor());
}

void tst_Upload::closingDuringTransferAsks()
{
    QFile file(m_files->filePath(QStringLiteral("ff.bin")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(300, '\xff'));
    file.close();
    TProgressForm &progress = *m_fixture->windows().progress;
    QString checksumShown;
    m_fixture->dialogs().answers = {false};
    connect(&progress, &TProgressForm::stepped, this, [&] {
        checksumShown = progress.ChecksumLabel->text();
        form().close();
    });
    QCOMPARE(run(chainFor(QStringLiteral("ff.bin")) + "_LD\n"), 1);
    QCOMPARE(checksumShown, QStringLiteral("2AD4"));
    QCOMPARE(m_fixture->dialogs().questions.size(), 1);
    QCOMPARE(m_fixture->exitStatus(), -1);
    QVERIFY(m_sim->waitForUploadLines(1));
    QVERIFY(m_sim->uploadLines().first().contains("result=ok"));
}

void tst_Upload::sendFileHasNoHeader()
{
    const QByteArray data = makeFile(QStringLiteral("send.bin"), 5000);
    m_fixture->dialogs().fileToOpen = m_files->filePath(QStringLiteral("send.bin"));
    form().SendFile1Click();
    QVERIFY(messages().isEmpty());
    QTRY_COMPARE(m_sim->received(), data);
    QCOMPARE(form().uploader().state().fileSize, qint64(5000));
    QVERIFY(form().deviceLink().keepAliveTimer().isActive());
}

void tst_Upload::chainSurvivesTheRun()
{
    const QByteArray data = makeFile(QStringLiteral("later.bin"), 300);
    QCOMPARE(run(chainFor(QStringLiteral("later.bin"), "beta3a")), 1);
    QVERIFY(m_sim->received().isEmpty());
    QCOMPARE(run("_LD\n"), 1);
    const QByteArray header = uploadHeader("LF", "80000", 300, addToChecksum(0, data), "BETA3A");
    QCOMPARE(m_sim->received(), "\r" + header + data + "\r");
}

void tst_Upload::versionDateIsTheFileDate()
{
    makeFile(QStringLiteral("dated.bin"), 10);
    const QString path = m_files->filePath(QStringLiteral("dated.bin"));
    QCOMPARE(run(chainFor(QStringLiteral("dated.bin"), "dAtE")), 1);
    QCOMPARE(form().uploader().state().loadVersion, fileDateText(QFileInfo(path).lastModified()));
    QCOMPARE(run(chainFor(QStringLiteral("dated.bin"), "DATE ")), 1);
    QCOMPARE(form().uploader().state().loadVersion, QByteArray("DATE "));
}

void tst_Upload::noPromptBeforeHeader()
{
    makeFile(QStringLiteral("image.bin"), 100);
    QVERIFY(m_sim->command(QStringLiteral("mute on")));
    QCOMPARE(run(chainFor(QStringLiteral("image.bin")) + "_LD\n_SC \"AFTER\"\n"), 0);
    QCOMPARE(messages(),
             QStringList{"Error! Unable to receive prompt before upload.... Exiting script."});
    QCOMPARE(m_sim->received(), QByteArray("\r\r"));
    QVERIFY(form().uploader().state().chain.complete());
}

void tst_Upload::noPromptAfterData()
{
    const QByteArray data = makeFile(QStringLiteral("image.bin"), 100);
    // The unit answers the check before the header but never shows the loader prompt.
    QVERIFY(m_sim->command(QStringLiteral("only-prompt #")));
    form().SetPromptChar('#');
    QCOMPARE(run(chainFor(QStringLiteral("image.bin")) + "_LD\n_SC \"AFTER\"\n"), 1);
    QCOMPARE(messages(), QStringList{"Error! Unable to receive prompt after upload. Upload "
                                     "unsuccessful. Exiting script."});
    QCOMPARE(form().cancelFlag(), 1);
    QCOMPARE(form().statusText(),
             QStringLiteral("Script file reading terminated by user/error(s)."));
    QVERIFY(m_sim->received().endsWith(data + "\r\r\r"));
}

// Hang up as the progress window goes, once every block was handed over but before the pause
// after the data, so the unit may have the file but never said so.
constexpr int HangUpAfterTheData = -1;

void tst_Upload::unitHangsUp_data()
{
    QTest::addColumn<int>("hangupAfter");
    QTest::addColumn<int>("size");
    QTest::newRow("in the pause after the header") << 0 << 5000;
    // Larger than what the pseudo-terminal buffers, so the transfer is still running when the
    // unit hangs up.
    QTest::newRow("during the data") << 3000 << 400000;
    QTest::newRow("after the data") << HangUpAfterTheData << 5000;
}

void tst_Upload::unitHangsUp()
{
    QFETCH(int, hangupAfter);
    QFETCH(int, size);
    const QByteArray data = makeFile(QStringLiteral("image.bin"), size);
    std::unique_ptr<QObject> hangUpAfterTheData;
    if (hangupAfter == HangUpAfterTheData)
        hangUpAfterTheData = m_sim->hangUpWhenHidden(m_fixture->windows().progress);
    else
        QVERIFY(m_sim->command(QStringLiteral("hangup-after %1").arg(hangupAfter)));
    QCOMPARE(run(chainFor(QStringLiteral("image.bin")) + "_LD\n_SC \"AFTER\"\n"), 1);
    QCOMPARE(form().cancelFlag(), 1);
    QCOMPARE(form().statusText(),
             QStringLiteral("Script file reading terminated by user/error(s)."));
    QVERIFY(!form().serialOpen());
    QCOMPARE(messages().size(), 2);
    QVERIFY(messages().at(0).contains("COM Port #3"));
    QCOMPARE(messages().at(1), "Upload cancelled/incomplete!!! Upload for " +
                                   m_files->filePath(QStringLiteral("image.bin")) +
                                   " section was incomplete.");
    if (hangupAfter != HangUpAfterTheData) {
        QVERIFY(m_sim->uploadLines().isEmpty());
        QVERIFY(m_sim->received().size() < data.size());
    }
    QVERIFY(!m_sim->received().contains("AFTER"));
}

void tst_Upload::fileVanishesAfterTheHeader()
{
    makeFile(QStringLiteral("image.bin"), 5000);
    const QString path = m_files->filePath(QStringLiteral("image.bin"));
    // The file goes as soon as the unit has the header, in the pause before the data.
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
        if (m_sim->received().contains(" V2.1\r"))
            QFile::remove(path);
    });
    watch.start(1);
    QCOMPARE(run(chainFor(QStringLiteral("image.bin")) + "_LD\n_SC \"AFTER\"\n"), 1);
    QVERIFY(!QFile::exists(path));
    QCOMPARE(messages(), (QStringList{"Error opening " + path + ".\r",
                                      "Upload cancelled/incomplete!!! Upload for " + path +
                                          " section was incomplete."}));
    QCOMPARE(form().cancelFlag(), 1);
    QCOMPARE(run("_SC \"MARK\"\n"), 1);
    QTRY_VERIFY(m_sim->received().endsWith("MARK\r"));
    QVERIFY(!m_sim->received().contains("AFTER"));
}

void tst_Upload::fileChangedAfterMeasuring_data()
{
    QTest::addColumn<int>("newSize");
    QTest::addColumn<QString>("firstMessage");
    QTest::addColumn<int>("bytesSent");
    // The unit still waits for the rest of a file that was cut short, and shows no prompt.
    QTest::addColumn<int>("messageCount");
    QTest::newRow("shrunk") << 3000 << "shorter than when it was measured" << 2000 << 3;
    QTest::newRow("other bytes, same size") << 5000 << "changed after it was measured" << 5000 << 2;
    // Two bytes swapped keep the 16-bit sum: only the SHA-256 of what went tells.
    QTest::newRow("two bytes swapped") << -1 << "changed after it was measured" << -1 << 2;
}

void tst_Upload::fileChangedAfterMeasuring()
{
    QFETCH(int, newSize);
    QFETCH(QString, firstMessage);
    QFETCH(int, bytesSent);
    QFETCH(int, messageCount);
    makeFile(QStringLiteral("image.bin"), 5000);
    QCOMPARE(run(chainFor(QStringLiteral("image.bin"))), 1);
    QByteArray rewritten(newSize, 'u');
    if (newSize < 0) {
        rewritten = makeFile(QStringLiteral("image.bin"), 5000);
        std::swap(rewritten[10], rewritten[4000]);
    }
    QFile file(m_files->filePath(QStringLiteral("image.bin")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(rewritten);
    file.close();
    QCOMPARE(run("_LD\n"), 1);
    QCOMPARE(form().cancelFlag(), 1);
    QCOMPARE(messages().size(), messageCount);
    QVERIFY2(messages().at(0).contains(firstMessage), qPrintable(messages().at(0)));
    QVERIFY(messages().at(1).startsWith("Upload cancelled/incomplete!!!"));
    // Only whole blocks that were really in the file went out; nothing was made up.
    if (bytesSent >= 0)
        QCOMPARE(m_sim->received().count('u'), bytesSent);
}

void tst_Upload::fileDeletedAfterNaming()
{
    makeFile(QStringLiteral("gone.bin"), 100);
    const QString path = m_files->filePath(QStringLiteral("gone.bin"));
    QCOMPARE(run("_LF " + path.toLocal8Bit() + "\n"), 1);
    QVERIFY(QFile::remove(path));
    // The checksum failed in this run: _LD does not fall back to a raw send.
    QCOMPARE(run("_LA 80000\n_LV 1\n_LD\n"), 0);
    QCOMPARE(messages(),
             (QStringList{"Error opening file " + path + ". Unable to get file checksum",
                          "Error! The upload chain (_LF, _LA, _LV) for " + path +
                              " is incomplete: a step was refused. Exiting script."}));
    QVERIFY(m_sim->received().isEmpty());
}

void tst_Upload::noRegularFileToUpload_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    const QString unopened = QStringLiteral("Error! Unable to open file %1. Cannot upload file.");
    QTest::newRow("an endless device") << "device" << unopened;
    // Opening a serial device would toggle its modem lines and reset the board behind it.
    QTest::newRow("a serial device") << "terminal" << unopened;
    QTest::newRow("a FIFO nobody writes") << "fifo" << unopened;
    QTest::newRow("a folder") << "folder" << unopened;
    // The header's size field cannot describe it.
    QTest::newRow("2 GiB") << "huge"
                           << "Error! File %1 is 2 GiB or larger: the upload header cannot "
                              "describe its size. Cannot upload file.";
}

void tst_Upload::noRegularFileToUpload()
{
    QFETCH(QString, kind);
    QFETCH(QString, message);
    QString path = m_files->filePath(QStringLiteral("image"));
    if (kind == QLatin1String("device"))
        path = QStringLiteral("/dev/zero");
    else if (kind == QLatin1String("terminal"))
        path = m_sim->slaveDevice();
    else if (kind == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (kind == QLatin1String("huge"))
        QVERIFY(QFile(path).open(QIODevice::WriteOnly) && QFile::resize(path, qint64(1) << 31));
    else
        QVERIFY(QDir().mkpath(path));
    // Anything else on the machine may open /dev/zero; what the test made is watched.
    const OpenWatch watch(path);
    QVERIFY(watch.watching());
    // Returning at all is the proof: an endless read or a FIFO's open would never return.
    QCOMPARE(run("_LF " + QFile::encodeName(path) + "\n_LA 80000\n_LV 1\n_LD\n"), 0);
    QCOMPARE(messages().first(), message.arg(path));
    QVERIFY(!form().uploader().state().chain.complete());
    QVERIFY(m_sim->received().isEmpty());
    QVERIFY(kind == QLatin1String("device") || kind == QLatin1String("huge") || !watch.opened());
}

void tst_Upload::overlongAddressIsRefused()
{
    makeFile(QStringLiteral("image.bin"), 10);
    const QByteArray name = m_files->filePath(QStringLiteral("image.bin")).toLocal8Bit();
    QCOMPARE(run("_LF " + name + "\n_LA " + QByteArray(50, '8') + "\n_LV 1\n_LD\n"), 0);
    QCOMPARE(messages().size(), 2);
    QVERIFY(messages().first().contains("longer than 49 characters"));
    QVERIFY(messages().last().contains("upload chain"));
    QVERIFY(form().uploader().state().loadAddress.isEmpty());
    // The script meant a header: the file does not go raw without one. The marker sent after
    // the run is all the unit gets.
    QCOMPARE(run("_SC \"MARK\"\n"), 1);
    QTRY_VERIFY(m_sim->received().endsWith("MARK\r"));
    QCOMPARE(m_sim->received(), QByteArray("MARK\r"));
}

void tst_Upload::realTimeUpload()
{
    REAL_TIME_CASE();
    makeFile(QStringLiteral("image.bin"), 70000);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(run(chainFor(QStringLiteral("image.bin")) + "_LD\n"), 1);
    QVERIFY(messages().isEmpty());
    // 2.7 s of silence after the header, then the 4 s pause and a size wait of 1.4 s.
    QVERIFY2(clock.elapsed() >= 8000, QByteArray::number(clock.elapsed()).constData());
    const QList<UnitSim::Chunk> chunks = m_sim->chunks();
    qint64 headerEnd = -1;
    qint64 dataStart = -1;
    for (const UnitSim::Chunk &chunk : chunks) {
        if (headerEnd < 0 && chunk.bytes.endsWith("V2.1\r"))
            headerEnd = chunk.ms;
        else if (headerEnd >= 0 && dataStart < 0)
            dataStart = chunk.ms;
    }
    QVERIFY(headerEnd >= 0 && dataStart >= 0);
    // 2.7 s of sleeps; the unit's millisecond stamps may shave a few off.
    QVERIFY2(dataStart - headerEnd >= 2650, QByteArray::number(dataStart - headerEnd).constData());
    QVERIFY(m_sim->waitForUploadLines(1));
    QVERIFY(m_sim->uploadLines().first().contains("result=ok"));
}

void tst_Upload::hundredMegabyteFileIsMeasured()
{
    const QString path = m_files->filePath(QStringLiteral("large.bin"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    const QByteArray chunk(1000000, '\x01');
    for (int i = 0; i < 100; ++i)
        file.write(chunk);
    file.close();
    QCOMPARE(run(chainFor(QStringLiteral("large.bin"))), 1);
    QCOMPARE(form().uploader().state().fileSize, qint64(100000000));
    QCOMPARE(int(form().uploader().state().checksum), 100000000 % 65536);
    QVERIFY(form().uploader().state().chain.complete());
    QVERIFY(messages().isEmpty());
}

QTEST_MAIN(tst_Upload)
#include "tst_upload.moc"
