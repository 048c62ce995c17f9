// Prints the link's speed figures: start-up to the idle window with no serial ports, how long
// a probe that gets no answer takes over a pseudo-terminal, how soon a menu opens and how long
// the window goes without handling a message while the unit floods the pane, and the CPU a
// full 22 s prompt wait uses. Run it by hand or from the README's benchmark command; it checks nothing itself.
#include "FormFixture.h"
#include "UnitSim.h"

#include "app/TerminalModel.h"
#include "app/TerminalPane.h"
#include "link/SerialPort.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void startUpWithoutPorts()
{
    QTemporaryDir emptyPorts;
    QElapsedTimer clock;
    clock.start();
    FormFixture fixture(emptyPorts.path());
    fixture.form().show();
    QApplication::processEvents();
    std::printf("start-up to idle window, no serial ports: %lld ms (target < 1000 ms)\n",
                static_cast<long long>(clock.elapsed()));
}

void silentProbe(TTamrinForm &form)
{
    const DeviceLink::Probing probing(form.deviceLink());
    qint64 shortest = 1 << 30;
    qint64 longest = 0;
    for (int i = 0; i < 10; ++i) {
        QElapsedTimer clock;
        clock.start();
        form.SendCOMCmd_GetPrompt("\r");
        shortest = std::min(shortest, clock.elapsed());
        longest = std::max(longest, clock.elapsed());
    }
    std::printf("unanswered probe over a pseudo-terminal: %lld to %lld ms over 10 probes "
                "(target 440 to 495 ms)\n",
                static_cast<long long>(shortest), static_cast<long long>(longest));
}

void fullPromptWait(TTamrinForm &form)
{
    const double cpuBefore = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    form.SendCOMCmd_GetPrompt("\r");
    const double wall = double(clock.elapsed()) / 1000.0;
    const double cpu = cpuSeconds() - cpuBefore;
    std::printf("unanswered prompt wait: %.1f s, CPU %.2f s = %.1f%% of one core (target < 5%%)\n",
                wall, cpu, 100.0 * cpu / wall);
}

} // namespace

// The unit sends 1 MB at once and the operator opens the Terminal menu 20 ms later.
void floodLeavesTheWindowResponsive(TTamrinForm &form, UnitSim &unit)
{
    constexpr int FloodBytes = 1000000;
    const TerminalModel &model = form.terminal().model();
    const qint64 linesBefore = model.linesScrolled() + model.cursorRow();
    QElapsedTimer clock;
    clock.start();
    qint64 longestGap = 0;
    qint64 last = 0;
    QTimer beat;
    QObject::connect(&beat, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, clock.elapsed() - last);
        last = clock.elapsed();
    });
    beat.start(5);
    unit.command(QStringLiteral("flood %1").arg(FloodBytes));
    QTimer::singleShot(20,
                       [&form] { control<QMenu>(form, "TerminalMenu")->popup(QPoint(100, 100)); });
    qint64 menuShownAfter = -1;
    qint64 floodShownAfter = -1;
    const auto flooding = [&] {
        return model.linesScrolled() + model.cursorRow() < linesBefore + FloodBytes / 64;
    };
    while ((flooding() || menuShownAfter < 0) && clock.elapsed() < 60000) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        if (menuShownAfter < 0 && control<QMenu>(form, "TerminalMenu")->isVisible())
            menuShownAfter = clock.elapsed();
        if (floodShownAfter < 0 && !flooding())
            floodShownAfter = clock.elapsed();
    }
    control<QMenu>(form, "TerminalMenu")->hide();
    std::printf("Terminal menu during a 1 MB flood (shown in %lld ms): shown after %lld ms "
                "(target < 1000 ms)\n",
                static_cast<long long>(floodShownAfter), static_cast<long long>(menuShownAfter));
    std::printf("longest time without a message during the flood: %lld ms (target < 500 ms)\n",
                static_cast<long long>(longestGap));
}

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    startUpWithoutPorts();

    UnitSim unit;
    if (!unit.start({QStringLiteral("--mute")})) {
        std::fprintf(stderr, "the simulated unit did not start\n");
        return 1;
    }
    FormFixture fixture(unit.portsDir());
    SerialPort &port = fixture.form().comPort();
    port.setPortNumber(3);
    if (!port.open()) {
        std::fprintf(stderr, "could not open the simulated unit's port\n");
        return 1;
    }
    silentProbe(fixture.form());
    floodLeavesTheWindowResponsive(fixture.form(), unit);
    if (!app.arguments().contains(QStringLiteral("--quick")))
        fullPromptWait(fixture.form());
    return 0;
}
