#pragma once

// ReceivePacer limits how fast the simulator takes bytes from an endpoint, the way a
// UART at a given baud rate would: 8N1 framing puts ten bits on the wire per byte.
// It is a token bucket filled by elapsed time. The bucket holds at most two ticks'
// worth (and at least one byte), so an idle pause never turns into a burst, and the
// sender's buffers fill up as they would in front of a real unit.

#include <QtGlobal>

class ReceivePacer
{
public:
    // The host takes a slice from each paced endpoint this often.
    static constexpr int TickMs = 10;

    // 0 turns pacing off.
    void setBaud(int baud, qint64 nowMs);
    int baud() const { return baud_; }
    bool isPaced() const { return baud_ > 0; }

    // Bytes that may be taken now; none while pacing is off, as the host then reads freely.
    qint64 allowance(qint64 nowMs);
    void consume(qint64 bytes);

private:
    // Credit counts ten-thousandths of a byte: one ms at N baud earns N of them.
    static constexpr qint64 CreditPerByte = 10000;

    qint64 capacity() const;

    int baud_ = 0;
    qint64 lastMs_ = 0;
    qint64 credit_ = 0;
};
