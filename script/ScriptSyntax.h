// How a script command line is taken apart, without running it.
//
// A command line starts with an underscore, and its first three bytes are the keyword,
// compared exactly. The keyword decides how the rest of the line is read (its argument
// form) and which two-character escapes its text knows. Only the blank (byte 32) separates;
// a tab is an ordinary character. Lines are raw bytes: NUL and bytes >= 128 pass through.
//
// A line that lacks what its form needs (a double quote, a second one, a blank) yields no
// argument, and the executor lets such a line do nothing. The functions here never look at
// anything but the bytes they are given.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>
#include <utility>

namespace ScriptSyntax {

enum class ArgumentForm
{
    Text,           // from after the first double quote to the end, less the last byte
    BlankSeparated, // from the first blank on, leading blanks skipped
    ValueAndTail,   // between the first two double quotes, then the rest as a tail
    Tail,           // the rest after the first blank, leading blanks skipped
    None,           // anything after the keyword is ignored
    Unknown         // not a command
};

enum class EscapeSet
{
    CaretMAsCarriageReturn, // ^M is a carriage return
    CaretMAsBlank,          // ^M is a blank
    BackslashR,             // \r is a carriage return
    BackslashRN,            // \r is a carriage return, \n a line feed
    NoEscapes
};

// The step of the load chain a command takes: each is due only right after the one before.
enum class ChainStep
{
    None,
    NamesFile, // _LF: the address step becomes due
    Address,   // _LA: spends the address step; the version step becomes due
    Version,   // _LV: spends the version step; the chain is complete
    Upload     // _LD: sends the file, with a header when the chain is complete
};

struct KeywordSyntax
{
    ArgumentForm form;
    EscapeSet escapes;
    ChainStep chain = ChainStep::None;
};

// The syntax of a keyword (its first three bytes), from the command table
// (ScriptCommandTable.h); Unknown form for anything not listed, including a keyword shorter
// than three bytes.
KeywordSyntax keywordSyntax(QByteArrayView keyword);

// Every command's keyword, in the table's order.
QList<QByteArray> knownKeywords();

// What a run shows when the condition of a line with this keyword holds and no tail follows:
// the version tests share the message of _CS and _CN.
QString noTailMessage(QByteArrayView keyword);

// The first three bytes of the line (fewer if the line is shorter).
QByteArray keywordOf(QByteArrayView line);

// Text form: the bytes after the line's first double quote, without the line's last byte.
// No double quote: no argument. A double quote as the last byte: an empty text.
std::optional<QByteArray> argumentText(QByteArrayView line);

// Blank-separated form: from the first blank to the end, leading blanks skipped and
// trailing ones kept. No blank: no argument.
std::optional<QByteArray> blankSeparatedArgument(QByteArrayView line);

struct ValueAndTail
{
    QByteArray value;
    QByteArray tail;
};

// Value-and-tail form: the value between the first and second double quotes, the tail after
// the second one with leading blanks skipped (possibly empty). Fewer than two double
// quotes: no argument.
std::optional<ValueAndTail> valueAndTail(QByteArrayView line);

// Tail form: the rest after the first blank, leading blanks skipped (possibly empty).
// No blank: no argument.
std::optional<QByteArray> conditionalTail(QByteArrayView line);

// Replaces the set's two-character escapes by one byte each, left to right; a byte produced
// by a replacement never starts another escape ("^^M" is a caret and the replacement).
QByteArray replaceEscapes(QByteArrayView text, EscapeSet escapes);
// The argument text of a line with its keyword's escapes replaced.
std::optional<QByteArray> escapedArgumentText(QByteArrayView line);

// Whether a version test (_AG, _AL, _IG, _IL) holds for the answer's version and the value n.
bool versionHolds(QByteArrayView keyword, std::pair<int, int> version, int n);
// Whether an answer comparison (_CE, _CS, _CN) holds for the answer and the value.
bool answerHolds(QByteArrayView keyword, QByteArrayView answer, QByteArrayView value);

// A decimal integer as C reads one: an optional sign and the digits after it, read from
// 'from'. Every digit is consumed; a value beyond 32 bits saturates at INT_MIN / INT_MAX and
// is marked out of range. Without digits, nothing is read: 'end' stays at 'from'.
struct ScannedInteger
{
    bool digitsRead = false;
    bool outOfRange = false;
    int value = 0;
    qsizetype end = 0;
};
ScannedInteger scanInteger(QByteArrayView text, qsizetype from);
// Past the white space (as the C locale's isspace() sees it) that starts at 'from'.
qsizetype skipCWhiteSpace(QByteArrayView text, qsizetype from);
// One sscanf "%d" from 'from': white space skipped, then a signed integer that must fit in an
// int; nothing otherwise.
std::optional<ScannedInteger> scanConversion(QByteArrayView text, qsizetype from);

// The decimal integer at the start of the text: an optional sign, then digits up to the
// first other byte. No digits give 0, and leading white space is not skipped. Values beyond
// 32 bits saturate at INT_MIN / INT_MAX.
int leadingInteger(QByteArrayView text);

// Major and minor read like sscanf's "%d.%d" at the start of the answer: optional white
// space, a signed integer, a full stop right after it, optional white space, a signed
// integer; anything after is ignored. Nothing unless both were read and both fit in an int.
std::optional<std::pair<int, int>> readVersion(QByteArrayView answer);

// How many 1 ms sleeps the pause command makes for n: floor(4.4 * n) for n > 0, else 0,
// capped at INT_MAX.
int pauseRequests(int n);

} // namespace ScriptSyntax
