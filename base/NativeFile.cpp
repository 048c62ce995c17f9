#include "base/NativeFile.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace NativeFile {

bool openForReading(QFile &file, const QByteArray &name)
{
    if (name.isEmpty() || name.contains('\0'))
        return false;
    // Looked at before it is opened: opening a serial device toggles its modem lines, which
    // resets many boards, and a FIFO nobody writes could hold the open call.
    struct stat named
    {
    };
    if (::stat(name.constData(), &named) != 0 || !S_ISREG(named.st_mode))
        return false;
    // The name may have been given to something else in between: what was opened is looked at
    // again. No controlling terminal and no wait, whatever it turned out to be.
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat opened
    {
    };
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

} // namespace NativeFile
