// Counting soak runs and printing the table.
#include "SoakTally.h"

void SoakTally::Row::add(const RunPlan &plan, const RunOutcome &outcome)
{
    ++runs;
    switch (outcome.verdict) {
    case RunOutcome::Verdict::Delivered:
        ++delivered;
        break;
    case RunOutcome::Verdict::FailureReported:
        ++reported;
        if (outcome.storedExactly)
            ++reportedYetStored;
        break;
    case RunOutcome::Verdict::SilentFailure:
        ++silent;
        break;
    case RunOutcome::Verdict::HarnessError:
        ++notRun;
        break;
    }
    if (!outcome.falseRecords.isEmpty())
        ++falseRecords;
    if (outcome.forcedEnd)
        ++forcedEnds;
    if (plan.fault != SoakFault::None && !outcome.faultInjected &&
        outcome.verdict != RunOutcome::Verdict::HarnessError)
        ++faultMissed;
}

void SoakTally::record(const RunPlan &plan, const RunOutcome &outcome)
{
    const auto faultIndex = size_t(plan.fault);
    if (faultIndex < m_byFault.size())
        m_byFault.at(faultIndex).add(plan, outcome);
    (plan.transport == SoakTransport::Pty ? m_pty : m_tcp).add(plan, outcome);
    m_all.add(plan, outcome);
}

void SoakTally::print(std::FILE *out) const
{
    std::fprintf(out, "%-24s %6s %10s %10s %9s %8s %11s %10s %8s\n", "", "", "delivered",
                 "failures", "SILENT", "FALSE", "reported,", "fault", "not");
    std::fprintf(out, "%-24s %6s %10s %10s %9s %8s %11s %10s %8s\n", "fault / transport", "runs",
                 "identical", "reported", "failures", "records", "yet stored", "missed", "run");
    for (size_t i = 0; i < m_byFault.size(); ++i) {
        if (m_byFault.at(i).runs > 0)
            printRow(out, RunPlan::faultName(SoakFault(i)), m_byFault.at(i),
                     SoakFault(i) != SoakFault::None);
    }
    if (m_pty.runs > 0)
        printRow(out, QStringLiteral("pty"), m_pty, true);
    if (m_tcp.runs > 0)
        printRow(out, QStringLiteral("tcp"), m_tcp, true);
    printRow(out, QStringLiteral("all runs"), m_all, true);
}

void SoakTally::printRow(std::FILE *out, const QString &label, const Row &row, bool faulted)
{
    const QByteArray missed = faulted ? QByteArray::number(row.faultMissed) : QByteArray("-");
    std::fprintf(out, "%-24s %6d %10d %10d %9d %8d %11d %10s %8d\n", qPrintable(label), row.runs,
                 row.delivered, row.reported, row.silent, row.falseRecords, row.reportedYetStored,
                 missed.constData(), row.notRun);
}
