// Tamrin on a real X display (Xvfb, started by CTest): what the operator's desktop shows of
// its windows, read back with xwininfo and xprop from the real program, the splash picture
// painted before its pause, and how the main window keeps up with a flood of output while the
// operator uses its menus. Under a real window manager (Debian's openbox, started by the tests
// that need one): which window is on top while a message box waits.
#include "BrandSettings.h"
#include "FormFixture.h"
#include "UnitSim.h"

#include "app/CaptionBar.h"
#include "app/ClientSocketForm.h"
#include "app/InfoForm.h"
#include "app/ProgressForm.h"
#include "app/QtOperatorDialogs.h"
#include "app/SplashForm.h"
#include "app/TerminalPane.h"
#include "upload/UploadState.h"

#include <QElapsedTimer>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QTcpServer>
#include <QTimer>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <xcb/xcb.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>
#include <vector>

// A window manager that takes its time: from a connection of its own it takes over the mapping
// of top-level windows, as every window manager does, and maps each one only after a delay.
class SlowWindowManager
{
public:
    explicit SlowWindowManager(int delayMs);
    ~SlowWindowManager();
    SlowWindowManager(const SlowWindowManager &) = delete;
    SlowWindowManager &operator=(const SlowWindowManager &) = delete;

private:
    void run(int delayMs);
    void configure(const xcb_configure_request_event_t &request);

    xcb_connection_t *m_connection;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

SlowWindowManager::SlowWindowManager(int delayMs) : m_connection(xcb_connect(nullptr, nullptr))
{
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
    const uint32_t events = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT;
    // Checked, so that the redirection is in place before the test goes on.
    free(xcb_request_check(m_connection,
                           xcb_change_window_attributes_checked(m_connection, screen->root,
                                                                XCB_CW_EVENT_MASK, &events)));
    m_thread = std::thread([this, delayMs] { run(delayMs); });
}

// The server takes the mapping back when the connection closes.
SlowWindowManager::~SlowWindowManager()
{
    m_stop = true;
    m_thread.join();
    xcb_disconnect(m_connection);
}

void SlowWindowManager::run(int delayMs)
{
    while (!m_stop) {
        xcb_generic_event_t *event = xcb_poll_for_event(m_connection);
        if (!event) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        const int type = event->response_type & ~0x80;
        if (type == XCB_MAP_REQUEST) {
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            xcb_map_window(m_connection,
                           reinterpret_cast<xcb_map_request_event_t *>(event)->window);
        } else if (type == XCB_CONFIGURE_REQUEST) {
            configure(*reinterpret_cast<xcb_configure_request_event_t *>(event));
        }
        free(event);
        xcb_flush(m_connection);
    }
}

// A move or resize asked for is granted as asked; the values go in the order of the mask bits.
void SlowWindowManager::configure(const xcb_configure_request_event_t &request)
{
    const std::pair<uint16_t, uint32_t> fields[] = {
        {XCB_CONFIG_WINDOW_X, uint32_t(request.x)},
        {XCB_CONFIG_WINDOW_Y, uint32_t(request.y)},
        {XCB_CONFIG_WINDOW_WIDTH, request.width},
        {XCB_CONFIG_WINDOW_HEIGHT, request.height},
        {XCB_CONFIG_WINDOW_BORDER_WIDTH, request.border_width},
        {XCB_CONFIG_WINDOW_SIBLING, request.sibling},
        {XCB_CONFIG_WINDOW_STACK_MODE, request.stack_mode}};
    std::vector<uint32_t> values;
    for (const auto &[bit, value] : fields) {
        if (request.value_mask & bit)
            values.push_back(value);
    }
    xcb_configure_window(m_connection, request.window, request.value_mask, values.data());
}

// How long the tests under a window manager wait for it at most: long enough for a machine
// under load, where a shorter wait would fail a correct program now and then.
constexpr int Patience = 30000;

// Openbox as the operator's window manager for as long as the object lives: it manages the
// windows of this display, stacks them and draws their frames.
class Openbox
{
public:
    Openbox();
    ~Openbox();
    Openbox(const Openbox &) = delete;
    Openbox &operator=(const Openbox &) = delete;

