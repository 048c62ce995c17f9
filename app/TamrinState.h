// The main window's state, one plain struct per concern. The window owns one of each; the
// methods that work on them live in the folder of their subsystem.
#pragma once

#include "app/Station.h"
#include "link/LinkState.h"
#include "upload/LoadChain.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QString>

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

// The file upload. It lasts as long as the program: a new script run does not reset it.
struct UploadState
{
    QByteArray fileName;
    // Exactly as the script wrote it; never read as a number.
    QByteArray loadAddress;
    // Upper-cased, or the file's date text.
    QByteArray loadVersion;
    quint16 checksum = 0;
    qint64 fileSize = 0;
    // The _LF, _LA, _LV chain that _LD uploads.
    LoadChain chain;
    // Wait for the unit's prompt after the transfer (script uploads, not Send File).
    bool promptAfterUpload = false;
    // The sum of the bytes the transfer actually sent, checked against the header's.
    quint16 sentChecksum = 0;
    // For the upload's record: when it began, over which link, and the first message it
    // showed, which says why it failed.
    qint64 startedMs = 0;
    QString linkText;
    QString failureText;
    // Pause after a transfer that was not cancelled.
    int postUploadPauseMs = 4000;
    // The terminal pane is disabled during a transfer only while this is the byte 0.
    char terminalLock = 1;
    // The link an upload in flight goes over (the run control knows whether one is): a
    // failing connection on it cancels the upload.
    LinkIdentity link;
    // The one buffer every block of every transfer is read into.
    std::array<char, 4000> block{};
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
