// The main window: its menu tree, the version label that reveals Send File, closing with and
// without an upload running, and the one-line stderr form of every message. Then what the
// operator sees of the windows: the terminal font dialog, texts that fit their places in the
// fonts the set-up installs, message boxes, the progress window that stays up, the icon.
#include "FormFixture.h"

#include "app/ClientSocketForm.h"
#include "app/ElidedLabel.h"
#include "app/InfoForm.h"
#include "app/ProgressForm.h"
#include "app/QtOperatorDialogs.h"
#include "app/SplashForm.h"
#include "app/StatusLight.h"
#include "app/TerminalPane.h"
#include "app/WindowLook.h"
#include "base/OperatorDialogs.h"

#include <QAccessible>
#include <QAction>
#include <QFontDialog>
#include <QFontInfo>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressBar>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTemporaryFile>
#include <QTimer>
#include <QToolTip>
#include <QtTest>

#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>

class tst_MainWindow : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void menuTree();
    void clientHeightBelowTheMenuBar_data();
    void clientHeightBelowTheMenuBar();
    void versionLabelFlipsSendFile();
    void ownWidgetsAreDescribed();
    void tabFromThePaneStaysInTheWindow();
    void closeWithoutUploadEndsAtOnce();
    void closeDuringUploadAsks_data();
    void closeDuringUploadAsks();
    void messagesGoToStandardError_data();
    void messagesGoToStandardError();
    void terminalFontDialog_data();
    void terminalFontDialog();
    void textsFit_data();
    void textsFit();
    void messageBoxesOpenCentredAndWide_data();
    void messageBoxesOpenCentredAndWide();
    void progressWindowCannotBeClosed();
    void everyWindowCarriesTheProgramIcon();

private:
    struct Shown
    {
        QString text;
        QFont font;
        int room = 0; // the width the text may take
    };
    Shown shownAt(const QString &place, const QString &text);
    Shown shownName(const QString &path);

    std::unique_ptr<FormFixture> m_fixture;
};

void tst_MainWindow::init()
{
    m_fixture = std::make_unique<FormFixture>();
}

void tst_MainWindow::cleanup()
{
    m_fixture.reset();
}

// "Caption" for an entry, "Caption>" for a submenu, "-" for a separator, "(hidden)" appended
// to entries the operator cannot see.
static QStringList describe(const QList<QAction *> &actions, const QString &prefix)
{
    QStringList lines;
    for (QAction *action : actions) {
        QString text = action->isSeparator() ? QStringLiteral("-") : action->text();
        if (!action->isVisible())
            text += QStringLiteral(" (hidden)");
        lines << prefix + text;
        if (action->menu())
            lines << describe(action->menu()->actions(), prefix + action->text() + '>');
    }
    return lines;
}

void tst_MainWindow::menuTree()
{
    QStringList expected{"Exit", "Communication", "Communication>RS232 Config",
                         "Communication>RS232 Config>COM Port",
                         "Communication>RS232 Config>COM Port>None"};
    for (int n = 1; n <= 16; ++n)
        expected << QStringLiteral("Communication>RS232 Config>COM Port>COM%1").arg(n);
    expected << "Communication>RS232 Config>COM Port>-"
             << "Communication>RS232 Config>COM Port>Search"
             << "Communication>RS232 Config>Baud";
    for (const char *baud : {"1200", "2400", "9600", "19200", "38400", "57600", "115200"})
        expected << QStringLiteral("Communication>RS232 Config>Baud>") + baud;
    expected << "Communication>Ethernet"
             << "Communication>Ethernet>Disconnect"
             << "Communication>Ethernet>Connect"
             << "Communication>Send File (hidden)"
             << "Terminal"
             << "Terminal>Visible"
             << "Terminal>Background Color";
    const QStringList colours{"Black", "Red", "Green", "Blue", "White", "-", "Default"};
    for (const QString &colour : colours)
        expected << "Terminal>Background Color>" + colour;
    expected << "Terminal>Text Color (hidden)";
    for (const QString &colour : colours)
        expected << "Terminal>Text Color>" + colour;
    expected << "Terminal>Terminal Fonts..."
             << "Terminal>Clear";

    TTamrinForm &form = m_fixture->form();
    QCOMPARE(describe(form.menuBar()->actions(), QString()), expected);
    QVERIFY(control<QAction>(form, "VisibleMenu")->isChecked());
}

