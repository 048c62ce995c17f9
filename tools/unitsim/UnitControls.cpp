#include "UnitControls.h"

#include "UnitHost.h"

#include <algorithm>
#include <optional>

namespace {

std::optional<bool> parseSwitch(const QString &argument)
{
    if (argument == QLatin1String("on"))
        return true;
    if (argument == QLatin1String("off"))
        return false;
    return std::nullopt;
}

// Plain decimal digits only: no sign, no blanks, no hex.
std::optional<qint64> parseCount(const QString &argument, qint64 maximum)
{
    if (argument.isEmpty() || argument.size() > 18 ||
        !std::all_of(argument.begin(), argument.end(),
                     [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }))
        return std::nullopt;
    const qint64 value = argument.toLongLong();
    if (value > maximum)
        return std::nullopt;
    return value;
}

// A prompt is one visible ASCII character, so it can never be mistaken for a blank.
std::optional<char> parsePromptCharacter(const QString &argument)
{
    if (argument.size() != 1 || argument.at(0).unicode() <= ' ' || argument.at(0).unicode() > '~')
        return std::nullopt;
    return char(argument.at(0).unicode());
}

QString countError(const QString &name, qint64 maximum)
{
    return QStringLiteral("%1 needs a count from 0 to %2").arg(name).arg(maximum);
}

} // namespace

UnitControls::UnitControls(UnitHost *host, QObject *parent) : QObject(parent), host_(host)
{
    addSettingCommands();
    addActionCommands();
}

QString UnitControls::execute(const QString &line)
{
    const QString command = line.trimmed();
    if (command.isEmpty())
        return QStringLiteral("error empty command");
    const qsizetype blank = command.indexOf(QLatin1Char(' '));
    const QString name = command.left(blank);
    const QString argument = blank < 0 ? QString() : command.mid(blank + 1).trimmed();
    const Handler handler = handlers_.value(name);
    if (!handler)
        return QStringLiteral("error unknown command: %1").arg(name);
    const QString error = handler(argument);
    return error.isEmpty() ? QStringLiteral("ok ") + command : QStringLiteral("error ") + error;
}

QStringList UnitControls::commandNames() const
{
    QStringList names = handlers_.keys();
    names.sort();
    return names;
}

void UnitControls::addSettingCommands()
{
    UnitSettings &settings = host_->protocol().settings();
    const auto addSwitch = [this](const QString &name, bool *target) {
        addCommand(name, [name, target](const QString &argument) {
            const std::optional<bool> value = parseSwitch(argument);
            if (!value)
                return QStringLiteral("%1 needs on or off").arg(name);
            *target = *value;
            return QString();
        });
    };
    addSwitch(QStringLiteral("echo"), &settings.echo);
    addSwitch(QStringLiteral("mute"), &settings.mute);
    addSwitch(QStringLiteral("no-loader"), &settings.noLoader);

    const auto addPrompt = [this](const QString &name, char *target) {
        addCommand(name, [name, target](const QString &argument) {
            const std::optional<char> prompt = parsePromptCharacter(argument);
            if (!prompt)
                return QStringLiteral("%1 needs one visible character").arg(name);
            *target = *prompt;
            return QString();
        });
    };
    addPrompt(QStringLiteral("normal-prompt"), &settings.normalPrompt);
    addPrompt(QStringLiteral("loader-prompt"), &settings.loaderPrompt);

    addCommand(QStringLiteral("only-prompt"), [&settings](const QString &argument) {
        const std::optional<char> prompt = parsePromptCharacter(argument);
        if (!prompt && argument != QLatin1String("off"))
            return QStringLiteral("only-prompt needs one visible character or off");
        settings.onlyPrompt = prompt;
        return QString();
    });
    addCommand(QStringLiteral("delay"), [&settings](const QString &argument) {
        const std::optional<qint64> delay = parseCount(argument, MaxAnswerDelayMs);
        if (!delay)
            return countError(QStringLiteral("delay"), MaxAnswerDelayMs);
        settings.answerDelayMs = int(*delay);
        return QString();
    });
    addCommand(QStringLiteral("answer-padding"), [&settings](const QString &argument) {
        const std::optional<qint64> padding = parseCount(argument, MaxAnswerPadding);
        if (!padding)
            return countError(QStringLiteral("answer-padding"), MaxAnswerPadding);
        settings.answerPadding = int(*padding);
        return QString();
    });
    addCommand(QStringLiteral("hangup-after"), [&settings](const QString &argument) {
        const std::optional<qint64> count = parseCount(argument, UnitProtocol::MaxUploadSize);
        if (!count && argument != QLatin1String("off"))
            return QStringLiteral("hangup-after needs a byte count or off");
        settings.hangupAfter = count;
        return QString();
    });
    UnitProtocol *protocol = &host_->protocol();
    addCommand(QStringLiteral("mute-after-header"), [protocol](const QString &argument) {
        const std::optional<bool> value = parseSwitch(argument);
        if (!value)
            return QStringLiteral("mute-after-header needs on or off");
        protocol->setMuteAfterHeader(*value);
        return QString();
    });
    addCommand(QStringLiteral("hangup-after-lines"), [protocol](const QString &argument) {
        const std::optional<qint64> lines = parseCount(argument, MaxHangupLines);
        if (argument == QLatin1String("off"))
            protocol->setHangupAfterLines(std::nullopt);
        else if (lines && *lines >= 1)
            protocol->setHangupAfterLines(int(*lines));
        else
            return QStringLiteral("hangup-after-lines needs a count from 1 to %1 or off")
                .arg(MaxHangupLines);
        return QString();
    });
    addCommand(QStringLiteral("version"), [&settings](const QString &argument) {
        if (argument.isEmpty())
            return QStringLiteral("version needs a text");
        settings.version = argument.toUtf8();
        return QString();
    });
    addCommand(QStringLiteral("keyword"), [&settings](const QString &argument) {
        if (argument.isEmpty() || argument.contains(QLatin1Char(' ')) ||
            argument.contains(QLatin1Char('\t')))
            return QStringLiteral("keyword needs one word");
        settings.keyword = argument.toUtf8();
        return QString();
    });
}

