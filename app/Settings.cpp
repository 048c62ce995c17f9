#include "app/Settings.h"

#include "base/NativeFile.h"
#include "script/ScriptSyntax.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <limits>

using ScriptSyntax::scanConversion;
using ScriptSyntax::scanInteger;
using ScriptSyntax::ScannedInteger;
using ScriptSyntax::skipCWhiteSpace;

namespace {

// Value limits per line. Lines 2 to 5 and 24 to 27 share the short limit; the others are
// measured after their blanks are dropped, as noted.
constexpr qsizetype ShortValueLimit = 19;
constexpr qsizetype RunModeLimit = 19;         // blanks removed
constexpr qsizetype LoaderCommandLimit = 17;   // leading blanks dropped
constexpr qsizetype AutoScriptPathLimit = 199; // leading blanks dropped

bool isAsciiLower(char c)
{
    return c >= 'a' && c <= 'z';
}

std::optional<int> numberInRange(QByteArrayView text, int lowest, int highest)
{
    const std::optional<int> number = leadingNumber(text);
    if (!number || *number < lowest || *number > highest)
        return std::nullopt;
    return number;
}

bool isShortValue(QByteArrayView value)
{
    return value.size() <= ShortValueLimit;
}

// The configured port is the number that starts at the first digit 1 to 9, so "COM3", "3"
// and "Port 12" all work while "COM0" or "None" mean no port.
std::optional<int> comPortNumber(QByteArrayView value)
{
    for (qsizetype pos = 0; pos < value.size(); ++pos) {
        if (value.at(pos) >= '1' && value.at(pos) <= '9') {
            const ScannedInteger scanned = scanInteger(value, pos);
            if (scanned.outOfRange)
                return std::nullopt;
            return scanned.value;
        }
    }
    return std::nullopt;
}

bool isStandardBaudRate(int rate)
{
    static constexpr std::array<int, 8> rates = {1200,  2400,  4800,  9600,
                                                 19200, 38400, 57600, 115200};
    return std::find(rates.begin(), rates.end(), rate) != rates.end();
}

void applyBaudRate(LoaderSettings &settings, QByteArrayView value)
{
    const std::optional<int> rate = isShortValue(value) ? leadingNumber(value) : std::nullopt;
    if (rate && isStandardBaudRate(*rate))
        settings.baudRate = rate;
    else
        settings.baudRateInvalid = true;
}

QByteArray withoutBlanksUpperCased(QByteArrayView value)
{
    QByteArray folded;
    for (const char c : value) {
        if (c != ' ')
            folded.append(isAsciiLower(c) ? char(c - 'a' + 'A') : c);
    }
    return folded;
}

bool isAutomaticRunMode(QByteArrayView value)
{
    const QByteArray mode = withoutBlanksUpperCased(value);
    return mode.size() <= RunModeLimit && mode == "AUTOMATIC";
}

std::optional<QByteArray> autoScriptPath(QByteArrayView value)
{
    const QByteArrayView path = withoutLeadingBlanks(value);
    if (path.size() > AutoScriptPathLimit)
        return std::nullopt;
    return path.toByteArray();
}

char promptCharacter(QByteArrayView value)
{
    const QByteArrayView rest = withoutLeadingBlanks(value);
    return rest.isEmpty() ? '\0' : rest.front();
}

std::optional<QByteArray> loaderModeCommand(QByteArrayView value)
{
    const QByteArrayView command = withoutLeadingBlanks(value);
    if (command.isEmpty() || command.size() > LoaderCommandLimit)
        return std::nullopt;
    return command.toByteArray() + "\r\n";
}

std::optional<bool> terminalVisibility(QByteArrayView value)
{
    const std::optional<int> shown = numberInRange(withoutLeadingBlanks(value), 0, 1);
    if (!shown)
        return std::nullopt;
    return *shown == 1;
}

std::optional<int> terminalColour(QByteArrayView value)
{
    return numberInRange(withoutLeadingBlanks(value), 0, 5);
}

std::optional<QByteArray> uploadKeyword(QByteArrayView value)
{
    const QByteArrayView keyword = withoutLeadingBlanks(value);
    if (!isShortValue(value) || keyword.isEmpty())
        return std::nullopt;
    return keyword.toByteArray();
}

bool isEthernetOnly(QByteArrayView value)
{
    return isShortValue(value) && withoutLeadingBlanks(value) == "TRUE";
}

// Four numbers joined by '.', each 0 to 255, read as sscanf "%d.%d.%d.%d" would: white space
// may come before each number but not before a dot, and whatever follows is ignored.
std::optional<std::array<int, 4>> ethernetAddress(QByteArrayView value)
{
    if (!isShortValue(value))
        return std::nullopt;
    const QByteArrayView text = withoutLeadingBlanks(value);
    std::array<int, 4> address{};
    qsizetype pos = 0;
    bool first = true;
    for (int &part : address) {
        if (!first) {
            if (pos >= text.size() || text.at(pos) != '.')
                return std::nullopt;
            ++pos;
        }
        first = false;
        const std::optional<ScannedInteger> number = scanConversion(text, pos);
        if (!number || number->value < 0 || number->value > 255)
            return std::nullopt;
        part = number->value;
        pos = number->end;
    }
    return address;
}

std::optional<int> ethernetPort(QByteArrayView value)
{
    if (!isShortValue(value))
        return std::nullopt;
    const std::optional<ScannedInteger> number = scanConversion(withoutLeadingBlanks(value), 0);
    if (!number || number->value < 0 || number->value > 65535)
        return std::nullopt;
    return number->value;
}

std::optional<int> shortNumberInRange(QByteArrayView value, int lowest, int highest)
{
    if (!isShortValue(value))
        return std::nullopt;
    return numberInRange(value, lowest, highest);
}

// Lines 1 to 8: the serial port and the automatic run.
bool applyStartValue(LoaderSettings &settings, int lineNumber, QByteArrayView value)
{
    switch (lineNumber) {
    case 1:
        settings.comPort = comPortNumber(value);
        return true;
    case 2:
        applyBaudRate(settings, value);
        return true;
    case 3:
        settings.dataBits = shortNumberInRange(value, 5, 8);
        return true;
    case 4:
        settings.parity = shortNumberInRange(value, 0, 4);
        return true;
    case 5:
        settings.stopBits = shortNumberInRange(value, 1, 2);
        return true;
    case 6:
        settings.autoScriptPath = autoScriptPath(value);
        return true;
    case 7:
        settings.scriptFolder = withoutLeadingBlanks(value).toByteArray();
        return true;
    case 8:
        settings.autoMode = isAutomaticRunMode(value);
        return true;
    default:
        return false;
    }
}

// Lines 14 to 27: the prompts, the terminal pane, the brand and the Ethernet link. Lines 9 to
// 13, 16 to 18, 28 and 29 are kept for their numbers only.
void applyLaterValue(LoaderSettings &settings, int lineNumber, QByteArrayView value)
{
    switch (lineNumber) {
    case 14:
        settings.normalPrompt = promptCharacter(value);
        break;
    case 15:
        settings.loaderPrompt = promptCharacter(value);
        break;
    case 19:
        settings.loaderModeCommand = loaderModeCommand(value);
        break;
    case 20:
        settings.terminalVisible = terminalVisibility(value);
        break;
    case 21:
        settings.terminalBackground = terminalColour(value);
        break;
    case 22:
        settings.terminalTextColour = terminalColour(value);
        break;
    case 23:
        settings.brand = leadingNumber(withoutLeadingBlanks(value));
        break;
    case 24:
        settings.uploadKeyword = uploadKeyword(value);
        break;
    case 25:
        settings.ethernetOnly = isEthernetOnly(value);
        break;
    case 26:
        settings.ethernetAddress = ethernetAddress(value);
        break;
    case 27:
        settings.ethernetPort = ethernetPort(value);
        break;
    default:
        break;
    }
}

void applyValue(LoaderSettings &settings, int lineNumber, QByteArrayView value)
{
    if (!applyStartValue(settings, lineNumber, value))
        applyLaterValue(settings, lineNumber, value);
}

void applyLine(LoaderSettings &settings, int lineNumber, QByteArrayView line)
{
    if (line.size() > MaxSettingsLineLength)
        return;
    const std::optional<QByteArray> value = settingsValue(line);
    if (value)
        applyValue(settings, lineNumber, *value);
}

// The line that starts at start, without its LF or the CR right before that LF. A CR that
// is not followed by LF belongs to the line. Moves start past the line's end.
// One line of the file without its LF (and without a CR right before the LF). Only the first
// MaxSettingsLineLength + 1 characters are kept: enough to tell that a longer line is too long.
// Every byte read counts against 'budget', so an endless line cannot hold the reader.
QByteArray readLine(QIODevice &device, qint64 &budget)
{
    QByteArray line;
    bool cut = false;
    bool ended = false;
    char c = '\0';
    while (budget > 0 && device.getChar(&c)) {
        --budget;
        if (c == '\n') {
            ended = true;
            break;
        }
        if (line.size() <= MaxSettingsLineLength)
            line.append(c);
        else
            cut = true;
    }
    if (ended && !cut && line.endsWith('\r'))
        line.chop(1);
    return line;
}

} // namespace

