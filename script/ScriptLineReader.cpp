#include "script/ScriptLineReader.h"

namespace {

constexpr char LineFeed = '\n';
constexpr char CarriageReturn = '\r';
constexpr char EndOfFileByte = 26;

} // namespace

ScriptLineReader::Step ScriptLineReader::feed(char c)
{
    if (c == EndOfFileByte)
        return Step::EndOfFile;
    if (c == CarriageReturn)
        return Step::Continue;
    if (c == LineFeed) {
        const bool wasCommand = m_inCommand;
        if (wasCommand)
            complete();
        m_atLineStart = true;
        m_inCommand = false;
        m_textSkipped = false;
        ++m_fileLine;
        return wasCommand ? Step::LineComplete : Step::Continue;
    }
    if (m_atLineStart) {
        if (c == '_') {
            m_inCommand = true;
            m_atLineStart = false;
        } else if (c == ';') {
            m_inCommand = false;
            m_atLineStart = false;
        } else if (c > ' ' && c < 127) {
            m_textSkipped = true;
        }
    }
    if (m_inCommand) {
        if (m_line.size() < MaxLineLength)
            m_line.append(c);
        else
            m_tooLong = true;
    }
    return Step::Continue;
}

bool ScriptLineReader::finish()
{
    if (!m_inCommand)
        return false;
    complete();
    m_inCommand = false;
    return true;
}

void ScriptLineReader::complete()
{
    m_completed = m_line;
    m_completedTooLong = m_tooLong;
    m_completedAfterText = m_textSkipped;
    m_completedLineNumber = m_fileLine;
    m_line.clear();
    m_tooLong = false;
}

QByteArray ScriptLineReader::completedLine() const
{
    return m_completed;
}
