// ProcessGuard: what stops a run from outside it, and the last resort when the run does not
// stop.
//
// SIGTERM, SIGINT and SIGHUP are caught by a handler that only writes the signal's number to a
// pipe; the run's time limit is a deadline. A thread of the guard's own waits on both, so
// both work whatever the window thread is doing. It leaves one stop request for the window
// thread, which takes it at its next look (a pass of its message loop, a slice of a sleep, a
// poll of a wait) and cancels the run. If the process has not ended 30 s after the request,
// or at once when a second signal comes, the guard's thread ends it itself through the forced
// end it was given: the record lines of what is still going, then the request's exit status.
#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

class ProcessGuard : public QObject
{
    Q_OBJECT
public:
    struct Request
    {
        // 0 for the time limit, else the signal's number.
        int signal = 0;
        std::chrono::milliseconds limit{0};

        bool timeLimit() const { return signal == 0; }
        // 3 for the time limit, 128 + the signal's number for a signal.
        int exitStatus() const;
        // "stopped by SIGTERM", or the time limit's message.
        QString reason() const;
        // The line on standard error that says the run is being stopped.
        QString message() const;
    };
    // Runs on the guard's thread; it must end the process.
    using ForcedEnd = std::function<void(const Request &)>;

    static constexpr std::chrono::milliseconds DefaultGrace{30000};

    explicit ProcessGuard(ForcedEnd forcedEnd,
                          std::chrono::milliseconds grace = DefaultGrace);
    ~ProcessGuard() override;
    ProcessGuard(const ProcessGuard &) = delete;
    ProcessGuard &operator=(const ProcessGuard &) = delete;

    // Catches SIGTERM, SIGINT and SIGHUP from now on (one guard per process does).
    void catchSignals();
    // The run's time limit, counted from now in real time.
    void armTimeLimit(std::chrono::milliseconds limit);
    // The window thread takes the request, once.
    std::optional<Request> takeRequest();
    // The process ends by itself: no forced end any more.
    void standDown();

signals:
    // A request waits; delivered on the window thread.
    void stopRequested();

private:
    using Clock = std::chrono::steady_clock;

    void watch();
    // Posts the time limit once it has passed; the forced end once it is due (true).
    bool dueNow(std::optional<Request> &forcedEnd);
    int msUntilNextDue() const;
    void readPipe();
    void post(const Request &request);
    void wake();

    ForcedEnd m_forcedEnd;
    std::chrono::milliseconds m_grace;
    int m_pipe[2] = {-1, -1};
    std::mutex m_mutex;
    std::optional<Clock::time_point> m_deadline;
    std::chrono::milliseconds m_limit{0};
    std::optional<Clock::time_point> m_forcedEndAt;
    std::optional<Request> m_posted;
    std::optional<Request> m_waiting;
    bool m_quit = false;
    std::atomic<bool> m_pending{false};
    std::thread m_thread;
};
