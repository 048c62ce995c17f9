// A LoaderDefault.ini whose only line with a value is line 23, the brand: what a test needs to
// make the splash of one brand.
#pragma once

#include <QByteArray>
#include <QString>

// Writes it into 'folder'; false when it cannot be written.
bool writeBrandSettings(const QString &folder, const QByteArray &line23);
