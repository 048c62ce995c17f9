// Ends the soak when one run does not end: a hung upload is a finding, so the soak names the
// run (seed, number, fault) on standard error and exits with status 3 instead of waiting for
// ever. It watches from a thread of its own, since a hung run holds the main thread.
#pragma once

#include <QString>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class RunWatchdog
{
public:
    explicit RunWatchdog(int limitSeconds);
    ~RunWatchdog();
    RunWatchdog(const RunWatchdog &) = delete;
    RunWatchdog &operator=(const RunWatchdog &) = delete;

    void arm(const QString &run);
    void disarm();

private:
    void watch();

    const std::chrono::seconds m_limit;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string m_run;
    std::chrono::steady_clock::time_point m_deadline;
    bool m_armed = false;
    bool m_stopping = false;
    std::thread m_thread;
};
