// The Ethernet link over loopback, with the simulated unit listening on TCP: the dialog's
// field checks, connecting with its prompt check and time-out, disconnecting, the keep-alive,
// scripts and uploads over TCP, and a connection that drops in the middle of things.
#include "FormFixture.h"
#include "UnitSim.h"

#include "app/ClientSocketForm.h"
#include "app/ProgressForm.h"
#include "app/TerminalPane.h"
#include "base/Timing.h"
#include "upload/FileMeasure.h"

#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

namespace {

// A listening socket on loopback whose backlog its owner has filled with connections of its
// own: a further connect gets no answer to its SYN and waits.
class FullListener
{
public:
    FullListener()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
            ::listen(m_listener, 0) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return;
        m_port = ntohs(address.sin_port);
        // Non-blocking: once the queue is full a connect would wait for minutes.
        for (int &filler : m_fillers) {
            filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(filler, reinterpret_cast<sockaddr *>(&address), length);
        }
    }
    ~FullListener()
    {
        for (int filler : m_fillers)
            ::close(filler);
        ::close(m_listener);
    }
    FullListener(const FullListener &) = delete;
    FullListener &operator=(const FullListener &) = delete;
    quint16 port() const { return m_port; }

private:
    int m_listener = -1;
    int m_fillers[2] = {-1, -1};
    quint16 m_port = 0;
};

} // namespace

class tst_Ethernet : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void connectChecksThePrompt_data();
    void connectChecksThePrompt();
    void fieldChecks_data();
    void fieldChecks();
    void refusedConnect();
    void unansweredConnectTimesOut();
    void disconnect();
    void keepAlive_data();
    void keepAlive();
    void scriptsOverTcp_data();
    void scriptsOverTcp();
    void uploadOverTcpIsByteIdentical();
    void connectionDrops_data();
    void connectionDrops();
    void idleReconnectSendsNothing();
    void floodReachesThePane();
    void typedKeysEchoLocally_data();
    void typedKeysEchoLocally();
    void watchdogReconnectsOnce();
    void restartReopensTheDialog_data();
    void restartReopensTheDialog();

private:
    bool connectToUnit(const QStringList &unitArgs = {});
    void setTarget(quint16 port);
    // The keep-alive resumes as a run ends, at its real period: it is held again at once, so
    // that the bytes after a run are the run's own however late the test looks at them.
    int run(const QByteArray &script)
    {
        const int result = m_fixture->runScript(script);
        form().deviceLink().holdKeepAlive(true);
        return result;
    }
    TTamrinForm &form() { return m_fixture->form(); }
    TClientSocketForm &dialog() { return *m_fixture->windows().ethernet; }
    QStringList &messages() { return m_fixture->dialogs().messages; }

    std::unique_ptr<UnitSim> m_sim;
    std::unique_ptr<FormFixture> m_fixture;
};

void tst_Ethernet::init()
{
    m_fixture = std::make_unique<FormFixture>(0.1);
}

void tst_Ethernet::cleanup()
{
    m_fixture.reset();
    m_sim.reset();
}

void tst_Ethernet::setTarget(quint16 port)
{
    dialog().setOctets({127, 0, 0, 1});
    dialog().setPort(port);
}

// Starts a unit on TCP only and connects to it through the dialog.
bool tst_Ethernet::connectToUnit(const QStringList &unitArgs)
{
    m_sim = std::make_unique<UnitSim>();
    if (!m_sim->start(unitArgs, false, true))
        return false;
    setTarget(m_sim->tcpPort());
    form().EnetConnect1Click();
    dialog().ConnectButtonClick();
    // Scripts here run without the button, which would quieten the keep-alive itself.
    form().deviceLink().holdKeepAlive(true);
    return form().tcpConnected();
}

void tst_Ethernet::connectChecksThePrompt_data()
{
    QTest::addColumn<QStringList>("unitArgs");
    QTest::addColumn<char>("prompt");
    // The link starts out looking for the loader prompt.
    QTest::newRow("normal prompt, found on the second check") << QStringList{} << '#';
    QTest::newRow("loader prompt, found at once") << QStringList{"--loader"} << '>';
    QTest::newRow("neither prompt") << QStringList{"--mute"} << '#';
}

