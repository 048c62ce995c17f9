#include "BrandSettings.h"

#include <QDir>
#include <QFile>

bool writeBrandSettings(const QString &folder, const QByteArray &line23)
{
    QFile settings(QDir(folder).filePath(QStringLiteral("LoaderDefault.ini")));
    if (!settings.open(QIODevice::WriteOnly))
        return false;
    for (int line = 1; line < 23; ++line)
        settings.write("Line\n");
    settings.write(line23 + '\n');
    return true;
}
