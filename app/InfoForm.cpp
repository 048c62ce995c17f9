#include "app/InfoForm.h"

#include "app/CaptionBar.h"
#include "app/WindowLook.h"
#include "base/Timing.h"

#include <QLabel>

namespace {

constexpr int LargestPixels = 16;
constexpr int SmallestPixels = 10;

} // namespace

TInfoForm::TInfoForm(QWidget *parent)
    : QWidget(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setWindowTitle(QStringLiteral("Information"));
    setFixedSize(472, 52);
    m_label = new QLabel(QStringLiteral("Checking COM Ports Please wait...."), this);
    m_label->setGeometry(8, 16, 457, 25);
    m_label->setAlignment(Qt::AlignCenter);
    QFont font = WindowLook::sansFont(QStringLiteral("MS Sans Serif"), LargestPixels);
    font.setBold(true);
    m_label->setFont(font);
    CaptionBar::install(this);
    Timing::pump();
}

// 16 pixels high, or smaller until the whole text fits the label.
void TInfoForm::setText(const QString &text)
{
    QFont font = m_label->font();
    for (int pixels = LargestPixels; pixels >= SmallestPixels; --pixels) {
        font.setPixelSize(pixels);
        if (QFontMetrics(font).horizontalAdvance(text) <= m_label->width())
            break;
    }
    m_label->setFont(font);
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