void tst_Ethernet::connectChecksThePrompt()
{
    QFETCH(QStringList, unitArgs);
    QFETCH(char, prompt);
    form().disable_btns();
    QVERIFY(connectToUnit(unitArgs));
    QCOMPARE(form().statusText(), QStringLiteral("Connect via Ethernet successful"));
    QCOMPARE(form().deviceLink().currentPrompt(), prompt);
    QVERIFY(messages().isEmpty());
    QVERIFY(control<QPushButton>(form(), "PickButton")->isEnabled());
    QVERIFY(!control<QMenu>(form(), "ConfigMenu")->isEnabled());
    QVERIFY(!control<QAction>(form(), "EnetConnect1")->isEnabled());
    QVERIFY(control<QCheckBox>(form(), "EthernetCheckBox")->isChecked());
    QVERIFY(control<TerminalPane>(form(), "AdTerminal1")->isEnabled());
    QVERIFY(!dialog().isVisible());
    QCOMPARE(form().deviceLink().lastLinkKind(), LinkKind::Ethernet);
    QCOMPARE(form().deviceLink().keepAliveTimer().interval(), 6010);
    // Each check is a CR, the TCP line end, and the nudge if the prompt is slow to come.
    const QByteArray check = "\r\r\n";
    const QByteArray sent = m_sim->received();
    QVERIFY2(sent.startsWith(check), sent.toHex().constData());
    QCOMPARE(sent.count(".\r") > 0, prompt != '>');
}

void tst_Ethernet::fieldChecks_data()
{
    QTest::addColumn<int>("field"); // 0 to 3 the octets, 4 the port
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("leaveField"); // or press Connect
    QTest::addColumn<QString>("message");

    const QString portTooLarge = QStringLiteral("Error! Port # must be less than 65535");
    const QString invalid = QStringLiteral("Error! Invalid IP Address / Port #");
    const QString range = QStringLiteral("Error! Number must be between 0 - 255");
    // Nothing listens there: accepted, the connect is refused.
    QTest::newRow("port 65535") << 4 << "65535" << false
                                << "Error! Cannot connect to server/lost connection. Verify IP "
                                   "Address and Port #";
    QTest::newRow("port 65536") << 4 << "65536" << false << portTooLarge;
    QTest::newRow("port letters") << 4 << "30a" << false << invalid;
    QTest::newRow("port empty") << 4 << "" << false << invalid;
    QTest::newRow("octet 256 at Connect") << 1 << "256" << false << invalid;
    QTest::newRow("octet 256 left") << 2 << "256" << true << range;
    QTest::newRow("octet -1 left") << 0 << "-1" << true << range;
    QTest::newRow("octet letters left")
        << 3 << "x" << true << QStringLiteral("Error! Invalid IP Address");
    QTest::newRow("octet 255 left") << 3 << "255" << true << QString();
    QTest::newRow("octet with a NUL left") << 0
                                           << QString::fromLatin1("1\0"
                                                                  "92",
                                                                  4)
                                           << true << QStringLiteral("Error! Invalid IP Address");
}

void tst_Ethernet::fieldChecks()
{
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(bool, leaveField);
    QFETCH(QString, message);
    setTarget(65535);
    QLineEdit *edit = field < 4 ? dialog().IPEdit.at(size_t(field)) : dialog().PortEdit;
    edit->setText(text);
    if (leaveField)
        dialog().IPEditExit(field);
    else
        dialog().ConnectButtonClick();
    QCOMPARE(messages(), message.isEmpty() ? QStringList{} : QStringList{message});
    QVERIFY(!form().tcpConnected());
    QVERIFY(dialog().ConnectButton->isEnabled());
    QVERIFY(dialog().FormClose());
}

void tst_Ethernet::refusedConnect()
{
    // A port nobody listens on: the unit's simulator stopped listening.
    m_sim = std::make_unique<UnitSim>();
    QVERIFY(m_sim->start({}, false, true));
    QVERIFY(m_sim->command(QStringLiteral("listen off")));
    setTarget(m_sim->tcpPort());
    form().EnetConnect1Click();
    dialog().ConnectButtonClick();
    QCOMPARE(messages(), QStringList{"Error! Cannot connect to server/lost connection. Verify IP "
                                     "Address and Port #"});
    // The status line no longer says that the attempt goes on.
    QCOMPARE(form().statusText(),
             QStringLiteral("Ethernet connection to 127.0.0.1 port %1 failed: Connection refused")
                 .arg(m_sim->tcpPort()));
    QVERIFY(!control<QCheckBox>(form(), "EthernetCheckBox")->isChecked());
    QVERIFY(dialog().PortEdit->isEnabled());
    QVERIFY(dialog().FormClose());
    QVERIFY(!form().deviceLink().reconnectUsed());
    // The operator tries again once the unit is back.
    QVERIFY(m_sim->command(QStringLiteral("listen on")));
    dialog().ConnectButtonClick();
    QVERIFY(form().tcpConnected());
    QCOMPARE(form().statusText(), QStringLiteral("Connect via Ethernet successful"));
}

