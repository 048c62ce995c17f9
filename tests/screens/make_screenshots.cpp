// Draws the pictures of Tamrin that the README shows, into the folder named on the command
// line: the idle main window, the main window during a script run, the progress window in the
// middle of an upload of a file with a 59-character name deep in its folders, the Ethernet
// dialog, the same with the box that says its connect was refused, the information window
// checking the last port at the fastest baud rate, and the splash of each brand. Each window is
// rendered by Qt itself, so the pictures need no window manager, except the refused connect
// and the splash pictures, read back from the X server to show what is on screen;
// tools/screenshots.sh runs this under Xvfb.
#include "BrandSettings.h"
#include "FormFixture.h"
#include "UnitSim.h"

#include "app/ClientSocketForm.h"
#include "app/InfoForm.h"
#include "app/ProgressForm.h"
#include "app/QtOperatorDialogs.h"
#include "app/SplashForm.h"
#include "app/TerminalPane.h"
#include "base/Timing.h"
#include "link/SerialPort.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProgressBar>
#include <QScreen>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <cstdio>

namespace {

bool save(QWidget *window, const QString &folder, const char *name)
{
    const QString path = QDir(folder).filePath(QString::fromLatin1(name));
    const bool saved = window->grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}

// The splash of the brand that settings line 23 names, as the X server shows it once the
// splash has been up for its pause.
bool saveSplash(const QString &folder, const char *name, const QByteArray &line23)
{
    QTemporaryDir settingsFolder;
    if (!writeBrandSettings(settingsFolder.path(), line23))
        return false;
    const QString started = QDir::currentPath();
    QDir::setCurrent(settingsFolder.path());
    TSplashForm splash({});
    QDir::setCurrent(started);
    const QString path = QDir(folder).filePath(QString::fromLatin1(name));
    const bool saved = splash.screen()->grabWindow(splash.winId()).save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}

// The Ethernet dialog as the X server shows it with the box over it that says its connect to
// a port that refuses failed; the box is then answered.
bool saveRefusedConnect(TClientSocketForm &dialog, const QString &folder, const char *name)
{
    QTcpServer closed;
    if (!closed.listen(QHostAddress::LocalHost))
        return false;
    const quint16 refusing = closed.serverPort();
    closed.close();
    dialog.setOctets({127, 0, 0, 1});
    dialog.setPort(refusing);
    dialog.show();
    OperatorDialogs::install(new QtOperatorDialogs);
    bool saved = false;
    const QString path = QDir(folder).filePath(QString::fromLatin1(name));
    // Once the box is on screen and has been drawn.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &dialog, [&] {
        QWidget *box = QApplication::activeModalWidget();
        if (!box || !box->windowHandle() || !box->windowHandle()->isExposed())
            return;
        poll.stop();
        QTimer::singleShot(200, box, [&, box] {
            const QRect both = box->frameGeometry().united(dialog.frameGeometry());
            saved = dialog.screen()
                        ->grabWindow(0, both.x(), both.y(), both.width(), both.height())
                        .save(path);
            static_cast<QMessageBox *>(box)->done(QMessageBox::Ok);
        });
    });
    poll.start(50);
    dialog.ConnectButtonClick();
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_screenshots FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    UnitSim unit;
    if (!unit.start({QStringLiteral("--loader"), QStringLiteral("--echo")})) {
        std::fprintf(stderr, "the simulated unit did not start\n");
        return 1;
    }
    Timing::setScale(0.1);
    FormFixture fixture(unit.portsDir());
    TTamrinForm &form = fixture.form();
    form.show();
    form.SelectComPort(3);
    form.terminal().WriteString("VER\r\n2.08\r\n>");
    QApplication::processEvents();
    bool ok = save(&form, folder, "main-window.png");

    QTemporaryDir files;
    const QString deep = files.filePath(QStringLiteral("releases/2024/station-7/unit-controller"));
    QDir().mkpath(deep);
    const QString image = QDir(deep).filePath(
        QStringLiteral("unit-controller-firmware-release-2024-station-7-rev-C-2.bin"));
    QFile file(image);
    file.open(QIODevice::WriteOnly);
    file.write(QByteArray(70000, 'f'));
    file.close();
    TProgressForm &progress = *fixture.windows().progress;
    bool runShown = false;
    QObject::connect(&progress, &TProgressForm::stepped, &progress, [&](int position) {
        if (runShown || position < progress.FileProgressBar->maximum() / 2)
            return;
        runShown = true;
        ok = save(&form, folder, "script-run.png") && ok;
        ok = save(&progress, folder, "upload-progress.png") && ok;
    });
    fixture.runScript("_WP\n_LF " + QFile::encodeName(image) + "\n_LA 80000\n_LV V2.1\n_LD\n");

    TClientSocketForm &dialog = *fixture.windows().ethernet;
    dialog.show();
    QTimer::singleShot(300, &app, &QCoreApplication::quit);
    app.exec();
    ok = save(&dialog, folder, "ethernet-dialog.png") && ok;
    ok = saveRefusedConnect(dialog, folder, "ethernet-refused.png") && ok;
    dialog.hide();

    TInfoForm &info = *fixture.windows().info;
    info.setText(QStringLiteral("Checking COM Port 14, Baud 115200. Please wait...."));
    info.showNotice();
    ok = save(&info, folder, "information.png") && ok;
    info.hideNotice();

    ok = saveSplash(folder, "splash-telvin.png", "Brand=0") && ok;
    ok = saveSplash(folder, "splash-ktq.png", "Brand=100") && ok;
    return ok ? 0 : 1;
}
