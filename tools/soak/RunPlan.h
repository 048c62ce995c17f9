// What one soak run does, drawn at random from the soak's seed and the run's number alone, so
// that any run can be replayed by itself: the transport, the fault, the file's size and bytes,
// and when the fault strikes: before the data, once a given data byte goes out, or, for a stop
// from outside, a drawn number of milliseconds into the _LD run.
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

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
    TypedKey,        // the operator types a key into the terminal pane during the upload
    ChangedContent,  // the file is rewritten, same size, other bytes, after _LA measured it
    TimeLimit,       // the run's time limit passes at a drawn moment of the _LD run
    Sigterm,         // SIGTERM comes at a drawn moment of the _LD run
};

struct RunPlan
{
    static constexpr qint64 MaxFileSize = 1024 * 1024;
    static constexpr qint64 SmallFileSize = 6000; // a few blocks, their edges included
    static constexpr int FaultCount = 10;
    // At most this many bytes differ in the rewritten file; see changedBytes().
    static constexpr qint64 ChangedByteCount = 256;
    // A stop from outside comes up to this long into the _LD run. At the soak's default
    // timing scale that run takes about 0.5 s (a few bytes) to 0.7 s (1 MB) on an idle 2-core
    // machine: stops fall in the header pause, the data and the waits after it, and some
    // after the run's end.
    static constexpr int LatestStopMs = 800;

    // 'both' alternates: odd runs on the pseudo-terminal, even runs over TCP. A 'forced'
    // fault replaces the drawn one; everything else is drawn as without it.
    static RunPlan draw(quint32 seed, int run, bool pty, bool tcp,
                        std::optional<SoakFault> forced = std::nullopt);

    // The file's bytes, all 256 values, from the plan's own generator.
    QByteArray fileBytes() const;
    // What ChangedContent rewrites the file with.
    QByteArray changedBytes() const;
    bool needsData() const;
    // True for a fault that goes off once the block holding data byte faultAt goes out.
    bool strikesInData() const;
    // True for the time limit and SIGTERM: the run is stopped from outside Tamrin's window.
    bool stopsFromOutside() const;
    QString describe() const;
    static QString transportName(SoakTransport transport);
    static QString faultName(SoakFault fault);
    // One word for the command line: none, hangup, mute, garbage, reset, shrink, key, rewrite,
    // limit, sigterm.
    static QString faultKey(SoakFault fault);
    static std::optional<SoakFault> faultFromKey(const QString &key);

    quint32 seed = 0;
    int run = 0;
    SoakTransport transport = SoakTransport::Pty;
    SoakFault fault = SoakFault::None;
    qint64 size = 0;
    // Hang-up limit, or the data byte whose block sets off the garbage, the reset, the typed
    // key or the rewrite.
    qint64 faultAt = 0;
    // The typed key or the rewrite comes before the data instead: the key in the pause after
    // the header, the rewrite between _LA and _LD.
    bool beforeData = false;
    char typedKey = 'a';
    // What the file is cut to after _LA.
    qint64 shrunkSize = 0;
    quint32 dataSeed = 0;
    // How long into the _LD run the time limit passes or SIGTERM comes.
    int stopAfterMs = 0;
};
