// The operator dialogs of a station with nobody at it: a message box counts as acknowledged
// at once (its text is on standard error already), a question is answered with its safe
// answer, Cancel or No. The file and font pickers stay those of the screen.
#pragma once

#include "app/QtOperatorDialogs.h"

class UnattendedDialogs : public QtOperatorDialogs
{
public:
    void message(QWidget *owner, const QString &text) override;
    bool okCancel(QWidget *owner, const QString &caption, const QString &text) override;
    bool yesNo(QWidget *owner, const QString &caption, const QString &text) override;
};
