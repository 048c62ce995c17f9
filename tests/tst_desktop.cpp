// The real program on a real X display (Xvfb, started by CTest): what the operator's desktop
// shows of Tamrin's windows, read back with xwininfo.
#include "UnitSim.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

class tst_Desktop : public QObject
{
    Q_OBJECT
private slots:
    void captionsAreExactlyTheWindowsOwn();

private:
    static QStringList windowNames();
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
    tamrin.kill();
    tamrin.waitForFinished();
    QVERIFY2(seen.contains(QStringLiteral("Information")), qPrintable(seen.values().join('|')));
    QVERIFY2(seen.contains(QStringLiteral("Quenby Research Inc. :- Tamrin")),
             qPrintable(seen.values().join('|')));
    for (const QString &name : std::as_const(seen))
        QVERIFY2(!name.contains(QStringLiteral(" \u2014 ")), qPrintable(name));
}

QTEST_GUILESS_MAIN(tst_Desktop)
#include "tst_desktop.moc"
