#include "app/QtOperatorDialogs.h"

#include <QFileDialog>
#include <QFontDialog>
#include <QMessageBox>

namespace {

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
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Tamrin"), text, QMessageBox::Ok, owner);
    box.exec();
}

bool QtOperatorDialogs::okCancel(QWidget *owner, const QString &caption, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok | QMessageBox::Cancel,
                    owner);
    return box.exec() == QMessageBox::Ok;
}

bool QtOperatorDialogs::yesNo(QWidget *owner, const QString &caption, const QString &text)
{
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                    owner);
    return box.exec() == QMessageBox::Yes;
}

QString QtOperatorDialogs::openFile(QWidget *owner, const QString &folder, const QString &filter)
{
    return QFileDialog::getOpenFileName(owner, QString(), folder, qtFilter(filter));
}

bool QtOperatorDialogs::chooseFont(QWidget *owner, QFont &font)
{
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, font, owner);
    if (ok)
        font = chosen;
    return ok;
}
