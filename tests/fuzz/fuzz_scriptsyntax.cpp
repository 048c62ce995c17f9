// Fuzzes how script command lines are taken apart. The input is split at line feeds and every
// part, and the whole input as well, is taken as one command line.
//
// Each argument form must give exactly the bytes its rule names; escapes must never make a
// text longer, must leave no escape pair behind and must lose or invent no other byte; the
// number scans must agree with the C library's strtoll read the way each one is documented;
// upperCaseLetters must change only a-z; pauseRequests must be floor(4.4 n) capped; and
// displayText must round-trip every valid UTF-8 text and show any other byte for byte.
#include "FuzzCheck.h"

#include "base/ByteText.h"
#include "script/ScriptSyntax.h"

#include <QString>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using namespace ScriptSyntax;
using namespace ByteText;

constexpr std::array<const char *, 27> Keywords = {"_SC", "_SR", "_ST", "_TC", "_WP", "_PC", "_DY",
                                                   "_FI", "_LC", "_LP", "_LT", "_QC", "_AG", "_AL",
                                                   "_IG", "_IL", "_CE", "_CS", "_CN", "_DM", "_DQ",
                                                   "_DO", "_DC", "_LF", "_LA", "_LV", "_LD"};

constexpr std::array<EscapeSet, 5> EscapeSets = {EscapeSet::CaretMAsCarriageReturn,
                                                 EscapeSet::CaretMAsBlank, EscapeSet::BackslashR,
                                                 EscapeSet::BackslashRN, EscapeSet::NoEscapes};

struct Escape
{
    const char *pair;
    char byte;
};

// The escapes of each set, as the header names them.
QList<Escape> escapesOf(EscapeSet set)
{
    switch (set) {
    case EscapeSet::CaretMAsCarriageReturn:
        return {{"^M", '\r'}};
    case EscapeSet::CaretMAsBlank:
        return {{"^M", ' '}};
    case EscapeSet::BackslashR:
        return {{"\\r", '\r'}};
    case EscapeSet::BackslashRN:
        return {{"\\r", '\r'}, {"\\n", '\n'}};
    case EscapeSet::NoEscapes:
        break;
    }
    return {};
}

bool isCWhiteSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool isKeyword(QByteArrayView head)
{
    return std::any_of(Keywords.begin(), Keywords.end(),
                       [head](const char *keyword) { return head == QByteArrayView(keyword); });
}

// 'result' is 'from' with only leading blanks removed, and none are left.
bool isWithoutLeadingBlanks(QByteArrayView from, QByteArrayView result)
{
    if (!from.endsWith(result) || (!result.isEmpty() && result.front() == ' '))
        return false;
    const QByteArrayView dropped = from.first(from.size() - result.size());
    return std::all_of(dropped.begin(), dropped.end(), [](char c) { return c == ' '; });
}

void checkKeyword(QByteArrayView line)
{
    const QByteArray keyword = keywordOf(line);
    FUZZ_CHECK(keyword == line.first(std::min(line.size(), qsizetype(3))));
    const KeywordSyntax syntax = keywordSyntax(line);
    const bool known = line.size() >= 3 && isKeyword(line.first(3));
    FUZZ_CHECK((syntax.form != ArgumentForm::Unknown) == known);
    const KeywordSyntax ofKeyword = keywordSyntax(keyword);
    FUZZ_CHECK(syntax.form == ofKeyword.form && syntax.escapes == ofKeyword.escapes);
}

