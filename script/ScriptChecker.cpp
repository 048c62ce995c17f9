#include "script/ScriptChecker.h"

#include "base/ByteText.h"
#include "script/ScriptLineReader.h"
#include "script/ScriptSyntax.h"
#include "upload/UploadState.h"

#include <optional>

using namespace ScriptSyntax;
using namespace ScriptCheckModel;
using ByteText::quotedBytes;

namespace {

constexpr int MaxCommandLines = 300;
// Each conditional tail that changes the run's state doubles the courses to follow.
constexpr int MaxCourses = 16;
constexpr char EndOfFileByte = 26;
constexpr qint64 ReadChunk = 64 * 1024;

QString shown(QByteArrayView bytes)
{
    return ByteText::escapedText(bytes);
}

struct CommandCheck
{
    const char *keyword;
    ScriptChecker::Courses (ScriptChecker::*check)(const CheckedLine &, Course);
    const char *says;
};

const CommandCheck CommandChecks[] = {
#define SCRIPT_COMMAND(keyword, form, escapes, chain, run, check, says)                            \
    {keyword, &ScriptChecker::check, says},
#include "script/ScriptCommandTable.h"
#undef SCRIPT_COMMAND
};

const CommandCheck *checkFor(const QByteArray &keyword)
{
    for (const CommandCheck &entry : CommandChecks) {
        if (keyword == entry.keyword)
            return &entry;
    }
    return nullptr;
}

// The known keyword a misspelt one most likely meant: the same in capitals, or the only one
// that differs from it in a single place or starts with it.
std::optional<QByteArray> likelyKeyword(const QByteArray &keyword)
{
    const QByteArray capitals = ByteText::upperCaseLetters(keyword);
    QList<QByteArray> near;
    for (const QByteArray &known : knownKeywords()) {
        if (known == capitals)
            return known;
        int differences = 0;
        for (qsizetype i = 0; i < known.size() && i < capitals.size(); ++i)
            differences += known.at(i) != capitals.at(i) ? 1 : 0;
        const bool shortened = capitals.size() < known.size() && known.startsWith(capitals);
        if ((capitals.size() == known.size() && differences == 1) || shortened)
            near.append(known);
    }
    if (near.size() == 1)
        return near.first();
    return std::nullopt;
}

// How a command writes its argument, for the mend of a line whose form is not met.
QString argumentShape(const QByteArray &keyword)
{
    const KeywordSyntax syntax = keywordSyntax(keyword);
    switch (syntax.form) {
    case ArgumentForm::Text:
        return QStringLiteral(" \"TEXT\"");
    case ArgumentForm::ValueAndTail:
        return QStringLiteral(" \"VALUE\" _COMMAND");
    case ArgumentForm::Tail:
        return QStringLiteral(" _COMMAND");
    default:
        break;
    }
    switch (syntax.chain) {
    case ChainStep::NamesFile:
        return QStringLiteral(" FILE");
    case ChainStep::Address:
        return QStringLiteral(" ADDRESS");
    case ChainStep::Version:
        return QStringLiteral(" VERSION");
    default:
        break;
    }
    return keyword == "_LT" ? QStringLiteral(" C") : QStringLiteral(" N");
}

QString knownEscapes(EscapeSet escapes)
{
    switch (escapes) {
    case EscapeSet::CaretMAsCarriageReturn:
        return QStringLiteral("only ^M, a carriage return");
    case EscapeSet::CaretMAsBlank:
        return QStringLiteral("only ^M, a blank");
    case EscapeSet::BackslashR:
        return QStringLiteral("only \\r, a carriage return");
    case EscapeSet::BackslashRN:
        return QStringLiteral("\\r and \\n");
    case EscapeSet::NoEscapes:
        break;
    }
    return QStringLiteral("no escapes");
}

QString decisionText(const Decision &decision)
{
    return QStringLiteral("the tail %1of line %2 %3")
        .arg(decision.depth > 1 ? QStringLiteral("within the tail ") : QString())
        .arg(decision.line)
        .arg(decision.ran ? QStringLiteral("ran") : QStringLiteral("did not run"));
}

// The one place where two lists of decisions differ only in whether one tail ran, if so.
std::optional<qsizetype> onlyDifference(const QList<Decision> &a, const QList<Decision> &b)
{
    if (a.size() != b.size())
        return std::nullopt;
    std::optional<qsizetype> difference;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a.at(i) == b.at(i))
            continue;
        const bool sameTail = a.at(i).line == b.at(i).line && a.at(i).depth == b.at(i).depth;
        if (!sameTail || difference)
            return std::nullopt;
        difference = i;
    }
    return difference;
}

