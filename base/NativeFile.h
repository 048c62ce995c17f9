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
// opened or is no regular file. Only a regular file is ever opened: a folder, a device such as
// /dev/zero or a serial port, or a FIFO is refused from what stat() says of the name, so no
// device is touched (opening a serial port resets many boards) and nothing blocks. The file
// opened is checked again, and it never becomes a controlling terminal.
bool openForReading(QFile &file, const QByteArray &name);

} // namespace NativeFile
