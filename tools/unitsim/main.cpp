// tamrin-unitsim: a simulated unit for demos, tests and writing scripts without
// hardware. See UnitHost for how it runs and UnitControls for what stdin can change.

#include "ControlInput.h"
#include "UnitCommandLine.h"
#include "UnitControls.h"
#include "UnitHost.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

namespace {

// Tests read stdout while the simulator runs, so every line is flushed on its own.
void printLine(const QString &line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

void printError(const QString &text)
{
    std::fputs(qPrintable(QStringLiteral("tamrin-unitsim: %1\n").arg(text)), stderr);
}

bool applyControlLines(UnitControls &controls, const QStringList &lines)
{
    for (const QString &line : lines) {
        const QString reply = controls.execute(line);
        if (!reply.startsWith(QLatin1String("ok "))) {
            printError(reply);
            return false;
        }
    }
    return true;
}

bool openEndpoints(UnitHost &host, const UnitCommandLine &commandLine)
{
    QString error;
    host.setStoreFolder(commandLine.storeFolder());
    const bool opened =
        (commandLine.transcriptPath().isEmpty() ||
         host.openTranscript(commandLine.transcriptPath(), &error)) &&
        (commandLine.ptyPath().isEmpty() || host.openPty(commandLine.ptyPath(), &error)) &&
        (!commandLine.tcpPort() || host.listenTcp(*commandLine.tcpPort(), &error));
    if (!opened)
        printError(error);
    return opened;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tamrin-unitsim"));

    UnitCommandLine commandLine;
    switch (commandLine.parse(QCoreApplication::arguments())) {
    case UnitCommandLine::Result::Help:
        printLine(commandLine.helpText());
        return 0;
    case UnitCommandLine::Result::Version:
        printLine(UnitCommandLine::versionText());
        return 0;
    case UnitCommandLine::Result::Error:
        printError(commandLine.errorText());
        return 2;
    case UnitCommandLine::Result::Run:
        break;
    }

    UnitHost host;
    UnitControls controls(&host);
    if (!applyControlLines(controls, commandLine.controlLines()))
        return 2;
    if (!openEndpoints(host, commandLine))
        return 1;

    QObject::connect(&host, &UnitHost::logLine, &printLine);
    QObject::connect(&controls, &UnitControls::quitRequested, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    ControlInput input(STDIN_FILENO);
    QObject::connect(&input, &ControlInput::lineReceived, &controls,
                     [&controls](const QString &line) { printLine(controls.execute(line)); });
    QObject::connect(&input, &ControlInput::finished, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    printLine(host.readyLine());
    return app.exec();
}
