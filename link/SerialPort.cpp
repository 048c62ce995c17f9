// The serial port over QSerialPort, with the device lock, the reason a failed open gives, the
// output accounting and the loss handling described in SerialPort.h. The device lock is a
// flock() on a descriptor of the port's own, taken before QSerialPort opens the device and
// dropped after it closed it.
#include "link/SerialPort.h"

#include "base/Timing.h"
#include "link/PortNames.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

struct DeviceLock
{
    enum Result
    {
        Taken, // 'fd' keeps the lock until it is closed
        Held,  // another descriptor, of any program, has the device locked
        Failed // the device cannot be opened or locked, for the reason in 'error'
    };
    Result result = Failed;
    int fd = -1;
    int error = 0;
};

// Opens 'path' without becoming its controlling terminal and without waiting for carrier,
// and locks it without waiting.
DeviceLock takeDeviceLock(const QString &path)
{
    DeviceLock lock;
    lock.fd =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (lock.fd >= 0 && ::flock(lock.fd, LOCK_EX | LOCK_NB) == 0) {
        lock.result = DeviceLock::Taken;
        return lock;
    }
    lock.error = errno;
    if (lock.fd < 0)
        return lock;
    ::close(lock.fd);
    lock.fd = -1;
    if (lock.error == EWOULDBLOCK)
        lock.result = DeviceLock::Held;
    return lock;
}

// Why opening or locking the device itself failed with 'error'.
SerialPort::OpenFailure failureOf(int error)
{
    if (error == EACCES || error == EPERM)
        return SerialPort::OpenFailure::PermissionDenied;
    if (error == EWOULDBLOCK || error == EBUSY)
        return SerialPort::OpenFailure::Busy;
    return SerialPort::OpenFailure::Other;
}

// Once the device lock is ours the account may open the device: QSerialPort's PermissionError
// then means its lock file, or the exclusive-open flag, of another program.
SerialPort::OpenFailure failureOf(QSerialPort::SerialPortError error)
{
    return error == QSerialPort::PermissionError ? SerialPort::OpenFailure::Busy
                                                 : SerialPort::OpenFailure::Other;
}

QSerialPort::Parity qtParity(int code)
{
    switch (code) {
    case 1:
        return QSerialPort::OddParity;
    case 2:
        return QSerialPort::EvenParity;
    case 3:
        return QSerialPort::MarkParity;
    case 4:
        return QSerialPort::SpaceParity;
    default:
        return QSerialPort::NoParity;
    }
}

} // namespace

SerialPort::SerialPort(QObject *parent) : QObject(parent)
{
    connect(&m_port, &QSerialPort::readyRead, this, &SerialPort::onReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialPort::onError);
    connect(&m_port, &QSerialPort::bytesWritten, this, &SerialPort::bytesSent);
}

SerialPort::~SerialPort()
{
    close();
}

bool SerialPort::isAvailable(int portNumber)
{
    const QString path = PortNames::devicePath(portNumber);
    if (!PortNames::isSerialDevice(path))
        return false;
    const DeviceLock lock = takeDeviceLock(path);
    if (lock.result == DeviceLock::Held)
        return true;
    // A device that refuses to open for a reason other than its absence is there.
    if (lock.result == DeviceLock::Failed)
        return failureOf(lock.error) != OpenFailure::Other;
    QSerialPort probe(path);
    const bool opened = probe.open(QIODevice::ReadWrite);
    if (opened)
        probe.close();
    ::close(lock.fd);
    return opened || probe.error() == QSerialPort::PermissionError;
}

// Sets the error text and the failure when COMn names no terminal device: nothing, a link
// whose target is gone, or a FIFO, a file, a folder or another kind of device, which is
// never opened.
bool SerialPort::leadsToSerialDevice(const QString &path)
{
    if (PortNames::isSerialDevice(path))
        return true;
    m_openFailure = OpenFailure::Other;
    if (path.isEmpty())
        m_errorString = QStringLiteral("no device for COM%1").arg(m_portNumber);
    else if (!QFileInfo::exists(path))
        m_errorString = QStringLiteral("%1: not present").arg(path);
    else
        m_errorString = QStringLiteral("%1: not a serial device").arg(path);
    return false;
}

