// Every wait in Tamrin is built from three things: a plain sleep, a millisecond clock and
// one pass of the window's message queue. They all live here, so that tests can run the
// protocol's long pauses faster (setScale) while the code keeps its real-world numbers.
//
// With a scale s, sleepMs(n) sleeps n*s real milliseconds and nowMs() advances 1/s times
// faster than the wall clock, so a wait measured in clock ticks shrinks by the same factor.
#pragma once

#include <QtGlobal>

class QObject;
class QTimer;

namespace Timing {

// The unit's protocol counts some limits in ticks of 55 ms (a PC's clock tick).
constexpr int TickMs = 55;

// Sleeps without letting window messages run (the protocol's fixed pauses).
void sleepMs(int ms);

// Milliseconds on a monotonic clock, scaled.
qint64 nowMs();

// Lets pending window messages run once.
void pump();

// A stopped timer of 'intervalMs' for a protocol time-out, owned by 'parent'. It is precise:
// a coarse timer may fire up to 5% early.
QTimer *protocolTimer(QObject *parent, int intervalMs);

// 1.0 is real time; 0.1 runs every pause ten times faster. Values outside (0, 1] are refused.
void setScale(double scale);

} // namespace Timing
