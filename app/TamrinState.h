// The state the main window holds itself: the start-up settings. The subsystems' own state
// lives with their classes (LinkState, UploadState, ScriptRun, ...).
#pragma once

#include "app/Station.h"

#include <QByteArray>
#include <QString>

// What the settings file decides about start-up.
struct StartupSettings
{
    QByteArray autoScriptPath;
    bool autoMode = false;
    bool ethernetOnly = false;
    // How the automatic run ends the process, and what stopped it from outside the script
    // (the unit not found, the time limit); the script's own failures are the run's.
    ExitStatus exitStatus = ExitSuccess;
    QString failure;
    // The run time limit passed: waits end at once and the run unwinds as cancelled.
    bool runTimedOut = false;
    bool started = false;
    // At a screen with an operator, or an unattended station.
    StationSettings station;
};
