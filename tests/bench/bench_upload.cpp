// Prints the upload's speed and memory figures: the checksum pass over a 100 MB file, the data
// phase of a script upload to a unit that takes bytes at 115200 baud, and Tamrin's peak memory
// while it sends a 100 MB file. Run it by hand; it checks nothing itself.
#include "FormFixture.h"
#include "UnitSim.h"

#include "base/Timing.h"
#include "link/SerialPort.h"
#include "upload/FileMeasure.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

constexpr qint64 LargeFile = 100LL * 1000 * 1000;

bool writePattern(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk(1 << 20, '\0');
    for (int i = 0; i < chunk.size(); ++i)
        chunk[i] = char(i * 13);
    for (qint64 written = 0; written < size; written += chunk.size())
        file.write(chunk.constData(), std::min<qint64>(chunk.size(), size - written));
    return true;
}

// Kilobytes of a /proc/self/status field such as "VmRSS" or "VmHWM".
long statusKilobytes(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(line.indexOf(':') + 1).trimmed().split(' ').first().toLong();
    }
    return -1;
}

void checksumPass(const QString &path)
{
    QElapsedTimer clock;
    clock.start();
    const std::optional<FileMeasure> measure = measureFile(QFile::encodeName(path));
    std::printf("checksum pass over a 100 MB file (page cache): %lld ms, checksum %x "
                "(target < 500 ms)\n",
                static_cast<long long>(clock.elapsed()), measure ? measure->checksum : 0);
}

int runScript(TTamrinForm &form, const QString &folder, const QByteArray &script)
{
    const QString path = folder + QStringLiteral("/bench.sld");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return 0;
    file.write(script);
    file.close();
    form.scriptRunner().setFileName(path);
    return form.read_ini();
}

void pacedDataPhase(const QString &folder)
{
    UnitSim unit;
    if (!unit.start(
            {QStringLiteral("--loader"), QStringLiteral("--baud"), QStringLiteral("115200")})) {
        std::printf("paced data phase: the simulated unit did not start\n");
        return;
    }
    const qint64 size = 200000;
    const QString image = folder + QStringLiteral("/paced.bin");
    writePattern(image, size);
    FormFixture fixture(unit.portsDir());
    TTamrinForm &form = fixture.form();
    form.comPort().setBaudRate(115200);
    form.comPort().setPortNumber(3);
    form.comPort().open();
    Timing::setScale(0.05); // the protocol's pauses, not the data phase
    runScript(form, folder, "_LF " + image.toLocal8Bit() + "\n_LA 0\n_LV B\n_LD\n");
    Timing::setScale(1.0);
    const UnitSim::DataPhase data = unit.dataPhase(" B\r", size);
    const qint64 bytes = data.bytes;
    const double seconds = double(data.lastMs - data.firstMs) / 1000.0;
    const double rate = data.rate();
    std::printf("data phase at 115200 baud: %lld bytes in %.2f s = %.0f bytes/s, %.1f%% of the "
                "line rate of 11520 bytes/s (target >= 98%%)\n",
                static_cast<long long>(bytes), seconds, rate, 100.0 * rate / 11520.0);
}

// From the moment a block has left the serial port's output queue to the moment the next one
// is handed over, as Tamrin's own signals mark them, over 500 blocks on a line paced at
// 115200 baud.
void gapBetweenSerialBlocks(const QString &folder)
{
    UnitSim unit;
    if (!unit.start(
            {QStringLiteral("--loader"), QStringLiteral("--baud"), QStringLiteral("115200")})) {
        std::printf("gap between blocks: the simulated unit did not start\n");
        return;
    }
    constexpr int Blocks = 500;
    const QString image = folder + QStringLiteral("/gaps.bin");
    writePattern(image, qint64(Blocks) * 2000);
    FormFixture fixture(unit.portsDir());
    TTamrinForm &form = fixture.form();
    form.comPort().setBaudRate(115200);
    form.comPort().setPortNumber(3);
    form.comPort().open();
    QElapsedTimer clock;
    clock.start();
    qint64 leftAt = -1;
    QList<double> gaps;
    QObject::connect(&form, &TTamrinForm::blockLeftQueue, [&] { leftAt = clock.nsecsElapsed(); });
    QObject::connect(&form, &TTamrinForm::blockSent, [&](qsizetype) {
        if (leftAt >= 0)
            gaps << double(clock.nsecsElapsed() - leftAt) / 1e6;
        leftAt = -1;
    });
    Timing::setScale(0.05); // the protocol's pauses, not the data phase
    fixture.dialogs().fileToOpen = image;
    form.uploader().setPostUploadPauseMs(0);
    form.SendFile1Click();
    Timing::setScale(1.0);
    std::sort(gaps.begin(), gaps.end());
    if (gaps.isEmpty()) {
        std::printf("gap between serial blocks: no blocks measured\n");
        return;
    }
    const double median = gaps.at(gaps.size() / 2);
    const double high = gaps.at(gaps.size() * 95 / 100);
    constexpr double BlockLineMs = 2000.0 * 10.0 / 115200.0 * 1000.0;
    std::printf("gap Tamrin adds between serial blocks at 115200 baud: median %.3f ms, 95th "
                "percentile %.3f ms over %lld gaps, %.2f%% of a block's %.1f ms line time "
                "(target median < 1.5 ms, < 1%%)\n",
                median, high, static_cast<long long>(gaps.size()), 100.0 * median / BlockLineMs,
                BlockLineMs);
}

void peakMemoryOfLargeSend(const QString &folder)
{
    UnitSim unit;
    if (!unit.start({QStringLiteral("--mute")})) {
        std::printf("large send: the simulated unit did not start\n");
        return;
    }
    const QString image = folder + QStringLiteral("/large.bin");
    FormFixture fixture(unit.portsDir());
    TTamrinForm &form = fixture.form();
    form.comPort().setPortNumber(3);
    form.comPort().open();
    form.uploader().setPostUploadPauseMs(0);
    QApplication::processEvents();
    const long idle = statusKilobytes("VmRSS");
    // Reset the peak so that it counts only the send.
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
    clearRefs.close();
    fixture.dialogs().fileToOpen = image;
    QElapsedTimer clock;
    clock.start();
    form.SendFile1Click();
    const long peak = statusKilobytes("VmHWM");
    std::printf("Send File of 100 MB: %lld ms; memory idle %ld kB, peak %ld kB, %ld kB above idle "
                "(target <= 5120 kB)\n",
                static_cast<long long>(clock.elapsed()), idle, peak, peak - idle);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir folder;
    const QString large = folder.filePath(QStringLiteral("large.bin"));
    if (!writePattern(large, LargeFile)) {
        std::fprintf(stderr, "could not write the 100 MB file\n");
        return 1;
    }
    checksumPass(large);
    pacedDataPhase(folder.path());
    gapBetweenSerialBlocks(folder.path());
    peakMemoryOfLargeSend(folder.path());
    return 0;
}
