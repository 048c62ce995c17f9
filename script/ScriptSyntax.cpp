#include "script/ScriptSyntax.h"

#include <climits>

namespace ScriptSyntax {

namespace {

constexpr char Blank = ' ';
constexpr char DoubleQuote = '"';
constexpr char CarriageReturn = '\r';
constexpr char LineFeed = '\n';

// Every command and how its line reads. Anything missing here is Unknown.
struct KeywordEntry
{
    const char *keyword;
    KeywordSyntax syntax;
};

constexpr KeywordEntry keywordTable[] = {
#define SCRIPT_COMMAND(keyword, form, escapes, chain, run, check, says)                            \
    {keyword, {ArgumentForm::form, EscapeSet::escapes, ChainStep::chain}},
#include "script/ScriptCommandTable.h"
#undef SCRIPT_COMMAND
};

constexpr qsizetype KeywordLength = 3;

qsizetype skipBlanks(QByteArrayView text, qsizetype from)
{
    while (from < text.size() && text.at(from) == Blank)
        ++from;
    return from;
}

// The bytes from `from` to the end of the text; empty when `from` is at or past the end.
QByteArray restFrom(QByteArrayView text, qsizetype from)
{
    if (from >= text.size())
        return QByteArray("");
    return text.sliced(from).toByteArray();
}

// What follows the line's first blank, further blanks skipped; nothing without a blank.
std::optional<QByteArray> restAfterFirstBlank(QByteArrayView line)
{
    const qsizetype blank = line.indexOf(Blank);
    if (blank < 0)
        return std::nullopt;
    return restFrom(line, skipBlanks(line, blank));
}

// The byte an escape pair stands for in this set, or nothing when the pair is no escape.
std::optional<char> escapedByte(char first, char second, EscapeSet escapes)
{
    switch (escapes) {
    case EscapeSet::CaretMAsCarriageReturn:
        if (first == '^' && second == 'M')
            return CarriageReturn;
        break;
    case EscapeSet::CaretMAsBlank:
        if (first == '^' && second == 'M')
            return Blank;
        break;
    case EscapeSet::BackslashRN:
        if (first == '\\' && second == 'n')
            return LineFeed;
        Q_FALLTHROUGH();
    case EscapeSet::BackslashR:
        if (first == '\\' && second == 'r')
            return CarriageReturn;
        break;
    case EscapeSet::NoEscapes:
        break;
    }
    return std::nullopt;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// White space as the C locale's isspace() sees it.
bool isCWhiteSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

// The magnitude stops growing once it is past any int, so any number of digits is safe.
ScannedInteger scanInteger(QByteArrayView text, qsizetype from)
{
    constexpr qint64 magnitudeLimit = qint64(INT_MAX) + 2;
    ScannedInteger scanned;
    qsizetype pos = from;
    bool negative = false;
    if (pos < text.size() && (text.at(pos) == '-' || text.at(pos) == '+')) {
        negative = text.at(pos) == '-';
        ++pos;
    }
    qint64 magnitude = 0;
    for (; pos < text.size() && isDigit(text.at(pos)); ++pos) {
        scanned.digitsRead = true;
        if (magnitude < magnitudeLimit)
            magnitude = magnitude * 10 + (text.at(pos) - '0');
    }
    if (!scanned.digitsRead) {
        scanned.end = from;
        return scanned;
    }
    const qint64 signedValue = negative ? -magnitude : magnitude;
    if (signedValue > INT_MAX) {
        scanned.outOfRange = true;
        scanned.value = INT_MAX;
    } else if (signedValue < INT_MIN) {
        scanned.outOfRange = true;
        scanned.value = INT_MIN;
    } else {
        scanned.value = int(signedValue);
    }
    scanned.end = pos;
    return scanned;
}

qsizetype skipCWhiteSpace(QByteArrayView text, qsizetype from)
{
    while (from < text.size() && isCWhiteSpace(text.at(from)))
        ++from;
    return from;
}

std::optional<ScannedInteger> scanConversion(QByteArrayView text, qsizetype from)
{
    const ScannedInteger scanned = scanInteger(text, skipCWhiteSpace(text, from));
    if (!scanned.digitsRead || scanned.outOfRange)
        return std::nullopt;
    return scanned;
}

KeywordSyntax keywordSyntax(QByteArrayView keyword)
{
    if (keyword.size() >= KeywordLength) {
        const QByteArrayView head = keyword.first(KeywordLength);
        for (const KeywordEntry &entry : keywordTable) {
            if (head == QByteArrayView(entry.keyword))
                return entry.syntax;
        }
    }
    return {ArgumentForm::Unknown, EscapeSet::NoEscapes};
}

QList<QByteArray> knownKeywords()
{
    QList<QByteArray> keywords;
    for (const KeywordEntry &entry : keywordTable)
        keywords.append(entry.keyword);
    return keywords;
}

QString noTailMessage(QByteArrayView keyword)
{
    const QByteArray named = keyword == "_CE" || keyword == "_DO" || keyword == "_DC"
                                 ? keyword.toByteArray()
                                 : QByteArray("_CS/_CN");
    return QStringLiteral("Error! No line found after successful ") + QLatin1String(named);
}

QByteArray keywordOf(QByteArrayView line)
{
    return line.first(qMin(line.size(), KeywordLength)).toByteArray();
}

std::optional<QByteArray> argumentText(QByteArrayView line)
{
    const qsizetype quote = line.indexOf(DoubleQuote);
    if (quote < 0)
        return std::nullopt;
    // The last byte of the line is dropped whatever it is; a quote in last place leaves
    // nothing, which is still an argument.
    const qsizetype start = quote + 1;
    const qsizetype length = line.size() - start - 1;
    if (length <= 0)
        return QByteArray("");
    return line.sliced(start, length).toByteArray();
}

std::optional<QByteArray> blankSeparatedArgument(QByteArrayView line)
{
    return restAfterFirstBlank(line);
}

std::optional<ValueAndTail> valueAndTail(QByteArrayView line)
{
    const qsizetype open = line.indexOf(DoubleQuote);
    if (open < 0)
        return std::nullopt;
    const qsizetype close = line.indexOf(DoubleQuote, open + 1);
    if (close < 0)
        return std::nullopt;
    ValueAndTail parts;
    parts.value = line.sliced(open + 1, close - open - 1).toByteArray();
    parts.tail = restFrom(line, skipBlanks(line, close + 1));
    return parts;
}

std::optional<QByteArray> conditionalTail(QByteArrayView line)
{
    return restAfterFirstBlank(line);
}

QByteArray replaceEscapes(QByteArrayView text, EscapeSet escapes)
{
    QByteArray result;
    result.reserve(text.size());
    qsizetype pos = 0;
    while (pos < text.size()) {
        const bool pairFits = pos + 1 < text.size();
        const std::optional<char> replacement =
            pairFits ? escapedByte(text.at(pos), text.at(pos + 1), escapes) : std::nullopt;
        if (replacement) {
            result.append(*replacement);
            pos += 2;
        } else {
            result.append(text.at(pos));
            ++pos;
        }
    }
    return result;
}

bool versionHolds(QByteArrayView keyword, std::pair<int, int> version, int n)
{
    const auto [major, minor] = version;
    if (keyword == "_AG")
        return major >= n;
    if (keyword == "_AL")
        return major < n;
    if (keyword == "_IG")
        return minor >= n;
    return minor < n; // _IL
}

bool answerHolds(QByteArrayView keyword, QByteArrayView answer, QByteArrayView value)
{
    if (keyword == "_CE")
        return answer == value;
    if (keyword == "_CS")
        return answer.contains(value);
    return !answer.contains(value); // _CN
}

int leadingInteger(QByteArrayView text)
{
    return scanInteger(text, 0).value;
}

std::optional<std::pair<int, int>> readVersion(QByteArrayView answer)
{
    const std::optional<ScannedInteger> major = scanConversion(answer, 0);
    if (!major)
        return std::nullopt;
    const qsizetype stop = major->end;
    if (stop >= answer.size() || answer.at(stop) != '.')
        return std::nullopt;
    const std::optional<ScannedInteger> minor = scanConversion(answer, stop + 1);
    if (!minor)
        return std::nullopt;
    return std::make_pair(major->value, minor->value);
}

int pauseRequests(int n)
{
    if (n <= 0)
        return 0;
    const qint64 requests = qint64(n) * 44 / 10;
    return requests > INT_MAX ? INT_MAX : int(requests);
}

std::optional<QByteArray> escapedArgumentText(QByteArrayView line)
{
    const std::optional<QByteArray> text = argumentText(line);
    if (!text)
        return std::nullopt;
    return replaceEscapes(*text, keywordSyntax(line).escapes);
}

} // namespace ScriptSyntax
