#include "base/OperatorDialogs.h"

#include <cerrno>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

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

bool g_stoppedAsking = false;

} // namespace

OperatorDialogs &OperatorDialogs::current()
{
    static NoOperator nobody;
    auto &dialogs = installed();
    if (!dialogs || g_stoppedAsking)
        return nobody;
    return *dialogs;
}

void OperatorDialogs::install(OperatorDialogs *dialogs)
{
    installed().reset(dialogs);
    g_stoppedAsking = false;
}

void OperatorDialogs::stopAsking()
{
    g_stoppedAsking = true;
    if (auto &dialogs = installed())
        dialogs->closeOpenBoxes();
}

QString stderrLine(const QString &text)
{
    QString line = text;
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return QStringLiteral("Tamrin: ") + line;
}

namespace {

// JOURNAL_STREAM is "DEVICE:INODE" of the stream systemd connected to the journal; it may be
// inherited by a process whose standard error went elsewhere, so the two are compared.
bool stderrIsTheJournal()
{
    static const bool journal = [] {
        const QByteArray stream = qgetenv("JOURNAL_STREAM");
        struct stat status
        {
        };
        if (stream.isEmpty() || ::fstat(STDERR_FILENO, &status) != 0)
            return false;
        return stream == QByteArray::number(quint64(status.st_dev)) + ':' +
                             QByteArray::number(quint64(status.st_ino));
    }();
    return journal;
}

LinePriority priorityOf(const QString &text)
{
    for (const char *start : {"Error", "Timeout error", "Upload cancelled"}) {
        if (text.startsWith(QLatin1String(start)))
            return LinePriority::Error;
    }
    return LinePriority::Info;
}

} // namespace

void WriteStderrLine(const QString &text)
{
    WriteStderrLine(text, priorityOf(text));
}

// One write() a line, from whichever thread: a line is never torn or mixed with another.
void WriteStderrLine(const QString &text, LinePriority priority)
{
    QByteArray line = stderrLine(text).toLocal8Bit() + '\n';
    if (stderrIsTheJournal())
        line.prepend(priority == LinePriority::Error ? "<3>" : "<6>");
    qsizetype written = 0;
    while (written < line.size()) {
        const ssize_t got =
            ::write(STDERR_FILENO, line.constData() + written, size_t(line.size() - written));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return;
        written += got;
    }
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
