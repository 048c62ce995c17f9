#include "upload/NativeFile.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

namespace NativeFile {

bool openForReading(QFile &file, const QByteArray &name)
{
    if (name.isEmpty() || name.contains('\0'))
        return false;
    // Non-blocking only for the open itself: a FIFO nobody writes would otherwise hold the
    // open call forever.
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0 ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

} // namespace NativeFile
