// Standard error caught while a run goes: file descriptor 2 is pointed at a file of the run's
// own, so that Tamrin's message and record lines, written there with one write() each, can be
// read back; when the capture ends, fd 2 is the terminal's again and what was caught is passed
// on to it, so nothing Tamrin said is lost to the person watching.
//
// What must reach the person during a run (a hung run, a forced end) goes to a copy of the
// original standard error that stays open for the whole soak: lastingStderr().
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>

class StderrCapture
{
public:
    StderrCapture() = default;
    ~StderrCapture();
    StderrCapture(const StderrCapture &) = delete;
    StderrCapture &operator=(const StderrCapture &) = delete;

    // Points fd 2 at 'path' (made anew); false, with fd 2 untouched, when it cannot.
    bool start(const QString &path);
    // Gives fd 2 back, passes on what was caught and returns it.
    QByteArray finish();

    // Made at the first call, unbuffered: call it before any capture starts. Writing to it
    // reaches the person whatever fd 2 is at the moment, from any thread.
    static std::FILE *lastingStderr();

private:
    QString m_path;
    int m_saved = -1;
};
