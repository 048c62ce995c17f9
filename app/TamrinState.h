// The state the main window holds itself: the start-up settings. The subsystems' own state
// lives with their classes (LinkState, UploadState, ScriptRun, ...).
#pragma once

#include "app/Station.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

// What the settings file decides about start-up.
struct StartupSettings
{
    QByteArray autoScriptPath;
    bool autoMode = false;
    bool ethernetOnly = false;
    // How the automatic run ends the process, and what stopped it from outside the script
    // (the unit not found, the time limit, a signal); the script's own failures are the run's.
    int exitStatus = ExitSuccess;
    QString failure;
    // The exit status of the stop request (time limit, signal) that is ending the run.
    std::optional<int> stopStatus;
    // When the automatic run's current attempt began.
    QDateTime attemptStartedAt;
    bool started = false;
    // At a screen with an operator, or an unattended station.
    StationSettings station;
};