void tst_MainWindow::clientHeightBelowTheMenuBar_data()
{
    QTest::addColumn<int>("visibleClicks");
    QTest::addColumn<int>("clientHeight");
    QTest::newRow("first layout") << 0 << 425;
    QTest::newRow("pane hidden") << 1 << 139;
    QTest::newRow("pane shown again, 5 less than at start") << 2 << 420;
}

void tst_MainWindow::clientHeightBelowTheMenuBar()
{
    QFETCH(int, visibleClicks);
    QFETCH(int, clientHeight);
    TTamrinForm &form = m_fixture->form();
    form.show();
    for (int i = 0; i < visibleClicks; ++i)
        form.VisibleMenuClick();
    QCoreApplication::processEvents();
    QCOMPARE(form.height() - form.menuBar()->height(), clientHeight);
    // The status line sits at the bottom and covers nothing of the pane above it.
    QCOMPARE(form.statusBar()->geometry().bottom(), form.height() - 1);
    if (control<QAction>(form, "VisibleMenu")->isChecked()) {
        const int paneBottom =
            control<TerminalPane>(form, "AdTerminal1")->mapTo(&form, QPoint(0, 281)).y();
        QVERIFY2(paneBottom <= form.statusBar()->y(), qPrintable(QString::number(paneBottom)));
    }
}

void tst_MainWindow::versionLabelFlipsSendFile()
{
    TTamrinForm &form = m_fixture->form();
    form.show();
    QVERIFY(!control<QAction>(form, "SendFile1")->isVisible());
    QTest::mouseClick(control<QLabel>(form, "VersionLabel"), Qt::LeftButton);
    QVERIFY(control<QAction>(form, "SendFile1")->isVisible());
    QTest::mouseClick(control<QLabel>(form, "VersionLabel"), Qt::LeftButton);
    QVERIFY(!control<QAction>(form, "SendFile1")->isVisible());
}

void tst_MainWindow::ownWidgetsAreDescribed()
{
    TTamrinForm &form = m_fixture->form();
    control<TerminalPane>(form, "AdTerminal1")->WriteString("VER\r\n2.08\r\n#");
    QAccessibleInterface *pane =
        QAccessible::queryAccessibleInterface(control<TerminalPane>(form, "AdTerminal1"));
    QVERIFY(pane);
    QCOMPARE(pane->text(QAccessible::Name), QStringLiteral("Terminal"));
    QCOMPARE(pane->text(QAccessible::Value), QStringLiteral("VER\n2.08\n#"));
    StatusLight *txd = form.findChild<StatusLight *>(QStringLiteral("TXDLight"));
    QVERIFY(txd);
    QAccessibleInterface *light = QAccessible::queryAccessibleInterface(txd);
    QCOMPARE(light->text(QAccessible::Name), QStringLiteral("TXD light"));
    QCOMPARE(light->text(QAccessible::Value), QStringLiteral("off"));
    QVERIFY(light->valueInterface());
    QCOMPARE(light->valueInterface()->currentValue().toInt(), 0);
    txd->setLit(true);
    QCOMPARE(light->text(QAccessible::Value), QStringLiteral("on"));
    QCOMPARE(light->valueInterface()->currentValue().toInt(), 1);
    // Fields that only a caption beside them names, and a bar that has no caption.
    const TClientSocketForm &ethernet = *m_fixture->windows().ethernet;
    const std::pair<QWidget *, const char *> named[] = {
        {ethernet.IPEdit[0], "IP Address, first number"},
        {ethernet.IPEdit[3], "IP Address, fourth number"},
        {ethernet.PortEdit, "Port"},
        {m_fixture->windows().progress->FileProgressBar, "File upload progress"}};
    for (const auto &[widget, name] : named)
        QCOMPARE(QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name),
                 QString::fromLatin1(name));
}

