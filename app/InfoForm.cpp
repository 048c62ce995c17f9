#include "app/InfoForm.h"

#include "link/Timing.h"

#include <QLabel>

TInfoForm::TInfoForm(QWidget *parent)
    : QWidget(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setWindowTitle(QStringLiteral("Information"));
    setFixedSize(472, 52);
    m_label = new QLabel(QStringLiteral("Checking COM Ports Please wait...."), this);
    m_label->setGeometry(8, 16, 457, 25);
    m_label->setAlignment(Qt::AlignCenter);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(16);
    font.setBold(true);
    m_label->setFont(font);
    Timing::pump();
}

void TInfoForm::setText(const QString &text)
{
    m_label->setText(text);
}

QString TInfoForm::text() const
{
    return m_label->text();
}

void TInfoForm::showNotice()
{
    show();
    Timing::pump();
}

void TInfoForm::hideNotice()
{
    hide();
}
