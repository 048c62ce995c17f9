// The watchdog thread of the soak.
#include "RunWatchdog.h"

#include "StderrCapture.h"

#include <cstdio>
#include <cstdlib>

RunWatchdog::RunWatchdog(int limitSeconds) : m_limit(limitSeconds), m_thread([this] { watch(); }) {}

RunWatchdog::~RunWatchdog()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void RunWatchdog::arm(const QString &run)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_run = run.toStdString();
        m_deadline = std::chrono::steady_clock::now() + m_limit;
        m_armed = true;
    }
    m_changed.notify_all();
}

void RunWatchdog::disarm()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_armed = false;
    }
    m_changed.notify_all();
}

void RunWatchdog::watch()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopping) {
        if (!m_armed) {
            m_changed.wait(lock);
            continue;
        }
        const auto deadline = m_deadline;
        if (m_changed.wait_until(lock, deadline) == std::cv_status::timeout && m_armed &&
            m_deadline == deadline) {
            // Standard error may be the run's file at this moment.
            std::fprintf(StderrCapture::lastingStderr(),
                         "tamrin-soak: HUNG: %s has not ended after %lld s\n", m_run.c_str(),
                         static_cast<long long>(m_limit.count()));
            std::_Exit(3);
        }
    }
}
