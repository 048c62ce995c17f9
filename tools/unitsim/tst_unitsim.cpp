#include "support/UnitSim.h"
#include "tools/unitsim/ReceivePacer.h"
#include "tools/unitsim/UnitCommandLine.h"
#include "tools/unitsim/UnitControls.h"
#include "tools/unitsim/UnitHost.h"
#include "tools/unitsim/UnitProtocol.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QTcpSocket>
#include <QThread>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

Q_DECLARE_METATYPE(UnitSettings)
Q_DECLARE_METATYPE(UnitProtocol::Mode)
Q_DECLARE_METATYPE(UnitCommandLine::Result)

namespace {

using Channel = UnitProtocol::Channel;
using Mode = UnitProtocol::Mode;

UnitSettings settingsWith(const std::function<void(UnitSettings &)> &change)
{
    UnitSettings settings;
    change(settings);
    return settings;
}

QByteArray takeAllOutput(UnitProtocol &protocol, qint64 nowMs, Channel channel = Channel::Pty)
{
    QByteArray bytes;
    for (const UnitProtocol::Output &output : protocol.takeDueOutput(nowMs)) {
        if (output.channel == channel)
            bytes += output.bytes;
    }
    return bytes;
}

QByteArray uploadHeader(qint64 size, const QByteArray &sum)
{
    return "LF 0x8000 " + QByteArray::number(size) + ' ' + sum + " v1.0\r";
}

// The client end of the simulator's pty, opened the plain POSIX way a terminal
// program would, so the tests do not depend on the code under test elsewhere.
class PosixPort
{
public:
    explicit PosixPort(const QString &path)
    {
        fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios settings{};
        if (fd_ >= 0 && ::tcgetattr(fd_, &settings) == 0) {
            ::cfmakeraw(&settings);
            ::tcsetattr(fd_, TCSANOW, &settings);
        }
    }
    ~PosixPort()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    PosixPort(const PosixPort &) = delete;
    PosixPort &operator=(const PosixPort &) = delete;

    bool isOpen() const { return fd_ >= 0; }

    bool write(const QByteArray &bytes)
    {
        qsizetype written = 0;
        while (written < bytes.size()) {
            const ssize_t count = ::write(fd_, bytes.constData() + written, bytes.size() - written);
            if (count < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            if (count > 0)
                written += count;
            else
                waitFor(POLLOUT, 100);
        }
        return true;
    }

    // Reads until the bytes end with the given text or the time is up.
    QByteArray readUntil(const QByteArray &ending, int timeoutMs = 3000)
    {
        QByteArray bytes;
        QDeadlineTimer deadline(timeoutMs);
        while (!bytes.endsWith(ending) && !deadline.hasExpired()) {
            if (!(waitFor(POLLIN, 20) & POLLIN))
                continue;
            char buffer[256];
            const ssize_t count = ::read(fd_, buffer, sizeof buffer);
            if (count > 0)
                bytes.append(buffer, count);
            else if (count == 0 || errno != EAGAIN)
                break;
        }
        return bytes;
    }

    short waitFor(short events, int timeoutMs)
    {
        pollfd entry{fd_, events, 0};
        return ::poll(&entry, 1, timeoutMs) > 0 ? entry.revents : 0;
    }

    // What the client sees of the line: a hang-up, or a failing or ending read.
    bool seesHangup()
    {
        if (waitFor(POLLIN, 1000) & (POLLHUP | POLLERR))
            return true;
        char byte;
        return ::read(fd_, &byte, 1) <= 0 && errno != EAGAIN;
    }

private:
    int fd_ = -1;
};

// Connects 'socket' to a TCP port on loopback, as a client of the unit; true once connected.
bool connectOnLoopback(QTcpSocket &socket, quint16 port, int timeoutMs = 3000)
{
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(timeoutMs);
}

QByteArray readFromSocket(QTcpSocket &socket, const QByteArray &ending, int timeoutMs = 3000)
{
    QByteArray bytes;
    QDeadlineTimer deadline(timeoutMs);
    while (!bytes.endsWith(ending) && !deadline.hasExpired()) {
        if (socket.bytesAvailable() == 0)
            socket.waitForReadyRead(20);
        bytes += socket.readAll();
    }
    return bytes;
}

} // namespace

class tst_UnitSim : public QObject
{
    Q_OBJECT

private slots:
    // The protocol on its own
    void answers_data();
    void answers();
    void answersToBytesFedOneByOne_data();
    void answersToBytesFedOneByOne();
    void uploadEvents();
    void hangupAfter_data();
    void hangupAfter();
    void hangupAfterLines_data();
    void hangupAfterLines();
    void answerDelay();
    void answersGoToTheirChannel();
    void resetChannelDropsPartialLineAndAnswers();
    void fillerText_data();
    void fillerText();
    void garbage();

    // The parts around it
    void receivePacer_data();
    void receivePacer();
    void controls_data();
    void controls();
    void commandLine_data();
    void commandLine();
    void helpListsEveryControl();
    void versionOptionPrintsAndEnds();
    void unitVersionOptionSetsTheAnswer();

