// Every wait in Tamrin is built from three things: a plain sleep, a millisecond clock and
// one pass of the window's message queue. They all live here, so that tests can run the
// protocol's long pauses faster (setScale) while the code keeps its real-world numbers.
//
// A fixed pause is a sleep, with a pass of the queue where the protocol lets messages run. A
// wait for something (a prompt, a drained buffer, a connection, a painted window) is one
// PollWait: before each poll it asks whether what it waits for holds, whether it must stop,
// and whether its limit is reached, in that order; a poll is one pass of the queue and a
// short sleep, in the order that wait needs.
//
// With a scale s, sleepMs(n) sleeps n*s real milliseconds and nowMs() advances 1/s times
// faster than the wall clock, so a wait measured in clock ticks shrinks by the same factor.
//
// A run that is being ended (its time limit passed, a signal asked the process to stop) waits
// for nothing more: the window installs what tells (setInterruption), a sleep looks at it
// between slices of at most 50 ms and returns early, and a PollWait stops.
#pragma once

#include <QtGlobal>

#include <functional>

class QObject;
class QTimer;

namespace Timing {

// The unit's protocol counts some limits in ticks of 55 ms (a PC's clock tick).
constexpr int TickMs = 55;

// Sleeps without letting window messages run (the protocol's fixed pauses); returns early once
// interrupted() holds.
void sleepMs(int ms);

// What tells that the run is being ended; nothing (the default) never interrupts. Called on
// the window thread, between the slices of a sleep and before each poll of a wait.
void setInterruption(std::function<bool()> interrupted);
bool interrupted();

// Milliseconds on a monotonic clock, scaled.
qint64 nowMs();

// Lets pending window messages run once.
void pump();

// A stopped timer of 'intervalMs' for a protocol time-out, owned by 'parent'. It is precise:
// a coarse timer may fire up to 5% early.
QTimer *protocolTimer(QObject *parent, int intervalMs);

// How a PollWait ended.
enum class WaitEnd
{
    Held,        // what it waited for holds
    Stopped,     // its stop condition held first
    LimitReached // it gave up
};

// Where a wait gives up, given the polls made so far.
using WaitLimit = std::function<bool(int polls)>;
// After 'count' polls.
WaitLimit afterPolls(int count);
// Once the clock (nowMs) has reached 'deadlineMs'.
WaitLimit atDeadline(qint64 deadlineMs);
// Once the clock's tick count (nowMs / TickMs) has passed 'lastTick'.
WaitLimit pastTick(qint64 lastTick);

class PollWait
{
public:
    PollWait(std::function<bool()> holds, WaitLimit limit);

    // Ends the wait as Stopped: the run cancelled, the link gone. An interruption always
    // stops a wait.
    PollWait &stopWhen(std::function<bool()> stop);
    // A poll sleeps 'ms' and then lets messages run (by default it lets them run first and
    // then sleeps 1 ms).
    PollWait &sleepFirst(int ms);
    // What the wait does after each poll, given the polls made so far.
    PollWait &afterEachPoll(std::function<void(int polls)> action);

    WaitEnd run() const;

private:
    void poll() const;

    std::function<bool()> m_holds;
    WaitLimit m_limit;
    std::function<bool()> m_stop;
    std::function<void(int)> m_afterPoll;
    bool m_sleepFirst = false;
    int m_sleepMs = 1;
};

// 1.0 is real time; 0.1 runs every pause ten times faster. Values outside (0, 1] are refused.
void setScale(double scale);

} // namespace Timing