// Alternatives that differ only in whether one tail ran are one alternative without it.
QList<QList<Decision>> simplified(QList<QList<Decision>> alternatives)
{
    for (bool joinedOne = true; joinedOne;) {
        joinedOne = false;
        for (qsizetype i = 0; i < alternatives.size() && !joinedOne; ++i) {
            for (qsizetype j = i + 1; j < alternatives.size() && !joinedOne; ++j) {
                const std::optional<qsizetype> at =
                    onlyDifference(alternatives[i], alternatives[j]);
                if (!at && alternatives[i] != alternatives[j])
                    continue;
                if (at)
                    alternatives[i].removeAt(*at);
                alternatives.removeAt(j);
                joinedOne = true;
            }
        }
    }
    return alternatives;
}

} // namespace

namespace ScriptCheckModel {

bool RunState::operator==(const RunState &other) const
{
    return chain == other.chain && fileName == other.fileName && path == other.path &&
           size == other.size && checksum == other.checksum && address == other.address &&
           version == other.version && uploadKeyword == other.uploadKeyword &&
           loaderPrompt == other.loaderPrompt && postUploadPauseMs == other.postUploadPauseMs &&
           answer == other.answer && question == other.question && ended == other.ended;
}

} // namespace ScriptCheckModel

ScriptChecker::ScriptChecker(const ScriptCheckContext &context) : m_context(context)
{
    Course start;
    start.state.uploadKeyword = context.uploadKeyword;
    start.state.loaderPrompt = context.loaderPrompt;
    start.state.postUploadPauseMs = UploadState().postUploadPauseMs;
    m_courses.append(start);
}

bool ScriptChecker::read(QIODevice &script)
{
    ScriptLineReader reader;
    QByteArray chunk(ReadChunk, '\0');
    // Asked once: a file's size is a system call each time.
    const qint64 size = script.size();
    for (;;) {
        const qint64 got = script.read(chunk.data(), chunk.size());
        if (got < 0)
            return false;
        if (got == 0)
            break;
        const qint64 start = script.pos() - got;
        for (qint64 at = 0; at < got; ++at) {
            char next = '\n';
            if (at + 1 < got)
                next = chunk.at(at + 1);
            else
                script.peek(&next, 1);
            noteByte(chunk.at(at), next, reader.fileLine(), size - (start + at + 1));
            const ScriptLineReader::Step step = reader.feed(chunk.at(at));
            if (step == ScriptLineReader::Step::LineComplete)
                commandLine(reader);
            if (step == ScriptLineReader::Step::EndOfFile)
                return true;
        }
    }
    if (reader.finish())
        commandLine(reader);
    return true;
}

