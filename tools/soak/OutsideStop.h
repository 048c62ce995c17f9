// The stop from outside that a soak run's plan draws: the run's time limit, or SIGTERM sent
// to the soak's own process, a drawn number of milliseconds after the _LD run starts.
//
// Both go through a ProcessGuard of the run's own, as in the real program; its forced end
// never ends the soak, it only notes that it fired (Tamrin did not honour a stop within the
// grace) and says so at once on the lasting standard error. SIGTERM comes from a thread that
// waits the drawn delay; the run's end wakes it so it sends nothing late, and it is joined
// before the guard, which catches the signal, goes: no SIGTERM ever meets the default action,
// which would end the soak.
#pragma once

#include "RunPlan.h"

#include "app/ProcessGuard.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

class OutsideStop
{
public:
    // How long Tamrin has to end a run it was told to stop: the guard's default, as in the
    // real program.
    static constexpr long long GraceSeconds =
        std::chrono::duration_cast<std::chrono::seconds>(ProcessGuard::DefaultGrace).count();

    // 'run' names the run in the forced end's line.
    OutsideStop(const RunPlan &plan, const QString &run);
    ~OutsideStop();
    OutsideStop(const OutsideStop &) = delete;
    OutsideStop &operator=(const OutsideStop &) = delete;

    ProcessGuard &guard() { return m_guard; }
    // The time limit is armed, or the SIGTERM thread starts waiting.
    void start();
    // The run is over: a stop not sent yet never will be, and the time limit is disarmed.
    void finish();
    bool forcedEndFired() const { return m_forcedEnd.load(); }

private:
    void sendSigtermWhenDue();
    void noteForcedEnd(const ProcessGuard::Request &request);

    const SoakFault m_fault;
    const std::chrono::milliseconds m_after;
    const QString m_run;
    std::atomic<bool> m_forcedEnd{false};
    std::mutex m_mutex;
    std::condition_variable m_finished;
    bool m_over = false;
    // Declared after what its forced end touches, and before the thread that signals it.
    ProcessGuard m_guard;
    std::thread m_sender;
};
