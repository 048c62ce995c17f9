// The check of each command: what the run does with its line on one course, told as the
// explanation's notes (the bytes sent over the serial port when the unit answers at once,
// and what may follow when it does not), and the findings the line gives. The numbers told
// are the run's own constants.
#include "script/ScriptChecker.h"

#include "base/ByteText.h"
#include "base/NativeFile.h"
#include "base/Timing.h"
#include "link/DeviceLink.h"
#include "script/ScriptRunner.h"
#include "script/ScriptSyntax.h"
#include "upload/FileMeasure.h"
#include "upload/Uploader.h"

#include <QFile>
#include <QFileInfo>

#include <climits>

using namespace ScriptSyntax;
using namespace ScriptCheckModel;
using ByteText::quotedBytes;

namespace {

QString shown(QByteArrayView bytes)
{
    return ByteText::escapedText(bytes);
}

// Seconds as the explanation writes them: 0.44 s, 0.9 s, 7.4 s, 4 s.
QString seconds(qint64 ms)
{
    if (ms < 500)
        return QString::number(double(qRound(double(ms) / 10)) / 100);
    return QString::number(double(qRound(double(ms) / 100)) / 10);
}

QString quotedByte(char byte)
{
    return quotedBytes(QByteArray(1, byte));
}

// An optional sign, then a digit: what the pause commands read as a number.
bool startsWithNumber(QByteArrayView text)
{
    const qsizetype digit = !text.isEmpty() && (text.at(0) == '-' || text.at(0) == '+') ? 1 : 0;
    return digit < text.size() && text.at(digit) >= '0' && text.at(digit) <= '9';
}

} // namespace

// A text that is empty because its only double quote ends the line: "_SC X"" sends a bare
// carriage return, not X.
void ScriptChecker::noteEmptyText(const CheckedLine &line, const QString &effect)
{
    if (!line.argument.isEmpty() || line.line.count('"') != 1)
        return;
    warn(QStringLiteral("the only double quote ends the line, so the text of %1 is empty: %2 "
                        "(write %1 \"TEXT\")")
             .arg(QLatin1String(line.keyword), effect));
}

ScriptChecker::Courses ScriptChecker::checkSend(const CheckedLine &line, Course course)
{
    noteEmptyText(line, QStringLiteral("it sends only a carriage return"));
    explain(line.depth, line.keyword, line.says);
    detail(line.depth, QStringLiteral("sends ") + quotedBytes(line.argument + '\r'));
    return {course};
}

ScriptChecker::Courses ScriptChecker::checkSendAndRestart(const CheckedLine &line, Course course)
{
    noteEmptyText(line, QStringLiteral("it sends only a carriage return before the link restarts"));
    explain(line.depth, line.keyword, line.says.arg(seconds(ScriptRunner::RestartPauseMs)));
    detail(line.depth, QStringLiteral("sends ") + quotedBytes(line.argument + '\r'));
    detail(line.depth,
           QStringLiteral("sends %1 once the port is open again").arg(quotedBytes("\r")));
    detail(line.depth,
           QStringLiteral("if the normal prompt does not answer it within %1 s: sends %2")
               .arg(seconds(DeviceLink::ProbeTicks * Timing::TickMs), quotedBytes("\r")));
    return {course};
}

ScriptChecker::Courses ScriptChecker::checkLoaderMode(const CheckedLine &line, Course course)
{
    const QString wait = seconds(ScriptRunner::LoaderCheckTicks * Timing::TickMs);
    const QString fallBack = QStringLiteral("it sends nothing and waits %1 s for the loader "
                                            "prompt before it falls back to the loader-mode "
                                            "command")
                                 .arg(wait);
    if (line.argument.isEmpty() && line.line.count('"') != 1)
        warn(QStringLiteral("_TC has an empty text: ") + fallBack);
    noteEmptyText(line, fallBack);
    explain(line.depth, line.keyword,
            line.says.arg(wait) + QLatin1Char(' ') + quotedByte(course.state.loaderPrompt));
    detail(line.depth, line.argument.isEmpty()
                           ? QStringLiteral("sends nothing")
                           : QStringLiteral("sends ") + quotedBytes(line.argument));
    const int *pauses = ScriptRunner::LoaderRetryPausesMs;
    detail(line.depth, QStringLiteral("if the loader prompt does not come: sends %1 %2 (the "
                                      "carriage return %3 s later)")
                           .arg(quotedBytes(m_context.loaderModeCommand), quotedBytes("\r"),
                                seconds(pauses[0])));
    detail(line.depth, QStringLiteral("if it still does not come, it sends %1 again after %2 s "
                                      "and after %3 s, each awaited %4 s; then %1 awaited for "
                                      "the normal prompt %5, and the run stops")
                           .arg(quotedBytes("\r"), seconds(pauses[1]), seconds(pauses[2]), wait,
                                quotedByte(m_context.normalPrompt)));
    return {course};
}

