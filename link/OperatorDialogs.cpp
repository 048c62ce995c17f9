#include "link/OperatorDialogs.h"

#include <cstdio>
#include <memory>

namespace {

// Until the program installs its dialogs nobody is there to answer: what is said only goes
// to standard error, a question is answered Cancel or No, and a picker picks nothing.
class NoOperator : public OperatorDialogs
{
public:
    void message(QWidget *, const QString &) override {}
    bool okCancel(QWidget *, const QString &, const QString &) override { return false; }
    bool yesNo(QWidget *, const QString &, const QString &) override { return false; }
    QString openFile(QWidget *, const QString &, const QString &) override { return QString(); }
    bool chooseFont(QWidget *, QFont &) override { return false; }
};

std::unique_ptr<OperatorDialogs> &installed()
{
    static std::unique_ptr<OperatorDialogs> dialogs;
    return dialogs;
}

} // namespace

OperatorDialogs &OperatorDialogs::current()
{
    auto &dialogs = installed();
    if (!dialogs)
        dialogs = std::make_unique<NoOperator>();
    return *dialogs;
}

void OperatorDialogs::install(OperatorDialogs *dialogs)
{
    installed().reset(dialogs);
}

QString stderrLine(const QString &text)
{
    QString line = text;
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return QStringLiteral("Tamrin: ") + line;
}

void WriteStderrLine(const QString &text)
{
    const QByteArray line = stderrLine(text).toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

namespace {

bool answered(bool yes, const char *yesText, const char *noText)
{
    WriteStderrLine(QStringLiteral("answered ") + QLatin1String(yes ? yesText : noText));
    return yes;
}

} // namespace

void ShowMessage(QWidget *owner, const QString &text)
{
    WriteStderrLine(text);
    OperatorDialogs::current().message(owner, text);
}

bool AskOkCancel(QWidget *owner, const QString &caption, const QString &text)
{
    WriteStderrLine(text);
    return answered(OperatorDialogs::current().okCancel(owner, caption, text), "OK", "Cancel");
}

bool AskYesNo(QWidget *owner, const QString &caption, const QString &text)
{
    WriteStderrLine(text);
    return answered(OperatorDialogs::current().yesNo(owner, caption, text), "Yes", "No");
}
