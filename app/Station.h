// How Tamrin was started: at a screen with an operator, or as an unattended station.
//
// Where no display can be opened (neither DISPLAY nor WAYLAND_DISPLAY is set and no platform
// was chosen) Tamrin picks the offscreen platform itself instead of aborting. A display that is
// named but cannot be opened (an ssh session's stale DISPLAY) or a platform plugin that cannot
// load ends the same way, after one "Tamrin: " line that names what was tried. Offscreen or on
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
// Around the application object's construction: Qt's platform warnings are held while it is
// built and passed on once it exists. Should no platform start, Qt ends the process with a
// fatal message; instead the "Tamrin: " line is written and the program is started again in
// this same process (exec: nothing outlives or doubles it) on the offscreen platform, with
// DISPLAY and WAYLAND_DISPLAY removed and Qt's -platform option dropped, so that it runs as if
// no display had been set. The held warnings of the failed start are dropped: the one line
// says it all. When offscreen was the platform tried there is no retry: Qt ends as it would.
//
// Qt's own failure is the test: checking the display beforehand would repeat Qt's choice of
// plugin (QT_QPA_PLATFORM lists, -platform, Wayland tried before X when WAYLAND_DISPLAY is
// set) and each plugin's way to its display (X authority, TCP displays, the Wayland socket),
// and could pass where Qt then fails. A half-built application object cannot try another
// platform, hence the exec.
void holdPlatformWarnings(int argc, char *argv[]);
void passHeldPlatformWarnings();
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

// TAMRIN_TIME_SCALE, a knob for the tests alone: a number above 0 and at most 1 by which every
// pause and wait of the protocol is multiplied (Timing::setScale). Read once, after the
// application object exists; when set, one "Tamrin: " line says what it did, so that a scaled
// run is never mistaken for a station's. Unset, the protocol keeps its real timing.
void scaleTimingFromEnvironment();
// A number with 0 < scale <= 1, nothing else.
std::optional<double> parseTimeScale(const QByteArray &value);

} // namespace Station
