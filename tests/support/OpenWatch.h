#pragma once

// OpenWatch tells whether anything opened a file or device while it was watched: the kernel
// reports every open of the watched inode (inotify's IN_OPEN), so a test can show that code
// which must only look at a name never opened what the name leads to.

#include <QString>

class OpenWatch
{
public:
    // Watches what 'path' leads to (a symbolic link is followed).
    explicit OpenWatch(const QString &path);
    ~OpenWatch();
    OpenWatch(const OpenWatch &) = delete;
    OpenWatch &operator=(const OpenWatch &) = delete;

    bool watching() const { return m_watch >= 0; }
    // True when it was opened since the watch began.
    bool opened() const;

private:
    int m_fd = -1;
    int m_watch = -1;
};