    bool running() const { return m_running; }
    // The windows it manages, bottom to top.
    static QList<WId> stackingOrder();
    // The frame it draws round a window, "left, right, top, bottom"; empty before it has
    // taken the window over.
    static QString frameOf(WId window);
    // Where a window it has taken over is on the screen, its frame included, as the X server
    // has it; empty before.
    static QRect placeOf(WId window);
    // Shows the window and waits until it is taken over; where it is then.
    static QRect shownAndPlaced(QWidget &window);

private:
    static QString rootProperty(const QString &property);
    static bool managing();

    QTemporaryDir m_folder;
    QProcess m_process;
    bool m_running = false;
};

QString Openbox::rootProperty(const QString &property)
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-root"), property});
    xprop.waitForFinished(5000);
    return QString::fromUtf8(xprop.readAllStandardOutput());
}

// The window named on the root is openbox's own, not one left by an earlier openbox.
bool Openbox::managing()
{
    const QString check = rootProperty(QStringLiteral("_NET_SUPPORTING_WM_CHECK"));
    if (!check.contains(QLatin1Char('#')))
        return false;
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"),
                {QStringLiteral("-id"), check.section(QLatin1Char('#'), 1).trimmed(),
                 QStringLiteral("_NET_WM_NAME")});
    xprop.waitForFinished(5000);
    return xprop.readAllStandardOutput().contains("\"Openbox\"");
}

// Started, openbox runs the command it is given once it is ready: only windows shown after
// that are sure to be taken over, not one shown while it looks at those already there.
Openbox::Openbox()
{
    const QString ready = m_folder.filePath(QStringLiteral("ready"));
    m_process.start(QStringLiteral("openbox"),
                    {QStringLiteral("--sm-disable"), QStringLiteral("--startup"),
                     QStringLiteral("touch ") + ready});
    if (!m_process.waitForStarted())
        return;
    const QDeadlineTimer deadline(Patience);
    while (!QFileInfo::exists(ready) && !deadline.hasExpired() &&
           m_process.state() == QProcess::Running)
        QTest::qWait(50);
    m_running = m_process.state() == QProcess::Running && QFileInfo::exists(ready) && managing();
}

// It gives the windows back to the server as it ends.
Openbox::~Openbox()
{
    m_process.terminate();
    m_process.waitForFinished(10000);
}

QString Openbox::frameOf(WId window)
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window),
                                          QStringLiteral("_NET_FRAME_EXTENTS")});
    xprop.waitForFinished(5000);
    const QString extents = QString::fromUtf8(xprop.readAllStandardOutput());
    return extents.contains(QLatin1Char('=')) ? extents.section(QLatin1Char('='), 1).trimmed()
                                              : QString();
}

QRect Openbox::placeOf(WId window)
{
    const QStringList frame = frameOf(window).split(QStringLiteral(", "));
    QProcess xwininfo;
    xwininfo.start(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(window)});
    xwininfo.waitForFinished(5000);
    const QString info = QString::fromUtf8(xwininfo.readAllStandardOutput());
    const auto value = [&info](const char *name) {
        const QRegularExpression line(QLatin1String(name) + QStringLiteral(":\\s+(-?\\d+)"));
        return line.match(info).captured(1).toInt();
    };
    if (frame.size() != 4)
        return QRect();
    const QRect client(value("Absolute upper-left X"), value("Absolute upper-left Y"),
                       value("Width"), value("Height"));
    return client.adjusted(-frame.at(0).toInt(), -frame.at(2).toInt(), frame.at(1).toInt(),
                           frame.at(3).toInt());
}

QRect Openbox::shownAndPlaced(QWidget &window)
{
    window.show();
    const QDeadlineTimer deadline(Patience);
    QRect place = placeOf(window.winId());
    while (place.isEmpty() && !deadline.hasExpired()) {
        QTest::qWait(50);
        place = placeOf(window.winId());
    }
    return place;
}

QList<WId> Openbox::stackingOrder()
{
    QList<WId> order;
    const QString list = rootProperty(QStringLiteral("_NET_CLIENT_LIST_STACKING"));
    for (const QString &id : list.section(QLatin1Char('#'), 1).split(QLatin1Char(','))) {
        bool ok = false;
        const WId window = id.trimmed().toULongLong(&ok, 16);
        if (ok)
            order << window;
    }
    return order;
}

// Whether a window has been told it is fullscreen, however briefly.
class FullScreenSeen : public QObject
{
public:
    bool fullScreen = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::WindowStateChange)
            fullScreen = fullScreen || static_cast<QWidget *>(watched)->isFullScreen();
        return QObject::eventFilter(watched, event);
    }
};

