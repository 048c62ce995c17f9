// Checking a script without running it. The file goes through the run's own line reader and
// each command line is taken apart by the run's own syntax, so the check reads exactly what a
// run reads; nothing is sent and no port is touched.
//
// A finding is a line that does nothing, or not what it seems: a keyword that names no
// command, a form that is not met, prose read as a command, a load chain out of order, a file
// that is not there, a wait without limit in an automatic run, bytes the reader never sees.
// The explanation says, line by line, what the run will do and the bytes it will send over the
// serial port when the unit answers at once; a load chain's header is measured now.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// What the check assumes of the run: the caller fills it from the settings the run will read.
struct ScriptCheckContext
{
    // The folder Tamrin will run in: a relative _LF name is taken from it.
    QString runFolder;
    char normalPrompt = 0;
    char loaderPrompt = 0;
    QByteArray loaderModeCommand;
    QByteArray uploadKeyword;
    // The settings run this script at start-up, and no run time limit bounds the run.
    bool automaticWithoutLimit = false;
};

struct ScriptNote
{
    int line = 0;
    QString text;
};

struct ScriptCheckResult
{
    QList<ScriptNote> findings;
    QList<ScriptNote> explanation;
};

ScriptCheckResult checkScript(QByteArrayView content, const ScriptCheckContext &context);