bool isSettingsLine(QByteArrayView line)
{
    return !line.isEmpty() && line.front() != ';' && line.front() != '[';
}

std::optional<QByteArray> settingsValue(QByteArrayView line)
{
    const qsizetype equals = line.indexOf('=');
    if (equals < 0)
        return std::nullopt;
    return line.sliced(equals + 1).toByteArray();
}

QByteArrayView withoutLeadingBlanks(QByteArrayView text)
{
    qsizetype pos = 0;
    while (pos < text.size() && text.at(pos) == ' ')
        ++pos;
    return text.sliced(pos);
}

std::optional<int> leadingNumber(QByteArrayView text)
{
    const ScannedInteger scanned = scanInteger(text, skipCWhiteSpace(text, 0));
    if (scanned.outOfRange)
        return std::nullopt;
    return scanned.value;
}

QList<QByteArray> settingsLines(QIODevice &device)
{
    QList<QByteArray> lines;
    qint64 budget = MaxSettingsBytes;
    while (lines.size() < MaxSettingsLines && budget > 0 && !device.atEnd()) {
        const QByteArray line = readLine(device, budget);
        if (isSettingsLine(line))
            lines.append(line);
    }
    return lines;
}

QList<QByteArray> settingsLines(QByteArrayView content)
{
    QByteArray bytes = content.toByteArray();
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return settingsLines(buffer);
}

LoaderSettings parseSettings(const QList<QByteArray> &lines)
{
    LoaderSettings settings;
    const qsizetype counted = std::min(lines.size(), qsizetype(MaxSettingsLines));
    for (qsizetype index = 0; index < counted; ++index)
        applyLine(settings, int(index + 1), lines.at(index));
    return settings;
}

QString settingsFilePath(const QString &folder)
{
    const QString name = QStringLiteral("LoaderDefault.ini");
    const QString local = folder.isEmpty() ? name : QDir(folder).filePath(name);
    if (QFileInfo::exists(local))
        return local;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/tamrin/") + name;
}

// Opened as scripts and upload files are: a FIFO or a device in the settings file's place
// would block start-up or never end, so only a regular file is read.
std::optional<LoaderSettings> readSettingsFile(const QString &path)
{
    QFile file;
    if (!NativeFile::openForReading(file, QFile::encodeName(path)))
        return std::nullopt;
    return parseSettings(settingsLines(file));
}
