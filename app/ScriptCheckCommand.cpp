#include "app/ScriptCheckCommand.h"

#include "app/Settings.h"
#include "app/Station.h"
#include "base/NativeFile.h"
#include "link/LinkState.h"
#include "script/ScriptCheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <optional>

namespace ScriptCheckCommand {

namespace {

constexpr int StatusClean = 0;
constexpr int StatusFindings = 1;
constexpr int StatusUnreadable = 2;

struct Options
{
    bool explain = false;
    QString folder;
    QStringList files;
};

std::optional<Options> parseOptions(const QStringList &arguments, QTextStream &err)
{
    Options options;
    options.folder = QDir::currentPath();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--explain")) {
            options.explain = true;
        } else if (argument == QLatin1String("--folder") && i + 1 < arguments.size()) {
            options.folder = arguments.at(++i);
        } else if (argument.startsWith(QLatin1String("--folder="))) {
            options.folder = argument.mid(9);
        } else if (argument.startsWith(QLatin1String("--"))) {
            err << "tamrin: unknown option " << argument << " for --check\n";
            return std::nullopt;
        } else {
            options.files << argument;
        }
    }
    if (options.files.isEmpty() || !QFileInfo(options.folder).isDir()) {
        err << (options.files.isEmpty() ? QStringLiteral("tamrin: --check needs a script file")
                                        : QStringLiteral("tamrin: no folder ") + options.folder)
            << ". Usage: tamrin --check [--explain] [--folder DIR] FILE.sld...\n";
        return std::nullopt;
    }
    options.folder = QDir(options.folder).absolutePath();
    return options;
}

// The settings this script would run with, Tamrin's defaults where the file says nothing.
ScriptCheckContext contextFor(const QString &script, const QString &folder,
                              const std::optional<LoaderSettings> &settings)
{
    const LinkState defaults;
    ScriptCheckContext context;
    context.runFolder = folder;
    context.normalPrompt = defaults.normalPrompt;
    context.loaderPrompt = defaults.loaderPrompt;
    context.loaderModeCommand = defaults.loaderModeCommand;
    context.uploadKeyword = defaults.uploadKeyword;
    if (!settings)
        return context;
    context.normalPrompt = settings->normalPrompt.value_or(context.normalPrompt);
    context.loaderPrompt = settings->loaderPrompt.value_or(context.loaderPrompt);
    context.loaderModeCommand = settings->loaderModeCommand.value_or(context.loaderModeCommand);
    context.uploadKeyword = settings->uploadKeyword.value_or(context.uploadKeyword);
    const QString automatic =
        settings->autoMode && settings->autoScriptPath
            ? QDir(folder).filePath(QFile::decodeName(*settings->autoScriptPath))
            : QString();
    const bool runsThisScript = !automatic.isEmpty() && QFileInfo(automatic).canonicalFilePath() ==
                                                            QFileInfo(script).canonicalFilePath();
    context.automaticWithoutLimit =
        runsThisScript && !Station::parseRunTimeout(qgetenv("TAMRIN_RUN_TIMEOUT"));
    return context;
}

// The script is read as the run reads it, to its end whatever its size.
std::optional<ScriptCheckResult> checkFile(const QString &name, const ScriptCheckContext &context)
{
    QFile file;
    if (!NativeFile::openForReading(file, QFile::encodeName(name)))
        return std::nullopt;
    ScriptCheckResult result = checkScript(file, context);
    if (!result.readToEnd || file.error() != QFileDevice::NoError)
        return std::nullopt;
    return result;
}

// The explanation and the findings, together in line order.
void printExplained(const QString &name, const ScriptCheckResult &result, QTextStream &out)
{
    qsizetype finding = 0;
    for (const ScriptNote &note : result.explanation) {
        for (; finding < result.findings.size() && result.findings.at(finding).line < note.line;
             ++finding)
            out << name << ':' << result.findings.at(finding).line
                << ": warning: " << result.findings.at(finding).text << '\n';
        out << name << ':' << note.line << ": " << note.text << '\n';
    }
    for (; finding < result.findings.size(); ++finding)
        out << name << ':' << result.findings.at(finding).line
            << ": warning: " << result.findings.at(finding).text << '\n';
}

void printFindings(const QString &name, const ScriptCheckResult &result, QTextStream &out)
{
    for (const ScriptNote &note : result.findings)
        out << name << ':' << note.line << ": warning: " << note.text << '\n';
}

QString counted(int count, const char *thing)
{
    return QString::number(count) + QLatin1Char(' ') + QLatin1String(thing) +
           (count == 1 ? QString() : QStringLiteral("s"));
}

// "tamrin --check: 2 findings in 1 of 3 scripts; 1 could not be read".
QString summary(int findings, int scriptsWithFindings, int scripts, int unreadable)
{
    const int read = scripts - unreadable;
    QString text = QStringLiteral("tamrin --check: ");
    if (findings == 0)
        text += QStringLiteral("no findings in ") + counted(read, "script");
    else
        text += counted(findings, "finding") +
                QStringLiteral(" in %1 of ").arg(scriptsWithFindings) + counted(read, "script");
    if (unreadable > 0)
        text += QStringLiteral("; %1 could not be read").arg(unreadable);
    return text;
}

} // namespace

bool requested(const QStringList &arguments)
{
    return !arguments.isEmpty() && arguments.first() == QLatin1String("--check");
}

int run(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    const std::optional<Options> options = parseOptions(arguments, err);
    if (!options)
        return StatusUnreadable;
    const QString settingsPath = settingsFilePath(options->folder);
    const std::optional<LoaderSettings> settings = readSettingsFile(settingsPath);
    int findings = 0;
    int scriptsWithFindings = 0;
    int unreadable = 0;
    for (const QString &name : options->files) {
        const std::optional<ScriptCheckResult> checked =
            checkFile(name, contextFor(name, options->folder, settings));
        if (!checked) {
            err << "tamrin: " << name << ": cannot be read (no such file, no regular file, or "
                << "no permission)\n";
            ++unreadable;
            continue;
        }
        const ScriptCheckResult &result = *checked;
        if (options->explain) {
            out << name << ": as run in " << options->folder << " with "
                << (settings ? QStringLiteral("the settings of ") + settingsPath
                             : QStringLiteral("Tamrin's default settings"))
                << "; the bytes are those sent over the serial port when the unit answers at "
                   "once\n";
            printExplained(name, result, out);
        } else {
            printFindings(name, result, out);
        }
        findings += int(result.findings.size());
        scriptsWithFindings += result.findings.isEmpty() ? 0 : 1;
    }
    out << summary(findings, scriptsWithFindings, int(options->files.size()), unreadable) << '\n';
    if (unreadable > 0)
        return StatusUnreadable;
    return findings > 0 ? StatusFindings : StatusClean;
}

} // namespace ScriptCheckCommand