// Sets the error text and the failure when the lock cannot be had.
bool SerialPort::lockDevice(const QString &path)
{
    const DeviceLock lock = takeDeviceLock(path);
    m_lockFd = lock.fd;
    if (lock.result != DeviceLock::Taken)
        m_openFailure = failureOf(lock.error);
    if (lock.result == DeviceLock::Held)
        m_errorString = QStringLiteral("%1: device is held by another program").arg(path);
    else if (lock.result == DeviceLock::Failed)
        m_errorString = QStringLiteral("%1: %2").arg(path, qt_error_string(lock.error));
    return lock.result == DeviceLock::Taken;
}

void SerialPort::unlockDevice()
{
    if (m_lockFd >= 0)
        ::close(m_lockFd);
    m_lockFd = -1;
}

bool SerialPort::open()
{
    if (m_port.isOpen())
        return true;
    m_lossPending = false;
    m_openFailure = OpenFailure::None;
    const QString path = PortNames::devicePath(m_portNumber);
    if (!leadsToSerialDevice(path))
        return false;
    if (!lockDevice(path))
        return false;
    m_devicePath = path;
    m_port.setPortName(path);
    m_port.setReadBufferSize(InputBufferSize);
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_errorString = m_port.errorString();
        m_openFailure = failureOf(m_port.error());
        unlockDevice();
        return false;
    }
    applySettings();
    m_port.setFlowControl(QSerialPort::HardwareControl);
    return true;
}

void SerialPort::close()
{
    if (m_port.isOpen())
        m_port.close();
    unlockDevice();
}

bool SerialPort::isOpen() const
{
    return m_port.isOpen();
}

bool SerialPort::setPortNumber(int portNumber)
{
    if (portNumber == m_portNumber)
        return true;
    const bool wasOpen = isOpen();
    close();
    m_portNumber = portNumber;
    return !wasOpen || open();
}

