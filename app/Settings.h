// Settings reads LoaderDefault.ini, the hand-edited text file that configures Tamrin at
// start-up, and turns it into plain values for the main window to apply.
//
// The file is taken as bytes. Only its settings lines count: empty lines, comment lines
// (';' first) and section lines ('[' first) are skipped, every other line is numbered from 1,
// and only the first 29 are read. A setting's meaning comes from its number alone; the label
// before the first '=' is there for whoever edits the file and is never examined.
//
// Every line and value has a fixed size limit. A line or value over its limit, or a value
// that makes no sense for its line, leaves the setting unset so the caller keeps what it had.

#ifndef TAMRIN_SETTINGS_H
#define TAMRIN_SETTINGS_H

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>
#include <QList>
#include <QString>

#include <array>
#include <optional>

struct LoaderSettings
{
    std::optional<int> comPort;                        // 1
    std::optional<int> baudRate;                       // 2
    bool baudRateInvalid = false;                      // 2
    std::optional<int> dataBits;                       // 3
    std::optional<int> parity;                         // 4 (0..4)
    std::optional<int> stopBits;                       // 5
    std::optional<QByteArray> autoScriptPath;          // 6
    std::optional<QByteArray> scriptFolder;            // 7
    bool autoMode = false;                             // 8
    std::optional<char> normalPrompt;                  // 14
    std::optional<char> loaderPrompt;                  // 15
    std::optional<QByteArray> loaderModeCommand;       // 19, CR LF appended
    std::optional<bool> terminalVisible;               // 20
    std::optional<int> terminalBackground;             // 21 (0..5)
    std::optional<int> terminalTextColour;             // 22 (0..5)
    std::optional<int> brand;                          // 23
    std::optional<QByteArray> uploadKeyword;           // 24
    bool ethernetOnly = false;                         // 25
    std::optional<std::array<int, 4>> ethernetAddress; // 26
    std::optional<int> ethernetPort;                   // 27
};

// Only this many settings lines are read; the rest of the file is never looked at.
constexpr int MaxSettingsLines = 29;
// A longer line still takes its number but has no effect.
constexpr qsizetype MaxSettingsLineLength = 299;

// Reading stops after this many bytes even if 29 settings lines have not been found, so a
// huge or endless file (a link to /dev/zero) cannot hold start-up.
constexpr qint64 MaxSettingsBytes = 1024 * 1024;

// The counted settings lines read from 'device', at most 29, in order. The file is read line
// by line and never further than the 29th settings line; of a line longer than 299
// characters only its first 300 are kept, which is enough to refuse it.
QList<QByteArray> settingsLines(QIODevice &device);
QList<QByteArray> settingsLines(QByteArrayView content);
LoaderSettings parseSettings(const QList<QByteArray> &lines);
// nullopt when the file cannot be opened.
std::optional<LoaderSettings> readSettingsFile(const QString &path);
// Where LoaderDefault.ini is read from: the current folder's (or the given folder's), or, when
// it has none, the one in the configuration folder ($XDG_CONFIG_HOME/tamrin/, where a start
// from the desktop menu, in the home folder, finds it).
QString settingsFilePath(const QString &folder = QString());

// True for a line that takes a number: not empty, and not a ';' comment or '[' section.
bool isSettingsLine(QByteArrayView line);
// The text after the first '='; nullopt when the line has no '='.
std::optional<QByteArray> settingsValue(QByteArrayView line);
// The text with its leading spaces removed (only spaces: tabs stay).
QByteArrayView withoutLeadingBlanks(QByteArrayView text);
// The decimal number at the start of the text, after optional white space and an optional
// sign; 0 when there are no digits; nullopt when the number does not fit in a 32-bit int.
std::optional<int> leadingNumber(QByteArrayView text);

#endif // TAMRIN_SETTINGS_H
