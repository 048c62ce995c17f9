#include "ReceivePacer.h"

#include <algorithm>

void ReceivePacer::setBaud(int baud, qint64 nowMs)
{
    baud_ = std::max(0, baud);
    lastMs_ = nowMs;
    credit_ = 0;
}

qint64 ReceivePacer::allowance(qint64 nowMs)
{
    if (!isPaced())
        return 0;
    const qint64 elapsedMs = std::max<qint64>(0, nowMs - lastMs_);
    lastMs_ = nowMs;
    credit_ = std::min(capacity(), credit_ + elapsedMs * baud_);
    return credit_ / CreditPerByte;
}

void ReceivePacer::consume(qint64 bytes)
{
    credit_ = std::max<qint64>(0, credit_ - bytes * CreditPerByte);
}

qint64 ReceivePacer::capacity() const
{
    return std::max<qint64>(CreditPerByte, 2 * TickMs * qint64(baud_));
}
