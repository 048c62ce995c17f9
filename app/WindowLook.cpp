// The substitutions for a missing family are registered the first time a window asks for it;
// a caption's width is measured in the platform's title font, since the window manager's own
// font cannot be asked for.
#include "app/WindowLook.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace WindowLook {

void useProgramIcon()
{
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/artwork/tamrin.png")));
}

// Qt tries a family's substitutes before fontconfig's guess; the style hint makes even that
// guess a sans-serif one.
QFont sansFont(const QString &family, int pixels)
{
    if (QFont::substitutes(family).isEmpty())
        QFont::insertSubstitutions(
            family, {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QFont font(family);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixels);
    return font;
}

int besideCaption(const QLabel *caption, int designedLeft)
{
    return std::max(designedLeft, caption->x() + caption->width() + CaptionGap);
}

QFont captionFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    font.setBold(true);
    return font;
}

int widthForCaption(const QString &caption)
{
    return QFontMetrics(captionFont()).horizontalAdvance(caption) + TitleBarFurniture;
}

// Before the owner's first expose it is not on screen, wherever it claims to be: the main
// window's start-up runs before the window manager has placed it. The frame the window
// manager will put round the window is taken to be the owner's.
void centre(QWidget *window, const QWidget *owner)
{
    const QWidget *ownerWindow = owner ? owner->window() : nullptr;
    const bool ownerShown =
        ownerWindow && ownerWindow->windowHandle() && ownerWindow->windowHandle()->isExposed();
    QRect area;
    if (ownerShown) {
        area = ownerWindow->frameGeometry();
    } else {
        const QScreen *screen = ownerWindow ? ownerWindow->screen() : window->screen();
        area = screen ? screen->availableGeometry() : QRect();
    }
    const QSize frame =
        ownerWindow ? ownerWindow->frameGeometry().size() - ownerWindow->size() : QSize(0, 0);
    if (area.isValid())
        window->move(area.center() - QPoint((window->width() + frame.width()) / 2,
                                            (window->height() + frame.height()) / 2));
}

} // namespace WindowLook