void checkArgumentForms(QByteArrayView line)
{
    const qsizetype quote = line.indexOf('"');
    const std::optional<QByteArray> text = argumentText(line);
    FUZZ_CHECK(text.has_value() == (quote >= 0));
    if (text) {
        const qsizetype length = line.size() - quote - 2;
        FUZZ_CHECK(*text == (length > 0 ? line.sliced(quote + 1, length) : QByteArrayView()));
    }

    const qsizetype blank = line.indexOf(' ');
    const std::optional<QByteArray> separated = blankSeparatedArgument(line);
    const std::optional<QByteArray> tail = conditionalTail(line);
    FUZZ_CHECK(separated.has_value() == (blank >= 0));
    FUZZ_CHECK(tail.has_value() == (blank >= 0));
    if (blank >= 0) {
        FUZZ_CHECK(isWithoutLeadingBlanks(line.sliced(blank), *separated));
        FUZZ_CHECK(isWithoutLeadingBlanks(line.sliced(blank), *tail));
    }

    const qsizetype close = quote < 0 ? -1 : line.indexOf('"', quote + 1);
    const std::optional<ValueAndTail> parts = valueAndTail(line);
    FUZZ_CHECK(parts.has_value() == (close >= 0));
    if (parts) {
        FUZZ_CHECK(parts->value == line.sliced(quote + 1, close - quote - 1));
        FUZZ_CHECK(isWithoutLeadingBlanks(line.sliced(close + 1), parts->tail));
    }
}

// Each produced byte written back as its escape pair.
QByteArray reescaped(QByteArrayView text, const QList<Escape> &escapes)
{
    QByteArray result;
    for (const char c : text) {
        const auto escape = std::find_if(escapes.begin(), escapes.end(),
                                         [c](const Escape &e) { return e.byte == c; });
        if (escape == escapes.end())
            result.append(c);
        else
            result.append(escape->pair);
    }
    return result;
}

qsizetype producedBytes(QByteArrayView text, const QList<Escape> &escapes)
{
    qsizetype count = 0;
    for (const Escape &escape : escapes)
        count += text.count(escape.byte);
    return count;
}

void checkEscapesOf(QByteArrayView text, EscapeSet set)
{
    const QList<Escape> escapes = escapesOf(set);
    const QByteArray result = replaceEscapes(text, set);
    FUZZ_CHECK(result.size() <= text.size());
    if (escapes.isEmpty())
        FUZZ_CHECK(result == text);
    for (const Escape &escape : escapes)
        FUZZ_CHECK(!result.contains(escape.pair));
    // Each replacement takes two bytes and gives one of the set's bytes.
    const qsizetype replacements = text.size() - result.size();
    FUZZ_CHECK(producedBytes(result, escapes) == producedBytes(text, escapes) + replacements);

    // Without the produced bytes in the text, writing them back as pairs gives the text.
    QByteArray plain = text.toByteArray();
    for (const Escape &escape : escapes)
        plain.replace(escape.byte, QByteArrayView());
    FUZZ_CHECK(reescaped(replaceEscapes(plain, set), escapes) == plain);
}

void checkEscapes(QByteArrayView line)
{
    for (const EscapeSet set : EscapeSets)
        checkEscapesOf(line, set);
    const std::optional<QByteArray> text = argumentText(line);
    const std::optional<QByteArray> escaped = escapedArgumentText(line);
    FUZZ_CHECK(escaped.has_value() == text.has_value());
    if (text) {
        FUZZ_CHECK(*escaped == replaceEscapes(*text, keywordSyntax(line).escapes));
        FUZZ_CHECK(escaped->size() <= text->size());
    }
}

std::string cString(QByteArrayView text)
{
    return std::string(text.data(), size_t(text.size()));
}