// The timing controls lie beyond the window's right edge: a key there would act unseen (Space
// on Button1 sends its command a hundred times).
void tst_MainWindow::tabFromThePaneStaysInTheWindow()
{
    TTamrinForm &form = m_fixture->form();
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    control<TerminalPane>(form, "AdTerminal1")->setFocus();
    const QRect shown = form.rect();
    for (int press = 0; press < 12; ++press) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        const QWidget *focused = QApplication::focusWidget();
        QVERIFY(focused);
        const QRect place(focused->mapTo(&form, QPoint(0, 0)), focused->size());
        QVERIFY2(shown.contains(place), qPrintable(focused->metaObject()->className()));
    }
}

void tst_MainWindow::closeWithoutUploadEndsAtOnce()
{
    TTamrinForm &form = m_fixture->form();
    form.show();
    form.ExitMenuClick();
    QCOMPARE(m_fixture->exitStatus(), 0);
    QVERIFY(m_fixture->dialogs().questions.isEmpty());
    QVERIFY(!form.deviceLink().capturing());
    QVERIFY(!form.isVisible());
}

// Standard error of this process, collected in a file while the object lives.
class StandardErrorCapture
{
public:
    StandardErrorCapture()
    {
        m_file.open();
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        ::dup2(m_file.handle(), STDERR_FILENO);
    }
    ~StandardErrorCapture() { restore(); }
    QStringList lines()
    {
        restore();
        m_file.seek(0);
        return QString::fromLocal8Bit(m_file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
        m_saved = -1;
    }
    QTemporaryFile m_file;
    int m_saved = -1;
};

void tst_MainWindow::closeDuringUploadAsks_data()
{
    QTest::addColumn<bool>("answer");
    QTest::addColumn<int>("exitStatus");
    QTest::addColumn<QString>("answerLine");
    QTest::newRow("No keeps the upload") << false << -1 << "Tamrin: answered No";
    QTest::newRow("Yes ends the process") << true << 0 << "Tamrin: answered Yes";
}

void tst_MainWindow::closeDuringUploadAsks()
{
    QFETCH(bool, answer);
    QFETCH(int, exitStatus);
    QFETCH(QString, answerLine);
    TTamrinForm &form = m_fixture->form();
    form.show();
    form.runControl().setTransferGoing(true);
    m_fixture->dialogs().answers = {answer};
    StandardErrorCapture standardError;
    form.close();
    QCOMPARE(m_fixture->dialogs().questions,
             QStringList{"Loader GUI : Confirm Exit: File upload in progress.\rAre you sure you "
                         "want to cancel upload and exit the application?"});
    QCOMPARE(m_fixture->exitStatus(), exitStatus);
    QCOMPARE(form.isVisible(), !answer);
    // An unattended run leaves a trace of the question and of how it was answered.
    QCOMPARE(standardError.lines(),
             (QStringList{"Tamrin: File upload in progress. Are you sure you want to cancel "
                          "upload and exit the application?",
                          answerLine}));
}

void tst_MainWindow::messagesGoToStandardError_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("line");
    QTest::newRow("plain") << "Exiting script"
                           << "Tamrin: Exiting script";
    QTest::newRow("CR and LF become blanks") << "File upload in progress.\rAre you\nsure"
                                             << "Tamrin: File upload in progress. Are you sure";
    QTest::newRow("empty") << ""
                           << "Tamrin: ";
}

void tst_MainWindow::messagesGoToStandardError()
{
    QFETCH(QString, text);
    QFETCH(QString, line);
    QCOMPARE(stderrLine(text), line);
}

// The dialog (the operator's hand on it) that a row plays once the font dialog is open.
static void whenModal(const std::function<void(QWidget *)> &act)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            poll->deleteLater();
            poll->stop();
            act(modal);
        }
    });
    poll->start(10);
}

