// Executing one command line: its first three characters are the keyword, compared exactly,
// and the command table (ScriptCommandTable.h) maps each keyword to its action. A keyword that
// names no command, or a line that does not meet its command's form, does nothing and the run
// goes on.
#include "script/ScriptRunner.h"

#include "base/Timing.h"
#include "link/DeviceLink.h"
#include "script/ScriptSyntax.h"
#include "upload/Uploader.h"

#include <climits>

using namespace ScriptSyntax;

namespace {

using Action = bool (ScriptRunner::*)(const QByteArray &);

struct Command
{
    const char *keyword;
    Action action;
};

const Command Commands[] = {
#define SCRIPT_COMMAND(keyword, form, escapes, chain, run, check, says)                            \
    {keyword, &ScriptRunner::run},
#include "script/ScriptCommandTable.h"
#undef SCRIPT_COMMAND
};

Action actionFor(const QByteArray &keyword)
{
    for (const Command &command : Commands) {
        if (keyword == command.keyword)
            return command.action;
    }
    return nullptr;
}

} // namespace

ScriptRunner::ScriptRunner(const ScriptLinks &links, RunControl &run, OperatorReports &reports,
                           QObject *parent)
    : QObject(parent), m_link(links.link), m_ports(links.ports), m_ethernet(links.ethernet),
      m_uploader(links.uploader), m_run(run), m_reports(reports)
{
}

void ScriptRunner::noteError(const QString &text)
{
    if (m_state.firstError.isEmpty())
        m_state.firstError = text;
}

int ScriptRunner::ExecuteScriptLine()
{
    if (m_state.currentLine < 0 || m_state.currentLine >= m_state.lines.size())
        return 1;
    const QByteArray line = m_state.lines.at(m_state.currentLine);
    if (!line.startsWith('_'))
        return 1;
    Timing::pump();
    Timing::sleepMs(1);
    Timing::pump();
    const Action action = actionFor(keywordOf(line));
    if (action && !(this->*action)(line))
        return 0;
    ++m_state.currentLine;
    return 1;
}

// A conditional tail is a command line of its own: it takes the next row of the table and
// runs at once; one that does not begin with an underscore does nothing.
bool ScriptRunner::runTail(const QByteArray &tail)
{
    if (!tail.startsWith('_'))
        return true;
    m_state.lines.append(tail);
    m_state.currentLine = int(m_state.lines.size()) - 1;
    return ExecuteScriptLine() != 0;
}

bool ScriptRunner::finishRun(const QByteArray &)
{
    m_state.finish = true;
    return true;
}

bool ScriptRunner::setLoaderPrompt(const QByteArray &line)
{
    const std::optional<QByteArray> text = argumentText(line);
    if (text && !text->isEmpty())
        m_link.setLoaderPrompt(text->at(0));
    return true;
}

bool ScriptRunner::pause(const QByteArray &line)
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

bool ScriptRunner::setUploadKeyword(const QByteArray &line)
{
    if (const std::optional<QByteArray> text = argumentText(line))
        m_link.setUploadKeyword(*text);
    return true;
}

bool ScriptRunner::setPostUploadPause(const QByteArray &line)
{
    const std::optional<QByteArray> argument = blankSeparatedArgument(line);
    if (!argument)
        return true;
    // 0 keeps the pause, and so does a negative number, which would make no pause at all.
    const int seconds = leadingInteger(*argument);
    if (seconds > 0)
        m_uploader.setPostUploadPauseMs(seconds > INT_MAX / 1000 ? INT_MAX : seconds * 1000);
    return true;
}

bool ScriptRunner::setTerminalLock(const QByteArray &line)
{
    if (const std::optional<QByteArray> argument = blankSeparatedArgument(line))
        m_uploader.setTerminalLock(argument->isEmpty() ? char(0) : argument->at(0));
    return true;
}

bool ScriptRunner::loadFile(const QByteArray &line)
{
    return m_uploader.loadFile(blankSeparatedArgument(line));
}

bool ScriptRunner::loadAddress(const QByteArray &line)
{
    return m_uploader.loadAddress(blankSeparatedArgument(line));
}

bool ScriptRunner::loadVersion(const QByteArray &line)
{
    return m_uploader.loadVersion(blankSeparatedArgument(line));
}

bool ScriptRunner::loadData(const QByteArray &)
{
    return m_uploader.loadData();
}
