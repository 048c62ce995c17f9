// The Terminal menu and the pane's key handling: showing or hiding the pane, its colours and
// font, clearing it, and what a typed key sends to the unit.
#include "app/TamrinForm.h"

#include "app/TerminalPane.h"
#include "base/OperatorDialogs.h"
#include "link/SerialPort.h"
#include "link/TerminalBytes.h"

#include <QAction>
#include <QStatusBar>
#include <QTcpSocket>
#include <QTimer>

namespace {

constexpr int ShownClientHeight = 420;
constexpr int HiddenClientHeight = 139;

// Colour entries as the menus and the settings file number them: Default, Black, Red, Green,
// Blue, White. Default is silver text on black.
QColor entryColour(int entry, bool forText)
{
    switch (entry) {
    case 1:
        return QColor(0, 0, 0);
    case 2:
        return QColor(255, 0, 0);
    case 3:
        return QColor(0, 128, 0);
    case 4:
        return QColor(0, 0, 255);
    case 5:
        return QColor(255, 255, 255);
    default:
        return forText ? QColor(192, 192, 192) : QColor(0, 0, 0);
    }
}

bool sameChoice(const QFont &a, const QFont &b)
{
    return a.family() == b.family() && a.styleName() == b.styleName() &&
           a.pointSize() == b.pointSize();
}

} // namespace

void TTamrinForm::VisibleMenuClick()
{
    showTerminal(!VisibleMenu->isChecked());
}

void TTamrinForm::showTerminal(bool show)
{
    VisibleMenu->setChecked(show);
    setClientHeight(show ? ShownClientHeight : HiddenClientHeight);
}

void TTamrinForm::setTerminalBackground(int entry)
{
    if (entry >= 0 && entry <= 5)
        AdTerminal1->setBackgroundColour(entryColour(entry, false));
}

void TTamrinForm::setTerminalTextColour(int entry)
{
    if (entry >= 0 && entry <= 5)
        AdTerminal1->setTextColour(entryColour(entry, true));
}

// The dialog opens on the pane's own face, style and size. Its sizes are whole points, the
// pane's are pixels: OK with nothing changed leaves the pane's font exactly as it was.
void TTamrinForm::TerminalFonts1Click()
{
    const QFont offered = AdTerminal1->fontForDialog();
    QFont chosen = offered;
    if (!OperatorDialogs::current().chooseFont(this, chosen) || sameChoice(chosen, offered))
        return;
    AdTerminal1->setTerminalFont(chosen);
}

void TTamrinForm::Clear1Click()
{
    AdTerminal1->ClearAll();
}

void TTamrinForm::AdTerminal1DblClick()
{
    AdTerminal1->ClearAll();
}

// A typed key goes to the unit through the link, which refuses it during a run (a key would
// land inside a command or a file's data): neither sent nor echoed then. Always consumed.
bool TTamrinForm::AdTerminal1KeyPress(char &key)
{
    AdTerminal1->WriteString(m_link->typeKey(key));
    return true;
}
