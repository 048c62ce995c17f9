#pragma once

// UnitProtocol is the simulated unit's command interpreter. It does no I/O and reads
// no clock: the host hands it the bytes a channel received together with the current
// time, and takes back the output that has fallen due (answers wait for the answer
// delay, echo goes at once) and the events it must act on: a finished upload to
// store, or a line to hang up. A hang-up that must follow an answer comes as an output
// of its own, queued behind that answer, so it cannot overtake it.
//
// Each channel collects its own command line and its own upload data, so a TCP client
// and a serial client cannot corrupt each other's lines; the mode (normal or loader),
// the settings and the upload counter belong to the one unit behind both.

#include "UnitSettings.h"

#include <QByteArray>
#include <QList>
#include <QRandomGenerator>
#include <QString>

#include <optional>

class UnitProtocol
{
public:
    enum class Channel
    {
        Pty,
        Tcp
    };
    enum class Mode
    {
        Normal,
        Loader
    };

    // Longer command lines keep their first MaxLineLength bytes.
    static constexpr int MaxLineLength = 4096;
    // An upload header announcing more than this is answered as a bad header.
    static constexpr qint64 MaxUploadSize = 64 * 1024 * 1024;

    struct Output
    {
        Channel channel;
        qint64 dueMs;
        QByteArray bytes;
        // Carries no bytes: the line drops once everything before it has reached the client.
        bool hangsUp = false;
    };

    struct Upload
    {
        int number = 0;
        QByteArray header;
        QByteArray address;
        QByteArray version;
        QByteArray data;
        quint16 sum = 0;
        QByteArray sumText;
        QByteArray expectedText;
        bool checksumOk = false;
    };

    struct Event
    {
        enum class Kind
        {
            UploadFinished,
            Hangup
        };
        Kind kind;
        Channel channel;
        Upload upload; // UploadFinished only
    };

    explicit UnitProtocol(const UnitSettings &settings = UnitSettings(), quint32 randomSeed = 1);

    UnitSettings &settings() { return settings_; }
    const UnitSettings &settings() const { return settings_; }
    Mode mode() const { return mode_; }
    void setMode(Mode mode) { mode_ = mode; }
    char currentPrompt() const;

    void receive(Channel channel, const QByteArray &bytes, qint64 nowMs);
    // The channel's line dropped: its partial line, upload and unsent answers are void.
    void resetChannel(Channel channel);
    bool isReceivingUpload(Channel channel) const;
    // The first channel to answer this many more command lines, from whichever of its
    // clients, drops its line right after that answer; then the fault is over. Unset: never.
    void setHangupAfterLines(std::optional<int> lines);
    // On: from the next upload header the unit takes the data but answers nothing more.
    // Off, or on again: the unit talks as before until the next header.
    void setMuteAfterHeader(bool on);

    QList<Output> takeDueOutput(qint64 nowMs);
    // Time the next queued output falls due, or -1 when nothing waits.
    qint64 nextDueMs() const;
    QList<Event> takeEvents();

    // Lines of printable text ending in CR LF, free of prompt characters.
    QByteArray fillerText(qint64 size) const;
    // Random bytes of any value except the prompt characters.
    QByteArray garbage(qint64 size);

    static QString channelName(Channel channel);
    static quint16 checksum(const QByteArray &data);

private:
    struct PendingUpload
    {
        QByteArray header;
        QByteArray address;
        QByteArray version;
        qint64 size = 0;
        QByteArray expectedText;
        QByteArray data;
    };

    struct Reception
    {
        QByteArray line;
        std::optional<PendingUpload> upload;
        // Its last answer is queued and the line goes down behind it: it takes nothing more.
        bool droppingLine = false;
    };

    // Command lines each channel may still answer before its line drops.
    struct LinesBeforeHangup
    {
        int pty = 0;
        int tcp = 0;
    };

    Reception &receptionOf(Channel channel);
    const Reception &receptionOf(Channel channel) const;
    void receiveCommandByte(Channel channel, char byte, qint64 nowMs);
    qsizetype takeUploadData(Channel channel, const QByteArray &bytes, qsizetype from,
                             qint64 nowMs);
    void handleLine(Channel channel, const QByteArray &line, qint64 nowMs);
    bool isUploadHeader(const QList<QByteArray> &fields) const;
    void startUpload(Channel channel, const QByteArray &line, const QList<QByteArray> &fields,
                     qint64 nowMs);
    bool hangUpIfDue(Channel channel);
    void finishUpload(Channel channel, qint64 nowMs);
    void answer(Channel channel, const QByteArray &text, bool padded, qint64 nowMs);
    void countAnsweredLine(Channel channel, qint64 answerDueMs);
    void queue(Channel channel, qint64 dueMs, const QByteArray &bytes);
    void insertOutput(const Output &output);
    bool isPromptCharacter(char byte) const;

    UnitSettings settings_;
    Mode mode_ = Mode::Normal;
    int uploadCount_ = 0;
    bool hungUp_ = false;
    // An upload header came while muteAfterHeader was on: the unit has gone silent.
    bool silencedByHeader_ = false;
    std::optional<LinesBeforeHangup> linesBeforeHangup_;
    Reception ptyReception_;
    Reception tcpReception_;
    QList<Output> pending_;
    QList<Event> events_;
    QRandomGenerator random_;
};
