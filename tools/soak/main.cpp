// tamrin-soak: randomized script uploads against the simulated unit, in-process, to show that
// no upload is ever lost or corrupted without Tamrin saying so. Each run has its own unit, a
// fresh link (pseudo-terminal or TCP), a file of 0 to 1 MB of random bytes and a random fault
// or none (or the one --fault names, for every run); the table counts the runs delivered
// byte-identical, the failures Tamrin reported and the silent failures, which must be none,
// and the runs whose upload and run records were false, which must be none too.
// Exit status 1 when there is a silent failure, a false record or a stop Tamrin did not
// honour, 2 when runs could not be set up, 3 when a run hung.
#include "OutsideStop.h"
#include "PeakMemory.h"
#include "RunOutcome.h"
#include "RunPlan.h"
#include "RunWatchdog.h"
#include "SoakRun.h"
#include "SoakTally.h"
#include "StderrCapture.h"

#include "base/Timing.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

// By default the protocol's pauses shrink twentyfold; the data goes at the link's own pace.
constexpr double DefaultTimingScale = 0.05;
constexpr int RunLimitSeconds = 300;
// VmHWM may rise this much after the first tenth of the runs and still count as flat.
constexpr long FlatMarginKilobytes = 4096;

struct SoakOptions
{
    int runs = 100;
    quint32 seed = 0;
    bool pty = true;
    bool tcp = true;
    std::optional<int> onlyRun;
    std::optional<SoakFault> fault;
    bool verbose = false;
    double timingScale = DefaultTimingScale;
    int unitBaud = 0;
};

std::optional<SoakOptions> parseOptions(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Randomized script uploads against tamrin-unitsim, each with a random fault or none.\n"
        "Prints how many were delivered byte-identical, how many failures Tamrin reported,\n"
        "and the silent failures (there must be none)."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("runs"), QStringLiteral("Number of runs (default 100)."),
         QStringLiteral("N")},
        {QStringLiteral("seed"), QStringLiteral("Seed of the random choices (default: new)."),
         QStringLiteral("S")},
        {QStringLiteral("transport"), QStringLiteral("pty, tcp or both (default: both)."),
         QStringLiteral("pty|tcp|both")},
        {QStringLiteral("run"), QStringLiteral("Replay only run R of the seed."),
         QStringLiteral("R")},
        {QStringLiteral("fault"),
         QStringLiteral("Give every run this fault (none, hangup, mute, garbage, reset, shrink,\n"
                        "key, rewrite, limit, sigterm); the rest is drawn as without it. Replay\n"
                        "with it too."),
         QStringLiteral("NAME")},
        {QStringLiteral("verbose"), QStringLiteral("Print a line for every run.")},
        {QStringLiteral("timing-scale"),
         QStringLiteral("Scale of Tamrin's pauses, up to 1 (real time; default 0.05)."),
         QStringLiteral("X")},
        {QStringLiteral("unit-baud"),
         QStringLiteral("The units take bytes no faster than this rate (default: freely)."),
         QStringLiteral("N")},
    });
    parser.process(arguments);
    SoakOptions options;
    bool ok = true;
    if (parser.isSet(QStringLiteral("runs")))
        options.runs = parser.value(QStringLiteral("runs")).toInt(&ok);
    if (!ok || options.runs < 1)
        return std::nullopt;
    options.seed = parser.isSet(QStringLiteral("seed"))
                       ? parser.value(QStringLiteral("seed")).toUInt(&ok)
                       : QRandomGenerator::system()->generate();
    const QString transport = parser.value(QStringLiteral("transport"));
    options.pty = transport.isEmpty() || transport == QLatin1String("both") ||
                  transport == QLatin1String("pty");
    options.tcp = transport.isEmpty() || transport == QLatin1String("both") ||
                  transport == QLatin1String("tcp");
    if (parser.isSet(QStringLiteral("run"))) {
        const int run = parser.value(QStringLiteral("run")).toInt(&ok);
        if (run < 1)
            return std::nullopt;
        options.onlyRun = run;
    }
    if (parser.isSet(QStringLiteral("fault"))) {
        options.fault = RunPlan::faultFromKey(parser.value(QStringLiteral("fault")));
        if (!options.fault)
            return std::nullopt;
    }
    options.verbose = parser.isSet(QStringLiteral("verbose"));
    if (ok && parser.isSet(QStringLiteral("timing-scale")))
        options.timingScale = parser.value(QStringLiteral("timing-scale")).toDouble(&ok);
    if (ok && parser.isSet(QStringLiteral("unit-baud")))
        options.unitBaud = parser.value(QStringLiteral("unit-baud")).toInt(&ok);
    if (!ok || options.timingScale <= 0 || options.timingScale > 1 || options.unitBaud < 0)
        return std::nullopt;
    if (!ok || (!options.pty && !options.tcp))
        return std::nullopt;
    return options;
}

void printRunLine(const RunPlan &plan, const RunOutcome &outcome)
{
    std::printf("%s: %s%s%s\n", qPrintable(plan.describe()), qPrintable(outcome.verdictName()),
                outcome.falseRecords.isEmpty() ? "" : ", FALSE RECORD",
                outcome.forcedEnd ? ", FORCED END" : "");
}

