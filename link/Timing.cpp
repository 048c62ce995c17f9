#include "link/Timing.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

namespace {

double g_scale = 1.0;

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
    const qint64 micros = qint64(ms * 1000.0 * g_scale);
    QThread::usleep(quint64(qMax<qint64>(micros, 1)));
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

} // namespace Timing
