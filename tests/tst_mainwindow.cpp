// The main window: its menu tree, the version label that reveals Send File, closing with and
// without an upload running, and the one-line stderr form of every message.
#include "FormFixture.h"

#include "app/OperatorDialogs.h"
#include "app/StatusLight.h"
#include "app/TerminalPane.h"

#include <QAccessible>
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

#include <unistd.h>

#include <cstdio>

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
    void closeWithoutUploadEndsAtOnce();
    void closeDuringUploadAsks_data();
    void closeDuringUploadAsks();
    void messagesGoToStandardError_data();
    void messagesGoToStandardError();

private:
    std::unique_ptr<QTemporaryDir> m_ports;
    std::unique_ptr<FormFixture> m_fixture;
};

void tst_MainWindow::init()
{
    m_ports = std::make_unique<QTemporaryDir>();
    m_fixture = std::make_unique<FormFixture>(m_ports->path());
}

void tst_MainWindow::cleanup()
{
    m_fixture.reset();
    m_ports.reset();
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
    QVERIFY(form.VisibleMenu->isChecked());
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
    if (form.VisibleMenu->isChecked()) {
        const int paneBottom = form.AdTerminal1->mapTo(&form, QPoint(0, 281)).y();
        QVERIFY2(paneBottom <= form.statusBar()->y(), qPrintable(QString::number(paneBottom)));
    }
}

void tst_MainWindow::versionLabelFlipsSendFile()
{
    TTamrinForm &form = m_fixture->form();
    form.show();
    QVERIFY(!form.SendFile1->isVisible());
    QTest::mouseClick(form.VersionLabel, Qt::LeftButton);
    QVERIFY(form.SendFile1->isVisible());
    QTest::mouseClick(form.VersionLabel, Qt::LeftButton);
    QVERIFY(!form.SendFile1->isVisible());
}

void tst_MainWindow::ownWidgetsAreDescribed()
{
    TTamrinForm &form = m_fixture->form();
    form.AdTerminal1->WriteString("VER\r\n2.08\r\n#");
    QAccessibleInterface *pane = QAccessible::queryAccessibleInterface(form.AdTerminal1);
    QVERIFY(pane);
    QCOMPARE(pane->text(QAccessible::Name), QStringLiteral("Terminal"));
    QCOMPARE(pane->text(QAccessible::Value), QStringLiteral("VER\n2.08\n#"));
    StatusLight *txd = form.findChild<StatusLight *>(QStringLiteral("TXDLight"));
    QVERIFY(txd);
    QAccessibleInterface *light = QAccessible::queryAccessibleInterface(txd);
    QCOMPARE(light->text(QAccessible::Name), QStringLiteral("TXD light"));
    QCOMPARE(light->text(QAccessible::Value), QStringLiteral("off"));
    txd->setLit(true);
    QCOMPARE(light->text(QAccessible::Value), QStringLiteral("on"));
}

void tst_MainWindow::closeWithoutUploadEndsAtOnce()
{
    TTamrinForm &form = m_fixture->form();
    form.show();
    form.link.capturing = true;
    form.ExitMenuClick();
    QCOMPARE(m_fixture->exitStatus(), 0);
    QVERIFY(m_fixture->dialogs().questions.isEmpty());
    QVERIFY(!form.link.capturing);
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
    form.upload.idle = false;
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

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
