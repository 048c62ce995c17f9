#include "app/ProcessGuard.h"

#include "app/Station.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr std::array<int, 3> CaughtSignals{SIGTERM, SIGINT, SIGHUP};

// The write end of the pipe of the guard that catches the signals.
volatile std::sig_atomic_t g_signalPipe = -1;

// One byte into a pipe that is never full for long; a lost byte only wakes nobody.
void writeByte(int fd, char byte)
{
    if (fd >= 0 && ::write(fd, &byte, 1) < 0)
        return;
}

// Only what is safe in a signal handler: one write of the signal's number.
void onSignal(int number)
{
    const int savedErrno = errno;
    writeByte(g_signalPipe, char(number));
    errno = savedErrno;
}

QString signalName(int number)
{
    switch (number) {
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    default:
        return QStringLiteral("signal %1").arg(number);
    }
}

} // namespace

int ProcessGuard::Request::exitStatus() const
{
    return timeLimit() ? int(ExitRunTimeLimit) : 128 + signal;
}

QString ProcessGuard::Request::reason() const
{
    return timeLimit() ? message() : QStringLiteral("stopped by ") + signalName(signal);
}

QString ProcessGuard::Request::message() const
{
    if (timeLimit())
        return QStringLiteral("Error! The run time limit of %1 s (TAMRIN_RUN_TIMEOUT) has "
                              "passed. Exiting script.")
            .arg(double(limit.count()) / 1000.0);
    return QStringLiteral("Error! The run was stopped by %1. Exiting script.")
        .arg(signalName(signal));
}

ProcessGuard::ProcessGuard(ForcedEnd forcedEnd, std::chrono::milliseconds grace)
    : m_forcedEnd(std::move(forcedEnd)), m_grace(grace)
{
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        m_pipe[0] = m_pipe[1] = -1;
    m_thread = std::thread([this] { watch(); });
}

ProcessGuard::~ProcessGuard()
{
    {
        const std::lock_guard<std::mutex> hold(m_mutex);
        m_quit = true;
    }
    wake();
    m_thread.join();
    if (g_signalPipe == m_pipe[1]) {
        for (const int number : CaughtSignals)
            std::signal(number, SIG_DFL);
        g_signalPipe = -1;
    }
    for (const int end : m_pipe) {
        if (end >= 0)
            ::close(end);
    }
}

void ProcessGuard::catchSignals()
{
    g_signalPipe = m_pipe[1];
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : CaughtSignals)
        ::sigaction(number, &action, nullptr);
}

void ProcessGuard::armTimeLimit(std::chrono::milliseconds limit)
{
    {
        const std::lock_guard<std::mutex> hold(m_mutex);
        m_deadline = Clock::now() + limit;
        m_limit = limit;
    }
    wake();
}

std::optional<ProcessGuard::Request> ProcessGuard::takeRequest()
{
    // Looked at between the slices of every sleep: the common answer costs no lock.
    if (!m_pending.load())
        return std::nullopt;
    const std::lock_guard<std::mutex> hold(m_mutex);
    m_pending = false;
    return std::exchange(m_waiting, std::nullopt);
}

void ProcessGuard::standDown()
{
    {
        const std::lock_guard<std::mutex> hold(m_mutex);
        m_deadline.reset();
        m_forcedEndAt.reset();
    }
    wake();
}

// A zero byte only wakes the thread to look again; a signal's number is never zero.
void ProcessGuard::wake()
{
    writeByte(m_pipe[1], 0);
}

void ProcessGuard::watch()
{
    for (;;) {
        std::optional<Request> forcedEnd;
        int timeoutMs = -1;
        {
            const std::lock_guard<std::mutex> hold(m_mutex);
            if (m_quit)
                return;
            if (!dueNow(forcedEnd))
                timeoutMs = msUntilNextDue();
        }
        // Called unlocked: the forced end ends the process.
        if (forcedEnd) {
            m_forcedEnd(*forcedEnd);
            return;
        }
        pollfd entry{m_pipe[0], POLLIN, 0};
        ::poll(&entry, 1, timeoutMs);
        readPipe();
    }
}

bool ProcessGuard::dueNow(std::optional<Request> &forcedEnd)
{
    const Clock::time_point now = Clock::now();
    if (m_deadline && now >= *m_deadline) {
        m_deadline.reset();
        post(Request{0, m_limit});
    }
    if (!m_forcedEndAt || now < *m_forcedEndAt)
        return false;
    forcedEnd = m_posted;
    return true;
}

int ProcessGuard::msUntilNextDue() const
{
    std::optional<Clock::time_point> next = m_deadline;
    if (m_forcedEndAt && (!next || *m_forcedEndAt < *next))
        next = m_forcedEndAt;
    if (!next)
        return -1;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(*next - Clock::now()).count();
    return int(std::clamp<long long>(left + 1, 0, 60000));
}

void ProcessGuard::readPipe()
{
    std::array<char, 64> bytes{};
    ssize_t got = 0;
    while ((got = ::read(m_pipe[0], bytes.data(), bytes.size())) > 0) {
        const std::lock_guard<std::mutex> hold(m_mutex);
        for (ssize_t i = 0; i < got; ++i) {
            if (bytes.at(size_t(i)) == 0)
                continue;
            // A second signal while the first is being handled: nobody waits any longer.
            if (m_posted)
                m_forcedEndAt = Clock::now();
            else
                post(Request{int(quint8(bytes.at(size_t(i)))), {}});
        }
    }
}

// Called with the lock held.
void ProcessGuard::post(const Request &request)
{
    if (m_posted)
        return;
    m_posted = request;
    m_waiting = request;
    m_pending = true;
    m_forcedEndAt = Clock::now() + m_grace;
    emit stopRequested();
}
