#include "ControlInput.h"

#include <array>
#include <cerrno>
#include <unistd.h>
#include <utility>

ControlInput::ControlInput(int fd, QObject *parent)
    : QObject(parent), fd_(fd), notifier_(fd, QSocketNotifier::Read)
{
    connect(&notifier_, &QSocketNotifier::activated, this, &ControlInput::readAvailable);
}

// One read per notification: it cannot block, and the descriptor stays in blocking
// mode for whoever else shares it (a terminal, for one).
void ControlInput::readAvailable()
{
    std::array<char, 4096> buffer;
    const ssize_t count = ::read(fd_, buffer.data(), buffer.size());
    if (count < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (count <= 0) {
        notifier_.setEnabled(false);
        if (!pending_.isEmpty())
            emit lineReceived(QString::fromUtf8(std::exchange(pending_, {})));
        emit finished();
        return;
    }
    pending_.append(buffer.data(), count);
    emitCompleteLines();
}

void ControlInput::emitCompleteLines()
{
    for (qsizetype end = pending_.indexOf('\n'); end >= 0; end = pending_.indexOf('\n')) {
        const QByteArray line = pending_.left(std::min<qsizetype>(end, MaxLineLength));
        pending_.remove(0, end + 1);
        emit lineReceived(QString::fromUtf8(line).remove(QLatin1Char('\r')));
    }
    // A line that never ends is cut rather than allowed to grow without limit.
    if (pending_.size() > MaxLineLength)
        pending_.truncate(MaxLineLength);
}
