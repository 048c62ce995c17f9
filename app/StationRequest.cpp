#include "app/StationRequest.h"

#include <QRegularExpression>

#include <array>

namespace StationRequests {

namespace {

constexpr std::array<int, 8> BaudRates{1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

// A whole number from 'least' to 'most', nothing else.
std::optional<int> number(const QString &text, int least, int most)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    const int value = text.toInt();
    if (value < least || value > most)
        return std::nullopt;
    return value;
}

// "COM3" (any case) or a device path.
bool takePort(StationRequest &request, const QString &value)
{
    static const QRegularExpression comName(QStringLiteral("^COM([0-9]{1,2})$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = comName.match(value);
    if (match.hasMatch()) {
        request.comPort = number(match.captured(1), 1, 16);
        return request.comPort.has_value();
    }
    if (!value.startsWith(QLatin1Char('/')))
        return false;
    request.device = value;
    return true;
}

// "HOST:PORT", the host a name or an IPv4 address.
bool takeTcp(StationRequest &request, const QString &value)
{
    const qsizetype colon = value.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    const std::optional<int> port = number(value.mid(colon + 1), 1, 65535);
    if (!port)
        return false;
    request.tcpHost = value.left(colon);
    request.tcpPort = quint16(*port);
    return true;
}

// One option and its value; the reason when it is malformed, nothing when it is good.
std::optional<QString> takeOption(StationRequest &request, const QString &option,
                                  const QString &value)
{
    const QString bad = QStringLiteral("%1 %2 is not valid").arg(option, value);
    if (option == QLatin1String("--run"))
        request.script = value;
    else if (option == QLatin1String("--port"))
        return takePort(request, value) ? std::nullopt : std::optional<QString>(bad);
    else if (option == QLatin1String("--tcp"))
        return takeTcp(request, value) ? std::nullopt : std::optional<QString>(bad);
    else if (option == QLatin1String("--baud")) {
        request.baud = number(value, 1, 115200);
        if (!request.baud || std::find(BaudRates.begin(), BaudRates.end(), *request.baud) ==
                                 BaudRates.end())
            return bad;
    } else if (option == QLatin1String("--record"))
        request.recordPath = value;
    else if (option == QLatin1String("--progress"))
        request.progressPath = value;
    else if (option == QLatin1String("--wait-port")) {
        request.waitPortSeconds = number(value, 0, MaxWaitSeconds);
        if (!request.waitPortSeconds)
            return bad;
    } else if (option == QLatin1String("--retries")) {
        const std::optional<int> retries = number(value, 0, MaxRetries);
        if (!retries)
            return bad;
        request.retries = *retries;
    } else {
        return QStringLiteral("unknown option %1").arg(option);
    }
    return std::nullopt;
}

// What is wrong with a request whose options each were good.
std::optional<QString> problemOf(const StationRequest &request)
{
    if (request.script.isEmpty())
        return QStringLiteral("--run needs a script file");
    if (request.overTcp() && (request.comPort || !request.device.isEmpty()))
        return QStringLiteral("--port and --tcp cannot be given together");
    if (request.overTcp() && request.baud)
        return QStringLiteral("--baud is for a serial port, not --tcp");
    return std::nullopt;
}

} // namespace

bool requested(const QStringList &arguments)
{
    return arguments.contains(QStringLiteral("--run")) ||
           std::any_of(arguments.begin(), arguments.end(), [](const QString &argument) {
               return argument.startsWith(QLatin1String("--run="));
           });
}

std::variant<StationRequest, QString> parse(const QStringList &arguments, QStringList &rest)
{
    StationRequest request;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (!argument.startsWith(QLatin1String("--"))) {
            // Qt's own options (-platform xcb) and their values are Qt's to take.
            rest << argument;
            continue;
        }
        const qsizetype equals = argument.indexOf(QLatin1Char('='));
        QString option = argument;
        QString value;
        if (equals > 0) {
            option = argument.left(equals);
            value = argument.mid(equals + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments.at(++i);
        } else {
            return QStringLiteral("%1 needs a value").arg(argument);
        }
        if (const std::optional<QString> problem = takeOption(request, option, value))
            return *problem;
    }
    if (const std::optional<QString> problem = problemOf(request))
        return *problem;
    return request;
}

} // namespace StationRequests