void tst_Ethernet::unansweredConnectTimesOut()
{
    // Real time: the connect time-out is 5000 ms, whatever the polls count.
    REAL_TIME_CASE();
    FullListener listener;
    QVERIFY(listener.port() != 0);
    setTarget(listener.port());
    form().EnetConnect1Click();
    bool closeRefused = false;
    bool secondPressIgnored = false;
    QTimer::singleShot(500, this, [&] {
        dialog().close();
        closeRefused = dialog().isVisible() && !dialog().ConnectButton->isEnabled();
        dialog().ConnectButtonClick(); // returns at once: a connect is waiting already
        secondPressIgnored = form().ethernetLink().connectOutcomePending();
    });
    QElapsedTimer clock;
    clock.start();
    dialog().ConnectButtonClick();
    const qint64 elapsed = clock.elapsed();
    QVERIFY(closeRefused);
    QVERIFY(secondPressIgnored);
    // No upper bound: the status line below says the time-out ended the connect.
    QVERIFY2(elapsed >= 4950, QByteArray::number(elapsed).constData());
    QCOMPARE(messages(), QStringList{"Error! Cannot connect to server. Check IP Address"});
    QCOMPARE(form().statusText(),
             QStringLiteral("Ethernet connection to 127.0.0.1 port %1 timed out").arg(listener.port()));
    QVERIFY(dialog().ConnectButton->isEnabled());
    QVERIFY(dialog().FormClose());
    QVERIFY(!form().tcpConnected());
}

void tst_Ethernet::disconnect()
{
    QVERIFY(connectToUnit());
    form().EnetDisconnect1Click();
    QVERIFY(!form().tcpConnected());
    QCOMPARE(form().statusText(), QStringLiteral("Ethernet connection closed"));
    QVERIFY(!control<QPushButton>(form(), "PickButton")->isEnabled());
    QVERIFY(control<QMenu>(form(), "ConfigMenu")->isEnabled());
    QVERIFY(control<QAction>(form(), "EnetConnect1")->isEnabled());
    QVERIFY(!control<QCheckBox>(form(), "EthernetCheckBox")->isChecked());
    QVERIFY(dialog().ConnectButton->isEnabled());
    // Once more changes nothing.
    form().show_status(QStringLiteral("unchanged"));
    form().EnetDisconnect1Click();
    QCOMPARE(form().statusText(), QStringLiteral("unchanged"));
    QVERIFY(messages().isEmpty());
}

void tst_Ethernet::keepAlive_data()
{
    QTest::addColumn<QString>("activity");
    QTest::addColumn<bool>("sent");
    QTest::newRow("idle") << "" << true;
    QTest::newRow("after a typed key") << "key" << false;
    QTest::newRow("during a script run") << "script" << false;
}

