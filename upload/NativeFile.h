// Files to upload are named by bytes, exactly as the script wrote them. A Linux file name may
// be any sequence of bytes, and a QString cannot carry every one of them (a lone byte E9 is
// not UTF-8), so these files are opened by their bytes with the system's own call and handed
// to QFile as an open descriptor. Nothing between the script and the open call re-encodes
// the name.
#pragma once

#include <QByteArray>

class QFile;

namespace NativeFile {

// Opens the file called 'name' for binary reading into 'file'; false when it cannot be
// opened or is no regular file. A folder, a device such as /dev/zero or a FIFO is refused:
// reading one could block forever or never end. The open itself never blocks.
bool openForReading(QFile &file, const QByteArray &name);

} // namespace NativeFile
