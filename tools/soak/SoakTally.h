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
    int runsNotMade() const { return m_all.notRun; }

private:
    struct Row
    {
        void add(const RunPlan &plan, const RunOutcome &outcome);

        int runs = 0;
        int delivered = 0;
        int reported = 0;
        int silent = 0;
        int reportedYetStored = 0; // a false alarm: the unit holds the file all the same
        int faultMissed = 0;       // the transfer was over before the fault could strike
        int notRun = 0;
    };

    static void printRow(std::FILE *out, const QString &label, const Row &row, bool faulted);

    std::array<Row, RunPlan::FaultCount> m_byFault{};
    Row m_pty;
    Row m_tcp;
    Row m_all;
};
