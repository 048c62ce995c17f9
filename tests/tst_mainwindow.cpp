// The main window: its menu tree, the version label that reveals Send File, closing with and
// without an upload running, and the one-line stderr form of every message.
#include "FormFixture.h"

#include "app/OperatorDialogs.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class tst_MainWindow : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void menuTree();
    void versionLabelFlipsSendFile();
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

void tst_MainWindow::closeDuringUploadAsks_data()
{
    QTest::addColumn<bool>("answer");
    QTest::addColumn<int>("exitStatus");
    QTest::newRow("No keeps the upload") << false << -1;
    QTest::newRow("Yes ends the process") << true << 0;
}

void tst_MainWindow::closeDuringUploadAsks()
{
    QFETCH(bool, answer);
    QFETCH(int, exitStatus);
    TTamrinForm &form = m_fixture->form();
    form.show();
    form.upload.idle = false;
    m_fixture->dialogs().answers = {answer};
    form.close();
    QCOMPARE(m_fixture->dialogs().questions,
             QStringList{"Loader GUI : Confirm Exit: File upload in progress.\rAre you sure you "
                         "want to cancel upload and exit the application?"});
    QCOMPARE(m_fixture->exitStatus(), exitStatus);
    QCOMPARE(form.isVisible(), !answer);
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
