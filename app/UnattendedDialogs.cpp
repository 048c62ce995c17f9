#include "app/UnattendedDialogs.h"

void UnattendedDialogs::message(QWidget *, const QString &) {}

bool UnattendedDialogs::okCancel(QWidget *, const QString &, const QString &)
{
    return false;
}

bool UnattendedDialogs::yesNo(QWidget *, const QString &, const QString &)
{
    return false;
}
