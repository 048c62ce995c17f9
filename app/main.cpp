// Tamrin: uploads firmware files into the unit over RS-232 or TCP, driven by script files.
// Its own options print and end before any window exists; where no display can be opened,
// none being set or the one set being gone, it runs offscreen, as an unattended station.
#include "app/AppWindows.h"
#include "app/CommandLine.h"
#include "app/ProcessGuard.h"
#include "app/QtOperatorDialogs.h"
#include "app/ScriptCheckCommand.h"
#include "app/Station.h"
#include "app/StationRequest.h"
#include "app/TamrinForm.h"
#include "app/UnattendedDialogs.h"
#include "base/OperatorDialogs.h"
#include "link/PortList.h"
#include "upload/RecordLog.h"

#include <QApplication>
#include <QTextStream>

#include <cstdio>
#include <variant>
#include <vector>

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

// The arguments Qt is handed: the program's name and what a station's options left.
struct QtArguments
{
    explicit QtArguments(const QStringList &arguments)
    {
        for (const QString &argument : arguments)
            bytes.push_back(argument.toLocal8Bit());
        for (QByteArray &argument : bytes)
            pointers.push_back(argument.data());
        pointers.push_back(nullptr);
        count = int(bytes.size());
    }
    std::vector<QByteArray> bytes;
    std::vector<char *> pointers;
    int count = 0;
};

// tamrin --run: the station's request, or its status when the options are malformed. What is
// not the station's is left in 'qtArguments' after the program's name.
std::variant<std::optional<StationRequest>, int> stationRequest(int argc, char *argv[],
                                                                 QStringList &qtArguments)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    qtArguments = QStringList{QString::fromLocal8Bit(argv[0])};
    if (!StationRequests::requested(arguments)) {
        qtArguments << arguments;
        return std::optional<StationRequest>();
    }
    QStringList rest;
    const std::variant<StationRequest, QString> parsed = StationRequests::parse(arguments, rest);
    if (const QString *problem = std::get_if<QString>(&parsed)) {
        std::fputs(qPrintable(QStringLiteral("tamrin: %1. %2\n")
                                  .arg(*problem, CommandLine::usageLine())),
                   stderr);
        return int(ExitCannotStart);
    }
    qtArguments << rest;
    // Headless unless a display is there and somebody at it.
    if (qgetenv("TAMRIN_UNATTENDED") == "1" && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return std::get<StationRequest>(parsed);
}

} // namespace

int main(int argc, char *argv[])
{
    if (const std::optional<int> status = answerOption(argc, argv))
        return *status;
    QStringList arguments;
    const std::variant<std::optional<StationRequest>, int> station =
        stationRequest(argc, argv, arguments);
    if (const int *status = std::get_if<int>(&station))
        return *status;
    const std::optional<StationRequest> request = std::get<std::optional<StationRequest>>(station);
    Station::chooseHeadlessPlatform();
    Station::quietPlatformNotes();
    Station::holdPlatformWarnings(argc, argv);
    QtArguments qtArguments(arguments);
    QApplication app(qtArguments.count, qtArguments.pointers.data());
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
    Station::scaleTimingFromEnvironment();
    const StationSettings settings = Station::fromEnvironment(QApplication::platformName());
    OperatorDialogs::install(settings.unattended ? new UnattendedDialogs : new QtOperatorDialogs);
    ProcessGuard guard(endByForce);
    guard.catchSignals();
    AppWindows windows;
    windows.main->setStation(settings);
    windows.main->setProcessGuard(&guard);
    if (request)
        windows.main->setStationRequest(*request);
    windows.main->show();
    return QApplication::exec();
}
