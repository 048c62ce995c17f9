// What Tamrin's windows share in how they look: the program's icon, the fonts the layout names
// (each a plain upright sans where the machine lacks it), how wide a window must be for the
// window manager to show its caption whole, and where a box opens.
//
// The layout was drawn for "MS Sans Serif" and "Comic Sans MS", which a Linux machine rarely
// has. Left to fontconfig, a missing family becomes whatever it finds most alike, and for
// "Comic Sans MS" that is a calligraphic italic (Z003) where the URW fonts are installed. So a
// missing family is replaced by style: Liberation Sans (drawn to Arial's widths, close to those
// the layout was measured in), else DejaVu Sans, else any sans-serif face.
#pragma once

#include <QFont>

class QLabel;
class QString;
class QWidget;

namespace WindowLook {

// What a title bar holds besides the caption: the window-menu icon and three buttons, about
// 24 pixels each, and a margin of 8 pixels at each end.
constexpr int TitleBarFurniture = 4 * 24 + 2 * 8;

// The room between a caption and its value.
constexpr int CaptionGap = 6;

// Every window, and every box, carries the program's icon (:/artwork/tamrin.png).
void useProgramIcon();

// The family at that pixel size where the machine has it, else a plain upright sans.
QFont sansFont(const QString &family, int pixels);

// Where a value drawn to start at 'designedLeft' starts, clear of its caption in the font the
// machine has.
int besideCaption(const QLabel *caption, int designedLeft);

// The font a window manager draws captions in, as the platform names it, in bold.
QFont captionFont();
// The width a window needs for its whole caption and its title bar's buttons.
int widthForCaption(const QString &caption);

// Moves a window that is about to appear to the middle of its owner when the owner is on
// screen, else to the middle of the screen.
void centre(QWidget *window, const QWidget *owner);

} // namespace WindowLook
