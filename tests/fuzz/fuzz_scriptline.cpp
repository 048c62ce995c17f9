// Fuzzes the script line reader. The input is a script file, fed one byte at a time the way
// the script run reads it; the file ends at the input's end or at byte 26.
//
// The command lines it yields must be those of the file's own rules, in order and with the
// right file line numbers: no line longer than 199 bytes ever comes out, a line within the
// limit comes out byte for byte (no byte lost or invented), and a longer one is reported as
// too long and holds nothing but the start of that line. The script check reads the same file
// too: every finding it makes stands on a line of the file.
#include "FuzzCheck.h"

#include "script/ScriptCheck.h"
#include "script/ScriptLineReader.h"

namespace {

constexpr char EndOfFileByte = 26;

struct CommandLine
{
    QByteArray text;
    int lineNumber = 0;
    bool tooLong = false;
};

// The command lines of a script, read with the file's rules all at once: the file ends at
// byte 26, carriage returns do not count, and a line whose first underscore comes before any
// semicolon is a command line from that underscore to its end.
QList<CommandLine> expectedCommandLines(QByteArrayView script)
{
    const qsizetype end = script.indexOf(EndOfFileByte);
    QByteArray file = (end < 0 ? script : script.first(end)).toByteArray();
    file.replace('\r', QByteArrayView());
    QList<CommandLine> lines;
    const QList<QByteArrayView> parts = splitParts(file, '\n');
    for (qsizetype index = 0; index < parts.size(); ++index) {
        const QByteArrayView part = parts.at(index);
        qsizetype start = 0;
        while (start < part.size() && part.at(start) != '_' && part.at(start) != ';')
            ++start;
        if (start == part.size() || part.at(start) == ';')
            continue;
        const QByteArrayView text = part.sliced(start);
        lines.append(
            {text.toByteArray(), int(index + 1), text.size() > ScriptLineReader::MaxLineLength});
    }
    return lines;
}

CommandLine takeFrom(ScriptLineReader &reader)
{
    CommandLine line;
    line.text = reader.completedLine();
    line.lineNumber = reader.lineNumber();
    line.tooLong = reader.lineTooLong();
    return line;
}

// The command lines as the reader yields them, read the way the script run reads a file.
QList<CommandLine> readCommandLines(QByteArrayView script)
{
    ScriptLineReader reader;
    QList<CommandLine> lines;
    for (const char c : script) {
        const ScriptLineReader::Step step = reader.feed(c);
        if (step == ScriptLineReader::Step::LineComplete)
            lines.append(takeFrom(reader));
        if (step == ScriptLineReader::Step::EndOfFile) {
            if (reader.finish())
                lines.append(takeFrom(reader));
            return lines;
        }
    }
    if (reader.finish())
        lines.append(takeFrom(reader));
    // Once the file is done nothing more is pending.
    FUZZ_CHECK(!reader.finish());
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView script = fuzzInput(data, size);
    const QList<CommandLine> read = readCommandLines(script);
    const QList<CommandLine> expected = expectedCommandLines(script);
    FUZZ_CHECK(read.size() == expected.size());
    for (qsizetype index = 0; index < read.size(); ++index) {
        const CommandLine &got = read.at(index);
        const CommandLine &want = expected.at(index);
        FUZZ_CHECK(got.text.size() <= ScriptLineReader::MaxLineLength);
        FUZZ_CHECK(got.lineNumber == want.lineNumber);
        FUZZ_CHECK(got.tooLong == want.tooLong);
        if (got.tooLong)
            FUZZ_CHECK(want.text.startsWith(got.text));
        else
            FUZZ_CHECK(got.text == want.text);
    }
    // No file is found in a folder that does not exist, so the check reads nothing else.
    const ScriptCheckContext context{QStringLiteral("/nonexistent"), '#', '>', "LOADR\r\n", "LF",
                                     true};
    const int lines = int(script.count('\n')) + 1;
    for (const ScriptNote &finding : checkScript(script, context).findings)
        FUZZ_CHECK(finding.line >= 1 && finding.line <= lines);
    return 0;
}