// What the reader passes over without a word: a carriage return that ends no line, a NUL
// byte, and everything after a Ctrl-Z. Nothing is read once the run has ended.
void ScriptChecker::noteByte(char c, char next, int fileLine, qint64 bytesAfter)
{
    if (m_endedAt > 0)
        return;
    m_line = fileLine;
    if (c == '\r' && next != '\n' && next != '\r' && next != EndOfFileByte &&
        m_carriageReturnLine != fileLine) {
        m_carriageReturnLine = fileLine;
        warnNow(QStringLiteral("a carriage return with no line feed after it: a line ends only "
                               "at a line feed, so what follows is read as part of this line "
                               "(a file with carriage-return-only line ends is one long line)"));
    } else if (c == '\0' && m_nulLine != fileLine) {
        m_nulLine = fileLine;
        warnNow(QStringLiteral("a NUL byte (byte 0): no text file holds one; the run reads it as "
                               "an ordinary character and may send it to the unit"));
    } else if (c == EndOfFileByte && bytesAfter > 0) {
        warnNow(QStringLiteral("a Ctrl-Z (byte 26) ends the script here: the %1 bytes after it "
                               "are never read")
                    .arg(bytesAfter));
    }
}

void ScriptChecker::commandLine(const ScriptLineReader &reader)
{
    m_line = reader.lineNumber();
    if (m_endedAt > 0) {
        if (!m_toldNeverRun)
            warnNow(QStringLiteral("this line and every one after it never run: the run ends "
                                   "at line %1")
                        .arg(m_endedAt));
        m_toldNeverRun = true;
        return;
    }
    const QByteArray line = reader.completedLine();
    if (reader.lineTooLong()) {
        warnNow(QStringLiteral("the command line is longer than %1 characters: the run stops "
                               "here with an error")
                    .arg(ScriptLineReader::MaxLineLength));
        checkEveryCourse([&](Course) {
            explain(0, keywordOf(line), QStringLiteral("stops the run: the line is too long"));
            return Courses();
        });
        return;
    }
    if (reader.textBeforeCommand() && !proseGoesOn(line))
        return;
    countCommandLines(line);
    checkEveryCourse([&](Course course) { return command(line, 0, std::move(course)); });
}

// Text before the underscore is skipped, so "Set the_address first" is the command "_ad".
bool ScriptChecker::proseGoesOn(const QByteArray &line)
{
    const QByteArray keyword = keywordOf(line);
    if (keywordSyntax(keyword).form != ArgumentForm::Unknown) {
        warnNow(QStringLiteral("text before the underscore is skipped: the line runs from %1 "
                               "as the command %2")
                    .arg(quotedBytes(line), shown(keyword)));
        return true;
    }
    warnNow(QStringLiteral("text before the underscore is skipped, so %1 is read as a command "
                           "line, and %2 is no command: write prose on a comment line (';' "
                           "first)")
                .arg(quotedBytes(line), shown(keyword)));
    countCommandLines(line);
    checkEveryCourse([&](Course course) {
        explain(0, keyword, QStringLiteral("does nothing"));
        return Courses{course};
    });
    return false;
}

// The line and each tail it holds count as one command line each, whether or not they run.
void ScriptChecker::countCommandLines(const QByteArray &line)
{
    if (++m_commandLines == MaxCommandLines + 1)
        warnNow(QStringLiteral("command line %1 (a conditional tail counts as one more): a "
                               "script has room for %2; Tamrin runs the rest, but split the "
                               "script to keep within the limit")
                    .arg(m_commandLines)
                    .arg(MaxCommandLines));
    const ArgumentForm form = keywordSyntax(keywordOf(line)).form;
    std::optional<QByteArray> tail;
    if (form == ArgumentForm::ValueAndTail) {
        if (const std::optional<ValueAndTail> parts = valueAndTail(line))
            tail = parts->tail;
    } else if (form == ArgumentForm::Tail) {
        tail = conditionalTail(line);
    }
    if (tail && tail->startsWith('_'))
        countCommandLines(*tail);
}