ScriptChecker::Courses ScriptChecker::checkMessage(const CheckedLine &line, Course course)
{
    noteEmptyText(line, QStringLiteral("it shows an empty message"));
    explain(line.depth, line.keyword, line.says.arg(quotedBytes(line.argument)));
    return {course};
}

ScriptChecker::Courses ScriptChecker::checkQuestion(const CheckedLine &line, Course course)
{
    noteEmptyText(line, QStringLiteral("it asks an empty question"));
    explain(line.depth, line.keyword, line.says.arg(quotedBytes(line.argument)));
    course.state.question = Question::Unknown;
    return {course};
}

// The unit's answer ends at a prompt only once the guard's bytes have come; a shorter one is
// nudged.
ScriptChecker::Courses ScriptChecker::checkQuery(const CheckedLine &line, Course course)
{
    noteEmptyText(line, QStringLiteral("it sends only a carriage return"));
    explain(line.depth, line.keyword, line.says);
    detail(line.depth,
           QStringLiteral("sends %1 %2").arg(quotedBytes(line.argument), quotedBytes("\r")));
    const int nudgeMs =
        DeviceLink::CaptureSettleMs + ScriptRunner::QueryPolls / DeviceLink::NudgeFraction;
    detail(line.depth, QStringLiteral("if fewer than %1 bytes come before the prompt: sends %2 "
                                      "about %3 s after the text")
                           .arg(QString::number(ScriptRunner::queryPromptGuard(line.argument)),
                                quotedBytes(".\r"), seconds(nudgeMs)));
    course.state.answer.reset();
    return {course};
}

ScriptChecker::Courses ScriptChecker::checkLoaderPrompt(const CheckedLine &line, Course course)
{
    if (line.argument.isEmpty()) {
        warn(QStringLiteral("_PC has no character: the loader prompt stays %1")
                 .arg(quotedByte(course.state.loaderPrompt)));
        explain(line.depth, line.keyword, QStringLiteral("does nothing"));
        return {course};
    }
    course.state.loaderPrompt = line.argument.at(0);
    explain(line.depth, line.keyword, line.says.arg(quotedByte(line.argument.at(0))));
    return {course};
}

ScriptChecker::Courses ScriptChecker::checkUploadKeyword(const CheckedLine &line, Course course)
{
    noteEmptyText(line, QStringLiteral("the upload header's keyword becomes empty"));
    course.state.uploadKeyword = line.argument;
    explain(line.depth, line.keyword, line.says.arg(quotedBytes(line.argument)));
    return {course};
}

ScriptChecker::Courses ScriptChecker::checkPause(const CheckedLine &line, Course course)
{
    if (!startsWithNumber(line.argument)) {
        warn(QStringLiteral("_DY has no number: it pauses only 1 ms"));
        explain(line.depth, line.keyword, QStringLiteral("does nothing"));
        return {course};
    }
    const int requests = pauseRequests(leadingInteger(line.argument));
    explain(line.depth, line.keyword, line.says.arg(qint64(requests) + 1));
    return {course};
}

ScriptChecker::Courses ScriptChecker::checkPostUploadPause(const CheckedLine &line, Course course)
{
    const int n = leadingInteger(line.argument);
    if (!startsWithNumber(line.argument)) {
        warn(QStringLiteral("_LP has no number: the pause after an upload stays as it is"));
        explain(line.depth, line.keyword, QStringLiteral("does nothing"));
    } else if (n > 0) {
        course.state.postUploadPauseMs = n > INT_MAX / 1000 ? INT_MAX : n * 1000;
        explain(line.depth, line.keyword, line.says.arg(n));
    } else {
        explain(line.depth, line.keyword,
                QStringLiteral("keeps the pause after an upload (only a number above 0 changes "
                               "it)"));
    }
    return {course};
}

ScriptChecker::Courses ScriptChecker::checkTerminalLock(const CheckedLine &line, Course course)
{
    if (line.argument.startsWith('0'))
        warn(QStringLiteral("_LT 0 stores the character 0, which keeps the terminal pane usable "
                            "during uploads: only _LT followed by blanks alone disables it"));
    explain(line.depth, line.keyword,
            line.says.arg(line.argument.isEmpty() ? QStringLiteral("is disabled")
                                                  : QStringLiteral("stays usable")));
    return {course};
}

