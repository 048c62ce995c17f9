// The soak's counts, by fault, by transport and in all, and the table that shows them.
#pragma once

#include "RunOutcome.h"
#include "RunPlan.h"

#include <array>
#include <cstdio>

class SoakTally
{
public:
    void record(const RunPlan &plan, const RunOutcome &outcome);
    void print(std::FILE *out) const;

    int runs() const { return m_all.runs; }
    int silentFailures() const { return m_all.silent; }
    int falseRecords() const { return m_all.falseRecords; }
    int forcedEnds() const { return m_all.forcedEnds; }
    int runsNotMade() const { return m_all.notRun; }

private:
    struct Row
    {
        void add(const RunPlan &plan, const RunOutcome &outcome);

        int runs = 0;
        int delivered = 0;
        int reported = 0;
        int silent = 0;
        int falseRecords = 0;      // runs whose records claim what did not happen
        int forcedEnds = 0;        // a stop from outside not honoured within its grace
        int reportedYetStored = 0; // a false alarm: the unit holds the file all the same
        int faultMissed = 0;       // the transfer (for a stop, the run) was over before it struck
        int notRun = 0;
    };

    static void printRow(std::FILE *out, const QString &label, const Row &row, bool faulted);

    std::array<Row, RunPlan::FaultCount> m_byFault{};
    Row m_pty;
    Row m_tcp;
    Row m_all;
};
