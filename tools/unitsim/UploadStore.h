#pragma once

// UploadStore keeps what the unit received in its uploads: upload-<n>.bin holds the
// data, upload-<n>.txt the header line that announced it, so a test can compare both
// with what Tamrin meant to send.

#include "UnitProtocol.h"

#include <QString>

class UploadStore
{
public:
    void setFolder(const QString &folder) { folder_ = folder; }
    QString folder() const { return folder_; }

    QString dataPath(int number) const;
    QString headerPath(int number) const;
    bool store(const UnitProtocol::Upload &upload, QString *error) const;

    // The stdout line that reports a stored upload.
    QString logLine(const UnitProtocol::Upload &upload) const;

private:
    QString folder_ = QStringLiteral(".");
};
