// The hourglass pointer for the length of one operation (a port search, a connect, a script
// run); the arrow comes back when the operation's scope ends, however it ends.
#pragma once

#include <QCursor>
#include <QGuiApplication>

class WaitCursor
{
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};