void ScriptChecker::noteTrailingBlank(const char *what, const QByteArray &text)
{
    if (text.endsWith(' '))
        warn(QStringLiteral("the %1 %2 ends in a blank, which is part of it")
                 .arg(QLatin1String(what), quotedBytes(text)));
}

bool ScriptChecker::refuseTooLong(const CheckedLine &line, const char *what, int limit,
                                  Course &course)
{
    if (line.argument.size() <= limit)
        return false;
    refuse(QStringLiteral("the %1 is longer than %2 characters")
               .arg(QLatin1String(what), QString::number(limit)),
           line.keyword, line.depth, course);
    return true;
}

// A step the run will refuse with a message; the _LD after it then stops the run.
void ScriptChecker::refuse(const QString &finding, const QByteArray &keyword, int depth,
                           Course &course)
{
    warn(finding + QStringLiteral(": %1 will refuse it, and the _LD after it stops the run")
                       .arg(QLatin1String(keyword)));
    explain(depth, keyword, QStringLiteral("is refused: the load chain is broken"));
    course.state.chain.refuse();
}

ScriptChecker::Courses ScriptChecker::checkLoadFile(const CheckedLine &line, Course course)
{
    if (refuseTooLong(line, "file name", HeaderFields::MaxFileNameLength, course))
        return {course};
    const QByteArray &name = line.argument;
    noteTrailingBlank("file name", name);
    RunState &state = course.state;
    state.fileName = name;
    state.path = name.startsWith('/')
                     ? name
                     : QByteArray(QFile::encodeName(m_context.runFolder) + '/' + name);
    QFile file;
    if (!NativeFile::openForReading(file, state.path)) {
        refuse(unopenedFileText(name, state.path), line.keyword, line.depth, course);
        return {course};
    }
    state.chain.fileNamed();
    explain(line.depth, line.keyword,
            line.says.arg(shown(name)) + QStringLiteral(" (%1 bytes)").arg(file.size()));
    return {course};
}

// Why the run will not open the file an _LF names, and where it looked.
QString ScriptChecker::unopenedFileText(const QByteArray &name, const QByteArray &path) const
{
    const QFileInfo info(QFile::decodeName(path));
    if (info.exists() && !info.isFile())
        return QStringLiteral("%1 is no regular file").arg(shown(name));
    if (info.exists())
        return QStringLiteral("%1 cannot be opened (no permission)").arg(shown(name));
    if (name.startsWith('/'))
        return QStringLiteral("there is no file %1").arg(shown(name));
    return QStringLiteral("there is no file %1 in %2, the folder the check takes the run to "
                          "start in (--folder sets it)")
        .arg(shown(name), m_context.runFolder);
}

// As the run does: the size first, from the file's own record, and the bytes only when the
// header can describe them.
ScriptChecker::Courses ScriptChecker::checkLoadAddress(const CheckedLine &line, Course course)
{
    if (refuseTooLong(line, "load address", HeaderFields::MaxAddressLength, course))
        return {course};
    noteTrailingBlank("load address", line.argument);
    RunState &state = course.state;
    QFile file;
    const bool opened = NativeFile::openForReading(file, state.path);
    if (opened && file.size() > INT32_MAX) {
        refuse(QStringLiteral("%1 is 2 GiB or larger").arg(shown(state.fileName)), line.keyword,
               line.depth, course);
        return {course};
    }
    const std::optional<FileMeasure> measure =
        opened ? measureFile(state.path) : std::optional<FileMeasure>();
    if (!measure) {
        refuse(QStringLiteral("%1 cannot be read to its end").arg(shown(state.fileName)),
               line.keyword, line.depth, course);
        return {course};
    }
    state.size = measure->size;
    state.checksum = measure->checksum;
    state.address = line.argument;
    state.chain.addressTaken();
    explain(line.depth, line.keyword,
            line.says.arg(quotedBytes(line.argument)) +
                QStringLiteral("; %1 measures %2 bytes, checksum %3")
                    .arg(shown(state.fileName), QString::number(measure->size),
                         QString::number(measure->checksum, 16)));
    return {course};
}