void SerialPort::applySettings()
{
    m_port.setBaudRate(m_baudRate);
    m_port.setDataBits(QSerialPort::DataBits(m_dataBits));
    m_port.setParity(qtParity(m_parity));
    m_port.setStopBits(m_stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
}

void SerialPort::setBaudRate(int baud)
{
    if (baud == m_baudRate)
        return;
    m_baudRate = baud;
    if (isOpen())
        m_port.setBaudRate(baud);
}

void SerialPort::setDataBits(int bits)
{
    m_dataBits = bits;
    if (isOpen())
        m_port.setDataBits(QSerialPort::DataBits(bits));
}

void SerialPort::setParity(int code)
{
    m_parity = code;
    if (isOpen())
        m_port.setParity(qtParity(code));
}

void SerialPort::setStopBits(int bits)
{
    m_stopBits = bits;
    if (isOpen())
        m_port.setStopBits(bits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
}

int SerialPort::driverOutputQueue() const
{
    int queued = 0;
    if (!isOpen() || ::ioctl(int(m_port.handle()), TIOCOUTQ, &queued) != 0)
        return 0;
    return std::max(queued, 0);
}

int SerialPort::outputUsed() const
{
    if (!isOpen())
        return 0;
    return int(std::min<qint64>(m_port.bytesToWrite() + driverOutputQueue(), 65535));
}

int SerialPort::outputFree() const
{
    return std::max(OutputBufferSize - outputUsed(), 0);
}

bool SerialPort::putBlock(QByteArrayView bytes)
{
    if (!isOpen() || bytes.size() > outputFree())
        return false;
    if (bytes.isEmpty())
        return true;
    m_port.write(bytes.data(), bytes.size());
    m_port.flush();
    return true;
}

void SerialPort::addReceiver(Receiver receiver)
{
    m_receivers.push_back(std::move(receiver));
}

void SerialPort::setListener(std::function<void(QByteArrayView)> listener)
{
    m_listener = std::move(listener);
}

void SerialPort::heard(QByteArrayView bytes)
{
    if (m_listener && !bytes.isEmpty())
        m_listener(bytes);
}

void SerialPort::onReadyRead()
{
    if (m_waiting || m_delivering)
        return;
    m_delivering = true;
    while (isOpen() && m_port.bytesAvailable() > 0) {
        const QByteArray delivery = m_port.peek(m_port.bytesAvailable());
        int largest = 0;
        for (const Receiver &receiver : m_receivers)
            largest = std::max(largest, receiver(delivery));
        if (largest <= 0)
            break;
        heard(QByteArrayView(delivery).first(std::min<qint64>(largest, delivery.size())));
        m_port.skip(std::min<qint64>(largest, delivery.size()));
        emit bytesReceived();
    }
    rearmReading();
    m_delivering = false;
}

// QSerialPort stops reading from the device once its input buffer is full, and on Linux
// nothing but setting the buffer size starts it again.
void SerialPort::rearmReading()
{
    if (isOpen() && m_port.bytesAvailable() < InputBufferSize)
        m_port.setReadBufferSize(InputBufferSize);
}

bool SerialPort::charReady()
{
    return isOpen() && m_port.bytesAvailable() > 0;
}

char SerialPort::readChar()
{
    char c = '\0';
    if (isOpen() && m_port.getChar(&c))
        heard(QByteArrayView(&c, 1));
    return c;
}

bool SerialPort::waitForText(QByteArrayView text, int ticks, const std::function<bool()> &stop)
{
    if (!isOpen() || text.isEmpty())
        return false;
    m_waiting = true;
    const qint64 lastTick = Timing::nowMs() / Timing::TickMs + ticks;
    QByteArray window;
    bool found = false;
    const auto textArrived = [&] {
        while (!found && charReady()) {
            window.append(readChar());
            if (window.size() > text.size())
                window.remove(0, window.size() - text.size());
            found = window == text;
        }
        return found;
    };
    Timing::PollWait(textArrived, Timing::pastTick(lastTick))
        .stopWhen([&] { return !isOpen() || (stop && stop()); })
        .run();
    m_waiting = false;
    return found;
}

void SerialPort::flushInput()
{
    if (!isOpen())
        return;
    if (m_listener) {
        // What would be dropped is heard first: Qt's buffer, then what the driver holds.
        m_port.waitForReadyRead(0);
        heard(m_port.readAll());
    }
    m_port.clear(QSerialPort::Input);
    rearmReading();
}

void SerialPort::flushOutput()
{
    // A pseudo-terminal hands each byte straight to the program at its other end, and
    // flushing its output would destroy bytes that program has not read yet: there is no
    // line queue to discard.
    if (isOpen() && lineStates().hasModemLines)
        m_port.clear(QSerialPort::Output);
}

void SerialPort::processCommunications()
{
    if (!isOpen())
        return;
    m_port.flush();
    Timing::pump();
}

SerialPort::LineStates SerialPort::lineStates() const
{
    LineStates states;
    int bits = 0;
    if (!isOpen() || ::ioctl(int(m_port.handle()), TIOCMGET, &bits) != 0) {
        // No modem lines to read: nothing holds the sender back.
        states.cts = true;
        return states;
    }
    states.hasModemLines = true;
    states.cts = (bits & TIOCM_CTS) != 0;
    states.dcd = (bits & TIOCM_CAR) != 0;
    return states;
}

void SerialPort::onError(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::UnknownError:
        break;
    default:
        return;
    }
    if (!isOpen() || m_lossPending)
        return;
    // Qt reports a write that found the output queue full (EAGAIN) as a WriteError too; the
    // block send's own wait reports a queue that never empties.
    if (!deviceGone()) {
        m_port.clearError();
        return;
    }
    // A hung-up device keeps reporting errors as fast as the loop turns; close it once, as
    // soon as control is back in the event loop (closing inside QSerialPort's own
    // notification is not safe).
    m_lossPending = true;
    QMetaObject::invokeMethod(this, &SerialPort::onLost, Qt::QueuedConnection);
}

// Hung up (the tty shows it on its descriptor) or removed (its name is gone).
bool SerialPort::deviceGone() const
{
    pollfd entry{int(m_port.handle()), POLLIN, 0};
    const int ready = ::poll(&entry, 1, 0);
    if (ready < 0 && errno != EINTR)
        return true;
    if (ready > 0 && (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
        return true;
    return !QFileInfo::exists(m_devicePath);
}

void SerialPort::onLost()
{
    if (!m_lossPending)
        return;
    m_lossPending = false;
    m_errorString = m_port.errorString();
    close();
    emit deviceLost(m_portNumber);
}