    // The simulator as a process
    void ptyAnswersVersion();
    void ptyHangupAndReopen();
    void ptyDropsOutputWhileClosed();
    void ptyHold();
    void tcpAnswersVersion();
    void tcpServesOneClientAtATime();
    void tcpHangupAfterClosesConnection();
    void hangupAfterLinesAnswersFirst_data();
    void hangupAfterLinesAnswersFirst();
    void tcpListenOffRefusesNewClients();
    void transcriptHoldsExactBytes();
    void uploadIsStored();
    void pacedReception_data();
    void pacedReception();
    void pacingTurnedOffMidway_data();
    void pacingTurnedOffMidway();
    void endsRemovingItsLink_data();
    void endsRemovingItsLink();
};

void tst_UnitSim::answers_data()
{
    QTest::addColumn<UnitSettings>("settings");
    QTest::addColumn<Mode>("startMode");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");

    const UnitSettings plain;
    const UnitSettings echo = settingsWith([](UnitSettings &s) { s.echo = true; });
    const UnitSettings muted = settingsWith([](UnitSettings &s) { s.mute = true; });
    const UnitSettings noLoader = settingsWith([](UnitSettings &s) { s.noLoader = true; });
    const UnitSettings onlyAt = settingsWith([](UnitSettings &s) { s.onlyPrompt = '@'; });
    const UnitSettings padded = settingsWith([](UnitSettings &s) { s.answerPadding = 10; });
    const UnitSettings otherPrompts = settingsWith([](UnitSettings &s) {
        s.normalPrompt = '%';
        s.loaderPrompt = '$';
    });
    const UnitSettings newVersion = settingsWith([](UnitSettings &s) { s.version = "3.10 beta"; });
    const UnitSettings loadKeyword = settingsWith([](UnitSettings &s) { s.keyword = "LOAD"; });

    // Commands in normal mode
    QTest::newRow("lone CR") << plain << Mode::Normal << QByteArray("\r") << QByteArray("#");
    QTest::newRow("CR LF") << plain << Mode::Normal << QByteArray("\r\n") << QByteArray("#");
    QTest::newRow("nudge") << plain << Mode::Normal << QByteArray(".\r") << QByteArray("#");
    QTest::newRow("VER") << plain << Mode::Normal << QByteArray("VER\r") << QByteArray("2.08\r\n#");
    QTest::newRow("VER CR LF") << plain << Mode::Normal << QByteArray("VER\r\n")
                               << QByteArray("2.08\r\n#");
    QTest::newRow("VER among blanks")
        << plain << Mode::Normal << QByteArray("  VER \r") << QByteArray("2.08\r\n#");
    QTest::newRow("changed version")
        << newVersion << Mode::Normal << QByteArray("VER\r") << QByteArray("3.10 beta\r\n#");
    QTest::newRow("OTPM? 1") << plain << Mode::Normal << QByteArray("OTPM? 1\r")
                             << QByteArray("1\r\n#");
    QTest::newRow("other line") << plain << Mode::Normal << QByteArray("HELLO 1 2\r")
                                << QByteArray("OK\r\n#");
    QTest::newRow("lower-case ver is another line")
        << plain << Mode::Normal << QByteArray("ver\r") << QByteArray("OK\r\n#");

    // Modes and prompts
    QTest::newRow("LOADR") << plain << Mode::Normal << QByteArray("LOADR\r\r") << QByteArray(">>");
    QTest::newRow("RESET") << plain << Mode::Normal << QByteArray("LOADR\rRESET\r\r")
                           << QByteArray(">##");
    QTest::newRow("start in loader")
        << plain << Mode::Loader << QByteArray("\r") << QByteArray(">");
    QTest::newRow("other prompts")
        << otherPrompts << Mode::Normal << QByteArray("\rLOADR\r") << QByteArray("%$");
    QTest::newRow("only-prompt") << onlyAt << Mode::Normal << QByteArray("\rLOADR\rVER\r")
                                 << QByteArray("@@2.08\r\n@");
    QTest::newRow("no-loader") << noLoader << Mode::Normal << QByteArray("LOADR\r\r")
                               << QByteArray("##");
    QTest::newRow("no-loader takes no upload")
        << noLoader << Mode::Normal << QByteArray("LOADR\r" + uploadHeader(1, "0"))
        << QByteArray("#OK\r\n#");
    QTest::newRow("upload header in normal mode")
        << plain << Mode::Normal << uploadHeader(1, "0") << QByteArray("OK\r\n#");

    // Faults and options
    QTest::newRow("mute") << muted << Mode::Normal << QByteArray("VER\r\rLOADR\r") << QByteArray();
    QTest::newRow("mute silences echo")
        << settingsWith([](UnitSettings &s) { s.mute = s.echo = true; }) << Mode::Normal
        << QByteArray("VER\r") << QByteArray();
    QTest::newRow("echo") << echo << Mode::Normal << QByteArray("VER\r")
                          << QByteArray("VER\r\n2.08\r\n#");
    QTest::newRow("echo skips LF")
        << echo << Mode::Normal << QByteArray("A\r\n") << QByteArray("A\r\nOK\r\n#");
    QTest::newRow("answer padding")
        << padded << Mode::Normal << QByteArray("VER\r") << QByteArray("abcdefgh\r\n2.08\r\n#");
    QTest::newRow("no padding before a bare prompt")
        << padded << Mode::Normal << QByteArray("\r") << QByteArray("#");

    // Uploads
    QTest::newRow("upload, good checksum")
        << plain << Mode::Loader << QByteArray(uploadHeader(3, "6") + "\x01\x02\x03")
        << QByteArray("LOAD OK 3 6\r\n>");
    QTest::newRow("upload, bad checksum")
        << plain << Mode::Loader << QByteArray(uploadHeader(3, "7") + "\x01\x02\x03")
        << QByteArray("LOAD BAD CHECKSUM 7 6\r\n>");
    QTest::newRow("upload, sum as wide as sent")
        << plain << Mode::Loader << QByteArray(uploadHeader(3, "0006") + "\x01\x02\x03")
        << QByteArray("LOAD OK 3 0006\r\n>");
    QTest::newRow("upload, sum wraps at 16 bits")
        << plain << Mode::Loader << QByteArray(uploadHeader(300, "2ad4") + QByteArray(300, '\xff'))
        << QByteArray("LOAD OK 300 2ad4\r\n>");
    QTest::newRow("upload of size 0")
        << plain << Mode::Loader << uploadHeader(0, "0") << QByteArray("LOAD OK 0 0\r\n>");
    QTest::newRow("upload data holding CR, LF and prompts")
        << plain << Mode::Loader << QByteArray(uploadHeader(5, "85") + "\r\n#>\rVER\r")
        << QByteArray("LOAD OK 5 85\r\n>2.08\r\n>");
    QTest::newRow("upload data is not echoed")
        << echo << Mode::Loader << QByteArray("LF 0 2 83 v\rAB")
        << QByteArray("LF 0 2 83 v\r\nLOAD OK 2 83\r\n>");
    QTest::newRow("upload with another keyword")
        << loadKeyword << Mode::Loader << QByteArray("LOAD 0 1 41 v\rA")
        << QByteArray("LOAD OK 1 41\r\n>");
    QTest::newRow("old keyword after a change")
        << loadKeyword << Mode::Loader << uploadHeader(1, "41") << QByteArray("OK\r\n>");
    QTest::newRow("upload answer padded")
        << settingsWith([](UnitSettings &s) { s.answerPadding = 4; }) << Mode::Loader
        << uploadHeader(0, "0") << QByteArray("ab\r\nLOAD OK 0 0\r\n>");
    QTest::newRow("mute after the header: no answer, no prompt")
        << settingsWith([](UnitSettings &s) { s.muteAfterHeader = true; }) << Mode::Loader
        << QByteArray("\r" + uploadHeader(3, "6") + "\x01\x02\x03\r") << QByteArray(">");

    // Upload headers the unit rejects
    QTest::newRow("size not a number") << plain << Mode::Loader << QByteArray("LF 0 abc 0 v\r")
                                       << QByteArray("LOAD BAD HEADER\r\n>");
    QTest::newRow("negative size") << plain << Mode::Loader << QByteArray("LF 0 -1 0 v\r")
                                   << QByteArray("LOAD BAD HEADER\r\n>");
    QTest::newRow("size beyond the limit")
        << plain << Mode::Loader << QByteArray("LF 0 999999999 0 v\r")
        << QByteArray("LOAD BAD HEADER\r\n>");
    QTest::newRow("too few fields is another line")
        << plain << Mode::Loader << QByteArray("LF 0 3 6\r") << QByteArray("OK\r\n>");
    QTest::newRow("unreadable checksum") << plain << Mode::Loader << QByteArray("LF 0 1 xyz v\rA")
                                         << QByteArray("LOAD BAD CHECKSUM xyz 41\r\n>");
}

void tst_UnitSim::answers()
{
    QFETCH(UnitSettings, settings);
    QFETCH(Mode, startMode);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);

