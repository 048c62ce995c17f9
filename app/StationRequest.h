// `tamrin --run SCRIPT.sld [options]`: Tamrin as one station of a production line. The script
// runs in automatic mode with the settings of LoaderDefault.ini (where one is found), which the
// options override:
//
//   --port COMn|DEVICE   the serial port, by COM name or device path; no other port is tried
//   --tcp HOST:PORT      the unit over TCP instead
//   --baud N             the serial line's rate
//   --record FILE        one JSON object per upload and per run, appended ("-": standard output)
//   --wait-port SECONDS  wait that long for the port to appear and open (a unit plugged in)
//   --retries N          run the script again from its first line when the link was lost
//   --progress FILE      JSON lines of the run's phases and the data's progress ("-": stdout)
//
// Reading the options is pure: what is malformed is told in one line, which the caller prints
// before the usage line, and the program ends with status 4.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

struct StationRequest
{
    QString script;
    // The serial port: a COM number, or a device path (then named COM1 for the run).
    std::optional<int> comPort;
    QString device;
    // The unit over TCP.
    QString tcpHost;
    quint16 tcpPort = 0;
    std::optional<int> baud;
    QString recordPath;
    QString progressPath;
    // Absent: no wait.
    std::optional<int> waitPortSeconds;
    int retries = 0;

    bool overTcp() const { return tcpPort != 0; }
    // The station names its serial port: that one only, no search.
    bool namesAPort() const { return comPort.has_value() || !device.isEmpty(); }
};

namespace StationRequests {

// The longest wait for a port and the most attempts taken.
constexpr int MaxWaitSeconds = 24 * 3600;
constexpr int MaxRetries = 100;
// How long a retry waits for the port to come back unless --wait-port says.
constexpr int RetryWaitSeconds = 30;

// True when the arguments ask for a station run.
bool requested(const QStringList &arguments);
// The request, or the one-line reason why the arguments are malformed. Arguments that are not
// Tamrin's own (Qt's -platform, ...) are left in 'rest'.
std::variant<StationRequest, QString> parse(const QStringList &arguments, QStringList &rest);

} // namespace StationRequests
