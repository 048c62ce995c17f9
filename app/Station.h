// How Tamrin was started: at a screen with an operator, or as an unattended station.
//
// Where no display can be opened (neither DISPLAY nor WAYLAND_DISPLAY is set and no platform
// was chosen) Tamrin picks the offscreen platform itself instead of aborting. Offscreen or on
// the minimal platform it is headless: an automatic run goes as usual, manual mode cannot be
// operated. Headless, or with TAMRIN_UNATTENDED=1, nobody is there to press a button: message
// boxes are only written to standard error and count as acknowledged, and questions are
// answered Cancel. TAMRIN_RUN_TIMEOUT=SECONDS bounds an automatic run.
//
// A variable with a value that makes no sense is reported in one line on standard error and
// ignored: never a crash, never a limit of zero.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

struct StationSettings
{
    bool headless = false;
    bool unattended = false;
    // 0: the run is not bounded.
    int runTimeoutSeconds = 0;
};

// How Tamrin ends, for a supervisor to act on.
enum ExitStatus
{
    ExitSuccess = 0,
    ExitRunFailed = 1,
    ExitUnitNotReached = 2,
    ExitRunTimeLimit = 3,
    ExitCannotStart = 4
};

namespace Station {

// The longest run limit taken: a week.
constexpr int MaxRunTimeoutSeconds = 7 * 24 * 3600;

// Before the application object exists: the offscreen platform where no display can be opened.
void chooseHeadlessPlatform();
// Standard error keeps the "Tamrin: " lines and real problems: the platform's notes that
// change nothing (no runtime folder for root, an offscreen window that cannot be raised) are
// dropped.
void quietPlatformNotes();
// Once it exists: the platform Qt chose and the two variables.
StationSettings fromEnvironment(const QString &platformName);

// "SECONDS": a whole number from 1 to MaxRunTimeoutSeconds, nothing else.
std::optional<int> parseRunTimeout(const QByteArray &value);
// "1" asks for an unattended station, "0" or nothing does not; anything else is no answer.
std::optional<bool> parseUnattended(const QByteArray &value);

} // namespace Station
