// OperatorReports: what the subsystems tell the operator, and the one thing they ask. The
// window is the implementation: its status line, its message boxes (one of the program's own
// shown during a run marks the run as failed, and the first says why), and the script's own
// message and question, which are no failure of the run. Every box also goes to standard
// error through the operator dialogs.
#pragma once

#include <QString>

class OperatorReports
{
public:
    virtual void show_status(const QString &text) = 0;
    // A message box of the program's own.
    virtual void showMessage(const QString &text) = 0;
    // The same, for a failure the window also keeps as its message text.
    virtual void reportFailure(const QString &text) = 0;
    // The script's own message (_DM).
    virtual void showScriptMessage(const QString &text) = 0;
    // The script's question (_DQ): true for OK.
    virtual bool askOperator(const QString &text) = 0;

protected:
    ~OperatorReports() = default;
};