void tst_MainWindow::terminalFontDialog_data()
{
    QTest::addColumn<QString>("dialog");
    QTest::newRow("OK unchanged") << "recorded";
    QTest::newRow("Qt's font dialog, OK unchanged") << "Qt";
    // Wider than 80 columns of the pane: the scroll bar reaches the rest and the view follows
    // the cursor there.
    QTest::newRow("a font too wide for 80 columns") << "wide";
}

void tst_MainWindow::terminalFontDialog()
{
    QFETCH(QString, dialog);
    TTamrinForm &form = m_fixture->form();
    form.show();
    TerminalPane &pane = *control<TerminalPane>(form, "AdTerminal1");
    const QFont before = pane.terminalFont();
    const QFontInfo drawn(before);
    RecordingDialogs &dialogs = m_fixture->dialogs();
    dialogs.fontDialog = [dialog](QWidget *owner, QFont &font) {
        if (dialog == "wide")
            font = QFont(QStringLiteral("DejaVu Sans Mono"), 14);
        if (dialog != "Qt")
            return true;
        whenModal([](QWidget *modal) { static_cast<QDialog *>(modal)->accept(); });
        return QtOperatorDialogs().chooseFont(owner, font);
    };
    form.TerminalFonts1Click();
    QCOMPARE(dialogs.fontsOffered.size(), 1);
    const QFont offered = dialogs.fontsOffered.first();
    QCOMPARE(offered.family(), drawn.family());
    QCOMPARE(offered.styleName(), drawn.styleName());
    QCOMPARE(offered.pointSize(), qRound(drawn.pointSizeF()));
    pane.WriteString(QByteArray(79, 'M'));
    const QScrollBar *sideways = pane.horizontalScrollBar();
    if (dialog != "wide") {
        QCOMPARE(pane.terminalFont(), before);
        QCOMPARE(sideways->maximum(), 0);
        return;
    }
    QVERIFY(sideways->maximum() > 0);
    const int cursorRight = 2 + 80 * QFontMetrics(pane.terminalFont()).horizontalAdvance('M');
    QVERIFY2(cursorRight - sideways->value() <= pane.viewport()->width(),
             qPrintable(QString::number(sideways->value())));
}

static QLabel *labelSaying(const QWidget &window, const QString &text)
{
    for (QLabel *label : window.findChildren<QLabel *>()) {
        if (label->text() == text)
            return label;
    }
    return nullptr;
}

static const char LongPath[] =
    "/home/operator/firmware/releases/2024/station-7/unit-controller/firmware.bin";