ScriptChecker::Courses ScriptChecker::checkLoadVersion(const CheckedLine &line, Course course)
{
    if (refuseTooLong(line, "load version", HeaderFields::MaxVersionLength, course))
        return {course};
    noteTrailingBlank("load version", line.argument);
    RunState &state = course.state;
    state.version = ByteText::upperCaseLetters(line.argument);
    if (state.version == "DATE") {
        QFile file;
        NativeFile::openForReading(file, state.path);
        state.version =
            fileDateText(file.fileTime(QFileDevice::FileModificationTime).toLocalTime());
    }
    state.chain.versionTaken();
    explain(line.depth, line.keyword, line.says.arg(quotedBytes(state.version)));
    return {course};
}

ScriptChecker::Courses ScriptChecker::checkLoadData(const CheckedLine &line, Course course)
{
    RunState &state = course.state;
    if (state.chain.upload() == LoadChain::Upload::Refused) {
        explain(line.depth, line.keyword,
                QStringLiteral("stops the run: a step of the load chain before it was refused"));
        return {};
    }
    if (state.chain.complete()) {
        uploadWithHeader(line, course);
        return {course};
    }
    if (state.fileName.isEmpty()) {
        warn(QStringLiteral("_LD with no _LF before it: there is no file to upload, so the run "
                            "shows \"Error opening .\" and fails"));
        explain(line.depth, line.keyword,
                QStringLiteral("sends nothing: no file is named, so the run shows \"Error "
                               "opening .\" and goes on, but ends as failed"));
        return {course};
    }
    warn(QStringLiteral("_LD without a complete load chain (_LF, _LA, _LV) before it: it sends "
                        "%1 raw, without a header")
             .arg(shown(state.fileName)));
    explain(line.depth, line.keyword,
            QStringLiteral("sends %1 raw, in %2-byte blocks, with no header and no prompt check")
                .arg(shown(state.fileName), QString::number(Uploader::RawBlock)));
    detail(line.depth, QStringLiteral("sends <%1 bytes of %2>")
                           .arg(QString::number(QFileInfo(QFile::decodeName(state.path)).size()),
                                shown(state.fileName)));
    return {course};
}

void ScriptChecker::uploadWithHeader(const CheckedLine &line, Course &course)
{
    RunState &state = course.state;
    const int headerPauseMs =
        Uploader::HeaderSettleMs + Uploader::HeaderPrepareMs + Uploader::BeforeFirstBlockMs;
    explain(line.depth, line.keyword,
            line.says.arg(shown(state.fileName)) +
                QStringLiteral(": waits for the prompt, sends the header, pauses %1 s, sends the "
                               "file in %2-byte blocks, pauses %3 s, and waits for the loader "
                               "prompt %4 that confirms it")
                    .arg(seconds(headerPauseMs), QString::number(Uploader::TransferBlock),
                         seconds(state.postUploadPauseMs), quotedByte(state.loaderPrompt)));
    const QByteArray header =
        uploadHeader(state.uploadKeyword, state.address, state.size, state.checksum, state.version);
    detail(line.depth, QStringLiteral("sends %1 %2 <%3 bytes of %4> %1")
                           .arg(quotedBytes("\r"), quotedBytes(header), QString::number(state.size),
                                shown(state.fileName)));
    state.chain.headerSent();
}

ScriptChecker::Courses ScriptChecker::checkVersionTest(const CheckedLine &line, Course course)
{
    const QString holds = line.says.arg(leadingInteger(line.argument));
    if (!course.state.answer)
        return conditional(line, course, Outcome::Unknown, holds);
    const std::optional<std::pair<int, int>> version = readVersion(*course.state.answer);
    if (!version) {
        warn(QStringLiteral("%1 with no _QC before it: there is no answer to read a version "
                            "from, so the run shows \"Prev _QC does not have version info.\" and "
                            "fails (write _QC \"VER\" before it)")
                 .arg(QLatin1String(line.keyword)));
        explain(line.depth, line.keyword,
                QStringLiteral("shows \"Prev _QC does not have version info.\" and does not run "
                               "its tail: no _QC before it has answered; the run goes on, and "
                               "ends as failed"));
        return {course};
    }
    const bool held = versionHolds(line.keyword, *version, leadingInteger(line.argument));
    return conditional(line, course, held ? Outcome::Holds : Outcome::Fails, holds);
}

ScriptChecker::Courses ScriptChecker::checkAnswerComparison(const CheckedLine &line, Course course)
{
    const QString holds = line.says.arg(quotedBytes(line.argument));
    if (!course.state.answer)
        return conditional(line, course, Outcome::Unknown, holds);
    const bool held = answerHolds(line.keyword, *course.state.answer, line.argument);
    warn(QStringLiteral("%1 with no _QC before it compares with an empty answer: its condition "
                        "%2 (write _QC \"TEXT\" before it)")
             .arg(QLatin1String(line.keyword),
                  held ? QStringLiteral("always holds") : QStringLiteral("never holds")));
    return conditional(line, course, held ? Outcome::Holds : Outcome::Fails, holds);
}