void tst_Ethernet::keepAlive()
{
    QFETCH(QString, activity);
    QFETCH(bool, sent);
    QVERIFY(connectToUnit());
    DeviceLink &link = form().deviceLink();
    link.setKeepAliveMs(50);
    link.holdKeepAlive(false);
    int mark = m_sim->mark();
    if (activity == QLatin1String("key")) {
        char key = 'x';
        form().AdTerminal1KeyPress(key);
        // What went before the key is not the question; a keep-alive after it could only come
        // from a tick of the timer, and comes in before a marker sent after that tick.
        QTRY_VERIFY(m_sim->receivedSince(mark).contains('x'));
        mark = int(m_sim->received().lastIndexOf('x')) + 1;
        QSignalSpy ticks(&link.keepAliveTimer(), &QTimer::timeout);
        if (link.keepAliveTimer().isActive())
            QTRY_VERIFY(ticks.count() >= 2);
        link.SendString("~");
        QTRY_VERIFY(m_sim->received().endsWith('~'));
    } else if (activity == QLatin1String("script")) {
        // A run from the button; its pause lets messages run but sends nothing itself.
        QTemporaryDir folder;
        QFile script(folder.filePath(QStringLiteral("wait.sld")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("_WP\n_DY 2000\n");
        script.close();
        m_fixture->dialogs().fileToOpen = script.fileName();
        form().PickButtonClick();
        mark = m_sim->mark();
    }
    if (sent)
        QTRY_VERIFY(m_sim->receivedSince(mark).contains("\r\n"));
    else
        QVERIFY(!m_sim->receivedSince(mark).contains("\r\n"));
}

void tst_Ethernet::scriptsOverTcp_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QByteArray>("wire");

    QTest::newRow("send") << QByteArray("_SC \"VER\"\n") << QByteArray("VER\r");
    QTest::newRow("query and condition")
        << QByteArray("_QC \"VER\"\n_CE \"2.08\" _SC \"ok\"\n") << QByteArray("VER\r\nok\r");
    // The normal prompt does not end a wait for the loader prompt over TCP: the check waits
    // on, nudges, and only then sends the loader-mode command.
    QTest::newRow("loader-mode check")
        << QByteArray("_TC \"^M\"\n_SC \"in\"\n") << QByteArray("\r\r\n.\rLOADR\r\n\r\r\nin\r");
    QTest::newRow("prompt wait") << QByteArray("_WP\n_SC \"B\"\n") << QByteArray("\r\r\nB\r");
}

void tst_Ethernet::scriptsOverTcp()
{
    QFETCH(QByteArray, script);
    QFETCH(QByteArray, wire);
    QVERIFY(connectToUnit());
    const int mark = m_sim->mark();
    QCOMPARE(run(script), 1);
    QCOMPARE(messages(), QStringList{});
    QCOMPARE(form().statusText(), QStringLiteral("SUCCESS. Reading script file complete"));
    QTRY_COMPARE(m_sim->receivedSince(mark), wire);
}

void tst_Ethernet::uploadOverTcpIsByteIdentical()
{
    QVERIFY(connectToUnit({QStringLiteral("--loader")}));
    QTemporaryDir files;
    QByteArray data(400001, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i * 13 + i / 7);
    const QString path = files.filePath(QStringLiteral("image.bin"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
    file.close();
    // Larger than what the sockets buffer, and received at a line's pace, so that the
    // connection cannot take the file as fast as it is read.
    QVERIFY(m_sim->command(QStringLiteral("baud 4000000")));
    qint64 mostQueued = 0;
    connect(&form(), &TTamrinForm::blockSent, this, [&] {
        mostQueued = std::max(mostQueued, form().clientSocket().bytesToWrite());
        // A key typed during the data is neither sent nor echoed.
        QTest::keyClick(control<TerminalPane>(form(), "AdTerminal1"), Qt::Key_X);
    });
    const int mark = m_sim->mark();
    QCOMPARE(run("_LF " + QFile::encodeName(path) + "\n_LA 80000\n_LV V2.1\n_LD\n"), 1);
    QVERIFY(messages().isEmpty());
    const QByteArray header =
        uploadHeader("LF", "80000", data.size(), addToChecksum(0, data), "V2.1");
    const QByteArray sent = m_sim->receivedSince(mark);
    QVERIFY(sent.contains(header + data + "\r"));
    QVERIFY(m_sim->waitForUploadLines(1));
    QVERIFY2(m_sim->uploadLines().first().contains("result=ok"),
             qPrintable(m_sim->uploadLines().first()));
    QVERIFY(!form().deviceLink().reconnectUsed());
    QCOMPARE(form().deviceLink().commandTimer().interval(), 14000);
    // However fast the file is read, Tamrin held less than one block unsent besides the one
    // being handed over.
    QVERIFY2(mostQueued < 2 * 2000, QByteArray::number(mostQueued).constData());
}

void tst_Ethernet::connectionDrops_data()
{
    QTest::addColumn<QString>("when");
    QTest::addColumn<bool>("unitComesBack");
    QTest::addColumn<int>("result");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QByteArray>("lastSent"); // empty: the line after the drop never went

    const QString lost = QStringLiteral("Error! Connection to server lost");
    const QString cancelled = QStringLiteral("Upload cancelled/incomplete!!! Upload for %1 "
                                             "section was incomplete.");
    // The unit answered A before the line dropped: after the reconnect's probe the run goes
    // on with B, and A does not go twice. Unanswered, A goes again before the run goes on.
    QTest::newRow("between lines, reconnected")
        << "between lines" << true << 1 << QStringList{} << QByteArray("A\r\r\r\nB\r");
    QTest::newRow("before the unit answered, reconnected")
        << "before the answer" << true << 1 << QStringList{} << QByteArray("A\r\r\r\nA\rB\r");
    QTest::newRow("between lines, refused")
        << "between lines" << false << 0 << QStringList{lost, "Exiting script"} << QByteArray();
    QTest::newRow("during a capture, reconnected")
        << "capture" << true << 1 << QStringList{"Error! No response detected with _QC command"}
        << QByteArray("B\r");
    QTest::newRow("during a capture, refused")
        << "capture" << false << 0 << QStringList{lost, "Exiting script"} << QByteArray();
    // The unit drops the line on the loader-mode command and comes back in its normal mode:
    // the prompt the reconnect finds is not the loader prompt the check waited for.
    QTest::newRow("during the loader-mode check, reconnected")
        << "loader-mode check" << true << 0
        << QStringList{"Error! Unit not in Loader Mode! Exiting script"} << QByteArray();
    QTest::newRow("during an upload, reconnected")
        << "upload" << true << 1 << QStringList{cancelled} << QByteArray();
    QTest::newRow("during an upload, refused")
        << "upload" << false << 1 << QStringList{lost, cancelled} << QByteArray();
    // Every block was handed over, but the line dropped before the unit said it had them.
    QTest::newRow("after the data, reconnected")
        << "after the data" << true << 1 << QStringList{cancelled} << QByteArray();
    QTest::newRow("while the unit stores the file, reconnected")
        << "storing" << true << 1 << QStringList{cancelled} << QByteArray();
}

void tst_Ethernet::connectionDrops()
{
    QFETCH(QString, when);
    QFETCH(bool, unitComesBack);
    QFETCH(int, result);
    QFETCH(QStringList, messages);
    QFETCH(QByteArray, lastSent);
    QVERIFY(connectToUnit({QStringLiteral("--loader")}));
    if (!unitComesBack)
        QVERIFY(m_sim->command(QStringLiteral("listen off")));
    QTemporaryDir files;
    const QString path = files.filePath(QStringLiteral("image.bin"));
    const int mark = m_sim->mark();
    // Whatever reconnects, nothing may start another run or speak to the unit meanwhile.
    bool runOpenedUp = false;
    QTimer runControls;
    connect(&runControls, &QTimer::timeout, this, [&] {
        runOpenedUp = runOpenedUp || control<QPushButton>(form(), "PickButton")->isEnabled() ||
                      control<QAction>(form(), "SendFile1")->isEnabled() ||
                      form().deviceLink().keepAliveTimer().isActive();
    });
    QTimer watch;
    std::unique_ptr<QObject> dropAfterTheData;
    const auto hangUpOnceSeen = [&](const QByteArray &seen, const QString &thenCommand) {
        connect(&watch, &QTimer::timeout, this, [&, seen, thenCommand] {
            if (m_sim->receivedSince(mark).contains(seen)) {
                watch.stop();
                m_sim->command(QStringLiteral("hangup"));
                m_sim->command(thenCommand);
            }
        });
        watch.start(1);
    };
    QByteArray script;
    if (when == QLatin1String("between lines")) {
        QVERIFY(m_sim->command(QStringLiteral("hangup-after-lines 1")));
        script = "_SC \"A\"\n_DY 100\n_SC \"B\"\n";
    } else if (when == QLatin1String("before the answer")) {
        QVERIFY(m_sim->command(QStringLiteral("mute on")));
        hangUpOnceSeen("A\r", QStringLiteral("mute off"));
        script = "_SC \"A\"\n_DY 100\n_SC \"B\"\n";
    } else if (when == QLatin1String("capture")) {
        // The line drops once the query is complete, while its answer is awaited.
        QVERIFY(m_sim->command(QStringLiteral("mute on")));
        hangUpOnceSeen("VER\r\n", QStringLiteral("mute off"));
        script = "_QC \"VER\"\n_SC \"B\"\n";
    } else if (when == QLatin1String("loader-mode check")) {
        QVERIFY(m_sim->command(QStringLiteral("mode normal")));
        hangUpOnceSeen("LOADR", QStringLiteral("mode normal"));
        script = "_TC \"^M\"\n_SC \"B\"\n";
    } else {
        // Paced like a slow line, so that the drop comes while blocks are still going out;
        // or as the progress window goes, once Tamrin has looked at the link for the last
        // time before the pause after the data; or while the unit stores the file.
        const bool afterTheData = when != QLatin1String("upload");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(afterTheData ? 6000 : 2000000, 'u'));
        file.close();
        if (when == QLatin1String("after the data")) {
            dropAfterTheData = m_sim->hangUpWhenHidden(m_fixture->windows().progress);
        } else if (when == QLatin1String("storing")) {
            // Just before the prompt check after the size wait; the connection's error is
            // handled (and the reconnect made) before Tamrin goes on.
            connect(&watch, &QTimer::timeout, this, [&] {
                if (form().statusText() != QLatin1String("Waiting for prompt......"))
                    return;
                watch.stop();
                const int errors = form().ethernetLink().errors();
                m_sim->command(QStringLiteral("hangup"));
                m_sim->waitUntil([&] { return form().ethernetLink().errors() > errors; }, 3000);
            });
            watch.start(1);
        } else {
            QVERIFY(m_sim->command(QStringLiteral("baud 115200")));
            QVERIFY(m_sim->command(QStringLiteral("hangup-after 3000")));
        }
        script = "_LF " + QFile::encodeName(path) + "\n_LA 1\n_LV 1\n_LD\n_SC \"B\"\n";
    }
    runControls.start(1);
    QCOMPARE(run(script), result);
    runControls.stop();
    QVERIFY(!runOpenedUp);
    for (QString &message : messages)
        message.replace(QStringLiteral("%1"), path);
    QCOMPARE(this->messages(), messages);
    QCOMPARE(form().tcpConnected(), unitComesBack);
    QCOMPARE(control<QCheckBox>(form(), "EthernetCheckBox")->isChecked(), unitComesBack);
    if (!script.startsWith("_LF")) {
        // What the run sent is in before a marker sent after it, on the connection it used.
        if (lastSent.isEmpty() && form().tcpConnected()) {
            form().deviceLink().SendString("~");
            QTRY_VERIFY(m_sim->received().endsWith('~'));
        }
    } else {
        // The file never went on over the new connection, and neither did its header.
        QCOMPARE(form().cancelFlag(), 1);
        // After the data the unit may well hold the file, but Tamrin cannot know it has.
        if (when == QLatin1String("upload"))
            QVERIFY(m_sim->uploadLines().isEmpty());
        QCOMPARE(m_sim->receivedSince(mark).count("LF 1 "), 1);
    }
    if (lastSent.isEmpty())
        QVERIFY(!m_sim->receivedSince(mark).contains("B\r"));
    else
        QTRY_VERIFY2(m_sim->receivedSince(mark).endsWith(lastSent),
                     m_sim->receivedSince(mark).toHex(' ').constData());
}

void tst_Ethernet::idleReconnectSendsNothing()
{
    QVERIFY(connectToUnit());
    QCOMPARE(run("_QC \"VER\"\n_SC \"ERASE\"\n"), 1);
    const int generation = form().ethernetLink().generation();
    const int mark = m_sim->mark();
    QVERIFY(m_sim->command(QStringLiteral("hangup")));
    // Closed, then connected again and checked.
    QTRY_VERIFY(form().ethernetLink().generation() >= generation + 2 && form().ethernetLink().up());
    // Whatever the reconnect sent reaches the unit before a byte sent after it.
    form().SendString("|");
    QTRY_VERIFY(m_sim->receivedSince(mark).endsWith('|'));
    // Only the new connection's prompt check: no command of the finished run goes again.
    const QByteArray sent = m_sim->receivedSince(mark);
    QVERIFY2(!sent.contains("ERASE") && !sent.contains("VER"), sent.constData());
}

void tst_Ethernet::floodReachesThePane()
{
    QVERIFY(connectToUnit());
    const TerminalModel &model = form().terminal().model();
    form().AdTerminal1DblClick();
    constexpr int FloodBytes = 200000;
    QVERIFY(m_sim->command(QStringLiteral("flood %1").arg(FloodBytes)));
    // Filler lines are 64 bytes with their CR LF: every line feed must reach the pane.
    const qint64 lineFeeds = FloodBytes / 64;
    QTRY_COMPARE_WITH_TIMEOUT(model.linesScrolled() + model.cursorRow(), lineFeeds, 10000);
}

void tst_Ethernet::typedKeysEchoLocally_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<int>("cursorRow");
    QTest::addColumn<QByteArray>("shown");
    QTest::newRow("letter") << int(Qt::Key_A) << QByteArray("a") << 0 << QByteArray("a");
    QTest::newRow("Enter is one CR and a new line")
        << int(Qt::Key_Return) << QByteArray("\r") << 1 << QByteArray();
}

void tst_Ethernet::typedKeysEchoLocally()
{
    QFETCH(int, key);
    QFETCH(QByteArray, sent);
    QFETCH(int, cursorRow);
    QFETCH(QByteArray, shown);
    QVERIFY(connectToUnit({QStringLiteral("--mute")}));
    const int mark = m_sim->mark();
    form().AdTerminal1DblClick();
    QTest::keyClick(control<TerminalPane>(form(), "AdTerminal1"), Qt::Key(key));
    // A byte sent after the key arrives after whatever the key sent: nothing more came.
    form().SendString("|");
    QTRY_COMPARE(m_sim->receivedSince(mark), sent + '|');
    const TerminalModel &model = form().terminal().model();
    QCOMPARE(model.cursorRow(), cursorRow);
    QCOMPARE(model.screenRowText(0), shown);
}

void tst_Ethernet::watchdogReconnectsOnce()
{
    QVERIFY(connectToUnit());
    QVERIFY(m_sim->command(QStringLiteral("mute on")));
    form().deviceLink().setWatchdogMs(300);
    // The first time-out reconnects; the query it interrupted has failed all the same.
    QCOMPARE(run("_QC \"VER\"\n"), 1);
    QCOMPARE(messages(), QStringList{"Error! No response detected with _QC command"});
    QVERIFY(form().tcpConnected());
    QVERIFY(form().deviceLink().reconnectUsed());
    // The next one ends the run.
    messages().clear();
    QCOMPARE(run("_QC \"VER\"\n_SC \"AFTER\"\n"), 1);
    QCOMPARE(messages(), QStringList{"Timeout error! Connection failure! Please check "
                                     "RS232/Ethernet connection. Exiting script."});
    QCOMPARE(form().cancelFlag(), 1);
    QVERIFY(!m_sim->received().contains("AFTER"));
    // A prompt wait without end stops with the run the watchdog cancelled.
    messages().clear();
    QCOMPARE(run("_WP\n_SC \"AFTER\"\n"), 1);
    QCOMPARE(messages(), QStringList{"Timeout error! Connection failure! Please check "
                                     "RS232/Ethernet connection. Exiting script."});
    QVERIFY(!m_sim->received().contains("AFTER"));
}

void tst_Ethernet::restartReopensTheDialog_data()
{
    QTest::addColumn<bool>("operatorConnects");
    QTest::addColumn<int>("result");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("operator connects again") << true << 1 << QStringList{};
    QTest::newRow("operator closes the dialog")
        << false << 0 << QStringList{"Error! Unable to connect to unit! Exiting script"};
}

void tst_Ethernet::restartReopensTheDialog()
{
    QFETCH(bool, operatorConnects);
    QFETCH(int, result);
    QFETCH(QStringList, messages);
    QVERIFY(connectToUnit());
    QTimer operatorAtTheDialog;
    connect(&operatorAtTheDialog, &QTimer::timeout, this, [&] {
        if (!dialog().isVisible())
            return;
        operatorAtTheDialog.stop();
        if (operatorConnects)
            dialog().ConnectButtonClick();
        else
            dialog().close();
    });
    operatorAtTheDialog.start(10);
    const int mark = m_sim->mark();
    QCOMPARE(run("_ST \"RESET\"\n_SC \"AFTER\"\n"), result);
    QCOMPARE(this->messages(), messages);
    QCOMPARE(form().tcpConnected(), operatorConnects);
    // Over the new connection, a byte sent after the run arrives after all the run sent.
    form().SendString("|");
    if (operatorConnects)
        QTRY_VERIFY(m_sim->receivedSince(mark).endsWith('|'));
    QCOMPARE(m_sim->receivedSince(mark).startsWith("RESET\r"), true);
    QCOMPARE(m_sim->receivedSince(mark).endsWith("AFTER\r|"), operatorConnects);
}

QTEST_MAIN(tst_Ethernet)
#include "tst_ethernet.moc"
