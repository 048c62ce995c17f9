#include "PtyEndpoint.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int BackOffMs = 10;
constexpr int HangupPollMs = 10;
constexpr qint64 ReadSliceSize = 4096;

QString systemError(const QString &what)
{
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
}

bool setNonBlockingCloseOnExec(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 &&
           ::fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

} // namespace

PtyEndpoint::PtyEndpoint(QObject *parent) : UnitEndpoint(parent)
{
    backOffTimer_.setSingleShot(true);
    backOffTimer_.setInterval(BackOffMs);
    connect(&backOffTimer_, &QTimer::timeout, this, &PtyEndpoint::updateReadNotifier);
    hangupWaitTimer_.setInterval(HangupPollMs);
    connect(&hangupWaitTimer_, &QTimer::timeout, this, &PtyEndpoint::hangUpIfRead);
}

PtyEndpoint::~PtyEndpoint()
{
    release();
    closePair();
    if (!linkPath_.isEmpty())
        QFile::remove(linkPath_);
}

bool PtyEndpoint::open(const QString &linkPath, QString *error)
{
    linkPath_ = QFileInfo(linkPath).absoluteFilePath();
    if (!createPair(error) || !createLink(error)) {
        closePair();
        return false;
    }
    return true;
}

bool PtyEndpoint::reopen(QString *error)
{
    if (linkPath_.isEmpty()) {
        *error = QStringLiteral("no pty was opened");
        return false;
    }
    hangUp();
    return open(linkPath_, error);
}

bool PtyEndpoint::hold(QString *error)
{
    if (!isConnected()) {
        *error = QStringLiteral("the pty is hung up");
        return false;
    }
    if (isHeld())
        return true;
    // QSerialPort names its lock file after the path it was given, so take both names
    // a client may use.
    for (const QString &path : {linkPath_, slaveDevice_}) {
        auto port = std::make_unique<QSerialPort>(path);
        if (!port->open(QIODevice::ReadWrite)) {
            *error = QStringLiteral("cannot hold %1: %2").arg(path, port->errorString());
            release();
            return false;
        }
        // The holder swallows what the unit sends, as the other program would.
        QSerialPort *holder = port.get();
        connect(holder, &QSerialPort::readyRead, holder, [holder] { holder->readAll(); });
        holders_.push_back(std::move(port));
    }
    return true;
}

void PtyEndpoint::release()
{
    holders_.clear();
}

QByteArray PtyEndpoint::read(qint64 maxBytes)
{
    if (masterFd_ < 0 || maxBytes <= 0)
        return {};
    std::array<char, ReadSliceSize> buffer;
    const ssize_t count = ::read(masterFd_, buffer.data(), std::min(maxBytes, ReadSliceSize));
    if (count > 0)
        return QByteArray(buffer.data(), count);
    if (count < 0 && errno != EAGAIN && errno != EINTR)
        backOff();
    return {};
}

bool PtyEndpoint::hasClient()
{
    // The client's open is queued before anything it writes reaches the master, so
    // reading the queue now cannot miss a client that is waiting for an answer.
    countClients();
    return !clientCount_ || *clientCount_ > 0;
}

void PtyEndpoint::write(const QByteArray &bytes)
{
    if (masterFd_ < 0 || !hasClient())
        return;
    outgoing_.append(bytes.left(std::max<qint64>(0, MaxPendingOutput - outgoing_.size())));
    writePending();
}

void PtyEndpoint::setPaced(bool paced)
{
    paced_ = paced;
    updateReadNotifier();
}

void PtyEndpoint::hangUp()
{
    const bool wasOpen = isConnected();
    release();
    closePair();
    if (!linkPath_.isEmpty())
        QFile::remove(linkPath_);
    if (wasOpen)
        emit connectionLost();
}

// Checked on a timer, not at once: bytes just written may still be on their way from the
// master to the slave's queue.
void PtyEndpoint::hangUpAfterSending()
{
    if (!isConnected() || hangupWaitTimer_.isActive())
        return;
    hangupDeadline_ = QDeadlineTimer(MaxHangupWaitMs);
    hangupWaitTimer_.start();
}

void PtyEndpoint::hangUpIfRead()
{
    const bool stillOnItsWay = !outgoing_.isEmpty() || unreadByClient() > 0;
    if (stillOnItsWay && hasClient() && !hangupDeadline_.hasExpired())
        return;
    hangUp();
}

// What waits in the slave's input queue, which every opener of the slave shares.
int PtyEndpoint::unreadByClient() const
{
    int count = 0;
    if (slaveFd_ < 0 || ::ioctl(slaveFd_, FIONREAD, &count) != 0)
        return 0;
    return count;
}

