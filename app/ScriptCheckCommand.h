// `tamrin --check [--explain] [--folder DIR] FILE.sld...`: checks scripts before a unit sees
// them, without a port or a display. Each script is read as a run would read it, with the
// prompts, loader-mode command and upload keyword of the settings file the run would read in
// the run folder (the current folder unless --folder names another). One line per finding,
// FILE:LINE: warning: TEXT, so that editors can jump to it, then a summary. --explain prints,
// line by line, what the run will do and the bytes it will send.
//
// Exit status: 0 nothing to say, 1 findings, 2 a file could not be read or the options are
// wrong.
#pragma once

#include <QStringList>
#include <QTextStream>

namespace ScriptCheckCommand {

// True when the arguments after the program's name ask for a check.
bool requested(const QStringList &arguments);

int run(const QStringList &arguments, QTextStream &out, QTextStream &err);

} // namespace ScriptCheckCommand
