#include "base/Timing.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <utility>

namespace {

double g_scale = 1.0;
std::function<bool()> g_interrupted;
// A long sleep looks at the interruption this often (real milliseconds).
constexpr qint64 SliceMicros = 50 * 1000;

QElapsedTimer &monotonicClock()
{
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer;
}

} // namespace

namespace Timing {

void sleepMs(int ms)
{
    if (ms <= 0)
        return;
    for (qint64 left = qMax<qint64>(qint64(ms * 1000.0 * g_scale), 1); left > 0;
         left -= SliceMicros) {
        if (interrupted())
            return;
        QThread::usleep(quint64(qMin(left, SliceMicros)));
    }
}

void setInterruption(std::function<bool()> interrupted)
{
    g_interrupted = std::move(interrupted);
}

bool interrupted()
{
    return g_interrupted && g_interrupted();
}

qint64 nowMs()
{
    return qint64(double(monotonicClock().nsecsElapsed()) / 1.0e6 / g_scale);
}

void pump()
{
    QCoreApplication::processEvents();
}

void setScale(double scale)
{
    if (scale > 0.0 && scale <= 1.0)
        g_scale = scale;
}

QTimer *protocolTimer(QObject *parent, int intervalMs)
{
    auto *timer = new QTimer(parent);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(intervalMs);
    return timer;
}

WaitLimit afterPolls(int count)
{
    return [count](int polls) { return polls >= count; };
}

WaitLimit atDeadline(qint64 deadlineMs)
{
    return [deadlineMs](int) { return nowMs() >= deadlineMs; };
}

WaitLimit pastTick(qint64 lastTick)
{
    return [lastTick](int) { return nowMs() / TickMs > lastTick; };
}

PollWait::PollWait(std::function<bool()> holds, WaitLimit limit)
    : m_holds(std::move(holds)), m_limit(std::move(limit))
{
}

PollWait &PollWait::stopWhen(std::function<bool()> stop)
{
    m_stop = std::move(stop);
    return *this;
}

PollWait &PollWait::sleepFirst(int ms)
{
    m_sleepFirst = true;
    m_sleepMs = ms;
    return *this;
}

PollWait &PollWait::afterEachPoll(std::function<void(int)> action)
{
    m_afterPoll = std::move(action);
    return *this;
}

WaitEnd PollWait::run() const
{
    for (int polls = 0;; ++polls) {
        if (m_holds())
            return WaitEnd::Held;
        if ((m_stop && m_stop()) || interrupted())
            return WaitEnd::Stopped;
        if (m_limit(polls))
            return WaitEnd::LimitReached;
        poll();
        if (m_afterPoll)
            m_afterPoll(polls + 1);
    }
}

void PollWait::poll() const
{
    if (m_sleepFirst) {
        sleepMs(m_sleepMs);
        pump();
    } else {
        pump();
        sleepMs(m_sleepMs);
    }
}

} // namespace Timing