    UnitProtocol protocol(settings);
    protocol.setMode(startMode);
    protocol.receive(Channel::Pty, input, 1000);
    QCOMPARE(takeAllOutput(protocol, 1000), expected);
    QCOMPARE(protocol.nextDueMs(), -1);
}

void tst_UnitSim::answersToBytesFedOneByOne_data()
{
    answers_data();
}

// However the bytes are split into chunks, the unit answers the same.
void tst_UnitSim::answersToBytesFedOneByOne()
{
    QFETCH(UnitSettings, settings);
    QFETCH(Mode, startMode);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);

    UnitProtocol protocol(settings);
    protocol.setMode(startMode);
    QByteArray output;
    for (char byte : input) {
        protocol.receive(Channel::Pty, QByteArray(1, byte), 1000);
        output += takeAllOutput(protocol, 1000);
    }
    QCOMPARE(output, expected);
}

void tst_UnitSim::uploadEvents()
{
    UnitProtocol protocol;
    protocol.setMode(Mode::Loader);
    protocol.receive(Channel::Tcp, "LF 0x8000 3 6 My Firmware  1.0\r\x01\x02", 0);
    QVERIFY(protocol.isReceivingUpload(Channel::Tcp));
    QVERIFY(protocol.takeEvents().isEmpty());
    protocol.receive(Channel::Tcp, "\x03" + uploadHeader(1, "ff"), 0);
    QVERIFY(protocol.isReceivingUpload(Channel::Tcp));
    protocol.receive(Channel::Tcp, "A", 0);

    const QList<UnitProtocol::Event> events = protocol.takeEvents();
    QCOMPARE(events.size(), 2);
    const UnitProtocol::Upload &first = events.at(0).upload;
    QCOMPARE(events.at(0).kind, UnitProtocol::Event::Kind::UploadFinished);
    QCOMPARE(events.at(0).channel, Channel::Tcp);
    QCOMPARE(first.number, 1);
    QCOMPARE(first.header, QByteArray("LF 0x8000 3 6 My Firmware  1.0"));
    QCOMPARE(first.address, QByteArray("0x8000"));
    QCOMPARE(first.version, QByteArray("My Firmware  1.0"));
    QCOMPARE(first.data, QByteArray("\x01\x02\x03"));
    QCOMPARE(first.sum, quint16(6));
    QVERIFY(first.checksumOk);

    const UnitProtocol::Upload &second = events.at(1).upload;
    QCOMPARE(second.number, 2);
    QCOMPARE(second.data, QByteArray("A"));
    QCOMPARE(second.sumText, QByteArray("41"));
    QCOMPARE(second.expectedText, QByteArray("ff"));
    QVERIFY(!second.checksumOk);
    QVERIFY(!protocol.isReceivingUpload(Channel::Tcp));
}

void tst_UnitSim::hangupAfter_data()
{
    QTest::addColumn<qint64>("hangupAfter");
    QTest::addColumn<int>("uploadSize");
    QTest::addColumn<bool>("hangsUp");
    QTest::addColumn<int>("storedBytes");

    QTest::newRow("in the middle") << qint64(2) << 5 << true << 0;
    QTest::newRow("right after the header") << qint64(0) << 5 << true << 0;
    QTest::newRow("one byte short") << qint64(4) << 5 << true << 0;
    QTest::newRow("limit equal to the size") << qint64(5) << 5 << false << 5;
    QTest::newRow("limit beyond the size") << qint64(50) << 5 << false << 5;
    QTest::newRow("empty upload") << qint64(0) << 0 << false << 0;
}

void tst_UnitSim::hangupAfter()
{
    QFETCH(qint64, hangupAfter);
    QFETCH(int, uploadSize);
    QFETCH(bool, hangsUp);
    QFETCH(int, storedBytes);

    for (const bool oneByOne : {false, true}) {
        UnitProtocol protocol(settingsWith([&](UnitSettings &s) { s.hangupAfter = hangupAfter; }));
        protocol.setMode(Mode::Loader);
        const QByteArray input =
            uploadHeader(uploadSize, "0") + QByteArray(uploadSize, 'x') + "VER\r";
        QList<UnitProtocol::Event> events;
        qsizetype fed = 0;
        for (qsizetype i = 0; i < input.size() && events.isEmpty();
             i += oneByOne ? 1 : input.size()) {
            const QByteArray chunk = input.mid(i, oneByOne ? 1 : input.size());
            protocol.receive(Channel::Pty, chunk, 0);
            fed += chunk.size();
            events = protocol.takeEvents();
        }
        QCOMPARE(events.size(), 1);
        const UnitProtocol::Event &event = events.first();
        if (hangsUp) {
            QCOMPARE(event.kind, UnitProtocol::Event::Kind::Hangup);
            QCOMPARE(event.channel, Channel::Pty);
            QCOMPARE(takeAllOutput(protocol, 0), QByteArray());
            if (oneByOne)
                QCOMPARE(fed, uploadHeader(uploadSize, "0").size() + hangupAfter);
            // The line comes back fresh: no half upload, and still in loader mode.
            QVERIFY(!protocol.isReceivingUpload(Channel::Pty));
            protocol.receive(Channel::Pty, "VER\r", 0);
            QCOMPARE(takeAllOutput(protocol, 0), QByteArray("2.08\r\n>"));
        } else {
            QCOMPARE(event.kind, UnitProtocol::Event::Kind::UploadFinished);
            QCOMPARE(event.upload.data.size(), storedBytes);
        }
    }
}

void tst_UnitSim::hangupAfterLines_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("answeredBeforeDrop");
    QTest::addColumn<bool>("drops");

    // Three carriage returns as upload data sum to 0x27.
    const QByteArray uploadOfCRs = "LOADR\r" + uploadHeader(3, "27") + "\r\r\r";
    QTest::newRow("first line") << 1 << QByteArray("VER\r") << QByteArray("2.08\r\n#") << true;
    QTest::newRow("empty lines count")
        << 3 << QByteArray("\r\rVER\r") << QByteArray("##2.08\r\n#") << true;
    QTest::newRow("one line short")
        << 3 << QByteArray("\rVER\r") << QByteArray("#2.08\r\n#") << false;
    QTest::newRow("lines after the last are not taken")
        << 1 << QByteArray("LOADR\rVER\r\r") << QByteArray(">") << true;
    QTest::newRow("upload data is no line")
        << 3 << uploadOfCRs + "\r" << QByteArray(">LOAD OK 3 27\r\n>>") << true;
}

