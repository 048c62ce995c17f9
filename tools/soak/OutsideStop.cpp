// The time limit and SIGTERM of a soak run.
#include "OutsideStop.h"

#include "StderrCapture.h"

#include <csignal>

#include <unistd.h>

OutsideStop::OutsideStop(const RunPlan &plan, const QString &run)
    : m_fault(plan.fault), m_after(plan.stopAfterMs), m_run(run),
      m_guard([this](const ProcessGuard::Request &request) { noteForcedEnd(request); })
{
}

OutsideStop::~OutsideStop()
{
    finish();
}

void OutsideStop::start()
{
    if (m_fault == SoakFault::TimeLimit) {
        m_guard.armTimeLimit(m_after);
        return;
    }
    m_guard.catchSignals();
    m_sender = std::thread([this] { sendSigtermWhenDue(); });
}

void OutsideStop::finish()
{
    {
        const std::lock_guard<std::mutex> hold(m_mutex);
        m_over = true;
    }
    m_finished.notify_all();
    if (m_sender.joinable())
        m_sender.join();
    // A time limit still to come would only close the window the run has left.
    if (m_fault == SoakFault::TimeLimit)
        m_guard.standDown();
}

void OutsideStop::sendSigtermWhenDue()
{
    {
        std::unique_lock<std::mutex> hold(m_mutex);
        if (m_finished.wait_for(hold, m_after, [this] { return m_over; }))
            return;
    }
    ::kill(::getpid(), SIGTERM);
}

// On the guard's thread, while the run may still hold the window thread.
void OutsideStop::noteForcedEnd(const ProcessGuard::Request &request)
{
    m_forcedEnd = true;
    std::fprintf(StderrCapture::lastingStderr(),
                 "tamrin-soak: FORCED END: %s: stopped (%s), the run had not ended %lld s later\n",
                 qPrintable(m_run), qPrintable(request.reason()), GraceSeconds);
}
