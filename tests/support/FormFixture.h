// A complete set of Tamrin's windows for a test, with recorded dialogs, a process end that
// is recorded instead of performed, and serial ports looked up in a folder of the test's own
// (TAMRIN_PORTS_DIR), where simulated units put their pseudo-terminals.
#pragma once

#include "RecordingDialogs.h"

#include "app/AppWindows.h"
#include "app/TamrinForm.h"

#include <QString>
#include <QTemporaryDir>

class FormFixture
{
public:
    explicit FormFixture(const QString &portsDir);
    ~FormFixture();
    FormFixture(const FormFixture &) = delete;
    FormFixture &operator=(const FormFixture &) = delete;

    TTamrinForm &form() { return *m_windows.main; }
    AppWindows &windows() { return m_windows; }
    RecordingDialogs &dialogs() { return *m_dialogs; }
    // The status the process would have ended with; -1 while it has not ended.
    int exitStatus() const { return m_exitStatus; }
    // Runs 'script' as a script file, after clearing the cancel flag and the line table as the
    // open-script button does; returns what the run returned, -1 if the file was not written.
    int runScript(const QByteArray &script);

private:
    RecordingDialogs *m_dialogs;
    AppWindows m_windows;
    int m_exitStatus = -1;
    QTemporaryDir m_scripts;
};
