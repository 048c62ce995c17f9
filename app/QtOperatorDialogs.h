// The operator dialogs as the running application shows them: Qt's modal message boxes,
// file dialog and font dialog. A box opens as wide as its caption needs, in the middle of its
// owner once the owner is on screen, else in the middle of the screen. While a window of the
// program that stays on top is showing, every dialog belongs to it instead of the owner named,
// so that the dialog waiting for the operator is the topmost window of the program.
#pragma once

#include "base/OperatorDialogs.h"

class QtOperatorDialogs : public OperatorDialogs
{
public:
    void message(QWidget *owner, const QString &text) override;
    bool okCancel(QWidget *owner, const QString &caption, const QString &text) override;
    bool yesNo(QWidget *owner, const QString &caption, const QString &text) override;
    QString openFile(QWidget *owner, const QString &folder, const QString &filter) override;
    bool chooseFont(QWidget *owner, QFont &font) override;
    // Every message box on screen is one of these dialogs' own.
    void closeOpenBoxes() override;
};
