#include "OpenWatch.h"

#include <QFile>

#include <sys/inotify.h>
#include <unistd.h>

#include <array>

OpenWatch::OpenWatch(const QString &path)
{
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd >= 0)
        m_watch = ::inotify_add_watch(m_fd, QFile::encodeName(path).constData(), IN_OPEN);
}

OpenWatch::~OpenWatch()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

// Only IN_OPEN is asked for, so any event read is an open.
bool OpenWatch::opened() const
{
    alignas(inotify_event) std::array<char, 4096> events{};
    return m_fd >= 0 && ::read(m_fd, events.data(), events.size()) > 0;
}