class tst_Desktop : public QObject
{
    Q_OBJECT
private slots:
    void captionsAreExactlyTheWindowsOwn();
    void splashIsPaintedBeforeItsPause_data();
    void splashIsPaintedBeforeItsPause();
    void floodLeavesTheWindowResponsive();
    void messageBoxIsTheTopmostWindow_data();
    void messageBoxIsTheTopmostWindow();
    void mainWindowOpensCentred();
    void framesAreWhatTheWindowsAskFor_data();
    void framesAreWhatTheWindowsAskFor();
    void fullScreenLeavesTheMainWindowWhereItWas();
    void paneIsReadOverAtSpi();

private:
    struct BoxSeen
    {
        bool onTop = false;
        QString stacking; // the windows' captions, bottom to top
    };
    static std::shared_ptr<BoxSeen> whenBoxIsManaged(const QString &besides);
    static void askForFullScreen(WId window);
    static int colourCount(const QImage &image);
    static QStringList windowNames();
    static QString windowProperty(const QString &windowName, const QString &property);
};

// The names of all windows on the display, as the window manager would show them.
QStringList tst_Desktop::windowNames()
{
    QProcess xwininfo;
    xwininfo.start(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
    if (!xwininfo.waitForFinished(5000))
        return {};
    QStringList names;
    static const QRegularExpression named(QStringLiteral("^\\s*0x[0-9a-f]+ \"(.*)\": "));
    for (const QString &line : QString::fromUtf8(xwininfo.readAllStandardOutput()).split('\n')) {
        const QRegularExpressionMatch match = named.match(line);
        if (match.hasMatch())
            names << match.captured(1);
    }
    return names;
}

// One property of the window of that name, as xprop prints it.
QString tst_Desktop::windowProperty(const QString &windowName, const QString &property)
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-name"), windowName, property});
    xprop.waitForFinished(5000);
    return QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
}

void tst_Desktop::captionsAreExactlyTheWindowsOwn()
{
    QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "needs an X display: run under xvfb-run");
    // A unit that never answers keeps the information window up while its port is checked.
    UnitSim unit;
    QVERIFY2(unit.start({QStringLiteral("--mute")}), qPrintable(unit.errorString()));
    QTemporaryDir folder;
    QProcess tamrin;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TAMRIN_PORTS_DIR"), unit.portsDir());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    tamrin.setProcessEnvironment(environment);
    tamrin.setWorkingDirectory(folder.path());
    tamrin.start(QStringLiteral(TAMRIN_APP_PATH), QStringList{});
    QVERIFY(tamrin.waitForStarted());

    QSet<QString> seen;
    const auto bothSeen = [&] {
        bool information = false;
        bool main = false;
        for (const QString &name : std::as_const(seen)) {
            information = information || name.startsWith(QStringLiteral("Information"));
            main = main || name.startsWith(QStringLiteral("Quenby Research Inc. :- Tamrin"));
        }
        return information && main;
    };
    const QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired() && !bothSeen()) {
        for (const QString &name : windowNames())
            seen.insert(name);
        QTest::qWait(20);
    }
    // A fixed border: the window manager is offered no maximise button, and one size only.
    const QString main = QStringLiteral("Quenby Research Inc. :- Tamrin");
    const QStringList motif = windowProperty(main, QStringLiteral("_MOTIF_WM_HINTS"))
                                  .section(QLatin1Char('='), 1)
                                  .split(QLatin1Char(','));
    const QString sizes = windowProperty(main, QStringLiteral("WM_NORMAL_HINTS"));
    tamrin.kill();
    tamrin.waitForFinished();
    QCOMPARE(motif.size(), 5);
    constexpr uint MaximizeFunction = 0x10;
    constexpr uint MaximizeDecoration = 0x40;
    QCOMPARE(motif.at(1).trimmed().toUInt(nullptr, 16) & MaximizeFunction, 0u);
    QCOMPARE(motif.at(2).trimmed().toUInt(nullptr, 16) & MaximizeDecoration, 0u);
    QVERIFY2(sizes.contains("minimum size: 526 by") && sizes.contains("maximum size: 526 by"),
             qPrintable(sizes));
    QVERIFY2(seen.contains(QStringLiteral("Information")), qPrintable(seen.values().join('|')));
    QVERIFY2(seen.contains(QStringLiteral("Quenby Research Inc. :- Tamrin")),
             qPrintable(seen.values().join('|')));
    for (const QString &name : std::as_const(seen))
        QVERIFY2(!name.contains(QStringLiteral(" \u2014 ")), qPrintable(name));
}

