// Tamrin: uploads firmware files into the unit over RS-232 or TCP, driven by script files.
// Its own options print and end before any window exists; where no display can be opened,
// none being set or the one set being gone, it runs offscreen, as an unattended station.
#include "app/AppWindows.h"
#include "app/CommandLine.h"
#include "app/ProcessGuard.h"
#include "app/QtOperatorDialogs.h"
#include "app/ScriptCheckCommand.h"
#include "app/Station.h"
#include "app/TamrinForm.h"
#include "app/UnattendedDialogs.h"
#include "link/OperatorDialogs.h"
#include "link/PortList.h"
#include "upload/RecordLog.h"

#include <QApplication>
#include <QTextStream>

#include <cstdio>

namespace {

int print(const QString &text)
{
    std::fputs(qPrintable(text.endsWith(QLatin1Char('\n')) ? text : text + QLatin1Char('\n')),
               stdout);
    return ExitSuccess;
}

// Tamrin's own options, answered without a display; nullopt to start the program.
std::optional<int> answerOption(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (ScriptCheckCommand::requested(arguments)) {
        QTextStream out(stdout);
        QTextStream err(stderr);
        return ScriptCheckCommand::run(arguments, out, err);
    }
    switch (CommandLine::request(arguments)) {
    case CommandLine::Request::Help:
        return print(CommandLine::helpText());
    case CommandLine::Request::Version:
        return print(CommandLine::versionText());
    case CommandLine::Request::ListPorts: {
        QCoreApplication core(argc, argv);
        return print(PortList::table());
    }
    case CommandLine::Request::Start:
        break;
    }
    return std::nullopt;
}

// The guard's last resort, on its own thread: a stopped run that did not end is ended here,
// with the record lines of whatever was still going.
void endByForce(const ProcessGuard::Request &request)
{
    WriteStderrLine(QStringLiteral("The run did not end when it was stopped: Tamrin ends it."));
    RecordLog::writeForcedEnd(request.exitStatus(), request.reason());
    std::_Exit(request.exitStatus());
}

} // namespace

int main(int argc, char *argv[])
{
    if (const std::optional<int> status = answerOption(argc, argv))
        return *status;
    Station::chooseHeadlessPlatform();
    Station::quietPlatformNotes();
    Station::holdPlatformWarnings(argc, argv);
    QApplication app(argc, argv);
    Station::passHeldPlatformWarnings();
    // Qt has taken its own options out: what is left is not Tamrin's.
    const QStringList refused = QApplication::arguments().mid(1);
    if (!refused.isEmpty()) {
        std::fputs(qPrintable(QStringLiteral("tamrin: unknown argument %1. %2\n")
                                  .arg(refused.first(), CommandLine::usageLine())),
                   stderr);
        return ExitCannotStart;
    }
    // No display name: Qt would append it to every window caption, and the captions are
    // exactly the windows' own texts.
    QApplication::setApplicationName(QStringLiteral("Tamrin"));
    const StationSettings station = Station::fromEnvironment(QApplication::platformName());
    OperatorDialogs::install(station.unattended ? new UnattendedDialogs : new QtOperatorDialogs);
    ProcessGuard guard(endByForce);
    guard.catchSignals();
    AppWindows windows;
    windows.main->setStation(station);
    windows.main->setProcessGuard(&guard);
    windows.main->show();
    return QApplication::exec();
}