void tst_UnitSim::hangupAfterLines()
{
    QFETCH(int, lines);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, answeredBeforeDrop);
    QFETCH(bool, drops);

    UnitProtocol protocol(settingsWith([](UnitSettings &s) { s.answerDelayMs = 50; }));
    protocol.setHangupAfterLines(lines);
    // The other channel counts its own lines: one short of the limit drops nothing.
    protocol.receive(Channel::Tcp, QByteArray(lines - 1, '\r'), 0);
    protocol.receive(Channel::Pty, input, 0);

    QByteArray answered;
    int hangups = 0;
    for (const UnitProtocol::Output &output : protocol.takeDueOutput(50)) {
        QVERIFY2(hangups == 0, "output after the hang-up");
        hangups += output.hangsUp ? 1 : 0;
        if (output.channel == Channel::Pty)
            answered += output.bytes;
        else
            QVERIFY(!output.hangsUp);
    }
    QCOMPARE(answered, answeredBeforeDrop);
    QCOMPARE(hangups, drops ? 1 : 0);
    if (!drops)
        return;
    // Once only: the line comes back as it was, and the same lines leave it up.
    protocol.resetChannel(Channel::Pty);
    protocol.receive(Channel::Pty, "VER\r", 100);
    const QList<UnitProtocol::Output> later = protocol.takeDueOutput(150);
    QCOMPARE(later.size(), 1);
    QVERIFY(!later.first().hangsUp);
}

void tst_UnitSim::answerDelay()
{
    UnitProtocol protocol(settingsWith([](UnitSettings &s) {
        s.answerDelayMs = 200;
        s.echo = true;
    }));
    protocol.receive(Channel::Pty, "VER\r", 1000);
    QCOMPARE(takeAllOutput(protocol, 1000), QByteArray("VER\r\n"));
    QCOMPARE(protocol.nextDueMs(), 1200);
    protocol.receive(Channel::Pty, "\r", 1100);
    QCOMPARE(takeAllOutput(protocol, 1100), QByteArray("\r\n"));
    QCOMPARE(takeAllOutput(protocol, 1199), QByteArray());
    QCOMPARE(takeAllOutput(protocol, 1200), QByteArray("2.08\r\n#"));
    QCOMPARE(protocol.nextDueMs(), 1300);
    QCOMPARE(takeAllOutput(protocol, 5000), QByteArray("#"));
    QCOMPARE(protocol.nextDueMs(), -1);
}

void tst_UnitSim::answersGoToTheirChannel()
{
    UnitProtocol protocol;
    protocol.receive(Channel::Pty, "VE", 0);
    protocol.receive(Channel::Tcp, "LOA", 0);
    protocol.receive(Channel::Pty, "R\r", 0);
    protocol.receive(Channel::Tcp, "DR\r", 0);

    const QList<UnitProtocol::Output> outputs = protocol.takeDueOutput(0);
    QCOMPARE(outputs.size(), 2);
    QCOMPARE(outputs.at(0).channel, Channel::Pty);
    QCOMPARE(outputs.at(0).bytes, QByteArray("2.08\r\n#"));
    QCOMPARE(outputs.at(1).channel, Channel::Tcp);
    QCOMPARE(outputs.at(1).bytes, QByteArray(">"));
    // One unit behind both: the mode changed for the serial side too.
    protocol.receive(Channel::Pty, "\r", 0);
    QCOMPARE(takeAllOutput(protocol, 0, Channel::Pty), QByteArray(">"));
}

void tst_UnitSim::resetChannelDropsPartialLineAndAnswers()
{
    UnitProtocol protocol(settingsWith([](UnitSettings &s) { s.answerDelayMs = 50; }));
    protocol.setMode(Mode::Loader);
    protocol.receive(Channel::Tcp, "VER\r" + uploadHeader(10, "0") + "abc", 0);
    protocol.receive(Channel::Pty, "VE", 0);
    protocol.resetChannel(Channel::Tcp);
    protocol.resetChannel(Channel::Pty);
    QVERIFY(!protocol.isReceivingUpload(Channel::Tcp));
    QCOMPARE(protocol.nextDueMs(), -1);

    protocol.receive(Channel::Pty, "R\r", 0);
    protocol.receive(Channel::Tcp, "VER\r", 0);
    QCOMPARE(takeAllOutput(protocol, 100, Channel::Pty), QByteArray("OK\r\n>"));
}

void tst_UnitSim::fillerText_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<char>("prompt");

    QTest::newRow("none") << 0 << '#';
    QTest::newRow("one byte") << 1 << '#';
    QTest::newRow("two bytes") << 2 << '#';
    QTest::newRow("one line") << 64 << '#';
    QTest::newRow("a line and a byte") << 65 << '#';
    QTest::newRow("many lines") << 1000 << '#';
    QTest::newRow("prompt a letter") << 500 << 'a';
    QTest::newRow("prompt a blank-free digit") << 500 << '0';
}

void tst_UnitSim::fillerText()
{
    QFETCH(int, size);
    QFETCH(char, prompt);

    UnitProtocol protocol(settingsWith([&](UnitSettings &s) { s.normalPrompt = prompt; }));
    const QByteArray text = protocol.fillerText(size);
    QCOMPARE(text.size(), size);
    QVERIFY(!text.contains(prompt));
    QVERIFY(!text.contains('>'));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char byte = text.at(i);
        if (byte == '\r')
            QCOMPARE(text.mid(i + 1, 1), QByteArray("\n"));
        else if (byte != '\n')
            QVERIFY2(byte >= ' ' && byte <= '~', qPrintable(QString::number(i)));
    }
    if (size >= 2)
        QVERIFY(text.endsWith("\r\n"));
    for (const QByteArray &line : text.split('\n'))
        QVERIFY(line.size() <= 64);
}

void tst_UnitSim::garbage()
{
    UnitProtocol protocol(settingsWith([](UnitSettings &s) { s.onlyPrompt = '!'; }), 42);
    const QByteArray bytes = protocol.garbage(20000);
    QCOMPARE(bytes.size(), 20000);
    QVERIFY(!bytes.contains('#'));
    QVERIFY(!bytes.contains('>'));
    QVERIFY(!bytes.contains('!'));
    // Random means all the other byte values turn up, not a filler pattern.
    QSet<char> values(bytes.begin(), bytes.end());
    QCOMPARE(values.size(), 253);
}

void tst_UnitSim::receivePacer_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<QList<qint64>>("pollTimes");
    QTest::addColumn<qint64>("expectedBytes");

    // 9600 baud is 960 bytes a second.
    QTest::newRow("one second in ticks") << 9600 << [] {
        QList<qint64> times;
        for (qint64 ms = 0; ms <= 1000; ms += 10)
            times.append(ms);
        return times;
    }() << qint64(960);
    QTest::newRow("idle second is no burst") << 9600 << QList<qint64>{0, 1000} << qint64(19);
    QTest::newRow("slow baud earns whole bytes")
        << 300 << QList<qint64>{0, 10, 20, 30, 40} << qint64(1);
    QTest::newRow("fast baud") << 115200 << QList<qint64>{0, 10, 20} << qint64(230);
    QTest::newRow("clock going back") << 9600 << QList<qint64>{100, 50, 60} << qint64(9);
}

