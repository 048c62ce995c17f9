#pragma once

// ControlInput reads control lines from a file descriptor (standard input) without
// blocking the event loop, and reports its end: whoever started the simulator closes
// the pipe, or dies, and the simulator follows instead of lingering.

#include <QObject>
#include <QSocketNotifier>

class ControlInput : public QObject
{
    Q_OBJECT

public:
    // A longer line is cut to this many bytes.
    static constexpr int MaxLineLength = 64 * 1024;

    explicit ControlInput(int fd, QObject *parent = nullptr);

signals:
    void lineReceived(const QString &line);
    void finished();

private:
    void readAvailable();
    void emitCompleteLines();

    int fd_;
    QSocketNotifier notifier_;
    QByteArray pending_;
};