// The line is checked on every course the run may be on, told, and the courses after it
// are those the run may be on next.
void ScriptChecker::checkEveryCourse(const std::function<Courses(Course)> &check)
{
    const Courses before = m_courses;
    QList<CourseNotes> notes(before.size());
    Courses after;
    for (qsizetype i = 0; i < before.size(); ++i) {
        m_notes = &notes[i];
        for (const Course &course : check(before.at(i))) {
            if (!course.state.ended)
                after.append(course);
        }
    }
    m_notes = nullptr;
    tellLine(before, notes);
    m_courses = joined(after);
    if (m_courses.size() > MaxCourses) {
        m_courses.resize(MaxCourses);
        if (!m_toldTooManyCourses)
            warnNow(QStringLiteral("the check follows at most %1 courses through conditional "
                                   "tails that change the run: from here on it follows only "
                                   "some of them")
                        .arg(MaxCourses));
        m_toldTooManyCourses = true;
    }
    if (m_courses.isEmpty())
        m_endedAt = m_line;
}

// What the courses say alike is told once; what only some say is told with the tails that
// lead to them.
void ScriptChecker::tellLine(const Courses &before, const QList<CourseNotes> &notes)
{
    QStringList findings;
    QList<QList<int>> findingCourses;
    QList<QList<int>> groups;
    for (int i = 0; i < int(notes.size()); ++i) {
        for (const QString &finding : notes.at(i).findings) {
            qsizetype at = findings.indexOf(finding);
            if (at < 0) {
                at = findings.size();
                findings.append(finding);
                findingCourses.append(QList<int>());
            }
            if (!findingCourses[at].contains(i))
                findingCourses[at].append(i);
        }
        auto group = std::find_if(groups.begin(), groups.end(), [&](const QList<int> &g) {
            return notes.at(g.first()).explanation == notes.at(i).explanation;
        });
        if (group == groups.end())
            groups.append(QList<int>{i});
        else
            group->append(i);
    }
    for (qsizetype f = 0; f < findings.size(); ++f) {
        const QString label = labelOf(findingCourses.at(f), before);
        warnNow(label.isEmpty() ? findings.at(f) : label + QStringLiteral(": ") + findings.at(f));
    }
    for (const QList<int> &group : groups) {
        const QString label = groups.size() > 1 ? labelOf(group, before) : QString();
        for (const Note &note : notes.at(group.first()).explanation) {
            const QString indent(note.depth * 2 + (note.keyword.isEmpty() ? 2 : 0),
                                 QLatin1Char(' '));
            QString text = indent + note.text;
            if (!note.keyword.isEmpty())
                text =
                    indent + shown(note.keyword) +
                    (label.isEmpty() || note.depth > 0 ? QString() : QStringLiteral(", ") + label) +
                    QStringLiteral(": ") + note.text;
            m_result.explanation.append({m_line, text});
        }
    }
}

// "if the tail of line 3 ran and the tail of line 5 did not run, or if ...": the tails that
// lead to these courses and to no other, less what all the courses share.
QString ScriptChecker::labelOf(const QList<int> &courses, const Courses &before) const
{
    if (courses.size() == before.size())
        return QString();
    QList<QList<Decision>> alternatives;
    for (const int i : courses) {
        QList<Decision> own = before.at(i).decisions;
        own.removeIf([&](const Decision &decision) {
            return std::all_of(before.begin(), before.end(), [&](const Course &course) {
                return course.decisions.contains(decision);
            });
        });
        alternatives.append(own);
    }
    QStringList texts;
    for (const QList<Decision> &alternative : simplified(alternatives)) {
        QStringList decisions;
        for (const Decision &decision : alternative)
            decisions.append(decisionText(decision));
        texts.append(QStringLiteral("if ") + decisions.join(QStringLiteral(" and ")));
    }
    return texts.join(QStringLiteral(", or "));
}

