// tamrin-unitsim: a simulated unit for demos, tests and writing scripts without
// hardware. See UnitHost for how it runs and UnitControls for what stdin can change.

#include "ControlInput.h"
#include "UnitCommandLine.h"
#include "UnitControls.h"
#include "UnitHost.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>

#include <csignal>
#include <fcntl.h>
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

// The write end of the pipe that carries a stop signal to the event loop.
int g_stopPipe = -1;

extern "C" void onStopSignal(int)
{
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = ::write(g_stopPipe, &byte, 1);
}

// SIGTERM, SIGINT and SIGHUP end the unit as the end of its input does: its link goes with it.
void quitOnStopSignals(QCoreApplication &app)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    g_stopPipe = ends[1];
    auto *notifier = new QSocketNotifier(ends[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction action
    {
    };
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int number : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(number, &action, nullptr);
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

    quitOnStopSignals(app);
    printLine(host.readyLine());
    return app.exec();
}
