// Fuzzes the reading of LoaderDefault.ini. The input is the file's content.
//
// settingsLines must give exactly the file's counted lines: at most 29, none longer than the
// 300 bytes that are kept of an over-long line. parseSettings, given those lines and also the
// file's raw lines uncounted and uncut, must keep every value in its line's range, must ignore
// labels, lines after the 29th, lines without '=' and over-long lines, and the brand of line
// 23 and the run mode of line 8 must be what their values say.
#include "FuzzCheck.h"

#include "app/Brand.h"
#include "app/Settings.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

namespace {

// Of a line longer than the limit, this much is kept: enough to see that it is too long.
constexpr qsizetype KeptLineLength = MaxSettingsLineLength + 1;

// The file's lines: split at LF, a CR right before the LF dropped, any other CR kept.
QList<QByteArray> fileLines(QByteArrayView content)
{
    QList<QByteArray> lines;
    for (QByteArrayView part : splitParts(content, '\n'))
        lines.append(part.toByteArray());
    // Every part but the last ended with a LF.
    for (qsizetype index = 0; index + 1 < lines.size(); ++index) {
        if (lines[index].endsWith('\r'))
            lines[index].chop(1);
    }
    return lines;
}

// The lines that take a number, as the file format defines them, each cut to what is kept.
QList<QByteArray> expectedSettingsLines(QByteArrayView content)
{
    QList<QByteArray> counted;
    for (const QByteArray &line : fileLines(content)) {
        if (counted.size() == MaxSettingsLines)
            break;
        if (line.isEmpty() || line.front() == ';' || line.front() == '[')
            continue;
        counted.append(line.first(std::min(line.size(), KeptLineLength)));
    }
    return counted;
}

// The value of settings line 'number' (1-based) when that line can take effect: it exists,
// is not too long and has a '='.
std::optional<QByteArray> effectiveValue(const QList<QByteArray> &lines, int number)
{
    if (number < 1 || number > MaxSettingsLines || number > lines.size())
        return std::nullopt;
    const QByteArray &line = lines.at(number - 1);
    if (line.size() > MaxSettingsLineLength)
        return std::nullopt;
    const qsizetype equals = line.indexOf('=');
    if (equals < 0)
        return std::nullopt;
    return line.sliced(equals + 1);
}

bool takesEffect(const QList<QByteArray> &lines, int number)
{
    return effectiveValue(lines, number).has_value();
}

// A decimal number as strtoll reads it (white space, sign, digits), when it fits in an int.
std::optional<int> referenceNumber(QByteArrayView text)
{
    const std::string copy(text.data(), size_t(text.size()));
    errno = 0;
    const long long value = std::strtoll(copy.c_str(), nullptr, 10);
    if (errno == ERANGE || value < INT_MIN || value > INT_MAX)
        return std::nullopt;
    return int(value);
}

void checkRange(const std::optional<int> &value, int lowest, int highest)
{
    if (value)
        FUZZ_CHECK(*value >= lowest && *value <= highest);
}

void checkText(const std::optional<QByteArray> &value)
{
    // A value comes from one line of at most 299 bytes that also holds a '='.
    if (value)
        FUZZ_CHECK(value->size() < MaxSettingsLineLength);
}

// The first settings line: the number that starts at the first digit 1 to 9.
void checkComPort(const LoaderSettings &settings, const QList<QByteArray> &lines)
{
    if (!settings.comPort)
        return;
    const std::optional<QByteArray> value = effectiveValue(lines, 1);
    FUZZ_CHECK(value.has_value());
    const auto first =
        std::find_if(value->begin(), value->end(), [](char c) { return c >= '1' && c <= '9'; });
    FUZZ_CHECK(first != value->end());
    const qsizetype at = first - value->begin();
    FUZZ_CHECK(referenceNumber(QByteArrayView(*value).sliced(at)) == settings.comPort);
    FUZZ_CHECK(*settings.comPort >= 1);
}

void checkSerialValues(const LoaderSettings &settings)
{
    static constexpr std::array<int, 8> rates = {1200,  2400,  4800,  9600,
                                                 19200, 38400, 57600, 115200};
    if (settings.baudRate)
        FUZZ_CHECK(std::find(rates.begin(), rates.end(), *settings.baudRate) != rates.end());
    FUZZ_CHECK(!(settings.baudRate && settings.baudRateInvalid));
    checkRange(settings.dataBits, 5, 8);
    checkRange(settings.parity, 0, 4);
    checkRange(settings.stopBits, 1, 2);
}

// Line 8: "AUTOMATIC" in letters of any case, blanks ignored.
void checkRunMode(const LoaderSettings &settings, const QList<QByteArray> &lines)
{
    const std::optional<QByteArray> value = effectiveValue(lines, 8);
    QByteArray folded;
    if (value) {
        for (const char c : *value) {
            if (c != ' ')
                folded.append(c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c);
        }
    }
    FUZZ_CHECK(settings.autoMode == (value && folded == "AUTOMATIC"));
}

// Line 23: its value's leading number; no line 23 or none that takes effect keeps no brand.
void checkBrand(const LoaderSettings &settings, const QList<QByteArray> &lines)
{
    const std::optional<QByteArray> value = effectiveValue(lines, 23);
    if (value)
        FUZZ_CHECK(settings.brand == referenceNumber(*value));
    else
        FUZZ_CHECK(!settings.brand);
    const Brand brand = brandOf(settings.brand);
    FUZZ_CHECK((brand == Brand::None) == !settings.brand);
    if (settings.brand && *settings.brand == 0)
        FUZZ_CHECK(brand == Brand::Telvin);
    if (settings.brand && *settings.brand == 100)
        FUZZ_CHECK(brand == Brand::KTQ);
    FUZZ_CHECK(captionsOf(brand).ethernet.has_value() == (brand != Brand::Plain));
}

void checkEthernetValues(const LoaderSettings &settings, const QList<QByteArray> &lines)
{
    if (settings.ethernetOnly) {
        const std::optional<QByteArray> value = effectiveValue(lines, 25);
        FUZZ_CHECK(value.has_value());
        FUZZ_CHECK(withoutLeadingBlanks(*value) == QByteArrayView("TRUE"));
    }
    if (effectiveValue(lines, 25) == QByteArray("TRUE"))
        FUZZ_CHECK(settings.ethernetOnly);
    if (settings.ethernetAddress) {
        for (const int octet : *settings.ethernetAddress)
            FUZZ_CHECK(octet >= 0 && octet <= 255);
    }
    // A TCP port number; the Ethernet dialog refuses 0 when it connects.
    checkRange(settings.ethernetPort, 0, 65535);
}

// Every setting that is set comes from a line that takes effect.
void checkSources(const LoaderSettings &settings, const QList<QByteArray> &lines)
{
    const std::array<std::pair<bool, int>, 19> sources = {{
        {settings.comPort.has_value(), 1},
        {settings.baudRate.has_value() || settings.baudRateInvalid, 2},
        {settings.dataBits.has_value(), 3},
        {settings.parity.has_value(), 4},
        {settings.stopBits.has_value(), 5},
        {settings.autoScriptPath.has_value(), 6},
        {settings.scriptFolder.has_value(), 7},
        {settings.autoMode, 8},
        {settings.normalPrompt.has_value(), 14},
        {settings.loaderPrompt.has_value(), 15},
        {settings.loaderModeCommand.has_value(), 19},
        {settings.terminalVisible.has_value(), 20},
        {settings.terminalBackground.has_value(), 21},
        {settings.terminalTextColour.has_value(), 22},
        {settings.brand.has_value(), 23},
        {settings.uploadKeyword.has_value(), 24},
        {settings.ethernetOnly, 25},
        {settings.ethernetAddress.has_value(), 26},
        {settings.ethernetPort.has_value(), 27},
    }};
    for (const auto &[isSet, number] : sources) {
        if (isSet)
            FUZZ_CHECK(takesEffect(lines, number));
    }
}

void checkValues(const LoaderSettings &settings, const QList<QByteArray> &lines)
{
    checkComPort(settings, lines);
    checkSerialValues(settings);
    checkText(settings.autoScriptPath);
    checkText(settings.scriptFolder);
    checkRunMode(settings, lines);
    if (settings.loaderModeCommand) {
        FUZZ_CHECK(settings.loaderModeCommand->endsWith("\r\n"));
        FUZZ_CHECK(settings.loaderModeCommand->size() <= MaxSettingsLineLength + 1);
    }
    checkRange(settings.terminalBackground, 0, 5);
    checkRange(settings.terminalTextColour, 0, 5);
    checkBrand(settings, lines);
    checkText(settings.uploadKeyword);
    checkEthernetValues(settings, lines);
    checkSources(settings, lines);
}

bool sameSettings(const LoaderSettings &a, const LoaderSettings &b)
{
    return a.comPort == b.comPort && a.baudRate == b.baudRate &&
           a.baudRateInvalid == b.baudRateInvalid && a.dataBits == b.dataBits &&
           a.parity == b.parity && a.stopBits == b.stopBits &&
           a.autoScriptPath == b.autoScriptPath && a.scriptFolder == b.scriptFolder &&
           a.autoMode == b.autoMode && a.normalPrompt == b.normalPrompt &&
           a.loaderPrompt == b.loaderPrompt && a.loaderModeCommand == b.loaderModeCommand &&
           a.terminalVisible == b.terminalVisible && a.terminalBackground == b.terminalBackground &&
           a.terminalTextColour == b.terminalTextColour && a.brand == b.brand &&
           a.uploadKeyword == b.uploadKeyword && a.ethernetOnly == b.ethernetOnly &&
           a.ethernetAddress == b.ethernetAddress && a.ethernetPort == b.ethernetPort;
}

// The same lines with everything that must not matter taken out: only the first 29, every
// label removed, and a line that has no effect (too long, or without '=') replaced by
// another line without effect.
QList<QByteArray> withoutWhatIsIgnored(const QList<QByteArray> &lines)
{
    QList<QByteArray> kept;
    for (qsizetype index = 0; index < std::min(lines.size(), qsizetype(MaxSettingsLines));
         ++index) {
        const QByteArray &line = lines.at(index);
        const qsizetype equals = line.indexOf('=');
        if (line.size() > MaxSettingsLineLength || equals < 0)
            kept.append("no value");
        else
            kept.append(line.sliced(equals));
    }
    return kept;
}

void checkParsing(const QList<QByteArray> &lines)
{
    const LoaderSettings settings = parseSettings(lines);
    checkValues(settings, lines);
    FUZZ_CHECK(sameSettings(settings, parseSettings(withoutWhatIsIgnored(lines))));
}

// The small helpers on one line: the value is what follows the first '=', and leading
// blanks are spaces only.
void checkHelpers(QByteArrayView line)
{
    const std::optional<QByteArray> value = settingsValue(line);
    const qsizetype equals = line.indexOf('=');
    FUZZ_CHECK(value.has_value() == (equals >= 0));
    if (value)
        FUZZ_CHECK(*value == line.sliced(equals + 1));
    const QByteArrayView rest = withoutLeadingBlanks(line);
    FUZZ_CHECK(line.endsWith(rest));
    FUZZ_CHECK(rest.isEmpty() || rest.front() != ' ');
    const QByteArrayView dropped = line.first(line.size() - rest.size());
    FUZZ_CHECK(std::all_of(dropped.begin(), dropped.end(), [](char c) { return c == ' '; }));
    FUZZ_CHECK(leadingNumber(line) == referenceNumber(line));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView content = fuzzInput(data, size);

    const QList<QByteArray> lines = settingsLines(content);
    FUZZ_CHECK(lines.size() <= MaxSettingsLines);
    for (const QByteArray &line : lines) {
        FUZZ_CHECK(line.size() <= KeptLineLength);
        FUZZ_CHECK(isSettingsLine(line));
    }
    FUZZ_CHECK(lines == expectedSettingsLines(content));
    checkParsing(lines);

    // parseSettings on any list: the raw lines, with comments, blank lines and overlong ones.
    const QList<QByteArray> raw = fileLines(content);
    checkParsing(raw);
    for (qsizetype index = 0; index < std::min(raw.size(), qsizetype(8)); ++index)
        checkHelpers(raw.at(index));
    return 0;
}