// Courses in the same state that differ only in whether one tail ran are one course.
ScriptChecker::Courses ScriptChecker::joined(Courses courses) const
{
    for (bool joinedOne = true; joinedOne;) {
        joinedOne = false;
        for (qsizetype i = 0; i < courses.size() && !joinedOne; ++i) {
            for (qsizetype j = i + 1; j < courses.size() && !joinedOne; ++j) {
                if (courses.at(i).state != courses.at(j).state)
                    continue;
                const std::optional<qsizetype> at =
                    onlyDifference(courses.at(i).decisions, courses.at(j).decisions);
                if (!at && courses.at(i).decisions != courses.at(j).decisions)
                    continue;
                if (at)
                    courses[i].decisions.removeAt(*at);
                courses.removeAt(j);
                joinedOne = true;
            }
        }
    }
    return courses;
}

ScriptChecker::Courses ScriptChecker::command(const QByteArray &line, int depth, Course course)
{
    const QByteArray keyword = keywordOf(line);
    const CommandCheck *entry = checkFor(keyword);
    if (!entry) {
        unknownCommand(keyword, depth);
        return {course};
    }
    noteRunIntoWord(line, keyword);
    CheckedLine checked{line, keyword, depth, {}, {}, QString::fromLatin1(entry->says)};
    if (!stepDue(checked, course))
        return {course};
    if (!formMet(checked))
        return {course};
    return (this->*entry->check)(checked, std::move(course));
}

void ScriptChecker::unknownCommand(const QByteArray &keyword, int depth)
{
    QString text = QStringLiteral("%1 is no command: the line does nothing").arg(shown(keyword));
    if (const std::optional<QByteArray> meant = likelyKeyword(keyword))
        text += QStringLiteral(" (did you mean %1?)").arg(QLatin1String(*meant));
    warn(text);
    explain(depth, keyword, QStringLiteral("does nothing"));
}

// "_FIRMWARE follows" runs as _FI: only the first three bytes name the command.
void ScriptChecker::noteRunIntoWord(const QByteArray &line, const QByteArray &keyword)
{
    const char after = line.size() > keyword.size() ? line.at(keyword.size()) : ' ';
    if (!((after >= 'A' && after <= 'Z') || (after >= 'a' && after <= 'z')))
        return;
    qsizetype end = keyword.size();
    while (end < line.size() && line.at(end) != ' ' && line.at(end) != '"')
        ++end;
    warn(QStringLiteral("the keyword %1 runs into the word %2: the line runs as %1 (write a "
                        "blank after the keyword, or ';' first for a comment)")
             .arg(QLatin1String(keyword), quotedBytes(line.first(end))));
}

// A step of the chain is due only right after the one before it, and is spent before the run
// reads the line.
bool ScriptChecker::stepDue(const CheckedLine &line, Course &course)
{
    const ChainStep step = keywordSyntax(line.keyword).chain;
    if (step != ChainStep::Address && step != ChainStep::Version)
        return true;
    LoadChain &chain = course.state.chain;
    const bool refused = chain.upload() == LoadChain::Upload::Refused;
    const bool due = step == ChainStep::Address ? chain.takeAddressStep() : chain.takeVersionStep();
    if (due)
        return true;
    const bool address = step == ChainStep::Address;
    if (!refused)
        warn(QStringLiteral("%1 with no %2 before it (since the last %1): the %3 step is not "
                            "due, so the line does nothing")
                 .arg(QLatin1String(line.keyword), QLatin1String(address ? "_LF" : "_LA"),
                      QLatin1String(address ? "address" : "version")));
    explain(line.depth, line.keyword, QStringLiteral("does nothing"));
    return false;
}

