// Drawing a soak run's plan and its file, as written and as rewritten, from the seed and the
// run number.
#include "RunPlan.h"

#include <QRandomGenerator>

#include <array>
#include <cstring>
#include <vector>

RunPlan RunPlan::draw(quint32 seed, int run, bool pty, bool tcp, std::optional<SoakFault> forced)
{
    // Seeded by the pair, not by a generator shared across runs: run 517 is the same run
    // whether it comes after 516 others or alone.
    const std::array<quint32, 2> seeds{seed, quint32(run)};
    QRandomGenerator random(seeds.data(), qsizetype(seeds.size()));
    RunPlan plan;
    plan.seed = seed;
    plan.run = run;
    plan.transport = pty && (!tcp || run % 2 == 1) ? SoakTransport::Pty : SoakTransport::Tcp;
    const auto drawn = SoakFault(random.bounded(FaultCount));
    plan.fault = forced.value_or(drawn);
    // One run in eight takes a small file, so that the empty file and the block edges come up.
    const bool small = random.bounded(8) == 0;
    plan.size = random.bounded(qint64(0), (small ? SmallFileSize : MaxFileSize) + 1);
    if (plan.needsData() && plan.size == 0)
        plan.size = 1;
    plan.faultAt = plan.size > 0 ? random.bounded(plan.size) : 0;
    plan.shrunkSize = plan.size > 0 ? random.bounded(plan.size) : 0;
    plan.dataSeed = random.generate();
    // Drawn after the rest, and for every fault alike, so the draws above stay where they are.
    plan.beforeData = random.bounded(3) == 0;
    plan.typedKey = char('a' + random.bounded(26));
    plan.stopAfterMs = int(random.bounded(LatestStopMs + 1));
    return plan;
}

QByteArray RunPlan::fileBytes() const
{
    QRandomGenerator random(dataSeed);
    std::vector<quint32> words(size_t((size + 3) / 4));
    random.fillRange(words.data(), qsizetype(words.size()));
    QByteArray bytes(size, Qt::Uninitialized);
    if (size > 0)
        std::memcpy(bytes.data(), words.data(), size_t(size));
    return bytes;
}

// A rewrite the checksum always tells from the original, however much of the file Tamrin
// had read when it came: up to ChangedByteCount bytes spread through the file, the last one
// always among them, are all moved the same way (raised to 0xff, or lowered to 0 when the last
// byte is 0xff already). The bytes sent after the rewrite then sum to between 1 and
// 256 * 255 more (or less) than the measured ones: never a multiple of 65536.
QByteArray RunPlan::changedBytes() const
{
    QByteArray bytes = fileBytes();
    if (bytes.isEmpty())
        return bytes;
    const char target = bytes.back() == '\xff' ? '\0' : '\xff';
    const qint64 stride = (size + ChangedByteCount - 1) / ChangedByteCount;
    for (qint64 i = size - 1; i >= 0; i -= stride)
        bytes[i] = target;
    return bytes;
}

bool RunPlan::needsData() const
{
    return fault != SoakFault::None && fault != SoakFault::MuteAfterHeader && !stopsFromOutside();
}

bool RunPlan::strikesInData() const
{
    switch (fault) {
    case SoakFault::Garbage:
    case SoakFault::Reset:
        return true;
    case SoakFault::TypedKey:
    case SoakFault::ChangedContent:
        return !beforeData;
    default:
        return false;
    }
}

bool RunPlan::stopsFromOutside() const
{
    return fault == SoakFault::TimeLimit || fault == SoakFault::Sigterm;
}

QString RunPlan::describe() const
{
    QString text = QStringLiteral("run %1 (seed %2): %3, %4 bytes, fault %5")
                       .arg(run)
                       .arg(seed)
                       .arg(transportName(transport))
                       .arg(size)
                       .arg(faultName(fault));
    if (fault == SoakFault::TypedKey)
        text += QStringLiteral(" ('%1')").arg(QLatin1Char(typedKey));
    if (fault == SoakFault::HangupInData)
        text += QStringLiteral(" after %1 data bytes").arg(faultAt);
    else if (strikesInData())
        text += QStringLiteral(" at the block holding data byte %1").arg(faultAt);
    else if (fault == SoakFault::Shrink)
        text += QStringLiteral(" to %1 bytes").arg(shrunkSize);
    else if (fault == SoakFault::TypedKey)
        text += QStringLiteral(" in the pause after the header");
    else if (fault == SoakFault::ChangedContent)
        text += QStringLiteral(" before the header");
    else if (stopsFromOutside())
        text += QStringLiteral(" %1 ms into the _LD run").arg(stopAfterMs);
    return text;
}

QString RunPlan::transportName(SoakTransport transport)
{
    return transport == SoakTransport::Pty ? QStringLiteral("pty") : QStringLiteral("tcp");
}

QString RunPlan::faultName(SoakFault fault)
{
    switch (fault) {
    case SoakFault::None:
        return QStringLiteral("none");
    case SoakFault::HangupInData:
        return QStringLiteral("hang-up in the data");
    case SoakFault::MuteAfterHeader:
        return QStringLiteral("mute after the header");
    case SoakFault::Garbage:
        return QStringLiteral("garbage 5000");
    case SoakFault::Reset:
        return QStringLiteral("connection reset");
    case SoakFault::Shrink:
        return QStringLiteral("file shrinks after _LA");
    case SoakFault::TypedKey:
        return QStringLiteral("key typed in the upload");
    case SoakFault::ChangedContent:
        return QStringLiteral("file rewritten after _LA");
    case SoakFault::TimeLimit:
        return QStringLiteral("time limit in the run");
    case SoakFault::Sigterm:
        return QStringLiteral("SIGTERM in the run");
    }
    return QStringLiteral("?");
}

QString RunPlan::faultKey(SoakFault fault)
{
    static const std::array<const char *, FaultCount> keys{"none",  "hangup", "mute", "garbage",
                                                           "reset", "shrink", "key",  "rewrite",
                                                           "limit", "sigterm"};
    return QString::fromLatin1(keys.at(size_t(fault)));
}

std::optional<SoakFault> RunPlan::faultFromKey(const QString &key)
{
    for (int i = 0; i < FaultCount; ++i) {
        if (faultKey(SoakFault(i)) == key)
            return SoakFault(i);
    }
    return std::nullopt;
}