void tst_UnitSim::receivePacer()
{
    QFETCH(int, baud);
    QFETCH(QList<qint64>, pollTimes);
    QFETCH(qint64, expectedBytes);

    ReceivePacer pacer;
    pacer.setBaud(baud, pollTimes.first());
    qint64 taken = 0;
    for (qint64 ms : pollTimes) {
        const qint64 allowance = pacer.allowance(ms);
        pacer.consume(allowance);
        taken += allowance;
    }
    QCOMPARE(taken, expectedBytes);
}

void tst_UnitSim::controls_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("reply");

    QTest::newRow("echo on") << "echo on"
                             << "ok echo on";
    QTest::newRow("blanks trimmed") << "  delay   200 "
                                    << "ok delay   200";
    QTest::newRow("only-prompt") << "only-prompt @"
                                 << "ok only-prompt @";
    QTest::newRow("only-prompt off") << "only-prompt off"
                                     << "ok only-prompt off";
    QTest::newRow("hangup-after") << "hangup-after 10"
                                  << "ok hangup-after 10";
    QTest::newRow("version with blanks") << "version 3.0 rc 1"
                                         << "ok version 3.0 rc 1";
    QTest::newRow("mode loader") << "mode loader"
                                 << "ok mode loader";
    QTest::newRow("baud") << "baud 9600"
                          << "ok baud 9600";
    QTest::newRow("baud off") << "baud off"
                              << "ok baud off";
    QTest::newRow("flood with no client") << "flood 100"
                                          << "ok flood 100";
    QTest::newRow("hangup-after-lines") << "hangup-after-lines 3"
                                        << "ok hangup-after-lines 3";
    QTest::newRow("hangup-after-lines off") << "hangup-after-lines off"
                                            << "ok hangup-after-lines off";

    QTest::newRow("empty") << ""
                           << "error empty command";
    QTest::newRow("unknown") << "explode"
                             << "error unknown command: explode";
    QTest::newRow("echo without value") << "echo"
                                        << "error echo needs on or off";
    QTest::newRow("echo yes") << "echo yes"
                              << "error echo needs on or off";
    QTest::newRow("negative delay") << "delay -5"
                                    << "error delay needs a count from 0 to 600000";
    QTest::newRow("delay in hex") << "delay 0x10"
                                  << "error delay needs a count from 0 to 600000";
    QTest::newRow("two-character prompt") << "only-prompt ab"
                                          << "error only-prompt needs one visible character or off";
    QTest::newRow("blank prompt") << "normal-prompt  "
                                  << "error normal-prompt needs one visible character";
    QTest::newRow("keyword with blank") << "keyword L F"
                                        << "error keyword needs one word";
    QTest::newRow("mode unknown") << "mode boot"
                                  << "error mode needs normal or loader";
    QTest::newRow("flood too big") << "flood 99999999999"
                                   << "error flood needs a count from 0 to 16777216";
    QTest::newRow("hangup with no endpoint") << "hangup"
                                             << "error no endpoint to hang up";
    QTest::newRow("reopen with no pty") << "reopen"
                                        << "error no pty to reopen";
    QTest::newRow("hold with no pty") << "hold"
                                      << "error no pty to hold";
    QTest::newRow("quit with argument") << "quit now"
                                        << "error quit takes no argument";
    QTest::newRow("hangup after no lines")
        << "hangup-after-lines 0"
        << "error hangup-after-lines needs a count from 1 to 1000000 or off";
    QTest::newRow("listen sideways") << "listen sideways"
                                     << "error listen needs on or off";
    QTest::newRow("listen on with no tcp") << "listen on"
                                           << "error no tcp endpoint to listen on";
    QTest::newRow("listen off with no tcp") << "listen off"
                                            << "error no tcp endpoint to listen on";
}

void tst_UnitSim::controls()
{
    QFETCH(QString, line);
    QFETCH(QString, reply);

    UnitHost host;
    UnitControls controls(&host);
    const UnitSettings before = host.protocol().settings();
    QCOMPARE(controls.execute(line), reply);
    if (reply.startsWith(QLatin1String("error "))) {
        const UnitSettings &after = host.protocol().settings();
        QCOMPARE(after.echo, before.echo);
        QCOMPARE(after.answerDelayMs, before.answerDelayMs);
        QCOMPARE(after.onlyPrompt, before.onlyPrompt);
        QCOMPARE(after.normalPrompt, before.normalPrompt);
        QCOMPARE(after.keyword, before.keyword);
    }
}

void tst_UnitSim::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<UnitCommandLine::Result>("result");
    QTest::addColumn<QStringList>("controlLines");

    const auto args = [](const QString &line) {
        return QStringList{QStringLiteral("tamrin-unitsim")} + line.split(QLatin1Char(' '));
    };
    using Result = UnitCommandLine::Result;
    QTest::newRow("pty only") << args("--pty /tmp/x") << Result::Run << QStringList();
    QTest::newRow("settings become controls")
        << args("--tcp 0 --echo --delay 20 --loader --only-prompt @ --keyword LD") << Result::Run
        << QStringList{"echo on", "mode loader", "delay 20", "only-prompt @", "keyword LD"};
    QTest::newRow("faults")
        << args("--tcp 0 --mute --no-loader --hangup-after 3 --hangup-after-lines 2 "
                "--answer-padding 9")
        << Result::Run
        << QStringList{"mute on", "no-loader on", "hangup-after 3", "hangup-after-lines 2",
                       "answer-padding 9"};
    QTest::newRow("unit version") << args("--tcp 0 --unit-version 3.1") << Result::Run
                                  << QStringList{"version 3.1"};
    QTest::newRow("help") << args("--help") << Result::Help << QStringList();
    QTest::newRow("help-all") << args("--help-all") << Result::Help << QStringList();
    QTest::newRow("version") << args("--version") << Result::Version << QStringList();
    QTest::newRow("version before endpoints")
        << args("--tcp 0 --version") << Result::Version << QStringList();

    QTest::newRow("no endpoint") << args("--echo") << Result::Error << QStringList();
    QTest::newRow("bad port") << args("--tcp 70000") << Result::Error << QStringList();
    QTest::newRow("port not a number") << args("--tcp http") << Result::Error << QStringList();
    QTest::newRow("unknown option") << args("--tcp 0 --turbo") << Result::Error << QStringList();
    QTest::newRow("missing value") << args("--tcp 0 --delay") << Result::Error << QStringList();
    QTest::newRow("unit version without text")
        << args("--tcp 0 --unit-version") << Result::Error << QStringList();
    QTest::newRow("stray argument") << args("--tcp 0 extra") << Result::Error << QStringList();
}

