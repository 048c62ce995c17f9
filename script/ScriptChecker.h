// ScriptChecker reads a script as a run reads it and says, line by line, what the run does.
//
// It follows the run's state: the load chain, the settings a script changes, the last _QC
// answer and _DQ answer, and whether the run has ended. A conditional tail whose condition
// cannot be known before the unit or the operator answers may change that state; then the
// check follows both courses of the run from there, the one in which the tail ran and the one
// in which it did not. Each line is checked in every course the run may be on; where the
// courses agree the line is told once, and where they do not each telling names the tails
// that lead to it ("if the tail of line 3 ran"). Courses that have come to the same state by
// tails that differ only in one are joined again.
//
// The check of each command is a member named in the command table (ScriptCommandTable.h).
// A check takes its line and one course and returns the courses after it: one, none when the
// run ends, two when a tail may or may not have changed the state.
#pragma once

#include "script/ScriptCheck.h"
#include "upload/LoadChain.h"

#include <QByteArray>
#include <QIODevice>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class ScriptLineReader;

namespace ScriptCheckModel {

// What the run knows of the operator's last answer to a _DQ.
enum class Question
{
    NotAsked,
    Unknown, // asked: OK or Cancel, as the operator answers
    Ok,
    Cancel
};

// The run's state on one course through the script.
struct RunState
{
    LoadChain chain;
    QByteArray fileName;
    QByteArray path; // the file name as the run will open it
    qint64 size = 0;
    quint16 checksum = 0;
    QByteArray address;
    QByteArray version;
    QByteArray uploadKeyword;
    char loaderPrompt = 0;
    int postUploadPauseMs = 0;
    // The last _QC's answer: empty before any _QC, unknown (nothing) once one has asked.
    std::optional<QByteArray> answer = QByteArray();
    Question question = Question::NotAsked;
    bool ended = false;

    bool operator==(const RunState &other) const;
    bool operator!=(const RunState &other) const { return !(*this == other); }
};

// Whether the conditional tail of a line ran on a course. 'depth' 1 is the line's own tail,
// 2 a tail within it.
struct Decision
{
    int line = 0;
    int depth = 1;
    bool ran = false;
    bool operator==(const Decision &other) const
    {
        return line == other.line && depth == other.depth && ran == other.ran;
    }
};

struct Course
{
    RunState state;
    QList<Decision> decisions;
};

// One line of the explanation: a command (keyword set) or a detail under the command at
// 'depth'.
struct Note
{
    int depth = 0;
    QByteArray keyword;
    QString text;
    bool operator==(const Note &other) const
    {
        return depth == other.depth && keyword == other.keyword && text == other.text;
    }
};

// What one line says on one course.
struct CourseNotes
{
    QList<Note> explanation;
    QStringList findings;
};

// A command line as its check gets it: the argument its form reads (the text, the value or
// the blank-separated argument) and the tail of a conditional line.
struct CheckedLine
{
    QByteArray line;
    QByteArray keyword;
    int depth = 0;
    QByteArray argument;
    QByteArray tail;
    QString says; // the command table's words for what the command does
};

} // namespace ScriptCheckModel

class ScriptChecker
{
public:
    using Course = ScriptCheckModel::Course;
    using CheckedLine = ScriptCheckModel::CheckedLine;
    using Courses = QList<Course>;

    explicit ScriptChecker(const ScriptCheckContext &context);

    // Reads the whole script; false when a read failed part-way.
    bool read(QIODevice &script);
    const ScriptCheckResult &result() const { return m_result; }

    // The checks of the command table, one per command (CheckedCommands.cpp).
    Courses checkSend(const CheckedLine &line, Course course);
    Courses checkSendAndRestart(const CheckedLine &line, Course course);
    Courses checkLoaderMode(const CheckedLine &line, Course course);
    Courses checkMessage(const CheckedLine &line, Course course);
    Courses checkQuestion(const CheckedLine &line, Course course);
    Courses checkQuery(const CheckedLine &line, Course course);
    Courses checkLoaderPrompt(const CheckedLine &line, Course course);
    Courses checkUploadKeyword(const CheckedLine &line, Course course);
    Courses checkPause(const CheckedLine &line, Course course);
    Courses checkPostUploadPause(const CheckedLine &line, Course course);
    Courses checkTerminalLock(const CheckedLine &line, Course course);
    Courses checkLoadFile(const CheckedLine &line, Course course);
    Courses checkLoadAddress(const CheckedLine &line, Course course);
    Courses checkLoadVersion(const CheckedLine &line, Course course);
    Courses checkLoadData(const CheckedLine &line, Course course);
    Courses checkVersionTest(const CheckedLine &line, Course course);
    Courses checkAnswerComparison(const CheckedLine &line, Course course);
    Courses checkAnswerBranch(const CheckedLine &line, Course course);
    Courses checkPromptWait(const CheckedLine &line, Course course);
    Courses checkFinish(const CheckedLine &line, Course course);

private:
    enum class Outcome
    {
        Holds,
        Fails,
        Unknown
    };

    // Reading (ScriptChecker.cpp).
    void noteByte(char c, char next, int fileLine, qint64 bytesAfter);
    void commandLine(const ScriptLineReader &reader);
    bool proseGoesOn(const QByteArray &line);
    void countCommandLines(const QByteArray &line);
    void checkEveryCourse(const std::function<Courses(Course)> &check);
    void tellLine(const Courses &before, const QList<ScriptCheckModel::CourseNotes> &notes);
    QString labelOf(const QList<int> &courses, const Courses &before) const;
    Courses joined(Courses courses) const;

    // Every command line (ScriptChecker.cpp).
    Courses command(const QByteArray &line, int depth, Course course);
    Courses commandWithArgument(const CheckedLine &line, Course course);
    void unknownCommand(const QByteArray &keyword, int depth);
    void noteRunIntoWord(const QByteArray &line, const QByteArray &keyword);
    bool formMet(CheckedLine &checked);
    void formNotMet(const CheckedLine &line, const QString &missing);
    bool stepDue(const CheckedLine &line, Course &course);
    void noteText(const CheckedLine &line);
    void noteIgnoredEscapes(const QByteArray &keyword, const QByteArray &text);

    // Conditions and tails (CheckedCommands.cpp).
    Courses conditional(const CheckedLine &line, Course course, Outcome outcome,
                        const QString &holds);
    Courses bothCourses(const CheckedLine &line, const Course &course, const Course &ran,
                        Course notRan);
    Courses tail(const CheckedLine &line, Course course);
    void noteEmptyText(const CheckedLine &line, const QString &effect);
    void refuse(const QString &finding, const QByteArray &keyword, int depth, Course &course);
    bool refuseTooLong(const CheckedLine &line, const char *what, int limit, Course &course);
    void noteTrailingBlank(const char *what, const QByteArray &text);
    QString unopenedFileText(const QByteArray &name, const QByteArray &path) const;
    void uploadWithHeader(const CheckedLine &line, Course &course);

    void warn(const QString &text);
    void explain(int depth, const QByteArray &keyword, const QString &text);
    void detail(int depth, const QString &text);
    void warnNow(const QString &text);

    ScriptCheckContext m_context;
    ScriptCheckResult m_result;
    Courses m_courses;
    ScriptCheckModel::CourseNotes *m_notes = nullptr;
    int m_line = 0;
    int m_commandLines = 0;
    int m_carriageReturnLine = 0;
    int m_nulLine = 0;
    // The line at which the run ended on every course; 0 while it goes on.
    int m_endedAt = 0;
    bool m_toldNeverRun = false;
    bool m_toldTooManyCourses = false;
};
