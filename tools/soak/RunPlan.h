// What one soak run does, drawn at random from the soak's seed and the run's number alone, so
// that any run can be replayed by itself: the transport, the fault, the file's size and bytes,
// and where in the data the fault strikes.
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

enum class SoakTransport
{
    Pty,
    Tcp
};

enum class SoakFault
{
    None,
    HangupInData,    // the unit hangs up after N data bytes ("hangup-after N")
    MuteAfterHeader, // the unit takes the data but never shows the prompt after it
    Garbage,         // 5000 bytes of garbage from the unit in the middle of the data
    Reset,           // the line is dropped in the middle of the data ("hangup")
    Shrink,          // the file gets shorter between _LA and _LD
};

struct RunPlan
{
    static constexpr qint64 MaxFileSize = 1024 * 1024;
    static constexpr qint64 SmallFileSize = 6000; // a few blocks, their edges included
    static constexpr int FaultCount = 6;

    // 'both' alternates: odd runs on the pseudo-terminal, even runs over TCP.
    static RunPlan draw(quint32 seed, int run, bool pty, bool tcp);

    // The file's bytes, all 256 values, from the plan's own generator.
    QByteArray fileBytes() const;
    bool needsData() const;
    QString describe() const;
    static QString transportName(SoakTransport transport);
    static QString faultName(SoakFault fault);

    quint32 seed = 0;
    int run = 0;
    SoakTransport transport = SoakTransport::Pty;
    SoakFault fault = SoakFault::None;
    qint64 size = 0;
    // Hang-up limit, or the data byte whose block sets off the garbage or the reset.
    qint64 faultAt = 0;
    // What the file is cut to after _LA.
    qint64 shrunkSize = 0;
    quint32 dataSeed = 0;
};