void tst_UnitSim::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(UnitCommandLine::Result, result);
    QFETCH(QStringList, controlLines);

    UnitCommandLine commandLine;
    QCOMPARE(commandLine.parse(arguments), result);
    QCOMPARE(commandLine.errorText().isEmpty(), result != UnitCommandLine::Result::Error);
    if (result == UnitCommandLine::Result::Run)
        QCOMPARE(commandLine.controlLines(), controlLines);
}

void tst_UnitSim::helpListsEveryControl()
{
    UnitHost host;
    UnitControls controls(&host);
    UnitCommandLine commandLine;
    QCOMPARE(commandLine.parse({QStringLiteral("tamrin-unitsim"), QStringLiteral("--help")}),
             UnitCommandLine::Result::Help);
    const QString help = commandLine.helpText();
    const QStringList names = controls.commandNames();
    QVERIFY(names.size() >= 20);
    for (const QString &name : names) {
        const QRegularExpression listed(QStringLiteral("[ ,]%1[ ,.]").arg(name));
        QVERIFY2(help.contains(listed), qPrintable(name));
    }
}

// Like every tool, --version prints the program's name and version and ends with status 0;
// the unit's own VER answer is --unit-version.
void tst_UnitSim::versionOptionPrintsAndEnds()
{
    QProcess process;
    process.start(QStringLiteral(TAMRIN_UNITSIM_PATH), {QStringLiteral("--version")});
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(process.readAllStandardOutput(), QByteArray("tamrin-unitsim 2.08\n"));
    QCOMPARE(process.readAllStandardError(), QByteArray());

    QCOMPARE(UnitCommandLine::versionText(), QStringLiteral("tamrin-unitsim 2.08"));
}

void tst_UnitSim::unitVersionOptionSetsTheAnswer()
{
    UnitSim sim;
    QVERIFY2(sim.start({QStringLiteral("--unit-version"), QStringLiteral("3.10 beta")}),
             qPrintable(sim.errorString()));
    PosixPort port(sim.ptyPath());
    QVERIFY(port.isOpen());
    QVERIFY(port.write("VER\r"));
    QCOMPARE(port.readUntil("#"), QByteArray("3.10 beta\r\n#"));
}

void tst_UnitSim::ptyAnswersVersion()
{
    UnitSim sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    QVERIFY(QFileInfo(sim.ptyPath()).isSymLink());
    QCOMPARE(QFileInfo(sim.ptyPath()).absolutePath(), sim.portsDir());
    QVERIFY(sim.slaveDevice().startsWith(QLatin1String("/dev/pts/")));

    PosixPort port(sim.ptyPath());
    QVERIFY(port.isOpen());
    QVERIFY(port.write("VER\r"));
    QCOMPARE(port.readUntil("#"), QByteArray("2.08\r\n#"));

    // A flood far beyond what the pty holds reaches a client that reads it, whole.
    const int flood = 4 * 1024 * 1024;
    QVERIFY(sim.command(QStringLiteral("flood %1").arg(flood)));
    QVERIFY(port.write("\r"));
    QCOMPARE(port.readUntil("#", 60000).size(), flood + 1);

    QVERIFY(sim.command(QStringLiteral("version 9.99")));
    QVERIFY(sim.command(QStringLiteral("echo on")));
    QVERIFY(port.write("VER\r"));
    QCOMPARE(port.readUntil("#"), QByteArray("VER\r\n9.99\r\n#"));
    QVERIFY(!sim.command(QStringLiteral("echo sideways")));
    QCOMPARE(sim.lastReply(), QStringLiteral("error echo needs on or off"));
}

void tst_UnitSim::ptyHangupAndReopen()
{
    UnitSim sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    {
        PosixPort port(sim.ptyPath());
        QVERIFY(port.write("\r"));
        QCOMPARE(port.readUntil("#"), QByteArray("#"));
        QVERIFY(sim.command(QStringLiteral("hangup")));
        QVERIFY(port.seesHangup());
        QVERIFY(!QFileInfo(sim.ptyPath()).isSymLink());
        QVERIFY(!PosixPort(sim.ptyPath()).isOpen());
    }
    QVERIFY(sim.command(QStringLiteral("reopen")));
    QVERIFY(sim.output().contains(QStringLiteral("reopened pty=") + sim.slaveDevice()));
    PosixPort port(sim.ptyPath());
    QVERIFY(port.isOpen());
    QVERIFY(port.write("VER\r"));
    QCOMPARE(port.readUntil("#"), QByteArray("2.08\r\n#"));
}

// A real port loses what the unit sends while nobody has it open; the next user must
// not read a stale answer first.
void tst_UnitSim::ptyDropsOutputWhileClosed()
{
    UnitSim sim;
    QVERIFY2(sim.start({QStringLiteral("--delay"), QStringLiteral("200")}),
             qPrintable(sim.errorString()));
    {
        PosixPort port(sim.ptyPath());
        QVERIFY(port.write("VER\r"));
        QVERIFY(sim.waitForReceived(4));
    }
    QVERIFY(sim.command(QStringLiteral("flood 300")));
    QTest::qWait(300);
    PosixPort port(sim.ptyPath());
    QVERIFY(port.write(".\r"));
    QCOMPARE(port.readUntil("#"), QByteArray("#"));
}

void tst_UnitSim::ptyHold()
{
    UnitSim sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    QVERIFY(sim.command(QStringLiteral("hold")));
    for (const QString &path : {sim.ptyPath(), sim.slaveDevice()}) {
        QSerialPort port(path);
        QVERIFY2(!port.open(QIODevice::ReadWrite), qPrintable(path));
        QCOMPARE(port.error(), QSerialPort::PermissionError);
    }
    QVERIFY(sim.command(QStringLiteral("release")));
    QSerialPort port(sim.ptyPath());
    QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
    port.write("VER\r");
    QByteArray answer;
    QVERIFY(sim.waitUntil(
        [&] {
            answer += port.readAll();
            return answer.endsWith('#');
        },
        3000));
    QCOMPARE(answer, QByteArray("2.08\r\n#"));
}

void tst_UnitSim::tcpAnswersVersion()
{
    UnitSim sim;
    QVERIFY2(sim.start({}, false, true), qPrintable(sim.errorString()));
    QVERIFY(sim.tcpPort() != 0);
    QVERIFY(sim.ptyPath().isEmpty());

    QTcpSocket socket;
    QVERIFY(connectOnLoopback(socket, sim.tcpPort()));
    socket.write("VER\r\n");
    QCOMPARE(readFromSocket(socket, "#"), QByteArray("2.08\r\n#"));
    QCOMPARE(sim.chunks().constFirst().endpoint, QStringLiteral("tcp"));
}

