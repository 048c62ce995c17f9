// The commands that look at the unit and at the operator before a script goes on: _QC keeps
// the unit's answer to a query; the version tests and answer comparisons run the rest of
// their line only when that answer meets their condition; _DM shows a message; _DQ asks OK
// or Cancel and _DO / _DC follow the answer. None of them fails the run by itself.
#include "script/ScriptRunner.h"

#include "base/ByteText.h"
#include "base/OperatorReports.h"
#include "base/Timing.h"
#include "link/DeviceLink.h"
#include "script/ScriptSyntax.h"
#include "upload/Uploader.h"

using namespace ScriptSyntax;
using namespace ByteText;

namespace {

constexpr int MaxAnswerLength = 999;

std::optional<ValueAndTail> escapedValueAndTail(const QByteArray &line)
{
    std::optional<ValueAndTail> parts = valueAndTail(line);
    if (parts)
        parts->value = replaceEscapes(parts->value, keywordSyntax(line).escapes);
    return parts;
}

} // namespace

// A condition that held: its tail runs, or the operator is told that there is none.
bool ScriptRunner::runConditionalTail(const QByteArray &tail, const QString &missingTailText)
{
    if (tail.isEmpty()) {
        m_reports.showMessage(missingTailText);
        return true;
    }
    return runTail(tail);
}

bool ScriptRunner::queryUnit(const QByteArray &line)
{
    const std::optional<QByteArray> text = argumentText(line);
    if (!text)
        return true;
    Timing::sleepMs(1);
    const QByteArray command = replaceEscapes(*text, EscapeSet::CaretMAsBlank);
    m_link.captureReply(command, queryPromptGuard(command), QueryPolls);
    Timing::sleepMs(100);
    Timing::pump();
    QByteArray answer = m_link.reply().text().left(MaxAnswerLength);
    answer.replace('\r', QByteArray());
    answer.replace('\n', QByteArray());
    m_query.lastAnswer = answer;
    m_uploader.setUnitAnswer(answer);
    if (answer.isEmpty() && !m_link.failureReported())
        m_reports.showMessage(QStringLiteral("Error! No response detected with _QC command"));
    return true;
}

bool ScriptRunner::versionTest(const QByteArray &line)
{
    const std::optional<ValueAndTail> parts = escapedValueAndTail(line);
    if (!parts)
        return true;
    const std::optional<std::pair<int, int>> version = readVersion(m_query.lastAnswer);
    if (!version) {
        m_reports.showMessage(QStringLiteral("Prev _QC does not have version info."));
        return true;
    }
    if (!versionHolds(keywordOf(line), *version, leadingInteger(parts->value)))
        return true;
    return runConditionalTail(parts->tail, noTailMessage(keywordOf(line)));
}

bool ScriptRunner::answerComparison(const QByteArray &line)
{
    const std::optional<ValueAndTail> parts = escapedValueAndTail(line);
    const QByteArray keyword = keywordOf(line);
    if (!parts || !answerHolds(keyword, m_query.lastAnswer, parts->value))
        return true;
    return runConditionalTail(parts->tail, noTailMessage(keyword));
}

bool ScriptRunner::showScriptMessage(const QByteArray &line)
{
    // The script's own text, not a failure of the run.
    if (const std::optional<QByteArray> text = escapedArgumentText(line))
        m_reports.showScriptMessage(displayText(*text));
    return true;
}

bool ScriptRunner::askOperator(const QByteArray &line)
{
    const std::optional<QByteArray> text = escapedArgumentText(line);
    if (!text)
        return true;
    m_query.asked = true;
    m_query.accepted = m_reports.askOperator(displayText(*text));
    return true;
}

bool ScriptRunner::answerBranch(const QByteArray &line)
{
    const std::optional<QByteArray> tail = conditionalTail(line);
    const bool isDo = keywordOf(line) == "_DO";
    if (!tail || !m_query.asked || m_query.accepted != isDo)
        return true;
    return runConditionalTail(*tail, noTailMessage(keywordOf(line)));
}
