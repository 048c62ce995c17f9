#pragma once

// Transcript records every chunk the unit receives, one line per chunk:
// "<ms since start> <pty|tcp> <bytes as lower-case hex>". Each line is flushed at
// once, because tests read the file while the simulator is still running.

#include <QFile>
#include <QString>

class Transcript
{
public:
    bool open(const QString &path, QString *error);
    bool isOpen() const { return file_.isOpen(); }
    void record(qint64 ms, const QString &endpoint, const QByteArray &bytes);

    static QByteArray formatLine(qint64 ms, const QString &endpoint, const QByteArray &bytes);

private:
    QFile file_;
};