// The text a place shows, in its font, and the room it has there.
tst_MainWindow::Shown tst_MainWindow::shownAt(const QString &place, const QString &text)
{
    AppWindows &windows = m_fixture->windows();
    TProgressForm &progress = *windows.progress;
    UploadState upload;
    upload.fileName = place == "file name" ? text.toUtf8() : QByteArray(LongPath);
    upload.checksum = 0x5db3;
    upload.fileSize = 1234567890;
    upload.loadAddress = "80000000";
    upload.loadVersion = "V12.345";
    progress.ShowProgressForm(1, upload);
    if (place == "progress caption") {
        QLabel *caption = labelSaying(progress, text);
        const QList<QLabel *> values{progress.BlockNameLabel, progress.ChecksumLabel,
                                     progress.FileSizeLabel, progress.LoadAddressLabel,
                                     progress.DateModifiedLabel};
        int next = progress.width();
        for (QLabel *value : values) {
            if (value->y() == caption->y() && value->x() > caption->x())
                next = std::min(next, value->x());
        }
        return {text, caption->font(), next - caption->x()};
    }
    if (place == "file name")
        return shownName(text);
    if (place == "baud rate") {
        QLabel *baud = control<QLabel>(m_fixture->form(), "ComBaudLabel");
        baud->setText(text);
        // A caption gap clear of the RS-232 box's right border.
        const int border = baud->parentWidget()->contentsRect().right() + 1;
        return {text, baud->font(),
                std::min(baud->width(), border - WindowLook::CaptionGap - baud->x())};
    }
    if (place == "information") {
        windows.info->setText(text);
        const QLabel *label = windows.info->findChild<QLabel *>();
        return {label->text(), label->font(), label->contentsRect().width()};
    }
    if (place == "status line") {
        TTamrinForm &form = m_fixture->form();
        form.show();
        form.show_status(text);
        QCoreApplication::processEvents();
        QLabel *line = control<QLabel>(form, "InfoStatusBar");
        const auto *elided = dynamic_cast<const ElidedLabel *>(line);
        QHelpEvent hover(QEvent::ToolTip, QPoint(4, 4), line->mapToGlobal(QPoint(4, 4)));
        QCoreApplication::sendEvent(line, &hover);
        const QString tip = QToolTip::text();
        QToolTip::hideText();
        if (form.statusText() != text || tip != text)
            return {QStringLiteral("no whole text as the tip: ") + tip, line->font(), 0};
        const int room = std::min(line->contentsRect().width(), form.width() - line->x());
        return {elided ? elided->shownText() : line->text(), line->font(), room};
    }
    // A caption: the window must be wide enough for the caption and its title bar's buttons.
    windows.ethernet->setWindowTitle(text);
    return {text, WindowLook::captionFont(),
            windows.ethernet->width() - WindowLook::TitleBarFurniture};
}

// The name shown for 'path', which must end before the File Size caption. The caption and the
// size keep their places whatever the name, the size shows whole, and the file's own name is
// never cut while it fits with an ellipsis before it.
tst_MainWindow::Shown tst_MainWindow::shownName(const QString &path)
{
    const TProgressForm &progress = *m_fixture->windows().progress;
    const QLabel *caption = labelSaying(progress, QStringLiteral("File Size"));
    const QLabel *name = progress.BlockNameLabel;
    const QLabel *size = progress.FileSizeLabel;
    const QFontMetrics metrics(name->font());
    const int room = caption->x() - WindowLook::CaptionGap - name->x();
    const QString own = path.mid(path.lastIndexOf(QLatin1Char('/')));
    const bool ownNameFits = metrics.horizontalAdvance(QChar(0x2026) + own) <= room;
    if (caption->x() != 216 || size->x() != 291 || name->toolTip() != path ||
        size->width() < size->fontMetrics().horizontalAdvance(size->text()) ||
        size->geometry().right() >= progress.width() ||
        (ownNameFits && !name->text().endsWith(own)))
        return {QStringLiteral("File Size at %1, the size at %2 (%3 wide), the name \"%4\"")
                    .arg(caption->x())
                    .arg(size->x())
                    .arg(size->width())
                    .arg(name->text()),
                name->font(), 0};
    return {name->text(), name->font(), room};
}

void tst_MainWindow::textsFit_data()
{
    QTest::addColumn<QString>("place");
    QTest::addColumn<QString>("text");
    for (const char *caption :
         {"File Name : ", "Checksum :", "File Size", "Load Address :", "Date Modified:"})
        QTest::addRow("progress: %s", caption) << "progress caption" << caption;
    QTest::newRow("progress: a long path, its folders elided")
        << "file name" << QString::fromLatin1(LongPath);
    QTest::newRow("progress: a 36-character name")
        << "file name"
        << "/home/operator/unit-controller-firmware-rev-C-2.bin";
    QTest::newRow("progress: a 59-character name, shortened in the middle")
        << "file name"
        << "/home/operator/unit-controller-firmware-release-2024-station-7-rev-C-2.bin";
    QTest::newRow("RS-232 box: the fastest baud rate") << "baud rate"
                                                       << "115200";
    QTest::newRow("information: the longest port check")
        << "information"
        << "Checking COM Port 14, Baud 115200. Please wait....";
    QTest::newRow("status line: the longest")
        << "status line"
        << "Unable to open Hardware thru COM ports. Select new COM port/check RS232 "
           "connection before proceeding";
    QTest::newRow("Ethernet dialog's caption, Quenby")
        << "caption"
        << "Quenby Research Inc. :- Tamrin - Ethernet";
    QTest::newRow("Ethernet dialog's caption, Telvin")
        << "caption"
        << "Telvin Quenby LLC :- Ethernet Connection";
}

