// Operator dialogs for tests: every question is answered at once from a queue of answers
// (OK/Yes when the queue is empty), and everything shown is recorded in order. The font
// dialog is cancelled unless a test plays it.
#pragma once

#include "base/OperatorDialogs.h"

#include <QFont>
#include <QList>
#include <QStringList>

#include <functional>

class RecordingDialogs : public OperatorDialogs
{
public:
    // Installs a fresh recorder as the application's dialogs and returns it.
    static RecordingDialogs *install();

    void message(QWidget *owner, const QString &text) override;
    bool okCancel(QWidget *owner, const QString &caption, const QString &text) override;
    bool yesNo(QWidget *owner, const QString &caption, const QString &text) override;
    QString openFile(QWidget *owner, const QString &folder, const QString &filter) override;
    bool chooseFont(QWidget *owner, QFont &font) override;

    QStringList messages;      // plain message boxes, in order
    QStringList questions;     // captions and texts of OK/Cancel and Yes/No boxes
    QList<bool> answers;       // next answers to questions; empty means OK/Yes
    QString fileToOpen;        // what the file dialog returns
    QString lastFolder;        // the folder the file dialog was opened in
    QList<QFont> fontsOffered; // the font each font dialog opened with
    // Plays the font dialog; without it the dialog is cancelled.
    std::function<bool(QWidget *owner, QFont &font)> fontDialog;
    // Runs while a message box is "open", as the operator would take a while to press OK.
    std::function<void(const QString &text)> whileMessageShown;
};
