// Executing one command line: its first three characters are the keyword, compared exactly,
// and one table maps each keyword to its action. A keyword that names no command, or a line
// that does not meet its command's form, does nothing and the run goes on.
#include "app/TamrinForm.h"

#include "link/Timing.h"
#include "script/ScriptSyntax.h"

#include <array>

using namespace ScriptSyntax;

namespace {

using Action = bool (TTamrinForm::*)(const QByteArray &);

struct Command
{
    const char *keyword;
    Action action;
};

const std::array<Command, 27> Commands = {{
    {"_SC", &TTamrinForm::sendCommand},
    {"_SR", &TTamrinForm::sendCommand},
    {"_ST", &TTamrinForm::sendCommand},
    {"_TC", &TTamrinForm::loaderModeCheck},
    {"_WP", &TTamrinForm::waitForPrompt},
    {"_PC", &TTamrinForm::setLoaderPrompt},
    {"_DY", &TTamrinForm::pause},
    {"_FI", &TTamrinForm::finishRun},
    {"_LC", &TTamrinForm::setUploadKeyword},
    {"_LF", &TTamrinForm::loadFile},
    {"_LA", &TTamrinForm::loadAddress},
    {"_LV", &TTamrinForm::loadVersion},
    {"_LD", &TTamrinForm::loadData},
    {"_LP", &TTamrinForm::setPostUploadPause},
    {"_LT", &TTamrinForm::setTerminalLock},
    {"_QC", &TTamrinForm::queryUnit},
    {"_AG", &TTamrinForm::versionTest},
    {"_AL", &TTamrinForm::versionTest},
    {"_IG", &TTamrinForm::versionTest},
    {"_IL", &TTamrinForm::versionTest},
    {"_CE", &TTamrinForm::answerComparison},
    {"_CS", &TTamrinForm::answerComparison},
    {"_CN", &TTamrinForm::answerComparison},
    {"_DM", &TTamrinForm::showScriptMessage},
    {"_DQ", &TTamrinForm::askOperator},
    {"_DO", &TTamrinForm::answerBranch},
    {"_DC", &TTamrinForm::answerBranch},
}};

Action actionFor(const QByteArray &keyword)
{
    for (const Command &command : Commands) {
        if (keyword == command.keyword)
            return command.action;
    }
    return nullptr;
}

} // namespace

int TTamrinForm::ExecuteScriptLine()
{
    if (script.currentLine < 0 || script.currentLine >= script.lines.size())
        return 1;
    const QByteArray line = script.lines.at(script.currentLine);
    if (!line.startsWith('_'))
        return 1;
    Timing::pump();
    Timing::sleepMs(1);
    Timing::pump();
    const Action action = actionFor(keywordOf(line));
    if (action && !(this->*action)(line))
        return 0;
    ++script.currentLine;
    return 1;
}

// A conditional tail is a command line of its own: it takes the next row of the table and
// runs at once; one that does not begin with an underscore does nothing.
bool TTamrinForm::runTail(const QByteArray &tail)
{
    if (!tail.startsWith('_'))
        return true;
    script.lines.append(tail);
    script.currentLine = int(script.lines.size()) - 1;
    return ExecuteScriptLine() != 0;
}

bool TTamrinForm::finishRun(const QByteArray &)
{
    script.finish = true;
    return true;
}

bool TTamrinForm::setLoaderPrompt(const QByteArray &line)
{
    const std::optional<QByteArray> text = argumentText(line);
    if (text && !text->isEmpty())
        m_link->setLoaderPrompt(text->at(0));
    return true;
}

bool TTamrinForm::pause(const QByteArray &line)
{
    const std::optional<QByteArray> argument = blankSeparatedArgument(line);
    if (!argument)
        return true;
    const int requests = pauseRequests(leadingInteger(*argument));
    Timing::pump();
    for (int i = 0; i < requests; ++i)
        Timing::sleepMs(1);
    Timing::sleepMs(1);
    Timing::pump();
    return true;
}

bool TTamrinForm::setUploadKeyword(const QByteArray &line)
{
    if (const std::optional<QByteArray> text = argumentText(line))
        m_link->setUploadKeyword(*text);
    return true;
}

bool TTamrinForm::setPostUploadPause(const QByteArray &line)
{
    const std::optional<QByteArray> argument = blankSeparatedArgument(line);
    if (!argument)
        return true;
    // 0 keeps the pause, and so does a negative number, which would make no pause at all.
    const int seconds = leadingInteger(*argument);
    if (seconds > 0)
        m_uploader->setPostUploadPauseMs(seconds > INT_MAX / 1000 ? INT_MAX : seconds * 1000);
    return true;
}

bool TTamrinForm::setTerminalLock(const QByteArray &line)
{
    if (const std::optional<QByteArray> argument = blankSeparatedArgument(line))
        m_uploader->setTerminalLock(argument->isEmpty() ? char(0) : argument->at(0));
    return true;
}
