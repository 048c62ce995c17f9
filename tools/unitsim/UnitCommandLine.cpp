#include "UnitCommandLine.h"

#include <utility>

namespace {

// Options that take a value and the control each sets: "--<option> <value>" is
// "<control> <value>". The unit's VER answer is --unit-version, because --version is the
// program's own.
const std::pair<const char *, const char *> ValueOptions[] = {
    {"delay", "delay"},
    {"baud", "baud"},
    {"only-prompt", "only-prompt"},
    {"hangup-after", "hangup-after"},
    {"hangup-after-lines", "hangup-after-lines"},
    {"answer-padding", "answer-padding"},
    {"unit-version", "version"},
    {"keyword", "keyword"},
    {"normal-prompt", "normal-prompt"},
    {"loader-prompt", "loader-prompt"},
};

// Flags and the control line each stands for.
const std::pair<const char *, const char *> FlagControls[] = {
    {"echo", "echo on"},
    {"mute", "mute on"},
    {"no-loader", "no-loader on"},
    {"loader", "mode loader"},
};

} // namespace

UnitCommandLine::UnitCommandLine()
{
    parser_.setApplicationDescription(QStringLiteral(
        "Plays the unit's side of Tamrin's serial and TCP protocol.\n"
        "\n"
        "Control commands are read from standard input, one per line, and each is\n"
        "answered \"ok <line>\" or \"error <why>\" on standard output:\n"
        "  echo on|off, delay MS, baud N|off, mute on|off, mute-after-header on|off,\n"
        "  only-prompt C|off, no-loader on|off, hangup-after N|off,\n"
        "  hangup-after-lines N|off, flood N, garbage N, answer-padding N,\n"
        "  mode normal|loader, version TEXT, keyword TEXT, normal-prompt C,\n"
        "  loader-prompt C, hangup, reopen, hold, release, listen on|off, quit.\n"
        "The simulator exits when standard input ends, or on SIGTERM, SIGINT or SIGHUP,\n"
        "removing the pty's link."));
    parser_.addHelpOption();
    parser_.addOption(
        {QStringLiteral("version"), QStringLiteral("Displays the program's version.")});
    parser_.addOptions({
        {QStringLiteral("pty"), QStringLiteral("Serve a pseudo-terminal, linked at <path>."),
         QStringLiteral("path")},
        {QStringLiteral("tcp"), QStringLiteral("Listen on 127.0.0.1:<port> (0: any free port)."),
         QStringLiteral("port")},
        {QStringLiteral("transcript"), QStringLiteral("Record every received byte in <file>."),
         QStringLiteral("file")},
        {QStringLiteral("store"), QStringLiteral("Store uploads in <dir> (default: here)."),
         QStringLiteral("dir")},
        {QStringLiteral("echo"), QStringLiteral("Echo every received byte.")},
        {QStringLiteral("delay"), QStringLiteral("Answer <ms> after each line."),
         QStringLiteral("ms")},
        {QStringLiteral("baud"), QStringLiteral("Receive no faster than <rate> baud allows."),
         QStringLiteral("rate")},
        {QStringLiteral("mute"), QStringLiteral("Never answer.")},
        {QStringLiteral("only-prompt"), QStringLiteral("Print <c> as every prompt."),
         QStringLiteral("c")},
        {QStringLiteral("no-loader"), QStringLiteral("Ignore LOADR.")},
        {QStringLiteral("hangup-after"),
         QStringLiteral("Hang up after <n> data bytes of an upload."), QStringLiteral("n")},
        {QStringLiteral("hangup-after-lines"),
         QStringLiteral("Hang up right after answering <n> lines, once."), QStringLiteral("n")},
        {QStringLiteral("answer-padding"),
         QStringLiteral("Send <n> bytes of filler text before each answer."), QStringLiteral("n")},
        {QStringLiteral("unit-version"), QStringLiteral("Answer VER with <text> (default 2.08)."),
         QStringLiteral("text")},
        {QStringLiteral("keyword"), QStringLiteral("Upload header keyword (default LF)."),
         QStringLiteral("word")},
        {QStringLiteral("normal-prompt"), QStringLiteral("Normal mode prompt (default #)."),
         QStringLiteral("c")},
        {QStringLiteral("loader-prompt"), QStringLiteral("Loader mode prompt (default >)."),
         QStringLiteral("c")},
        {QStringLiteral("loader"), QStringLiteral("Start in loader mode.")},
    });
}

UnitCommandLine::Result UnitCommandLine::parse(const QStringList &arguments)
{
    if (!parser_.parse(arguments)) {
        errorText_ = parser_.errorText();
        return Result::Error;
    }
    // Qt adds --help-all beside --help; the simulator has no Qt options worth listing.
    if (parser_.isSet(QStringLiteral("help")) || parser_.isSet(QStringLiteral("help-all")))
        return Result::Help;
    if (parser_.isSet(QStringLiteral("version")))
        return Result::Version;
    if (!parser_.positionalArguments().isEmpty()) {
        errorText_ = QStringLiteral("unexpected argument: %1")
                         .arg(parser_.positionalArguments().constFirst());
        return Result::Error;
    }
    if (!readEndpoints())
        return Result::Error;
    collectControlLines();
    return Result::Run;
}

QString UnitCommandLine::helpText() const
{
    return parser_.helpText();
}

QString UnitCommandLine::versionText()
{
    return QStringLiteral("tamrin-unitsim 2.08");
}

bool UnitCommandLine::readEndpoints()
{
    ptyPath_ = parser_.value(QStringLiteral("pty"));
    transcriptPath_ = parser_.value(QStringLiteral("transcript"));
    storeFolder_ = parser_.isSet(QStringLiteral("store")) ? parser_.value(QStringLiteral("store"))
                                                          : QStringLiteral(".");
    if (parser_.isSet(QStringLiteral("tcp"))) {
        bool ok = false;
        const uint port = parser_.value(QStringLiteral("tcp")).toUInt(&ok);
        if (!ok || port > 65535) {
            errorText_ = QStringLiteral("--tcp needs a port from 0 to 65535");
            return false;
        }
        tcpPort_ = quint16(port);
    }
    if (ptyPath_.isEmpty() && !tcpPort_) {
        errorText_ = QStringLiteral("give --pty PATH, --tcp PORT or both");
        return false;
    }
    return true;
}

void UnitCommandLine::collectControlLines()
{
    controlLines_.clear();
    for (const auto &[option, control] : FlagControls) {
        if (parser_.isSet(QLatin1String(option)))
            controlLines_.append(QLatin1String(control));
    }
    for (const auto &[option, control] : ValueOptions) {
        if (parser_.isSet(QLatin1String(option)))
            controlLines_.append(QLatin1String(control) + QLatin1Char(' ') +
                                 parser_.value(QLatin1String(option)));
    }
}