// Different colours in a sample of every third pixel: a drawn window has many.
int tst_Desktop::colourCount(const QImage &image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 3)
            colours.insert(image.pixel(x, y));
    return int(colours.size());
}

void tst_Desktop::splashIsPaintedBeforeItsPause_data()
{
    QTest::addColumn<QByteArray>("line23");
    QTest::addColumn<QSize>("size");
    QTest::newRow("Telvin") << QByteArray("Brand=0") << QSize(600, 400);
    QTest::newRow("KTQ") << QByteArray("Brand=100") << QSize(800, 700);
}

// The pause blocks painting: unless the picture is on screen when it starts, the operator
// looks at a black window for 600 ms.
void tst_Desktop::splashIsPaintedBeforeItsPause()
{
    QFETCH(QByteArray, line23);
    QFETCH(QSize, size);
    QTemporaryDir folder;
    QVERIFY(writeBrandSettings(folder.path(), line23));
    const QString started = QDir::currentPath();
    QDir::setCurrent(folder.path());
    std::optional<SlowWindowManager> windowManager(std::in_place, 200);
    TSplashForm splash({});
    windowManager.reset();
    QDir::setCurrent(started);
    QCOMPARE(splash.size(), size);
    QVERIFY2(splash.picturePaintsBeforePause() > 0, "the pause began before the first paint");
    const QImage onScreen = splash.screen()->grabWindow(splash.winId()).toImage();
    QVERIFY2(colourCount(onScreen) > 8, qPrintable(QString::number(colourCount(onScreen))));
}

void tst_Desktop::floodLeavesTheWindowResponsive()
{
    UnitSim unit;
    QVERIFY2(unit.start(), qPrintable(unit.errorString()));
    FormFixture fixture(unit.portsDir());
    TTamrinForm &form = fixture.form();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(fixture.openComPort(3));
    // The window is drawn: its picture has more than a handful of colours.
    const QImage drawn = form.screen()->grabWindow(form.winId()).toImage();
    QVERIFY2(colourCount(drawn) > 8, qPrintable(QString::number(colourCount(drawn))));

    // 200 KB at once; meanwhile the operator opens the Terminal menu, which opens, and every
    // line reaches the pane. How soon the menu shows is bench_link's figure.
    constexpr int FloodBytes = 200000;
    QVERIFY(unit.command(QStringLiteral("flood %1").arg(FloodBytes)));
    QTimer::singleShot(20, this,
                       [&] { control<QMenu>(form, "TerminalMenu")->popup(QPoint(100, 100)); });
    QTRY_VERIFY_WITH_TIMEOUT(control<QMenu>(form, "TerminalMenu")->isVisible(), Patience);
    const TerminalModel &model = form.terminal().model();
    QTRY_COMPARE_WITH_TIMEOUT(model.linesScrolled() + model.cursorRow(), qint64(FloodBytes / 64),
                              Patience);
    control<QMenu>(form, "TerminalMenu")->hide();
}

// What the window manager stacks while the next message box waits: once it manages the box
// and the window whose caption begins with 'besides', whether the box is the top one. The box
// is then answered.
std::shared_ptr<tst_Desktop::BoxSeen> tst_Desktop::whenBoxIsManaged(const QString &besides)
{
    auto seen = std::make_shared<BoxSeen>();
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, seen, besides] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        const QList<WId> order = Openbox::stackingOrder();
        QStringList captions;
        for (const WId id : order) {
            const QWidget *window = QWidget::find(id);
            captions << (window ? window->windowTitle() : QStringLiteral("?"));
        }
        const bool besidesManaged =
            std::any_of(captions.cbegin(), captions.cend(),
                        [&](const QString &c) { return c.startsWith(besides); });
        if (!order.contains(box->winId()) || !besidesManaged)
            return;
        seen->onTop = order.last() == box->winId();
        seen->stacking = captions.join(QStringLiteral(" < "));
        poll->deleteLater();
        poll->stop();
        box->done(QMessageBox::Ok);
    });
    poll->start(50);
    return seen;
}

