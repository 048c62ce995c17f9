// Prints the Ethernet link's figures: the data phase of a 1 MB script upload over loopback
// against what the protocol itself spends per block (its 1 ms sleeps and message pumping), and
// the CPU Tamrin uses while connected and idle, when only the keep-alive runs. Run it by hand
// (an optional argument gives the idle seconds, 60 by default); it checks nothing itself.
#include "FormFixture.h"
#include "UnitSim.h"

#include "app/ClientSocketForm.h"
#include "base/Timing.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>

namespace {

constexpr qint64 UploadSize = 1000000;
constexpr int BlockSize = 2000;
// Per block: a 1 ms sleep before and after the hand-over, and four passes of the message
// queue (the block read, two in the send, one after the step).
constexpr int SleepsPerBlock = 2;
constexpr int PumpsPerBlock = 4;

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Average real milliseconds of one call of 'step', over many calls.
double averageMs(const std::function<void()> &step)
{
    constexpr int Calls = 2000;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < Calls; ++i)
        step();
    return double(clock.nsecsElapsed()) / 1e6 / Calls;
}

bool connect(FormFixture &fixture, UnitSim &unit)
{
    TClientSocketForm &dialog = *fixture.windows().ethernet;
    dialog.setOctets({127, 0, 0, 1});
    dialog.setPort(unit.tcpPort());
    fixture.form().EnetConnect1Click();
    dialog.ConnectButtonClick();
    return fixture.form().tcpConnected();
}

void dataPhase(const QString &folder)
{
    UnitSim unit;
    if (!unit.start({QStringLiteral("--loader")}, false, true)) {
        std::printf("data phase: the simulated unit did not start\n");
        return;
    }
    FormFixture fixture(folder);
    if (!connect(fixture, unit)) {
        std::printf("data phase: no connection\n");
        return;
    }
    const QString image = folder + QStringLiteral("/image.bin");
    QFile file(image);
    file.open(QIODevice::WriteOnly);
    file.write(QByteArray(UploadSize, 'd'));
    file.close();
    fixture.runScript("_LF " + QFile::encodeName(image) + "\n_LA 0\n_LV B\n_LD\n");
    const UnitSim::DataPhase data = unit.dataPhase(" B\r", UploadSize);
    const double sleepMs = averageMs([] { Timing::sleepMs(1); });
    const double pumpMs = averageMs([] { Timing::pump(); });
    const qint64 blocks = UploadSize / BlockSize;
    const double protocolMs = double(blocks) * (SleepsPerBlock * sleepMs + PumpsPerBlock * pumpMs);
    const double phaseMs = double(data.lastMs - data.firstMs);
    std::printf("data phase of a 1 MB upload over loopback (%s): %.0f ms, against %.0f ms the "
                "protocol itself spends (%lld blocks x (%d sleeps of %.3f ms + %d pumps of "
                "%.4f ms)), ratio %.2f (target: reported)\n",
                unit.uploadLines().join(' ').contains("result=ok") ? "stored ok" : "NOT stored",
                phaseMs, protocolMs, static_cast<long long>(blocks), SleepsPerBlock, sleepMs,
                PumpsPerBlock, pumpMs, protocolMs > 0 ? phaseMs / protocolMs : 0.0);
}

void idleCpu(const QString &folder, int seconds)
{
    UnitSim unit;
    if (!unit.start({}, false, true)) {
        std::printf("idle CPU: the simulated unit did not start\n");
        return;
    }
    FormFixture fixture(folder);
    if (!connect(fixture, unit)) {
        std::printf("idle CPU: no connection\n");
        return;
    }
    const int mark = unit.mark();
    const double cpuBefore = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
    const double cpu = cpuSeconds() - cpuBefore;
    const double wall = double(clock.elapsed()) / 1000.0;
    std::printf("connected and idle for %.0f s, %lld keep-alives sent: %.3f s of CPU = %.3f%% "
                "of one core (target < 1%%)\n",
                wall, static_cast<long long>(unit.receivedSince(mark).count("\r\n")), cpu,
                100.0 * cpu / wall);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int idleSeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    QTemporaryDir folder;
    dataPhase(folder.path());
    idleCpu(folder.path(), idleSeconds);
    return 0;
}
