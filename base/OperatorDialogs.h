// Everything Tamrin asks of the operator goes through one OperatorDialogs object: message
// boxes, OK/Cancel and Yes/No questions, and the file and font pickers. The program installs
// the Qt implementation (app/QtOperatorDialogs), or at an unattended station one that never
// waits; tests install their own that answers at once and records what was asked. Until one
// is installed nobody answers: questions get Cancel or No.
//
// Every message box and question text is also written to standard error as one line
// beginning "Tamrin: ", with CR and LF shown as blanks, and so is the operator's answer to a
// question ("Tamrin: answered OK"), so that an unattended run can be diagnosed.
#pragma once

#include <QFont>
#include <QString>

class QWidget;

class OperatorDialogs
{
public:
    virtual ~OperatorDialogs() = default;

    // Plain modal message box: caption "Tamrin", one OK button.
    virtual void message(QWidget *owner, const QString &text) = 0;
    // True when the operator chose OK; any other way of closing counts as Cancel.
    virtual bool okCancel(QWidget *owner, const QString &caption, const QString &text) = 0;
    virtual bool yesNo(QWidget *owner, const QString &caption, const QString &text) = 0;
    // Empty when the operator cancelled.
    virtual QString openFile(QWidget *owner, const QString &folder, const QString &filter) = 0;
    // True with the chosen font in 'font'; false (font untouched) on Cancel.
    virtual bool chooseFont(QWidget *owner, QFont &font) = 0;

    // Closes the boxes of this implementation that are open now, each as if answered Cancel
    // or No (stopAsking). Dialogs that never leave a box open have nothing to close.
    virtual void closeOpenBoxes() {}

    static OperatorDialogs &current();
    // Takes ownership; the previous implementation is deleted.
    static void install(OperatorDialogs *dialogs);
    // The run is being ended (time limit, signal): from now on nobody is asked. Boxes only go
    // to standard error and count as acknowledged, questions get Cancel or No, and a box open
    // now closes as if so answered (the installed dialogs close it: closeOpenBoxes). Installing
    // dialogs asks again.
    static void stopAsking();
};

// Shows a plain message box through the installed dialogs, after echoing it to stderr.
void ShowMessage(QWidget *owner, const QString &text);
// Ask through the installed dialogs, echoing the question and the answer to stderr.
bool AskOkCancel(QWidget *owner, const QString &caption, const QString &text);
bool AskYesNo(QWidget *owner, const QString &caption, const QString &text);

// The one-line stderr form of a message: "Tamrin: " + text with CR and LF as blanks.
QString stderrLine(const QString &text);
// How a line ranks in the system log.
enum class LinePriority
{
    Error,
    Info
};
// Writes that line to standard error at once: the messages, and the records of uploads and
// runs that a supervisor keeps. When standard error is the journal (JOURNAL_STREAM names it),
// the line begins with its syslog priority, "<3>" for an error and "<6>" otherwise, so that
// `journalctl -p err` lists the failures. Without a priority, a message is an error when it
// says so ("Error!", "Timeout error!", "Upload cancelled").
void WriteStderrLine(const QString &text);
void WriteStderrLine(const QString &text, LinePriority priority);