void tst_Desktop::messageBoxIsTheTopmostWindow_data()
{
    QTest::addColumn<QString>("occasion");
    QTest::addColumn<QString>("onTopBesides");
    const QString dialog = QStringLiteral("Quenby Research Inc. :- Tamrin - Ethernet");
    QTest::newRow("Ethernet dialog: the port refuses") << "refused" << dialog;
    QTest::newRow("Ethernet dialog: port 70000") << "port 70000" << dialog;
    QTest::newRow("start-up: the port is held elsewhere") << "held"
                                                          << "Information";
}

// A box under a window that stays on top waits unseen: the operator sees a greyed window and
// presses Enter blind.
void tst_Desktop::messageBoxIsTheTopmostWindow()
{
    QFETCH(QString, occasion);
    QFETCH(QString, onTopBesides);
    Openbox openbox;
    QVERIFY2(openbox.running(), "openbox did not start");
    // A unit whose port another program holds, or none.
    UnitSim unit;
    if (occasion == "held") {
        QVERIFY2(unit.start(), qPrintable(unit.errorString()));
        QVERIFY(unit.command(QStringLiteral("hold")));
    }
    const auto fixture = occasion == "held" ? std::make_unique<FormFixture>(unit.portsDir())
                                            : std::make_unique<FormFixture>();
    OperatorDialogs::install(new QtOperatorDialogs);
    TTamrinForm &form = fixture->form();
    const std::shared_ptr<BoxSeen> seen = whenBoxIsManaged(onTopBesides);
    form.show();
    if (occasion != "held") {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 refusing = closed.serverPort();
        closed.close();
        TClientSocketForm &dialog = *fixture->windows().ethernet;
        dialog.setOctets({127, 0, 0, 1});
        dialog.setPort(occasion == "refused" ? refusing : 70000);
        form.EnetConnect1Click();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog, Patience));
        dialog.ConnectButtonClick();
    }
    QTRY_VERIFY_WITH_TIMEOUT(!seen->stacking.isEmpty(), Patience);
    QVERIFY2(seen->onTop, qPrintable(seen->stacking));
}

// Even with the middle of the screen taken, where a window manager would place it elsewhere.
void tst_Desktop::mainWindowOpensCentred()
{
    Openbox openbox;
    QVERIFY2(openbox.running(), "openbox did not start");
    QWidget taken;
    taken.setWindowTitle(QStringLiteral("in the middle"));
    const QRect screen = taken.screen()->availableGeometry();
    taken.setGeometry(QRect(QPoint(0, 0), screen.size() / 2).translated(screen.center() / 2));
    taken.show();
    QVERIFY(QTest::qWaitForWindowExposed(&taken, Patience));
    FormFixture fixture;
    TTamrinForm &form = fixture.form();
    const QRect placed = Openbox::shownAndPlaced(form);
    QVERIFY(!placed.isEmpty());
    // Within half the frame, which is not known before the window is on screen.
    const QSize frame = placed.size() - form.size();
    const QPoint offset = placed.center() - screen.center();
    QVERIFY2(std::abs(offset.x()) <= frame.width() / 2 + 1 &&
                 std::abs(offset.y()) <= frame.height() / 2 + 1,
             qPrintable(QStringLiteral("%1,%2 off the middle").arg(offset.x()).arg(offset.y())));
}

// As a screen reader reads it: over AT-SPI, from the real program, once the unit has answered
// the script's VER. The script's last box keeps the run, and the pane, waiting meanwhile.
void tst_Desktop::paneIsReadOverAtSpi()
{
    QVERIFY2(qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"),
             "needs a session bus: run under dbus-run-session");
    UnitSim unit;
    QVERIFY2(unit.start(), qPrintable(unit.errorString()));
    QTemporaryDir folder;
    QFile script(folder.filePath(QStringLiteral("read.sld")));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("_WP\n_SC \"VER\"\n_DM \"Read the pane\"\n");
    script.close();
    QFile settings(folder.filePath(QStringLiteral("LoaderDefault.ini")));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    for (int line = 1; line <= 29; ++line)
        settings.write(line == 6 ? "Script=read.sld\n" : line == 8 ? "Mode=AUTOMATIC\n" : "-\n");
    settings.close();
    QProcess tamrin;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TAMRIN_PORTS_DIR"), unit.portsDir());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    // As when a screen reader runs on the desktop.
    environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    tamrin.setProcessEnvironment(environment);
    tamrin.setWorkingDirectory(folder.path());
    tamrin.start(QStringLiteral(TAMRIN_APP_PATH), QStringList{});
    QProcess reader;
    reader.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(TAMRIN_READ_PANE), QStringLiteral("2.08")});
    const bool read = reader.waitForFinished(120000);
    tamrin.kill();
    tamrin.waitForFinished();
    const QByteArray said = reader.readAllStandardOutput() + reader.readAllStandardError();
    QVERIFY2(read && reader.exitCode() == 0, said.constData());
    const QJsonObject pane = QJsonDocument::fromJson(said).object();
    QCOMPARE(pane.value(QStringLiteral("text")).toString(), QStringLiteral("2.08\n#"));
    QCOMPARE(pane.value(QStringLiteral("count")).toInt(), 6);
    // The caret is the cursor, after the prompt.
    QCOMPARE(pane.value(QStringLiteral("caret")).toInt(), 6);
    QCOMPARE(pane.value(QStringLiteral("line")).toString(), QStringLiteral("2.08\n"));
    QCOMPARE(pane.value(QStringLiteral("lineEnd")).toInt(), 5);
}