void tst_UnitSim::tcpServesOneClientAtATime()
{
    UnitSim sim;
    QVERIFY2(sim.start({}, false, true), qPrintable(sim.errorString()));
    QTcpSocket first;
    QVERIFY(connectOnLoopback(first, sim.tcpPort()));
    first.write("\r");
    QCOMPARE(readFromSocket(first, "#"), QByteArray("#"));

    // A second client waits, unanswered, until the first leaves.
    QTcpSocket second;
    QVERIFY(connectOnLoopback(second, sim.tcpPort()));
    second.write("VER\r");
    QCOMPARE(readFromSocket(second, "#", 300), QByteArray());

    first.disconnectFromHost();
    QCOMPARE(readFromSocket(second, "#"), QByteArray("2.08\r\n#"));

    // Reconnecting at once is served, however soon the old connection is noticed gone.
    second.disconnectFromHost();
    QTcpSocket third;
    QVERIFY(connectOnLoopback(third, sim.tcpPort()));
    third.write("VER\r");
    QCOMPARE(readFromSocket(third, "#"), QByteArray("2.08\r\n#"));
}

void tst_UnitSim::tcpHangupAfterClosesConnection()
{
    UnitSim sim;
    QVERIFY2(sim.start({QStringLiteral("--loader"), QStringLiteral("--hangup-after"),
                        QStringLiteral("10")},
                       false, true),
             qPrintable(sim.errorString()));
    QTcpSocket socket;
    QVERIFY(connectOnLoopback(socket, sim.tcpPort()));
    socket.write(uploadHeader(100, "0") + QByteArray(50, 'x'));
    QVERIFY(socket.state() == QAbstractSocket::UnconnectedState ||
            socket.waitForDisconnected(3000));
    QVERIFY(sim.uploadLines().isEmpty());

    QTcpSocket again;
    QVERIFY(connectOnLoopback(again, sim.tcpPort()));
    again.write("VER\r");
    QCOMPARE(readFromSocket(again, ">"), QByteArray("2.08\r\n>"));
}

void tst_UnitSim::hangupAfterLinesAnswersFirst_data()
{
    QTest::addColumn<bool>("overTcp");
    QTest::addColumn<int>("delayMs");
    QTest::newRow("pty") << false << 0;
    QTest::newRow("pty, answer delayed") << false << 300;
    QTest::newRow("tcp") << true << 0;
    QTest::newRow("tcp, answer delayed") << true << 300;
}

// The line drops right after the second answer, never before it, and only once. The
// client reads that answer late, only once it is due: it must still get all of it.
void tst_UnitSim::hangupAfterLinesAnswersFirst()
{
    QFETCH(bool, overTcp);
    QFETCH(int, delayMs);
    const int readLateMs = delayMs + 200;
    UnitSim sim;
    QVERIFY2(sim.start({QStringLiteral("--delay"), QString::number(delayMs),
                        QStringLiteral("--hangup-after-lines"), QStringLiteral("2")},
                       !overTcp, overTcp),
             qPrintable(sim.errorString()));
    if (overTcp) {
        QTcpSocket socket;
        QVERIFY(connectOnLoopback(socket, sim.tcpPort()));
        socket.write("\r");
        QCOMPARE(readFromSocket(socket, "#"), QByteArray("#"));
        socket.write("VER\r");
        QVERIFY(socket.waitForBytesWritten(3000));
        QThread::msleep(readLateMs);
        QCOMPARE(readFromSocket(socket, "#"), QByteArray("2.08\r\n#"));
        QVERIFY(socket.state() == QAbstractSocket::UnconnectedState ||
                socket.waitForDisconnected(3000));

        QTcpSocket again;
        QVERIFY(connectOnLoopback(again, sim.tcpPort()));
        again.write("\r\r\r");
        QCOMPARE(readFromSocket(again, "###"), QByteArray("###"));
        QCOMPARE(again.state(), QAbstractSocket::ConnectedState);
    } else {
        {
            PosixPort port(sim.ptyPath());
            QVERIFY(port.write("\r"));
            QCOMPARE(port.readUntil("#"), QByteArray("#"));
            QVERIFY(port.write("VER\r"));
            QThread::msleep(readLateMs);
            QCOMPARE(port.readUntil("#"), QByteArray("2.08\r\n#"));
            QVERIFY(port.seesHangup());
        }
        QVERIFY(sim.command(QStringLiteral("reopen")));
        PosixPort port(sim.ptyPath());
        QVERIFY(port.write("\r\r\r"));
        QCOMPARE(port.readUntil("###"), QByteArray("###"));
        QVERIFY(QFileInfo(sim.ptyPath()).isSymLink());
    }
}

void tst_UnitSim::tcpListenOffRefusesNewClients()
{
    UnitSim sim;
    QVERIFY2(sim.start({}, false, true), qPrintable(sim.errorString()));
    QTcpSocket served;
    QVERIFY(connectOnLoopback(served, sim.tcpPort()));
    served.write("\r");
    QCOMPARE(readFromSocket(served, "#"), QByteArray("#"));
    QTcpSocket waiting;
    QVERIFY(connectOnLoopback(waiting, sim.tcpPort()));
    waiting.write("VER\r");

    QVERIFY(sim.command(QStringLiteral("listen off")));
    QTcpSocket refused;
    QVERIFY(!connectOnLoopback(refused, sim.tcpPort(), 1000));
    QCOMPARE(refused.error(), QAbstractSocket::ConnectionRefusedError);
    served.write("VER\r");
    QCOMPARE(readFromSocket(served, "#"), QByteArray("2.08\r\n#"));
    served.disconnectFromHost();
    QCOMPARE(readFromSocket(waiting, "#"), QByteArray("2.08\r\n#"));

    QVERIFY(sim.command(QStringLiteral("listen on")));
    waiting.disconnectFromHost();
    QTcpSocket later;
    QVERIFY(connectOnLoopback(later, sim.tcpPort()));
    later.write("VER\r");
    QCOMPARE(readFromSocket(later, "#"), QByteArray("2.08\r\n#"));

    // In this process no event loop runs: the system connects a client the unit has not
    // taken yet. It keeps its connection, and the port stays the one reported.
    UnitHost host;
    UnitControls controls(&host);
    QString error;
    QVERIFY2(host.listenTcp(0, &error), qPrintable(error));
    const QString ready = host.readyLine();
    QTcpSocket early;
    QVERIFY(connectOnLoopback(early, ready.section(QStringLiteral("tcp="), 1).toUShort()));
    QCOMPARE(controls.execute(QStringLiteral("listen off")), QStringLiteral("ok listen off"));
    QVERIFY(!early.waitForDisconnected(300));
    QCOMPARE(host.readyLine(), ready);
}

