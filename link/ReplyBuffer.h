// The reply buffer: where a command's reply is captured until the unit's prompt.
//
// It is a fixed 1000-byte array. Each delivery of received bytes is copied in at the fill
// position and scanned for a prompt character; a delivery that would reach the end starts
// again at the front (earlier bytes are overwritten), so a flooding unit can never overrun
// it. The text ends just before the prompt that ended the capture, however the bytes were
// split into deliveries; while no prompt has come, the text is what has been captured so far.
// The guard counts the capture's own bytes from its start, so the echo of the command is
// skipped but a prompt that happens to land at the front after a wrap still ends it.
// Nothing is allocated per delivery.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <array>

class ReplyBuffer
{
public:
    static constexpr int Size = 1000;

    // Empties the buffer for a new capture.
    void clear();

    // Copies a delivery in and scans it. A byte ends the capture when it is one of
    // 'prompts' and at least 'guard' bytes came before it in this capture; the bytes after
    // it are not kept. Returns true when a prompt ended the capture.
    bool deliver(QByteArrayView bytes, QByteArrayView prompts, int guard);

    // The captured text: everything up to the first NUL, at most Size bytes.
    QByteArray text() const;
    int fillPosition() const { return m_fill; }

private:
    bool deliverPiece(QByteArrayView piece, QByteArrayView prompts, int guard);
    void terminateAt(int index);

    std::array<char, Size> m_bytes{};
    int m_fill = 0;
    qint64 m_captured = 0;
};
