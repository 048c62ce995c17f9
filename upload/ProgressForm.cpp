#include "upload/ProgressForm.h"

#include "link/Timing.h"

TProgressForm::TProgressForm(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setWindowTitle(QStringLiteral("Quenby Research Inc. :- File Upload Progress"));
    setFixedSize(430, 154);
    move(0, 0);
}

void TProgressForm::HideProgressForm()
{
    if (isVisible())
        hide();
    Timing::pump();
}
