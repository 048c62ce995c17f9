#include "script/ScriptCheck.h"

#include "script/ScriptLineReader.h"
#include "script/ScriptSyntax.h"
#include "upload/ByteText.h"
#include "upload/FileMeasure.h"
#include "upload/LoadChain.h"
#include "upload/NativeFile.h"

#include <QFile>
#include <QFileInfo>

#include <climits>
#include <optional>

using namespace ScriptSyntax;
using namespace ByteText;

namespace {

constexpr int MaxCommandLines = 300;
constexpr char EndOfFileByte = 26;

QString shown(QByteArrayView bytes)
{
    return displayText(bytes);
}

// An optional sign, then a digit: what the pause commands read as a number.
bool startsWithNumber(QByteArrayView text)
{
    const qsizetype digit = !text.isEmpty() && (text.at(0) == '-' || text.at(0) == '+') ? 1 : 0;
    return digit < text.size() && text.at(digit) >= '0' && text.at(digit) <= '9';
}

// The known keyword a misspelt one most likely meant: the same in capitals, or the only one
// that differs from it in a single place or starts with it.
std::optional<QByteArray> likelyKeyword(const QByteArray &keyword)
{
    const QByteArray capitals = upperCaseLetters(keyword);
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
    switch (keywordSyntax(keyword).form) {
    case ArgumentForm::Text:
        return QStringLiteral(" \"TEXT\"");
    case ArgumentForm::ValueAndTail:
        return QStringLiteral(" \"VALUE\" _COMMAND");
    case ArgumentForm::Tail:
        return QStringLiteral(" _COMMAND");
    default:
        break;
    }
    if (keyword == "_DY" || keyword == "_LP")
        return QStringLiteral(" N");
    if (keyword == "_LF")
        return QStringLiteral(" FILE");
    if (keyword == "_LA")
        return QStringLiteral(" ADDRESS");
    if (keyword == "_LV")
        return QStringLiteral(" VERSION");
    return QStringLiteral(" C");
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

// When the condition of a line holds, in words.
QString conditionText(const QByteArray &keyword, const QByteArray &value)
{
    const QString number = QString::number(leadingInteger(value));
    if (keyword == "_AG")
        return QStringLiteral("when the answer's major version is %1 or more").arg(number);
    if (keyword == "_AL")
        return QStringLiteral("when the answer's major version is less than %1").arg(number);
    if (keyword == "_IG")
        return QStringLiteral("when the answer's minor version is %1 or more").arg(number);
    if (keyword == "_IL")
        return QStringLiteral("when the answer's minor version is less than %1").arg(number);
    if (keyword == "_CE")
        return QStringLiteral("when the answer is exactly ") + quotedBytes(value);
    if (keyword == "_CS")
        return QStringLiteral("when the answer holds ") + quotedBytes(value);
    if (keyword == "_CN")
        return QStringLiteral("when the answer does not hold ") + quotedBytes(value);
    if (keyword == "_DO")
        return QStringLiteral("when the last _DQ was answered OK");
    return QStringLiteral("when the last _DQ was answered Cancel");
}

// The load chain as the run will find it, and what its steps gave. Each step whose line is
// sound is taken as done, so that every later step is judged as the run will judge it.
struct ChainSeen
{
    LoadChain steps;
    QByteArray fileName;
    QByteArray path; // the file name as the run will open it
    FileMeasure measure;
    QByteArray address;
    QByteArray version;
};

class Checker
{
public:
    explicit Checker(const ScriptCheckContext &context) : m_context(context) {}

    ScriptCheckResult read(QByteArrayView content);

private:
    void noteByte(QByteArrayView content, qsizetype at, int fileLine);
    void commandLine(const ScriptLineReader &reader, const QByteArray &line);
    bool proseGoesOn(const QByteArray &line);
    void command(const QByteArray &line, int depth);
    void countCommandLine();
    void unknownCommand(const QByteArray &keyword, int depth);
    void formNotMet(const QByteArray &line, const QByteArray &keyword, const QString &missing,
                    int depth);
    void textCommand(const QByteArray &line, const QByteArray &keyword, int depth);
    void noteIgnoredEscapes(const QByteArray &keyword, const QByteArray &text);
    void describeText(const QByteArray &keyword, const QByteArray &text, int depth);
    void loaderModeCheck(const QByteArray &text, int depth);
    void blankSeparatedCommand(const QByteArray &line, const QByteArray &keyword, int depth);
    void setting(const QByteArray &keyword, const QByteArray &argument, int depth);
    void noteTrailingBlank(const char *what, const QByteArray &text);
    bool refuseTooLong(const char *keyword, const char *what, const QByteArray &text, int limit,
                       int depth);
    void loadFile(const QByteArray &name, int depth);
    QString unopenedFileText(const QByteArray &name) const;
    bool stepDue(bool due, const char *keyword, const char *before, const char *name, int depth);
    void loadAddress(const QByteArray &address, int depth);
    void loadVersion(const QByteArray &version, int depth);
    void loadData(int depth);
    void conditionCommand(const QByteArray &line, const QByteArray &keyword, int depth);
    void branchCommand(const QByteArray &line, const QByteArray &keyword, int depth);
    void tail(const QByteArray &tail, const QByteArray &keyword, int depth);
    void bareCommand(const QByteArray &keyword, int depth);
    void refuse(const QString &finding, const QByteArray &keyword, int depth);

    void warn(const QString &text);
    void explain(int depth, const QByteArray &keyword, const QString &text);
    void detail(int depth, const QString &text);

    ScriptCheckContext m_context;
    ScriptCheckResult m_result;
    ChainSeen m_chain;
    int m_line = 0;
    int m_commandLines = 0;
    int m_carriageReturnLine = 0;
    int m_nulLine = 0;
};

ScriptCheckResult Checker::read(QByteArrayView content)
{
    ScriptLineReader reader;
    for (qsizetype at = 0; at < content.size(); ++at) {
        noteByte(content, at, reader.fileLine());
        const ScriptLineReader::Step step = reader.feed(content.at(at));
        if (step == ScriptLineReader::Step::LineComplete)
            commandLine(reader, reader.completedLine());
        if (step == ScriptLineReader::Step::EndOfFile)
            break;
    }
    if (reader.finish())
        commandLine(reader, reader.completedLine());
    return m_result;
}

// What the reader passes over without a word: a carriage return that ends no line, a NUL
// byte, and everything after a Ctrl-Z.
void Checker::noteByte(QByteArrayView content, qsizetype at, int fileLine)
{
    m_line = fileLine;
    const char c = content.at(at);
    const char next = at + 1 < content.size() ? content.at(at + 1) : '\n';
    if (c == '\r' && next != '\n' && next != '\r' && next != EndOfFileByte &&
        m_carriageReturnLine != fileLine) {
        m_carriageReturnLine = fileLine;
        warn(QStringLiteral("a carriage return with no line feed after it: a line ends only at a "
                            "line feed, so what follows is read as part of this line "
                            "(a file with carriage-return-only line ends is one long line)"));
    } else if (c == '\0' && m_nulLine != fileLine) {
        m_nulLine = fileLine;
        warn(QStringLiteral("a NUL byte (byte 0): no text file holds one; the run reads it as an "
                            "ordinary character and may send it to the unit"));
    } else if (c == EndOfFileByte && at + 1 < content.size()) {
        warn(QStringLiteral("a Ctrl-Z (byte 26) ends the script here: the %1 bytes after it are "
                            "never read")
                 .arg(content.size() - at - 1));
    }
}

void Checker::commandLine(const ScriptLineReader &reader, const QByteArray &line)
{
    m_line = reader.lineNumber();
    if (reader.lineTooLong()) {
        warn(QStringLiteral("the command line is longer than %1 characters: the run stops here "
                            "with an error")
                 .arg(ScriptLineReader::MaxLineLength));
        explain(0, keywordOf(line), QStringLiteral("stops the run: the line is too long"));
        return;
    }
    if (reader.textBeforeCommand() && !proseGoesOn(line))
        return;
    command(line, 0);
}

// Text before the underscore is skipped, so "Set the_address first" is the command "_ad".
bool Checker::proseGoesOn(const QByteArray &line)
{
    const QByteArray keyword = keywordOf(line);
    if (keywordSyntax(keyword).form != ArgumentForm::Unknown) {
        warn(QStringLiteral("text before the underscore is skipped: the line runs from \"%1\" "
                            "as the command %2")
                 .arg(shown(line), shown(keyword)));
        return true;
    }
    warn(QStringLiteral("text before the underscore is skipped, so \"%1\" is read as a command "
                        "line, and %2 is no command: write prose on a comment line (';' first)")
             .arg(shown(line), shown(keyword)));
    countCommandLine();
    explain(0, keyword, QStringLiteral("does nothing"));
    return false;
}

void Checker::command(const QByteArray &line, int depth)
{
    countCommandLine();
    const QByteArray keyword = keywordOf(line);
    switch (keywordSyntax(keyword).form) {
    case ArgumentForm::Text:
        textCommand(line, keyword, depth);
        break;
    case ArgumentForm::BlankSeparated:
        blankSeparatedCommand(line, keyword, depth);
        break;
    case ArgumentForm::ValueAndTail:
        conditionCommand(line, keyword, depth);
        break;
    case ArgumentForm::Tail:
        branchCommand(line, keyword, depth);
        break;
    case ArgumentForm::None:
        bareCommand(keyword, depth);
        break;
    case ArgumentForm::Unknown:
        unknownCommand(keyword, depth);
        break;
    }
}

void Checker::countCommandLine()
{
    if (++m_commandLines == MaxCommandLines + 1)
        warn(QStringLiteral("command line %1 (a conditional tail counts as one more): a script "
                            "has room for %2; Tamrin runs the rest, but split the script to keep "
                            "within the limit")
                 .arg(m_commandLines)
                 .arg(MaxCommandLines));
}

void Checker::unknownCommand(const QByteArray &keyword, int depth)
{
    QString text = QStringLiteral("%1 is no command: the line does nothing").arg(shown(keyword));
    if (const std::optional<QByteArray> meant = likelyKeyword(keyword))
        text += QStringLiteral(" (did you mean %1?)").arg(QLatin1String(*meant));
    warn(text);
    explain(depth, keyword, QStringLiteral("does nothing"));
}

void Checker::formNotMet(const QByteArray &line, const QByteArray &keyword, const QString &missing,
                         int depth)
{
    const QString mend = QLatin1String(keyword) + argumentShape(keyword);
    if (missing == QLatin1String("blank") && line.contains('\t'))
        warn(QStringLiteral("a tab follows %1 where a blank is needed: the line does nothing "
                            "(write %2)")
                 .arg(QLatin1String(keyword), mend));
    else
        warn(QStringLiteral("%1 has no %2: the line does nothing (write %3)")
                 .arg(QLatin1String(keyword), missing, mend));
    explain(depth, keyword, QStringLiteral("does nothing"));
}

void Checker::textCommand(const QByteArray &line, const QByteArray &keyword, int depth)
{
    const std::optional<QByteArray> raw = argumentText(line);
    if (!raw) {
        formNotMet(line, keyword, QStringLiteral("double quote"), depth);
        return;
    }
    if (!line.endsWith('"'))
        warn(QStringLiteral("the line does not end with its closing double quote: its last byte "
                            "is dropped whatever it is, so the text is %1")
                 .arg(quotedBytes(*raw)));
    noteIgnoredEscapes(keyword, *raw);
    describeText(keyword, replaceEscapes(*raw, keywordSyntax(keyword).escapes), depth);
}

// "\r" in _SC is a backslash and an r: each command knows only its own escapes.
void Checker::noteIgnoredEscapes(const QByteArray &keyword, const QByteArray &text)
{
    const EscapeSet escapes = keywordSyntax(keyword).escapes;
    for (const char *pair : {"^M", "\\r", "\\n"}) {
        if (text.contains(pair) && replaceEscapes(pair, escapes) == pair)
            warn(QStringLiteral("%1 is no escape in %2: it stays two characters (%2 knows %3)")
                     .arg(QLatin1String(pair), QLatin1String(keyword), knownEscapes(escapes)));
    }
}

void Checker::describeText(const QByteArray &keyword, const QByteArray &text, int depth)
{
    if (keyword == "_SC" || keyword == "_SR" || keyword == "_ST") {
        explain(depth, keyword,
                keyword == "_ST" ? QStringLiteral("sends the text and a carriage return, then "
                                                  "drops the link, waits 4.5 s and connects again")
                                 : QStringLiteral("sends the text and a carriage return, without "
                                                  "waiting"));
        detail(depth, QStringLiteral("sends ") + quotedBytes(text + '\r'));
    } else if (keyword == "_TC") {
        loaderModeCheck(text, depth);
    } else if (keyword == "_QC") {
        explain(depth, keyword,
                QStringLiteral("asks the unit and keeps its answer, up to the prompt (over TCP "
                               "the line end is \"\\r\\n\")"));
        detail(depth, QStringLiteral("sends %1 %2").arg(quotedBytes(text), quotedBytes("\r")));
    } else if (keyword == "_PC" && text.isEmpty()) {
        warn(QStringLiteral("_PC has no character: the loader prompt stays %1")
                 .arg(quotedBytes(QByteArray(1, m_context.loaderPrompt))));
        explain(depth, keyword, QStringLiteral("does nothing"));
    } else if (keyword == "_PC") {
        m_context.loaderPrompt = text.at(0);
        explain(depth, keyword,
                QStringLiteral("the loader prompt becomes ") + quotedBytes(text.first(1)));
    } else if (keyword == "_LC") {
        m_context.uploadKeyword = text;
        explain(depth, keyword,
                QStringLiteral("the upload header's keyword becomes ") + quotedBytes(text));
    } else if (keyword == "_DM") {
        explain(depth, keyword, QStringLiteral("shows the message ") + quotedBytes(text));
    } else {
        explain(depth, keyword,
                QStringLiteral("asks the operator %1, OK or Cancel (an unattended station answers "
                               "Cancel)")
                    .arg(quotedBytes(text)));
    }
}

void Checker::loaderModeCheck(const QByteArray &text, int depth)
{
    const QString loader = quotedBytes(QByteArray(1, m_context.loaderPrompt));
    explain(depth, "_TC",
            QStringLiteral("makes sure the unit is in its loader mode: sends the text and waits "
                           "for the loader prompt %1")
                .arg(loader));
    detail(depth, QStringLiteral("sends ") + quotedBytes(text));
    detail(depth, QStringLiteral("otherwise sends %1, then %2 three times (after 0.5 s, 2.5 s and "
                                 "2 s), each awaited for %3; then %2 awaited for the normal "
                                 "prompt %4, and the run stops")
                      .arg(quotedBytes(m_context.loaderModeCommand), quotedBytes("\r"), loader,
                           quotedBytes(QByteArray(1, m_context.normalPrompt))));
}

void Checker::blankSeparatedCommand(const QByteArray &line, const QByteArray &keyword, int depth)
{
    if (keyword == "_LA" &&
        !stepDue(m_chain.steps.takeAddressStep(), "_LA", "_LF", "address", depth))
        return;
    if (keyword == "_LV" &&
        !stepDue(m_chain.steps.takeVersionStep(), "_LV", "_LA", "version", depth))
        return;
    const std::optional<QByteArray> argument = blankSeparatedArgument(line);
    if (!argument) {
        formNotMet(line, keyword, QStringLiteral("blank"), depth);
        return;
    }
    if (keyword == "_LF")
        loadFile(*argument, depth);
    else if (keyword == "_LA")
        loadAddress(*argument, depth);
    else if (keyword == "_LV")
        loadVersion(*argument, depth);
    else
        setting(keyword, *argument, depth);
}

// _DY, _LP and _LT.
void Checker::setting(const QByteArray &keyword, const QByteArray &argument, int depth)
{
    const int n = leadingInteger(argument);
    if (keyword == "_LT") {
        if (argument.startsWith('0'))
            warn(QStringLiteral("_LT 0 stores the character 0, which keeps the terminal pane "
                                "usable during uploads: only _LT followed by blanks alone "
                                "disables it"));
        explain(depth, keyword,
                argument.isEmpty() ? QStringLiteral("the terminal pane is disabled during uploads")
                                   : QStringLiteral("the terminal pane stays usable during "
                                                    "uploads"));
    } else if (!startsWithNumber(argument)) {
        warn(keyword == "_DY"
                 ? QStringLiteral("_DY has no number: it pauses only 1 ms")
                 : QStringLiteral("_LP has no number: the pause after an upload stays as it is"));
        explain(depth, keyword, QStringLiteral("does nothing"));
    } else if (keyword == "_DY") {
        explain(depth, keyword, QStringLiteral("pauses %1 ms").arg(qint64(pauseRequests(n)) + 1));
    } else {
        explain(depth, keyword,
                n > 0 ? QStringLiteral("the pause after an upload becomes %1 s").arg(n)
                      : QStringLiteral("keeps the pause after an upload (only a number above 0 "
                                       "changes it)"));
    }
}

void Checker::noteTrailingBlank(const char *what, const QByteArray &text)
{
    if (text.endsWith(' '))
        warn(QStringLiteral("the %1 %2 ends in a blank, which is part of it")
                 .arg(QLatin1String(what), quotedBytes(text)));
}

bool Checker::refuseTooLong(const char *keyword, const char *what, const QByteArray &text,
                            int limit, int depth)
{
    if (text.size() <= limit)
        return false;
    refuse(QStringLiteral("the %1 is longer than %2 characters")
               .arg(QLatin1String(what), QString::number(limit)),
           keyword, depth);
    return true;
}

// A step the run will refuse with a message; the _LD after it then stops the run.
void Checker::refuse(const QString &finding, const QByteArray &keyword, int depth)
{
    warn(finding + QStringLiteral(": %1 will refuse it, and the _LD after it stops the run")
                       .arg(QLatin1String(keyword)));
    explain(depth, keyword, QStringLiteral("is refused: the load chain is broken"));
    m_chain.steps.refuse();
}

void Checker::loadFile(const QByteArray &name, int depth)
{
    if (refuseTooLong("_LF", "file name", name, HeaderFields::MaxFileNameLength, depth))
        return;
    noteTrailingBlank("file name", name);
    m_chain.fileName = name;
    m_chain.path = name.startsWith('/')
                       ? name
                       : QByteArray(QFile::encodeName(m_context.runFolder) + '/' + name);
    QFile file;
    if (!NativeFile::openForReading(file, m_chain.path)) {
        refuse(unopenedFileText(name), "_LF", depth);
        return;
    }
    m_chain.steps.fileNamed();
    explain(depth, "_LF",
            QStringLiteral("names the file %1 (%2 bytes)")
                .arg(shown(name), QString::number(file.size())));
}

// Why the run will not open the file an _LF names, and where it looked.
QString Checker::unopenedFileText(const QByteArray &name) const
{
    const QFileInfo info(QFile::decodeName(m_chain.path));
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

// A step of the chain is due only right after the one before it, and is spent before the run
// reads the line.
bool Checker::stepDue(bool due, const char *keyword, const char *before, const char *name,
                      int depth)
{
    if (!due && m_chain.steps.upload() != LoadChain::Upload::Refused)
        warn(QStringLiteral("%1 with no %2 before it (since the last %1): the %3 step is not "
                            "due, so the line does nothing")
                 .arg(QLatin1String(keyword), QLatin1String(before), QLatin1String(name)));
    if (!due)
        explain(depth, keyword, QStringLiteral("does nothing"));
    return due;
}

void Checker::loadAddress(const QByteArray &address, int depth)
{
    if (refuseTooLong("_LA", "load address", address, HeaderFields::MaxAddressLength, depth))
        return;
    noteTrailingBlank("load address", address);
    const std::optional<FileMeasure> measure = measureFile(m_chain.path);
    if (!measure) {
        refuse(QStringLiteral("%1 cannot be read to its end").arg(shown(m_chain.fileName)), "_LA",
               depth);
        return;
    }
    if (measure->size > INT32_MAX) {
        refuse(QStringLiteral("%1 is 2 GiB or larger").arg(shown(m_chain.fileName)), "_LA", depth);
        return;
    }
    m_chain.measure = *measure;
    m_chain.address = address;
    m_chain.steps.addressTaken();
    explain(depth, "_LA",
            QStringLiteral("the load address is %1; %2 measures %3 bytes, checksum %4")
                .arg(quotedBytes(address), shown(m_chain.fileName), QString::number(measure->size),
                     QString::number(measure->checksum, 16)));
}

void Checker::loadVersion(const QByteArray &version, int depth)
{
    if (refuseTooLong("_LV", "load version", version, HeaderFields::MaxVersionLength, depth))
        return;
    noteTrailingBlank("load version", version);
    m_chain.version = upperCaseLetters(version);
    if (m_chain.version == "DATE") {
        QFile file;
        NativeFile::openForReading(file, m_chain.path);
        m_chain.version =
            fileDateText(file.fileTime(QFileDevice::FileModificationTime).toLocalTime());
    }
    m_chain.steps.versionTaken();
    explain(depth, "_LV", QStringLiteral("the load version is ") + quotedBytes(m_chain.version));
}

void Checker::loadData(int depth)
{
    if (m_chain.steps.upload() == LoadChain::Upload::Refused) {
        explain(depth, "_LD",
                QStringLiteral("stops the run: a step of the load chain before it was refused"));
        return;
    }
    const QString fileBytes =
        QStringLiteral("<%1 bytes of %2>")
            .arg(QString::number(QFileInfo(QFile::decodeName(m_chain.path)).size()),
                 shown(m_chain.fileName));
    if (m_chain.steps.complete()) {
        m_chain.steps.headerSent();
        const QByteArray header =
            uploadHeader(m_context.uploadKeyword, m_chain.address, m_chain.measure.size,
                         m_chain.measure.checksum, m_chain.version);
        explain(
            depth, "_LD",
            QStringLiteral("uploads %1: waits for the prompt, sends the header, pauses "
                           "2.6 s, sends the file in 2000-byte blocks, pauses, and waits for "
                           "the loader prompt %2 that confirms it")
                .arg(shown(m_chain.fileName), quotedBytes(QByteArray(1, m_context.loaderPrompt))));
        detail(depth, QStringLiteral("sends %1 %2 %3 %1")
                          .arg(quotedBytes("\r"), quotedBytes(header), fileBytes));
    } else if (m_chain.fileName.isEmpty()) {
        warn(QStringLiteral("_LD with no _LF before it: there is no file to upload"));
        explain(depth, "_LD", QStringLiteral("has no file to send"));
    } else {
        warn(QStringLiteral("_LD without a complete load chain (_LF, _LA, _LV) before it: it "
                            "sends %1 raw, without a header")
                 .arg(shown(m_chain.fileName)));
        explain(depth, "_LD",
                QStringLiteral("sends %1 raw, in 4000-byte blocks, with no header and no prompt "
                               "check")
                    .arg(shown(m_chain.fileName)));
        detail(depth, QStringLiteral("sends ") + fileBytes);
    }
}

void Checker::conditionCommand(const QByteArray &line, const QByteArray &keyword, int depth)
{
    const std::optional<ValueAndTail> parts = valueAndTail(line);
    if (!parts) {
        formNotMet(line, keyword,
                   line.count('"') == 1 ? QStringLiteral("second double quote")
                                        : QStringLiteral("double quote"),
                   depth);
        return;
    }
    noteIgnoredEscapes(keyword, parts->value);
    const QByteArray value = replaceEscapes(parts->value, keywordSyntax(keyword).escapes);
    explain(depth, keyword, conditionText(keyword, value) + QStringLiteral(", runs:"));
    tail(parts->tail, keyword, depth);
}

void Checker::branchCommand(const QByteArray &line, const QByteArray &keyword, int depth)
{
    const std::optional<QByteArray> rest = conditionalTail(line);
    if (!rest) {
        formNotMet(line, keyword, QStringLiteral("blank"), depth);
        return;
    }
    explain(depth, keyword, conditionText(keyword, {}) + QStringLiteral(", runs:"));
    tail(*rest, keyword, depth);
}

// A tail is a command line of its own, run when the condition holds.
void Checker::tail(const QByteArray &tail, const QByteArray &keyword, int depth)
{
    if (tail.isEmpty()) {
        warn(QStringLiteral("%1 has no command after its condition: when the condition holds, "
                            "the run shows \"%2\"")
                 .arg(QLatin1String(keyword), noTailMessage(keyword)));
        detail(depth, QStringLiteral("nothing: the run shows ") + noTailMessage(keyword));
        return;
    }
    if (!tail.startsWith('_')) {
        const QString where = tail.startsWith('\t') ? QStringLiteral("a tab stands before it "
                                                                     "where a blank is needed")
                                                    : QStringLiteral("it does not begin with an "
                                                                     "underscore");
        warn(QStringLiteral("the tail \"%1\" of %2 does nothing: %3")
                 .arg(shown(tail), QLatin1String(keyword), where));
        detail(depth, QStringLiteral("nothing: the tail is no command line"));
        return;
    }
    command(tail, depth + 1);
}

void Checker::bareCommand(const QByteArray &keyword, int depth)
{
    if (keyword == "_LD") {
        loadData(depth);
    } else if (keyword == "_FI") {
        explain(depth, keyword,
                QStringLiteral("ends the run with success: nothing after this line is read"));
    } else {
        explain(depth, keyword,
                QStringLiteral("waits until the unit shows its prompt, asking again and again "
                               "without limit"));
        detail(depth, QStringLiteral("sends ") + quotedBytes("\r"));
        if (m_context.automaticWithoutLimit)
            warn(QStringLiteral("_WP waits without limit, and the settings run this script "
                                "automatically with no time limit: set TAMRIN_RUN_TIMEOUT "
                                "(seconds) on the station"));
    }
}

void Checker::warn(const QString &text)
{
    m_result.findings.append({m_line, text});
}

void Checker::explain(int depth, const QByteArray &keyword, const QString &text)
{
    m_result.explanation.append({m_line, QString(depth * 2, QLatin1Char(' ')) + shown(keyword) +
                                             QStringLiteral(": ") + text});
}

void Checker::detail(int depth, const QString &text)
{
    m_result.explanation.append({m_line, QString(depth * 2 + 2, QLatin1Char(' ')) + text});
}

} // namespace

ScriptCheckResult checkScript(QByteArrayView content, const ScriptCheckContext &context)
{
    return Checker(context).read(content);
}
