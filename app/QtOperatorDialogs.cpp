#include "app/QtOperatorDialogs.h"

#include "app/WindowLook.h"

#include <QApplication>
#include <QFileDialog>
#include <QFontDialog>
#include <QGridLayout>
#include <QMessageBox>

namespace {

// The window a dialog belongs to. A window of the program that stays on top of the others (the
// Information notice during a port check, the Ethernet dialog) would hide a dialog that
// belongs to any other window, which then waits unseen for a key pressed blind: while one is
// up, the dialog belongs to it, the active one if it is such a window, else the last shown.
QWidget *topmostOwner(QWidget *owner)
{
    QWidget *onTop = nullptr;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || !window->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
            continue;
        if (window == QApplication::activeWindow())
            return window;
        onTop = window;
    }
    return onTop ? onTop : owner;
}

// A message box as wide as its caption needs, in the middle of its owner, or of the screen
// while the owner is not on screen yet (the main window's start-up runs before it is).
class OperatorBox : public QMessageBox
{
public:
    // The box belongs to the topmost of the program's windows, and stays on top with it.
    OperatorBox(Icon icon, const QString &caption, const QString &text, StandardButtons buttons,
                QWidget *owner)
        : QMessageBox(icon, caption, text, buttons, topmostOwner(owner))
    {
        if (parentWidget() && parentWidget()->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
            setWindowFlag(Qt::WindowStaysOnTopHint);
    }

protected:
    // Qt sizes the box to its layout here, before the window is mapped, and again whenever the
    // layout asks: a strut as wide as the caption needs joins the layout first.
    void showEvent(QShowEvent *event) override
    {
        if (auto *grid = qobject_cast<QGridLayout *>(layout())) {
            const QMargins margins = grid->contentsMargins();
            const int strut =
                WindowLook::widthForCaption(windowTitle()) - margins.left() - margins.right();
            grid->addItem(new QSpacerItem(strut, 0), grid->rowCount(), 0, 1, grid->columnCount());
        }
        QMessageBox::showEvent(event);
        WindowLook::centre(this, parentWidget());
    }
};

// Dialog filters are written "Label|pattern|Label|pattern"; Qt wants "Label (pattern);;...".
QString qtFilter(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList labels;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        labels << parts.at(i);
    return labels.join(QStringLiteral(";;"));
}

} // namespace

void QtOperatorDialogs::message(QWidget *owner, const QString &text)
{
    OperatorBox box(QMessageBox::NoIcon, QStringLiteral("Tamrin"), text, QMessageBox::Ok, owner);
    box.exec();
}

bool QtOperatorDialogs::okCancel(QWidget *owner, const QString &caption, const QString &text)
{
    OperatorBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok | QMessageBox::Cancel,
                    owner);
    return box.exec() == QMessageBox::Ok;
}

bool QtOperatorDialogs::yesNo(QWidget *owner, const QString &caption, const QString &text)
{
    OperatorBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                    owner);
    return box.exec() == QMessageBox::Yes;
}

QString QtOperatorDialogs::openFile(QWidget *owner, const QString &folder, const QString &filter)
{
    return QFileDialog::getOpenFileName(topmostOwner(owner), QString(), folder, qtFilter(filter));
}

bool QtOperatorDialogs::chooseFont(QWidget *owner, QFont &font)
{
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, font, topmostOwner(owner));
    if (ok)
        font = chosen;
    return ok;
}

void QtOperatorDialogs::closeOpenBoxes()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<QMessageBox *>(window); box && box->isVisible())
            box->done(0);
    }
}