// strtoll without its white space skip, held to an int.
int referenceLeadingInteger(QByteArrayView text)
{
    if (!text.isEmpty() && isCWhiteSpace(text.front()))
        return 0;
    const std::string copy = cString(text);
    const long long value = std::strtoll(copy.c_str(), nullptr, 10);
    return int(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

// One "%d" read with strtoll from 'start'; nothing unless digits were read and fit an int.
std::optional<int> referenceConversion(const char *start, char **end)
{
    errno = 0;
    const long long value = std::strtoll(start, end, 10);
    if (*end == start || errno == ERANGE || value < INT_MIN || value > INT_MAX)
        return std::nullopt;
    return int(value);
}

std::optional<std::pair<int, int>> referenceVersion(QByteArrayView answer)
{
    const std::string copy = cString(answer);
    char *end = nullptr;
    const std::optional<int> major = referenceConversion(copy.c_str(), &end);
    if (!major || *end != '.')
        return std::nullopt;
    const std::optional<int> minor = referenceConversion(end + 1, &end);
    if (!minor)
        return std::nullopt;
    return std::make_pair(*major, *minor);
}

int referencePauseRequests(int n)
{
    if (n <= 0)
        return 0;
    // 4.4 n is 44 n / 10 exactly, so integer division is the floor.
    return int(std::min<qint64>(qint64(n) * 44 / 10, INT_MAX));
}

void checkNumbers(QByteArrayView line)
{
    FUZZ_CHECK(leadingInteger(line) == referenceLeadingInteger(line));
    FUZZ_CHECK(readVersion(line) == referenceVersion(line));
    const std::optional<QByteArray> argument = blankSeparatedArgument(line);
    if (argument) {
        const int n = leadingInteger(*argument);
        FUZZ_CHECK(n == referenceLeadingInteger(*argument));
        FUZZ_CHECK(pauseRequests(n) == referencePauseRequests(n));
        FUZZ_CHECK(readVersion(*argument) == referenceVersion(*argument));
    }
    // Any 32-bit value from the line's first bytes.
    int raw = 0;
    if (!line.isEmpty())
        std::memcpy(&raw, line.data(), std::min(line.size(), qsizetype(sizeof raw)));
    FUZZ_CHECK(pauseRequests(raw) == referencePauseRequests(raw));
}

void checkUpperCase(QByteArrayView line)
{
    const QByteArray upper = upperCaseLetters(line);
    FUZZ_CHECK(upper.size() == line.size());
    for (qsizetype index = 0; index < line.size(); ++index) {
        const char c = line.at(index);
        const char want = c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
        FUZZ_CHECK(upper.at(index) == want);
    }
}

// UTF-8 as RFC 3629 defines it: no overlong forms, no surrogates, nothing past U+10FFFF.
bool isValidUtf8(QByteArrayView bytes)
{
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        const uchar lead = uchar(bytes.at(pos));
        int following = 0;
        char32_t lowest = 0;
        if (lead < 0x80) {
            ++pos;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            following = 1;
            lowest = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            following = 2;
            lowest = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            following = 3;
            lowest = 0x10000;
        } else {
            return false;
        }
        if (bytes.size() - pos <= following)
            return false;
        char32_t point = lead & (0x3F >> following);
        for (int k = 1; k <= following; ++k) {
            const uchar next = uchar(bytes.at(pos + k));
            if ((next & 0xC0) != 0x80)
                return false;
            point = (point << 6) | (next & 0x3F);
        }
        if (point < lowest || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
            return false;
        pos += following + 1;
    }
    return true;
}

void checkDisplayText(QByteArrayView bytes)
{
    const QString shown = displayText(bytes);
    if (isValidUtf8(bytes)) {
        FUZZ_CHECK(shown.toUtf8() == bytes);
        return;
    }
    FUZZ_CHECK(shown.size() == bytes.size());
    for (qsizetype index = 0; index < bytes.size(); ++index)
        FUZZ_CHECK(shown.at(index).unicode() == uchar(bytes.at(index)));
}

void checkLine(QByteArrayView line)
{
    checkKeyword(line);
    checkArgumentForms(line);
    checkEscapes(line);
    checkNumbers(line);
    checkUpperCase(line);
    checkDisplayText(line);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView input = fuzzInput(data, size);
    const QList<QByteArrayView> lines = splitParts(input, '\n');
    if (lines.size() > 1) {
        for (const QByteArrayView line : lines)
            checkLine(line);
    }
    checkLine(input);
    return 0;
}