// Everything known about a run that needs a closer look.
void printRunDetails(const RunPlan &plan, const RunOutcome &outcome)
{
    printRunLine(plan, outcome);
    if (!outcome.harnessError.isEmpty())
        std::printf("  set-up: %s\n", qPrintable(outcome.harnessError));
    std::printf("  fault struck: %s; script result %d, cancel flag %d\n",
                outcome.faultInjected ? "yes" : "no", outcome.result, outcome.cancelFlag);
    for (const QString &finding : outcome.falseRecords)
        std::printf("  false record: %s\n", qPrintable(finding));
    if (outcome.exitStatus >= 0)
        std::printf("  process end asked for: status %d\n", outcome.exitStatus);
    // Its message boxes and records, as Tamrin wrote them on standard error.
    for (const QString &line : outcome.tamrinLines)
        std::printf("  %s\n", qPrintable(line));
    for (const QString &line : outcome.uploadLines)
        std::printf("  unit: %s\n", qPrintable(line));
    if (!outcome.storedDetail.isEmpty())
        std::printf("  %s\n", qPrintable(outcome.storedDetail));
    if (!outcome.evidenceFolder.isEmpty())
        std::printf("  kept: %s\n", qPrintable(outcome.evidenceFolder));
}

RunOutcome executeRun(const RunPlan &plan, int unitBaud, RunWatchdog &watchdog)
{
    watchdog.arm(plan.describe());
    RunOutcome outcome = SoakRun(plan, unitBaud).execute();
    watchdog.disarm();
    return outcome;
}

void printMemory(int firstRuns, long firstPeak, int allRuns, long endPeak)
{
    const long growth = endPeak - firstPeak;
    std::printf("peak memory (VmHWM): %ld kB after %d runs, %ld kB after %d runs (%+ld kB): %s\n",
                firstPeak, firstRuns, endPeak, allRuns, growth,
                growth <= FlatMarginKilobytes ? "flat" : "NOT FLAT, it grew");
}

} // namespace

int main(int argc, char *argv[])
{
    // Before any run catches standard error: what must reach the person goes here.
    StderrCapture::lastingStderr();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::optional<SoakOptions> options = parseOptions(app.arguments());
    if (!options) {
        std::fprintf(stderr, "tamrin-soak: give --runs N (N >= 1), --seed S, --run R (R >= 1), "
                             "--transport pty|tcp|both, --fault NAME (see --help), "
                             "--timing-scale X (0 < X <= 1) and --unit-baud N\n");
        return 2;
    }
    Timing::setScale(options->timingScale);
    const int first = options->onlyRun.value_or(1);
    const int last = options->onlyRun.value_or(options->runs);
    const int tenth = first + std::max(1, (last - first + 1) / 10) - 1;
    std::printf("tamrin-soak: runs %d to %d, seed %u, transport %s\n", first, last, options->seed,
                options->pty && options->tcp ? "both (odd runs pty, even runs tcp)"
                                             : (options->pty ? "pty" : "tcp"));
    const QString pace = options->unitBaud > 0 ? QStringLiteral("at %1 baud").arg(options->unitBaud)
                                               : QStringLiteral("freely");
    std::printf("Tamrin's pauses scaled by %g, the units read %s\n", options->timingScale,
                qPrintable(pace));
    if (options->fault)
        std::printf("every run has the fault %s\n",
                    qPrintable(RunPlan::faultName(*options->fault)));
    std::fflush(stdout);
    RunWatchdog watchdog(RunLimitSeconds);
    SoakTally tally;
    long peakAtTenth = -1;
    for (int run = first; run <= last; ++run) {
        const RunPlan plan =
            RunPlan::draw(options->seed, run, options->pty, options->tcp, options->fault);
        const RunOutcome outcome = executeRun(plan, options->unitBaud, watchdog);
        tally.record(plan, outcome);
        const bool special =
            outcome.failsTamrin() || outcome.verdict == RunOutcome::Verdict::HarnessError;
        if (special || options->onlyRun)
            printRunDetails(plan, outcome);
        else if (options->verbose)
            printRunLine(plan, outcome);
        if (run == tenth) {
            peakAtTenth = peakMemoryKilobytes();
            std::printf("after %d runs: %d silent failures, %d false records, peak memory %ld kB\n",
                        run - first + 1, tally.silentFailures(), tally.falseRecords(), peakAtTenth);
        }
        std::fflush(stdout);
    }
    std::printf("\n");
    tally.print(stdout);
    printMemory(tenth - first + 1, peakAtTenth, last - first + 1, peakMemoryKilobytes());
    std::printf("silent failures: %d%s\n", tally.silentFailures(),
                tally.silentFailures() == 0 ? " (none: every failure was reported)"
                                            : " (an upload went wrong without a word)");
    std::printf("false records: %d%s\n", tally.falseRecords(),
                tally.falseRecords() == 0 ? " (none: every record told the truth)"
                                          : " (a record claimed what did not happen)");
    if (tally.forcedEnds() > 0)
        std::printf("FORCED ENDS: %d (a stop from outside was not honoured within %lld s)\n",
                    tally.forcedEnds(), OutsideStop::GraceSeconds);
    if (tally.silentFailures() > 0 || tally.falseRecords() > 0 || tally.forcedEnds() > 0)
        return 1;
    return tally.runsNotMade() > 0 ? 2 : 0;
}
