// Tamrin on a real X display (Xvfb, started by CTest): what the operator's desktop shows of
// its windows, read back with xwininfo and xprop from the real program, and how the main
// window keeps up with a flood of output while the operator uses its menus.
#include "FormFixture.h"
#include "UnitSim.h"

#include "app/TerminalPane.h"
#include "link/SerialPort.h"

#include <QElapsedTimer>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QImage>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

class tst_Desktop : public QObject
{
    Q_OBJECT
private slots:
    void captionsAreExactlyTheWindowsOwn();
    void floodLeavesTheWindowResponsive();

private:
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

void tst_Desktop::floodLeavesTheWindowResponsive()
{
    UnitSim unit;
    QVERIFY2(unit.start(), qPrintable(unit.errorString()));
    FormFixture fixture(unit.portsDir());
    TTamrinForm &form = fixture.form();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.comPort().setPortNumber(3);
    QVERIFY(form.comPort().open());
    // The window is drawn: its picture has more than a handful of colours.
    const QImage drawn = form.screen()->grabWindow(form.winId()).toImage();
    QSet<QRgb> colours;
    for (int y = 0; y < drawn.height(); y += 3)
        for (int x = 0; x < drawn.width(); x += 3)
            colours.insert(drawn.pixel(x, y));
    QVERIFY2(colours.size() > 8, qPrintable(QString::number(colours.size())));

    // 200 KB at once; meanwhile the operator opens the Terminal menu.
    constexpr int FloodBytes = 200000;
    QVERIFY(unit.command(QStringLiteral("flood %1").arg(FloodBytes)));
    QElapsedTimer clock;
    clock.start();
    qint64 longestGap = 0;
    qint64 last = 0;
    QTimer beat;
    connect(&beat, &QTimer::timeout, this, [&] {
        longestGap = std::max(longestGap, clock.elapsed() - last);
        last = clock.elapsed();
    });
    beat.start(5);
    QTimer::singleShot(20, this, [&] { form.TerminalMenu->popup(QPoint(100, 100)); });
    QTRY_VERIFY_WITH_TIMEOUT(form.TerminalMenu->isVisible(), 2000);
    const qint64 menuShownAfter = clock.elapsed();
    const TerminalModel &model = form.terminal().model();
    QTRY_COMPARE_WITH_TIMEOUT(model.linesScrolled() + model.cursorRow(), qint64(FloodBytes / 64),
                              20000);
    form.TerminalMenu->hide();
    QVERIFY2(menuShownAfter < 1000, QByteArray::number(menuShownAfter).constData());
    QVERIFY2(longestGap < 500, QByteArray::number(longestGap).constData());
}

QTEST_MAIN(tst_Desktop)
#include "tst_desktop.moc"
