#include "RecordingDialogs.h"

RecordingDialogs *RecordingDialogs::install()
{
    auto *dialogs = new RecordingDialogs;
    OperatorDialogs::install(dialogs);
    return dialogs;
}

void RecordingDialogs::message(QWidget *, const QString &text)
{
    messages << text;
    if (whileMessageShown)
        whileMessageShown(text);
}

bool RecordingDialogs::okCancel(QWidget *, const QString &caption, const QString &text)
{
    questions << caption + QStringLiteral(": ") + text;
    return answers.isEmpty() ? true : answers.takeFirst();
}

bool RecordingDialogs::yesNo(QWidget *, const QString &caption, const QString &text)
{
    questions << caption + QStringLiteral(": ") + text;
    return answers.isEmpty() ? true : answers.takeFirst();
}

QString RecordingDialogs::openFile(QWidget *, const QString &folder, const QString &)
{
    lastFolder = folder;
    return fileToOpen;
}

bool RecordingDialogs::chooseFont(QWidget *owner, QFont &font)
{
    fontsOffered << font;
    return fontDialog ? fontDialog(owner, font) : false;
}
