// Picks the command lines out of a script file as it is read, one byte at a time.
//
// On every line, bytes are skipped until the first underscore or semicolon. A semicolon
// first makes the line a comment; an underscore first starts a command line, which runs from
// that underscore to the end of the line. Carriage returns are dropped wherever they stand,
// a line feed ends a line, and byte 26 (Ctrl-Z) ends the file. A command line that the file
// ends without a line feed is complete at the end of the file.
//
// Command lines are limited to MaxLineLength characters: a longer one is reported as too
// long, never cut, and what it holds is not kept beyond the limit.
#pragma once

#include <QByteArray>

class ScriptLineReader
{
public:
    static constexpr int MaxLineLength = 199;

    enum class Step
    {
        Continue,     // nothing complete yet
        LineComplete, // a command line has ended: completedLine()
        EndOfFile     // byte 26: read no further
    };

    Step feed(char c);
    // The file has ended: true when a command line was still open and is now complete.
    bool finish();

    // The command line that just completed, and whether it was over the limit.
    QByteArray completedLine() const;
    bool lineTooLong() const { return m_completedTooLong; }
    // The file line (1-based) on which the last completed command line stood.
    int lineNumber() const { return m_completedLineNumber; }
    // Whether printable text stood before the underscore of the last completed command line
    // (blanks, tabs and other bytes that print nothing do not count): prose read as a command.
    bool textBeforeCommand() const { return m_completedAfterText; }
    // The file line (1-based) the next byte belongs to.
    int fileLine() const { return m_fileLine; }

private:
    void complete();

    QByteArray m_line;
    bool m_atLineStart = true;
    bool m_inCommand = false;
    bool m_tooLong = false;
    bool m_completedTooLong = false;
    bool m_textSkipped = false;
    bool m_completedAfterText = false;
    QByteArray m_completed;
    int m_fileLine = 1;
    int m_completedLineNumber = 0;
};