void tst_MainWindow::textsFit()
{
    QFETCH(QString, place);
    QFETCH(QString, text);
    const Shown shown = shownAt(place, text);
    const int width = QFontMetrics(shown.font).horizontalAdvance(shown.text);
    QVERIFY2(width <= shown.room, qPrintable(QStringLiteral("\"%1\" takes %2 of %3 pixels")
                                                 .arg(shown.text)
                                                 .arg(width)
                                                 .arg(shown.room)));
    // A plain upright face, whatever the machine has in place of a missing family.
    const QString style = QFontInfo(shown.font).styleName();
    QVERIFY2(!style.contains(QStringLiteral("Italic")) &&
                 !style.contains(QStringLiteral("Oblique")),
             qPrintable(QFontInfo(shown.font).family() + QLatin1Char(' ') + style));
}

void tst_MainWindow::messageBoxesOpenCentredAndWide_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<bool>("ownerShown");
    QTest::newRow("message at start-up, owner not on screen yet") << "message" << false;
    QTest::newRow("_DQ question, owner not on screen yet") << "okCancel" << false;
    QTest::newRow("_DQ question, owner on screen") << "okCancel" << true;
    QTest::newRow("Yes/No question, owner on screen") << "yesNo" << true;
}

void tst_MainWindow::messageBoxesOpenCentredAndWide()
{
    QFETCH(QString, box);
    QFETCH(bool, ownerShown);
    QWidget owner;
    owner.setGeometry(40, 60, 300, 200);
    if (ownerShown) {
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
    }
    QRect opened;
    whenModal([&opened](QWidget *modal) {
        opened = modal->frameGeometry();
        modal->close();
    });
    const QString caption = QStringLiteral("Tamrin - Query");
    QtOperatorDialogs dialogs;
    if (box == "message")
        dialogs.message(&owner, QStringLiteral("Error!! COM port communication failed."));
    else if (box == "okCancel")
        dialogs.okCancel(&owner, caption, QStringLiteral("Go on?"));
    else
        dialogs.yesNo(&owner, caption, QStringLiteral("Go on?"));
    const QRect area = ownerShown ? owner.frameGeometry() : owner.screen()->availableGeometry();
    // Within the frame that the window manager puts round the box once it is placed.
    const QPoint offset = opened.center() - area.center();
    QVERIFY2(std::abs(offset.x()) <= 2 && std::abs(offset.y()) <= 2,
             qPrintable(QStringLiteral("%1,%2 off the centre").arg(offset.x()).arg(offset.y())));
    const int wanted = WindowLook::widthForCaption(box == "message" ? "Tamrin" : caption);
    QVERIFY2(opened.width() >= wanted, qPrintable(QString::number(opened.width())));
}

void tst_MainWindow::progressWindowCannotBeClosed()
{
    TProgressForm &progress = *m_fixture->windows().progress;
    QVERIFY(progress.windowFlags() & Qt::CustomizeWindowHint);
    QVERIFY(!(progress.windowFlags() & Qt::WindowCloseButtonHint));
    progress.ShowProgressForm(10, UploadState());
    QVERIFY(!progress.close());
    QVERIFY(progress.isVisible());
    progress.HideProgressForm();
    QVERIFY(!progress.isVisible());
}

void tst_MainWindow::everyWindowCarriesTheProgramIcon()
{
    AppWindows &windows = m_fixture->windows();
    const QList<QWidget *> all{windows.main, windows.progress, windows.ethernet, windows.splash,
                               windows.info};
    for (QWidget *window : all)
        QVERIFY2(!window->windowIcon().isNull(), window->metaObject()->className());
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