void tst_UnitSim::transcriptHoldsExactBytes()
{
    UnitSim sim;
    QVERIFY2(sim.start({}, true, true), qPrintable(sim.errorString()));
    QByteArray everyValue;
    for (int value = 0; value < 256; ++value)
        everyValue.append(char(value));

    PosixPort port(sim.ptyPath());
    QVERIFY(port.write(everyValue));
    QVERIFY(sim.waitForReceived(everyValue.size()));
    const int mark = sim.mark();

    QTcpSocket socket;
    QVERIFY(connectOnLoopback(socket, sim.tcpPort()));
    socket.write("VER\r\n");
    QCOMPARE(readFromSocket(socket, "#"), QByteArray("2.08\r\n#"));

    QCOMPARE(sim.received(), everyValue + "VER\r\n");
    QCOMPARE(sim.receivedSince(mark), QByteArray("VER\r\n"));
    const QList<UnitSim::Chunk> chunks = sim.chunks();
    QCOMPARE(chunks.constFirst().endpoint, QStringLiteral("pty"));
    QCOMPARE(chunks.constLast().endpoint, QStringLiteral("tcp"));
    for (qsizetype i = 1; i < chunks.size(); ++i)
        QVERIFY(chunks.at(i - 1).ms <= chunks.at(i).ms);
}

void tst_UnitSim::uploadIsStored()
{
    UnitSim sim;
    QVERIFY2(sim.start({QStringLiteral("--loader")}), qPrintable(sim.errorString()));
    QByteArray data;
    for (int i = 0; i < 3000; ++i)
        data.append(char(i * 7));
    const QByteArray sum = QByteArray::number(UnitProtocol::checksum(data), 16);

    PosixPort port(sim.ptyPath());
    QVERIFY(port.write(uploadHeader(data.size(), sum) + data));
    QCOMPARE(port.readUntil(">"), "LOAD OK 3000 " + sum + "\r\n>");
    QVERIFY(port.write(uploadHeader(1, "0") + "x"));
    QCOMPARE(port.readUntil(">"), QByteArray("LOAD BAD CHECKSUM 0 78\r\n>"));

    const QStringList lines = sim.uploadLines();
    QCOMPARE(lines.size(), 2);
    const QString firstFile = sim.storeDir() + QStringLiteral("/upload-1.bin");
    QCOMPARE(lines.at(0),
             QStringLiteral("upload n=1 size=3000 sum=%1 expected=%1 result=ok file=%2")
                 .arg(QString::fromLatin1(sum), firstFile));
    QVERIFY(lines.at(1).contains(QLatin1String("n=2 size=1 sum=78 expected=0 result=bad")));
    QFile stored(firstFile);
    QVERIFY(stored.open(QIODevice::ReadOnly));
    QCOMPARE(stored.readAll(), data);
    QFile header(sim.storeDir() + QStringLiteral("/upload-1.txt"));
    QVERIFY(header.open(QIODevice::ReadOnly));
    QCOMPARE(header.readAll(), uploadHeader(data.size(), sum).chopped(1) + '\n');
}

void tst_UnitSim::pacedReception_data()
{
    QTest::addColumn<bool>("overTcp");
    QTest::newRow("pty") << false;
    QTest::newRow("tcp") << true;
}

// 2000 bytes at 9600 baud (960 bytes a second) take about 2.08 s; the lower margin catches a
// simulator that does not pace at all, and a loaded machine only makes it later.
void tst_UnitSim::pacedReception()
{
    QFETCH(bool, overTcp);
    UnitSim sim;
    QVERIFY2(sim.start({QStringLiteral("--baud"), QStringLiteral("9600")}, !overTcp, overTcp),
             qPrintable(sim.errorString()));
    const QByteArray bytes = QByteArray(1999, 'x') + '\r';

    QElapsedTimer timer;
    QByteArray answer;
    if (overTcp) {
        QTcpSocket socket;
        QVERIFY(connectOnLoopback(socket, sim.tcpPort()));
        timer.start();
        socket.write(bytes);
        answer = readFromSocket(socket, "#", 6000);
    } else {
        PosixPort port(sim.ptyPath());
        timer.start();
        QVERIFY(port.write(bytes));
        answer = port.readUntil("#", 6000);
    }
    const qint64 elapsedMs = timer.elapsed();
    QCOMPARE(answer, QByteArray("OK\r\n#"));
    QCOMPARE(sim.received(), bytes);
    QVERIFY2(elapsedMs >= 1800, qPrintable(QString::number(elapsedMs)));
    // Sliced, not swallowed whole.
    QVERIFY(sim.chunks().size() > 50);
}

void tst_UnitSim::pacingTurnedOffMidway_data()
{
    pacedReception_data();
}

// Bytes held back by pacing must not wait for a client that has nothing more to send.
void tst_UnitSim::pacingTurnedOffMidway()
{
    QFETCH(bool, overTcp);
    UnitSim sim;
    // 60 bytes at 150 baud would take 4 s; they all fit in the buffers on the way.
    QVERIFY2(sim.start({QStringLiteral("--baud"), QStringLiteral("150")}, !overTcp, overTcp),
             qPrintable(sim.errorString()));
    const QByteArray bytes = QByteArray(59, 'x') + '\r';

    QByteArray answer;
    if (overTcp) {
        QTcpSocket socket;
        QVERIFY(connectOnLoopback(socket, sim.tcpPort()));
        socket.write(bytes);
        QVERIFY(socket.waitForBytesWritten(3000));
        QVERIFY(sim.waitForReceived(3));
        QVERIFY(sim.command(QStringLiteral("baud off")));
        answer = readFromSocket(socket, "#", 1500);
    } else {
        PosixPort port(sim.ptyPath());
        QVERIFY(port.write(bytes));
        QVERIFY(sim.waitForReceived(3));
        QVERIFY(sim.command(QStringLiteral("baud off")));
        answer = port.readUntil("#", 1500);
    }
    QCOMPARE(answer, QByteArray("OK\r\n#"));
    QCOMPARE(sim.received(), bytes);
}

void tst_UnitSim::endsRemovingItsLink_data()
{
    QTest::addColumn<QString>("end");
    QTest::newRow("its input closes") << "input";
    QTest::newRow("the quit command") << "quit";
    QTest::newRow("SIGTERM, as kill sends it") << "SIGTERM";
}

// Nothing is left behind in the ports folder, however the unit is ended.
void tst_UnitSim::endsRemovingItsLink()
{
    QFETCH(QString, end);
    UnitSim sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    const QString link = sim.ptyPath();
    QVERIFY(QFileInfo(link).isSymLink());
    if (end == "input")
        QVERIFY(sim.stop(10000));
    else if (end == "quit")
        QVERIFY(sim.command(QStringLiteral("quit")));
    else
        QCOMPARE(::kill(pid_t(sim.processId()), SIGTERM), 0);
    QVERIFY(sim.waitUntil([&] { return !sim.isRunning(); }, 10000));
    QVERIFY(!QFileInfo(link).isSymLink());
}

QTEST_MAIN(tst_UnitSim)
#include "tst_unitsim.moc"