void tst_Desktop::framesAreWhatTheWindowsAskFor_data()
{
    QTest::addColumn<QString>("window");
    QTest::newRow("progress") << "progress";
    QTest::newRow("information") << "information";
}

// A title and no buttons: openbox would draw minimise, maximise and close on any frame it gives
// them, so it must give them none, and the window shows its own caption.
void tst_Desktop::framesAreWhatTheWindowsAskFor()
{
    QFETCH(QString, window);
    Openbox openbox;
    QVERIFY2(openbox.running(), "openbox did not start");
    FormFixture fixture;
    QWidget *shown = fixture.windows().info;
    if (window == "progress") {
        fixture.windows().progress->ShowProgressForm(1, UploadState());
        shown = fixture.windows().progress;
    } else {
        fixture.windows().info->showNotice();
    }
    QVERIFY(QTest::qWaitForWindowExposed(shown, Patience));
    QTRY_VERIFY_WITH_TIMEOUT(!Openbox::frameOf(shown->winId()).isEmpty(), Patience);
    QCOMPARE(Openbox::frameOf(shown->winId()), QStringLiteral("0, 0, 0, 0"));
    const auto *caption = shown->findChild<CaptionBar *>();
    QVERIFY(caption);
    QVERIFY(caption->isVisible());
    QCOMPARE(caption->caption(), shown->windowTitle());
    if (window == "progress")
        fixture.windows().progress->HideProgressForm();
}

// The window has one size: a fullscreen granted by the window manager would move it to the
// corner, with nothing more to show.
void tst_Desktop::fullScreenLeavesTheMainWindowWhereItWas()
{
    Openbox openbox;
    QVERIFY2(openbox.running(), "openbox did not start");
    FormFixture fixture;
    TTamrinForm &form = fixture.form();
    const QRect placed = Openbox::shownAndPlaced(form);
    QVERIFY(!placed.isEmpty());
    FullScreenSeen seen;
    form.installEventFilter(&seen);
    // Asked again until it is granted: a window manager may drop a request it gets too soon.
    const QDeadlineTimer deadline(Patience);
    while (!seen.fullScreen && !deadline.hasExpired()) {
        askForFullScreen(form.winId());
        QTest::qWait(200);
    }
    QVERIFY(seen.fullScreen);
    const auto where = [&form] {
        const QRect place = Openbox::placeOf(form.winId());
        return QStringLiteral("at %1,%2").arg(place.x()).arg(place.y());
    };
    QTRY_VERIFY2_WITH_TIMEOUT(Openbox::placeOf(form.winId()) == placed && !form.isFullScreen(),
                              qPrintable(where()), Patience);
}

// As a pager or a key binding asks it of the window manager (EWMH _NET_WM_STATE).
void tst_Desktop::askForFullScreen(WId window)
{
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    const auto atom = [connection](const char *name) {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, uint16_t(strlen(name)), name), nullptr);
        const xcb_atom_t found = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        free(reply);
        return found;
    };
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = xcb_window_t(window);
    message.type = atom("_NET_WM_STATE");
    message.data.data32[0] = 1; // add
    message.data.data32[1] = atom("_NET_WM_STATE_FULLSCREEN");
    message.data.data32[3] = 1; // from an application
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_send_event(connection, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&message));
    xcb_flush(connection);
    xcb_disconnect(connection);
}

QTEST_MAIN(tst_Desktop)
#include "tst_desktop.moc"
