// Checking a script without running it. The file goes through the run's own line reader, each
// command line is taken apart by the run's own syntax, and each command is looked up in the
// run's own command table, so the check reads exactly what a run reads; nothing is sent, no
// port is touched, and a file a script names is opened only when it is a regular file.
//
// A finding is a line that does nothing, or not what it seems: a keyword that names no
// command or runs into a word, a form that is not met, prose read as a command, a load chain
// out of order, a file that is not there, a condition that cannot hold, a text left empty, a
// wait without limit in an automatic run, bytes the reader never sees, lines after the run's
// end. The explanation says, line by line, what the run will do and the bytes it will send
// over the serial port when the unit answers at once, and what it sends when the unit does
// not; a load chain's header is measured now. A conditional tail that changes the run is
// followed both ways (ScriptChecker.h). A script's own bytes are shown with every byte that
// does not print as an escape.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

class QIODevice;

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
    // False when reading the script failed part-way.
    bool readToEnd = true;
};

// Reads the script from its device to its end, however long it is.
ScriptCheckResult checkScript(QIODevice &script, const ScriptCheckContext &context);
ScriptCheckResult checkScript(QByteArrayView content, const ScriptCheckContext &context);
