// Tamrin's own command-line options, read before any window exists: --help, --version and
// --list-ports print and end, and need no display; --check is answered by ScriptCheckCommand. Without arguments Tamrin starts as usual;
// Qt's own options (-platform, -style, ...) are left to Qt, and anything else is refused with
// one line of usage on standard error and status 4.
#pragma once

#include <QString>
#include <QStringList>

namespace CommandLine {

enum class Request
{
    Start,
    Help,
    Version,
    ListPorts
};

// What the arguments after the program's name ask for, when one of Tamrin's own options is
// all there is; Start otherwise, which leaves the rest to Qt. Whatever Qt does not take then
// is refused.
Request request(const QStringList &arguments);

QString helpText();
QString versionText();
QString usageLine();

} // namespace CommandLine