ScriptChecker::Courses ScriptChecker::checkAnswerBranch(const CheckedLine &line, Course course)
{
    const bool onOk = line.keyword == "_DO";
    const Question question = course.state.question;
    if (question == Question::NotAsked) {
        warn(QStringLiteral("%1 with no _DQ before it in the script: its tail runs only on an "
                            "answer left by an earlier run, never in an automatic run (write "
                            "_DQ \"QUESTION\" before it)")
                 .arg(QLatin1String(line.keyword)));
        explain(line.depth, line.keyword,
                QStringLiteral("does nothing: no _DQ before it has been answered"));
        return {course};
    }
    if (question != Question::Unknown) {
        const bool held = (question == Question::Ok) == onOk;
        return conditional(line, course, held ? Outcome::Holds : Outcome::Fails, line.says);
    }
    explain(line.depth, line.keyword, QStringLiteral("when %1, runs:").arg(line.says));
    Course ran = course;
    Course notRan = course;
    ran.state.question = onOk ? Question::Ok : Question::Cancel;
    notRan.state.question = onOk ? Question::Cancel : Question::Ok;
    return bothCourses(line, course, ran, notRan);
}

ScriptChecker::Courses ScriptChecker::checkPromptWait(const CheckedLine &line, Course course)
{
    explain(line.depth, line.keyword, line.says);
    detail(line.depth, QStringLiteral("sends ") + quotedBytes("\r"));
    if (m_context.automaticWithoutLimit)
        warn(QStringLiteral("_WP waits without limit, and the settings run this script "
                            "automatically with no time limit: set TAMRIN_RUN_TIMEOUT (seconds) "
                            "on the station"));
    return {course};
}

ScriptChecker::Courses ScriptChecker::checkFinish(const CheckedLine &line, Course)
{
    explain(line.depth, line.keyword, line.says);
    return {};
}

// A condition that is known holds or fails; one that is not is followed both ways.
ScriptChecker::Courses ScriptChecker::conditional(const CheckedLine &line, Course course,
                                                  Outcome outcome, const QString &holds)
{
    if (outcome == Outcome::Fails) {
        explain(line.depth, line.keyword,
                QStringLiteral("does nothing: its condition (%1) does not hold").arg(holds));
        return {course};
    }
    explain(line.depth, line.keyword, QStringLiteral("when %1, runs:").arg(holds));
    if (outcome == Outcome::Holds)
        return tail(line, course);
    return bothCourses(line, course, course, course);
}

// The tail is checked on 'ran'. When it leaves the state as it found it, the line changed
// nothing but what it sent; otherwise the run goes on either way from here.
ScriptChecker::Courses ScriptChecker::bothCourses(const CheckedLine &line, const Course &course,
                                                  const Course &ran, Course notRan)
{
    const Courses after = tail(line, ran);
    const bool unchanged = after.size() == 1 && after.first().state == ran.state;
    if (unchanged)
        return {course};
    const qsizetype at = course.decisions.size();
    Courses courses;
    for (Course next : after) {
        next.decisions.insert(at, Decision{m_line, line.depth + 1, true});
        courses.append(next);
    }
    notRan.decisions.insert(at, Decision{m_line, line.depth + 1, false});
    courses.append(notRan);
    return courses;
}

// A tail is a command line of its own, run when the condition holds.
ScriptChecker::Courses ScriptChecker::tail(const CheckedLine &line, Course course)
{
    if (line.tail.isEmpty()) {
        warn(QStringLiteral("%1 has no command after its condition: when the condition holds, "
                            "the run shows \"%2\"")
                 .arg(QLatin1String(line.keyword), noTailMessage(line.keyword)));
        detail(line.depth, QStringLiteral("nothing: the run shows ") + noTailMessage(line.keyword));
        return {course};
    }
    if (!line.tail.startsWith('_')) {
        const QString where = line.tail.startsWith('\t')
                                  ? QStringLiteral("a tab stands before it where a blank is needed")
                                  : QStringLiteral("it does not begin with an underscore");
        warn(QStringLiteral("the tail %1 of %2 does nothing: %3")
                 .arg(quotedBytes(line.tail), QLatin1String(line.keyword), where));
        detail(line.depth, QStringLiteral("nothing: the tail is no command line"));
        return {course};
    }
    return command(line.tail, line.depth + 1, std::move(course));
}
