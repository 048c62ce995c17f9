#include "app/Station.h"

#include "link/OperatorDialogs.h"

#include <QtGlobal>

#include <algorithm>

namespace Station {

void chooseHeadlessPlatform()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

namespace {

QtMessageHandler platformHandler = nullptr;

bool changesNothing(QtMsgType type, const QString &text)
{
    return type == QtWarningMsg &&
           (text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")) ||
            text.startsWith(QLatin1String("This plugin does not support")));
}

void quietHandler(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (!changesNothing(type, text))
        platformHandler(type, context, text);
}

} // namespace

void quietPlatformNotes()
{
    platformHandler = qInstallMessageHandler(quietHandler);
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
