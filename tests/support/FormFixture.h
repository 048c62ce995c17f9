// A complete set of Tamrin's windows for a test, with recorded dialogs, a process end that
// is recorded instead of performed, and serial ports looked up in a folder of the test's own
// (TAMRIN_PORTS_DIR), where simulated units put their pseudo-terminals. Given a timing scale,
// Tamrin's waits take that fraction of their real time for as long as the windows live
// (Timing::setScale), and real time again once the fixture is gone.
#pragma once

#include "RecordingDialogs.h"

#include "app/AppWindows.h"
#include "app/TamrinForm.h"
#include "base/Timing.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <optional>

// A control of the window, found by the name the window's code gives it (AdTerminal1,
// PickButton, SendFile1, ...). A name that is not there ends the test at once.
template <class T> T *control(const TTamrinForm &form, const char *name)
{
    T *found = form.findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("The window has no control named %s", name);
    return found;
}

class FormFixture
{
public:
    // Ports are looked up in 'portsDir'; without a timing scale the timing is left as it is.
    explicit FormFixture(const QString &portsDir, std::optional<double> timingScale = {});
    // The same with an empty ports folder of the fixture's own: no serial port is found.
    explicit FormFixture(std::optional<double> timingScale = {});
    ~FormFixture();
    FormFixture(const FormFixture &) = delete;
    FormFixture &operator=(const FormFixture &) = delete;

    TTamrinForm &form() { return *m_windows.main; }
    AppWindows &windows() { return m_windows; }
    RecordingDialogs &dialogs() { return *m_dialogs; }
    // Whether the suite runs as CTest's real-time entry (TAMRIN_REAL_TIME=1, label "realtime"):
    // the few cases that measure the protocol's pauses at their real length run there, and
    // only there; the ordinary entry runs everything else with its waits scaled.
    static bool realTimeRun();
    // The status the process would have ended with; -1 while it has not ended.
    int exitStatus() const { return m_exitStatus; }
    // Makes COM 'portNumber' Tamrin's port and opens it; true once it is open.
    bool openComPort(int portNumber);
    // Runs 'script' as a script file, after clearing the line table as the open-script button
    // does (the run's start clears the cancel); returns what the run returned, -1 if the file
    // was not written.
    int runScript(const QByteArray &script);

private:
    // Holds the timing scale from before the windows are made until after they are gone.
    class ScaledTiming
    {
    public:
        explicit ScaledTiming(std::optional<double> scale);
        ~ScaledTiming();
        ScaledTiming(const ScaledTiming &) = delete;
        ScaledTiming &operator=(const ScaledTiming &) = delete;

    private:
        bool m_scaled;
    };

    // Points Tamrin at 'portsDir' and records the process end instead of performing it.
    void setUp(const QString &portsDir);

    ScaledTiming m_timing;
    std::unique_ptr<QTemporaryDir> m_ownPorts;
    RecordingDialogs *m_dialogs;
    AppWindows m_windows;
    int m_exitStatus = -1;
    QTemporaryDir m_scripts;
};

// Why a case that measures the protocol's pauses at their real length is skipped in the
// ordinary, scaled entry.
inline constexpr const char RealTimeSkip[] = "at real time: the realtime entry runs it";

// Opens such a case: it runs only in the real-time entry, at the protocol's own pace.
#define REAL_TIME_CASE()                                                                          \
    do {                                                                                          \
        if (!FormFixture::realTimeRun())                                                          \
            QSKIP(RealTimeSkip);                                                                  \
        Timing::setScale(1.0);                                                                    \
    } while (false)