// Takes the line's argument as its form reads it; a line that does not meet its form does
// nothing, except that a chain step due is spent all the same.
bool ScriptChecker::formMet(CheckedLine &checked)
{
    const KeywordSyntax syntax = keywordSyntax(checked.keyword);
    const QByteArray &line = checked.line;
    std::optional<QByteArray> argument;
    if (syntax.form == ArgumentForm::None)
        return true;
    if (syntax.form == ArgumentForm::Text) {
        argument = argumentText(line);
    } else if (syntax.form == ArgumentForm::BlankSeparated) {
        argument = blankSeparatedArgument(line);
    } else if (syntax.form == ArgumentForm::Tail) {
        checked.tail = conditionalTail(line).value_or(QByteArray());
        argument = conditionalTail(line);
    } else if (const std::optional<ValueAndTail> parts = valueAndTail(line)) {
        noteIgnoredEscapes(checked.keyword, parts->value);
        argument = replaceEscapes(parts->value, syntax.escapes);
        checked.tail = parts->tail;
    }
    if (!argument) {
        const bool secondQuote = syntax.form == ArgumentForm::ValueAndTail && line.count('"') == 1;
        formNotMet(checked,
                   syntax.form == ArgumentForm::Text || syntax.form == ArgumentForm::ValueAndTail
                       ? (secondQuote ? QStringLiteral("second double quote")
                                      : QStringLiteral("double quote"))
                       : QStringLiteral("blank"));
        return false;
    }
    checked.argument = *argument;
    if (syntax.form == ArgumentForm::Text) {
        noteText(checked);
        checked.argument = replaceEscapes(*argument, syntax.escapes);
    }
    return true;
}

void ScriptChecker::formNotMet(const CheckedLine &line, const QString &missing)
{
    const QString keyword = QLatin1String(line.keyword);
    const QString mend = keyword + argumentShape(line.keyword);
    const ChainStep step = keywordSyntax(line.keyword).chain;
    const bool tab = missing == QLatin1String("blank") && line.line.contains('\t');
    const QString what =
        tab ? QStringLiteral("a tab follows %1 where a blank is needed").arg(keyword)
            : QStringLiteral("%1 has no %2").arg(keyword, missing);
    if (step == ChainStep::Address || step == ChainStep::Version) {
        const QString name =
            step == ChainStep::Address ? QStringLiteral("address") : QStringLiteral("version");
        warn(QStringLiteral("%1: it spends the %2 step with no %2, so the load chain goes no "
                            "further until the next _LF: a later _LA or _LV does nothing (write "
                            "%3)")
                 .arg(what, name, mend));
        explain(line.depth, line.keyword,
                QStringLiteral("spends the %1 step with no %1: the load chain goes no further "
                               "until the next _LF")
                    .arg(name));
        return;
    }
    warn(QStringLiteral("%1: the line does nothing (write %2)").arg(what, mend));
    explain(line.depth, line.keyword, QStringLiteral("does nothing"));
}

void ScriptChecker::noteText(const CheckedLine &line)
{
    if (!line.line.endsWith('"'))
        warn(QStringLiteral("the line does not end with its closing double quote: its last "
                            "byte is dropped whatever it is, so the text is %1")
                 .arg(quotedBytes(line.argument)));
    noteIgnoredEscapes(line.keyword, line.argument);
}

// "\r" in _SC is a backslash and an r: each command knows only its own escapes.
void ScriptChecker::noteIgnoredEscapes(const QByteArray &keyword, const QByteArray &text)
{
    const EscapeSet escapes = keywordSyntax(keyword).escapes;
    for (const char *pair : {"^M", "\\r", "\\n"}) {
        if (text.contains(pair) && replaceEscapes(pair, escapes) == pair)
            warn(QStringLiteral("%1 is no escape in %2: it stays two characters (%2 knows %3)")
                     .arg(QLatin1String(pair), QLatin1String(keyword), knownEscapes(escapes)));
    }
}

void ScriptChecker::warn(const QString &text)
{
    if (!m_notes->findings.contains(text))
        m_notes->findings.append(text);
}

void ScriptChecker::explain(int depth, const QByteArray &keyword, const QString &text)
{
    m_notes->explanation.append({depth, keyword, text});
}

void ScriptChecker::detail(int depth, const QString &text)
{
    m_notes->explanation.append({depth, QByteArray(), text});
}

void ScriptChecker::warnNow(const QString &text)
{
    m_result.findings.append({m_line, text});
}