bool PtyEndpoint::createPair(QString *error)
{
    masterFd_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (masterFd_ < 0) {
        *error = systemError(QStringLiteral("posix_openpt"));
        return false;
    }
    std::array<char, 128> name{};
    if (::grantpt(masterFd_) != 0 || ::unlockpt(masterFd_) != 0 ||
        ::ptsname_r(masterFd_, name.data(), name.size()) != 0 ||
        !setNonBlockingCloseOnExec(masterFd_)) {
        *error = systemError(QStringLiteral("preparing the pty"));
        return false;
    }
    slaveDevice_ = QString::fromLocal8Bit(name.data());
    slaveFd_ = ::open(name.data(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios settings{};
    if (slaveFd_ < 0 || ::tcgetattr(slaveFd_, &settings) != 0) {
        *error = systemError(QStringLiteral("opening %1").arg(slaveDevice_));
        return false;
    }
    // Raw: no echo, no line editing, no CR/LF translation by the line discipline.
    ::cfmakeraw(&settings);
    if (::tcsetattr(slaveFd_, TCSANOW, &settings) != 0) {
        *error = systemError(QStringLiteral("setting %1 raw").arg(slaveDevice_));
        return false;
    }
    readNotifier_ = std::make_unique<QSocketNotifier>(masterFd_, QSocketNotifier::Read);
    connect(readNotifier_.get(), &QSocketNotifier::activated, this, &UnitEndpoint::readyRead);
    writeNotifier_ = std::make_unique<QSocketNotifier>(masterFd_, QSocketNotifier::Write);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_.get(), &QSocketNotifier::activated, this, &PtyEndpoint::writePending);
    updateReadNotifier();
    watchClients();
    return true;
}

// Set up before the symlink exists, so no client can open the slave unseen.
void PtyEndpoint::watchClients()
{
    clientCount_ = std::nullopt;
    clientWatchFd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (clientWatchFd_ < 0)
        return;
    if (::inotify_add_watch(clientWatchFd_, QFile::encodeName(slaveDevice_).constData(),
                            IN_OPEN | IN_CLOSE) < 0) {
        ::close(clientWatchFd_);
        clientWatchFd_ = -1;
        return;
    }
    clientCount_ = 0;
    clientNotifier_ = std::make_unique<QSocketNotifier>(clientWatchFd_, QSocketNotifier::Read);
    connect(clientNotifier_.get(), &QSocketNotifier::activated, this, &PtyEndpoint::countClients);
}

void PtyEndpoint::countClients()
{
    if (clientWatchFd_ < 0)
        return;
    alignas(inotify_event) std::array<char, 4096> buffer;
    ssize_t count;
    while ((count = ::read(clientWatchFd_, buffer.data(), buffer.size())) > 0) {
        const int before = clientCount_.value_or(1);
        for (ssize_t offset = 0; offset + ssize_t(sizeof(inotify_event)) <= count;) {
            inotify_event event;
            std::memcpy(&event, buffer.data() + offset, sizeof event);
            offset += sizeof event + event.len;
            if (event.mask & IN_Q_OVERFLOW)
                clientCount_ = std::nullopt;
            else if (clientCount_ && (event.mask & IN_OPEN))
                ++*clientCount_;
            else if (clientCount_ && (event.mask & IN_CLOSE))
                *clientCount_ = std::max(0, *clientCount_ - 1);
        }
        // The last client closed: like a closed port, the line keeps nothing for the next.
        if (before > 0 && clientCount_ == 0) {
            outgoing_.clear();
            ::tcflush(slaveFd_, TCIFLUSH);
        }
    }
}

bool PtyEndpoint::createLink(QString *error)
{
    const QFileInfo link(linkPath_);
    if (!QDir().mkpath(link.absolutePath())) {
        *error = QStringLiteral("cannot create %1").arg(link.absolutePath());
        return false;
    }
    if (link.isSymLink())
        QFile::remove(linkPath_);
    else if (link.exists()) {
        *error = QStringLiteral("%1 exists and is not a symlink").arg(linkPath_);
        return false;
    }
    if (::symlink(QFile::encodeName(slaveDevice_).constData(),
                  QFile::encodeName(linkPath_).constData()) != 0) {
        *error = systemError(QStringLiteral("symlink %1").arg(linkPath_));
        return false;
    }
    return true;
}

void PtyEndpoint::closePair()
{
    backOffTimer_.stop();
    hangupWaitTimer_.stop();
    readNotifier_.reset();
    writeNotifier_.reset();
    clientNotifier_.reset();
    if (clientWatchFd_ >= 0)
        ::close(clientWatchFd_);
    clientWatchFd_ = -1;
    clientCount_ = std::nullopt;
    outgoing_.clear();
    if (slaveFd_ >= 0)
        ::close(slaveFd_);
    if (masterFd_ >= 0)
        ::close(masterFd_);
    slaveFd_ = -1;
    masterFd_ = -1;
}

void PtyEndpoint::writePending()
{
    while (!outgoing_.isEmpty() && masterFd_ >= 0) {
        const ssize_t count = ::write(masterFd_, outgoing_.constData(), outgoing_.size());
        if (count > 0) {
            outgoing_.remove(0, count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && errno != EAGAIN)
            outgoing_.clear();
        break;
    }
    if (writeNotifier_)
        writeNotifier_->setEnabled(!outgoing_.isEmpty());
}

// A master with no slave open reports EIO and stays readable; without a pause the
// notifier would fire in a tight loop.
void PtyEndpoint::backOff()
{
    if (readNotifier_)
        readNotifier_->setEnabled(false);
    backOffTimer_.start();
}

void PtyEndpoint::updateReadNotifier()
{
    if (readNotifier_)
        readNotifier_->setEnabled(!paced_ && !backOffTimer_.isActive());
}
