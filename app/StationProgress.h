// A station's progress, for a supervisor that shows several stations at once: one JSON object a
// line, {"t":SECONDS,"port":"COM1","phase":"data","bytes":N,"total":N}, at every change of
// phase (waiting for the port, connected, each script line "line N", the upload's header, its
// data, the wait for the unit's confirmation, done) and, during the data, at most five times a
// second and once more when the last byte has gone. t counts seconds since the process began;
// bytes and total are the upload's, 0 outside one.
#pragma once

#include <QElapsedTimer>
#include <QString>

class StationProgress
{
public:
    // "-" is standard output. False, with the reason, when the file cannot be opened.
    bool open(const QString &path, QString *error);
    bool isOpen() const { return m_fd >= 0; }
    void setPort(const QString &port) { m_port = port; }

    void phase(const QString &phase, qint64 bytes = 0, qint64 total = 0);
    // A block of the data went: told when the last report is 200 ms old, or all has gone.
    void data(qint64 bytes, qint64 total);

    ~StationProgress();

private:
    void write(const QString &phase, qint64 bytes, qint64 total);

    int m_fd = -1;
    QString m_port;
    QElapsedTimer m_sinceStart;
    QElapsedTimer m_sinceData;
};
