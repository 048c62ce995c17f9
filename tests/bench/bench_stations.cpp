// Prints how fast six stations send at once: six simulated units on pseudo-terminals, each
// taking bytes at 115200 baud, and six `tamrin --run` processes uploading 200 KB each at the
// same time. Each station's data phase (from the first data byte the unit received to the last)
// against the line rate of 11520 bytes/s. Run it by hand; it checks nothing itself.
#include "UnitSim.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int Stations = 6;
constexpr qint64 FileSize = 200000;
constexpr double LineRate = 11520.0; // 115200 baud, ten bits a byte

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    QDir().mkpath(folder.filePath(QStringLiteral("ports")));
    QFile file(folder.filePath(QStringLiteral("image.bin")));
    file.open(QIODevice::WriteOnly);
    QByteArray bytes(FileSize, '\0');
    for (qint64 i = 0; i < FileSize; ++i)
        bytes[i] = char(i * 13);
    file.write(bytes);
    file.close();
    QFile script(folder.filePath(QStringLiteral("station.sld")));
    script.open(QIODevice::WriteOnly);
    script.write("_LF image.bin\r\n_LA 0\r\n_LV B\r\n_LD\r\n");
    script.close();
    std::vector<std::unique_ptr<UnitSim>> units;
    std::vector<std::unique_ptr<QProcess>> stations;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("TAMRIN_PORTS_DIR"), folder.filePath(QStringLiteral("ports")));
    for (int n = 1; n <= Stations; ++n) {
        units.push_back(std::make_unique<UnitSim>());
        if (!units.back()->start({QStringLiteral("--loader"), QStringLiteral("--baud"),
                                  QStringLiteral("115200")},
                                 true, false,
                                 folder.filePath(QStringLiteral("ports/COM%1").arg(n)))) {
            std::printf("six stations: unit %d did not start\n", n);
            return 1;
        }
    }
    for (int n = 1; n <= Stations; ++n) {
        stations.push_back(std::make_unique<QProcess>());
        stations.back()->setProcessEnvironment(environment);
        stations.back()->setWorkingDirectory(folder.path());
        stations.back()->start(QStringLiteral(TAMRIN_APP_PATH),
                               {QStringLiteral("--run"), QStringLiteral("station.sld"),
                                QStringLiteral("--port"), QStringLiteral("COM%1").arg(n),
                                QStringLiteral("--baud"), QStringLiteral("115200")});
    }
    double slowest = LineRate * 10;
    for (int n = 0; n < Stations; ++n) {
        stations.at(size_t(n))->waitForFinished(300000);
        const double rate = units.at(size_t(n))->dataPhase(" B\r", FileSize).rate();
        slowest = std::min(slowest, rate);
        std::printf("station %d: status %d, data phase %.0f bytes/s, %.1f%% of the line rate\n",
                    n + 1, stations.at(size_t(n))->exitCode(), rate, 100.0 * rate / LineRate);
    }
    std::printf("six stations at once at 115200 baud: slowest data phase %.1f%% of the line rate "
                "(target >= 99%%)\n",
                100.0 * slowest / LineRate);
    return 0;
}
