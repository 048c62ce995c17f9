// The state the main window still holds itself: the start-up settings, the script run and the
// query state. The subsystems' own state lives with their classes (LinkState, UploadState,
// ...).
#pragma once

#include "app/Station.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>

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

// What the last query of the unit and the last question to the operator answered. Kept from
// one run to the next until the program ends.
struct QueryState
{
    // The reply to the last _QC with its carriage returns and line feeds removed.
    QByteArray lastAnswer;
    bool asked = false;
    bool accepted = false;
};

// One script run: the file, the command lines executed so far and where the run stands.
struct ScriptRun
{
    QString fileName;
    // Every command line of the run, in the order executed; a conditional tail that runs takes
    // one more row. Kept until the next run from the button clears it.
    QList<QByteArray> lines;
    int currentLine = 0;
    // Set by _FI: the run ends, with success, after the current line.
    bool finish = false;
    // The first message box of the program's own shown during the run (the script's own _DM
    // and _DQ texts are not): the run did not succeed, and this says why.
    QString firstError;
    // The script file could be opened: the run really began.
    bool fileOpened = false;
};