void UnitControls::addActionCommands()
{
    UnitHost *host = host_;
    addCommand(QStringLiteral("mode"), [host](const QString &argument) {
        if (argument == QLatin1String("normal"))
            host->protocol().setMode(UnitProtocol::Mode::Normal);
        else if (argument == QLatin1String("loader"))
            host->protocol().setMode(UnitProtocol::Mode::Loader);
        else
            return QStringLiteral("mode needs normal or loader");
        return QString();
    });
    addCommand(QStringLiteral("baud"), [host](const QString &argument) {
        const std::optional<qint64> baud = parseCount(argument, MaxBaud);
        if (!baud && argument != QLatin1String("off"))
            return QStringLiteral("baud needs a rate up to %1 or off").arg(MaxBaud);
        host->setBaud(int(baud.value_or(0)));
        return QString();
    });
    addCommand(QStringLiteral("flood"), [host](const QString &argument) {
        const std::optional<qint64> size = parseCount(argument, MaxBurstSize);
        if (!size)
            return countError(QStringLiteral("flood"), MaxBurstSize);
        host->flood(*size);
        return QString();
    });
    addCommand(QStringLiteral("garbage"), [host](const QString &argument) {
        const std::optional<qint64> size = parseCount(argument, MaxBurstSize);
        if (!size)
            return countError(QStringLiteral("garbage"), MaxBurstSize);
        host->sendGarbage(*size);
        return QString();
    });
    addCommand(QStringLiteral("listen"), [host](const QString &argument) {
        const std::optional<bool> listening = parseSwitch(argument);
        if (!listening)
            return QStringLiteral("listen needs on or off");
        QString error;
        if (!host->setListening(*listening, &error))
            return error;
        return QString();
    });
    addSimpleAction(QStringLiteral("hangup"),
                    [host](QString *error) { return host->hangUp(error); });
    addSimpleAction(QStringLiteral("reopen"),
                    [host](QString *error) { return host->reopen(error); });
    addSimpleAction(QStringLiteral("hold"), [host](QString *error) { return host->hold(error); });
    addSimpleAction(QStringLiteral("release"),
                    [host](QString *error) { return host->release(error); });
    addSimpleAction(QStringLiteral("quit"), [this](QString *) {
        emit quitRequested();
        return true;
    });
}

void UnitControls::addCommand(const QString &name, Handler handler)
{
    handlers_.insert(name, std::move(handler));
}

void UnitControls::addSimpleAction(const QString &name, std::function<bool(QString *)> action)
{
    addCommand(name, [name, action](const QString &argument) {
        if (!argument.isEmpty())
            return QStringLiteral("%1 takes no argument").arg(name);
        QString error;
        if (!action(&error))
            return error.isEmpty() ? QStringLiteral("%1 failed").arg(name) : error;
        return QString();
    });
}
