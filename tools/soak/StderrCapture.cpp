// Moving file descriptor 2 to a file and back.
#include "StderrCapture.h"

#include <QFile>

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

StderrCapture::~StderrCapture()
{
    finish();
}

bool StderrCapture::start(const QString &path)
{
    const int file = ::open(QFile::encodeName(path).constData(),
                            O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0600);
    if (file < 0)
        return false;
    std::fflush(stderr);
    m_saved = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
    const bool moved = m_saved >= 0 && ::dup2(file, STDERR_FILENO) >= 0;
    ::close(file);
    if (!moved && m_saved >= 0) {
        ::close(m_saved);
        m_saved = -1;
    }
    m_path = path;
    return moved;
}

QByteArray StderrCapture::finish()
{
    if (m_saved < 0)
        return QByteArray();
    std::fflush(stderr);
    ::dup2(m_saved, STDERR_FILENO);
    ::close(m_saved);
    m_saved = -1;
    QFile file(m_path);
    const QByteArray caught = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    std::fwrite(caught.constData(), 1, size_t(caught.size()), stderr);
    return caught;
}

std::FILE *StderrCapture::lastingStderr()
{
    static std::FILE *const copy = [] {
        std::FILE *stream = ::fdopen(::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0), "w");
        if (stream == nullptr)
            return stderr;
        std::setvbuf(stream, nullptr, _IONBF, 0);
        return stream;
    }();
    return copy;
}
