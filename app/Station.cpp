// The station's settings from the environment, and the platform's start: its notes
// filtered, its warnings held while the application object is built, and the offscreen
// start in place of Qt's abort when no platform starts (see Station.h).
#include "app/Station.h"

#include "base/ByteText.h"
#include "base/OperatorDialogs.h"
#include "base/Timing.h"

#include <QStringList>
#include <QtGlobal>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <vector>

namespace Station {

void chooseHeadlessPlatform()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

namespace {

QtMessageHandler platformHandler = nullptr;

struct HeldWarning
{
    QtMsgType type;
    QByteArray category;
    QString text;
};

// While the application object is being built.
bool holding = false;
std::vector<HeldWarning> heldWarnings;
// The program's arguments as it was started: Qt takes its own out of argv as it reads them.
std::vector<QByteArray> startArguments;

bool changesNothing(QtMsgType type, const QString &text)
{
    return type == QtWarningMsg &&
           (text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")) ||
            text.startsWith(QLatin1String("This plugin does not support")));
}

bool isPlatformOption(const QByteArray &argument)
{
    return argument == "-platform" || argument == "--platform";
}

// The value of the last -platform option, which Qt takes over QT_QPA_PLATFORM; empty when
// there is none.
QByteArray platformOption()
{
    QByteArray platform;
    for (size_t i = 1; i + 1 < startArguments.size(); ++i) {
        if (isPlatformOption(startArguments.at(i)))
            platform = startArguments.at(++i);
    }
    return platform;
}

// What was tried, as the operator set it: "DISPLAY=:97", "-platform xcb, DISPLAY=:97".
QString attemptText()
{
    QStringList parts;
    const QByteArray option = platformOption();
    if (!option.isEmpty())
        parts << QStringLiteral("-platform ") + QString::fromLocal8Bit(option);
    const std::array<const char *, 3> variables{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    // The option took the place of QT_QPA_PLATFORM, which then was not tried.
    const size_t triedVariables = option.isEmpty() ? 3 : 2;
    for (size_t i = 0; i < triedVariables; ++i) {
        const char *name = variables.at(i);
        if (!qEnvironmentVariableIsEmpty(name))
            parts << QLatin1String(name) + QLatin1Char('=') + qEnvironmentVariable(name);
    }
    return parts.join(QStringLiteral(", "));
}

// The arguments as started, without Qt's -platform option and its value.
std::vector<char *> argumentsWithoutPlatform()
{
    std::vector<char *> kept;
    for (size_t i = 0; i < startArguments.size(); ++i) {
        if (i > 0 && isPlatformOption(startArguments.at(i)))
            ++i;
        else
            kept.push_back(startArguments.at(i).data());
    }
    kept.push_back(nullptr);
    return kept;
}

// Replaces this process with the program started offscreen; returns only when it cannot.
void startAgainOffscreen()
{
    const QByteArray option = platformOption();
    const QByteArray asked = option.isEmpty() ? qgetenv("QT_QPA_PLATFORM") : option;
    if (asked.split(':').constFirst() == "offscreen")
        return;
    WriteStderrLine(
        QStringLiteral("No display could be opened (%1): running without one.").arg(attemptText()));
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    std::vector<char *> arguments = argumentsWithoutPlatform();
    std::fflush(nullptr);
    ::execv("/proc/self/exe", arguments.data());
    WriteStderrLine(
        QStringLiteral("Cannot start again without a display: %1").arg(qt_error_string(errno)));
}

void passOn(const HeldWarning &warning)
{
    const QMessageLogContext context(nullptr, 0, nullptr, warning.category.constData());
    platformHandler(warning.type, context, warning.text);
}

void quietHandler(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (changesNothing(type, text))
        return;
    if (holding && type != QtFatalMsg) {
        heldWarnings.push_back({type, QByteArray(context.category), text});
        return;
    }
    if (holding)
        startAgainOffscreen();
    // Not started again: Qt's own account of the failure, the held warnings first.
    passHeldPlatformWarnings();
    platformHandler(type, context, text);
}

} // namespace

void quietPlatformNotes()
{
    platformHandler = qInstallMessageHandler(quietHandler);
}

void holdPlatformWarnings(int argc, char *argv[])
{
    startArguments.assign(argv, argv + argc);
    holding = true;
}

void passHeldPlatformWarnings()
{
    holding = false;
    for (const HeldWarning &warning : heldWarnings)
        passOn(warning);
    heldWarnings.clear();
}

std::optional<int> parseRunTimeout(const QByteArray &value)
{
    const bool digits =
        !value.isEmpty() && value.size() <= 9 &&
        std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!digits)
        return std::nullopt;
    const int seconds = value.toInt();
    if (seconds < 1 || seconds > MaxRunTimeoutSeconds)
        return std::nullopt;
    return seconds;
}

std::optional<bool> parseUnattended(const QByteArray &value)
{
    if (value == "1")
        return true;
    if (value.isEmpty() || value == "0")
        return false;
    return std::nullopt;
}

std::optional<double> parseTimeScale(const QByteArray &value)
{
    bool number = false;
    const double scale = value.trimmed().toDouble(&number);
    if (!number || !(scale > 0.0 && scale <= 1.0))
        return std::nullopt;
    return scale;
}

void scaleTimingFromEnvironment()
{
    if (!qEnvironmentVariableIsSet("TAMRIN_TIME_SCALE"))
        return;
    const QByteArray value = qgetenv("TAMRIN_TIME_SCALE");
    const std::optional<double> scale = parseTimeScale(value);
    if (!scale) {
        WriteStderrLine(QStringLiteral("TAMRIN_TIME_SCALE=%1 ignored: it takes a number above 0 "
                                       "and at most 1. The protocol keeps its real timing.")
                            .arg(ByteText::escapedText(value)));
        return;
    }
    Timing::setScale(*scale);
    WriteStderrLine(QStringLiteral("TAMRIN_TIME_SCALE=%1: the protocol's pauses and waits take %1 "
                                   "of their real time (a test knob; never on a station).")
                        .arg(ByteText::escapedText(value.trimmed())));
}

StationSettings fromEnvironment(const QString &platformName)
{
    StationSettings station;
    station.headless =
        platformName == QLatin1String("offscreen") || platformName == QLatin1String("minimal");
    const QByteArray unattended = qgetenv("TAMRIN_UNATTENDED");
    const std::optional<bool> asked = parseUnattended(unattended);
    if (!asked)
        WriteStderrLine(QStringLiteral("TAMRIN_UNATTENDED=%1 ignored: it takes 1 or 0.")
                            .arg(QString::fromLocal8Bit(unattended)));
    station.unattended = station.headless || asked.value_or(false);
    if (qEnvironmentVariableIsSet("TAMRIN_RUN_TIMEOUT")) {
        const QByteArray limit = qgetenv("TAMRIN_RUN_TIMEOUT");
        const std::optional<int> seconds = parseRunTimeout(limit);
        if (seconds)
            station.runTimeoutSeconds = *seconds;
        else
            WriteStderrLine(QStringLiteral("TAMRIN_RUN_TIMEOUT=%1 ignored: it takes whole "
                                           "seconds from 1 to %2. The run is not bounded.")
                                .arg(QString::fromLocal8Bit(limit))
                                .arg(MaxRunTimeoutSeconds));
    }
    return station;
}

} // namespace Station
