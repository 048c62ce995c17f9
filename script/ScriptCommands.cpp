// Executing one command line: its first three characters are the keyword, compared exactly.
// A keyword that names no command, or a line that does not meet its command's form, does
// nothing and the run goes on.
#include "app/TamrinForm.h"

#include "link/Timing.h"

int TTamrinForm::ExecuteScriptLine()
{
    if (script.currentLine < 0 || script.currentLine >= script.lines.size())
        return 1;
    const QByteArray line = script.lines.at(script.currentLine);
    if (!line.startsWith('_'))
        return 1;
    const QByteArray keyword = line.left(3);
    Timing::pump();
    Timing::sleepMs(1);
    Timing::pump();
    if (keyword == "_FI")
        script.finish = true;
    ++script.currentLine;
    return 1;
}
