// Drawing a soak run's plan and its file from the seed and the run number.
#include "RunPlan.h"

#include <QRandomGenerator>

#include <array>
#include <cstring>
#include <vector>

RunPlan RunPlan::draw(quint32 seed, int run, bool pty, bool tcp)
{
    // Seeded by the pair, not by a generator shared across runs: run 517 is the same run
    // whether it comes after 516 others or alone.
    const std::array<quint32, 2> seeds{seed, quint32(run)};
    QRandomGenerator random(seeds.data(), qsizetype(seeds.size()));
    RunPlan plan;
    plan.seed = seed;
    plan.run = run;
    plan.transport = pty && (!tcp || run % 2 == 1) ? SoakTransport::Pty : SoakTransport::Tcp;
    plan.fault = SoakFault(random.bounded(FaultCount));
    // One run in eight takes a small file, so that the empty file and the block edges come up.
    const bool small = random.bounded(8) == 0;
    plan.size = random.bounded(qint64(0), (small ? SmallFileSize : MaxFileSize) + 1);
    if (plan.needsData() && plan.size == 0)
        plan.size = 1;
    plan.faultAt = plan.size > 0 ? random.bounded(plan.size) : 0;
    plan.shrunkSize = plan.size > 0 ? random.bounded(plan.size) : 0;
    plan.dataSeed = random.generate();
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

bool RunPlan::needsData() const
{
    return fault != SoakFault::None && fault != SoakFault::MuteAfterHeader;
}

QString RunPlan::describe() const
{
    QString text = QStringLiteral("run %1 (seed %2): %3, %4 bytes, fault %5")
                       .arg(run)
                       .arg(seed)
                       .arg(transportName(transport))
                       .arg(size)
                       .arg(faultName(fault));
    if (fault == SoakFault::HangupInData)
        text += QStringLiteral(" after %1 data bytes").arg(faultAt);
    else if (fault == SoakFault::Garbage || fault == SoakFault::Reset)
        text += QStringLiteral(" at the block holding data byte %1").arg(faultAt);
    else if (fault == SoakFault::Shrink)
        text += QStringLiteral(" to %1 bytes").arg(shrunkSize);
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
    }
    return QStringLiteral("?");
}
