// The serial port as Tamrin uses it, over QSerialPort.
//
// Ports are named by number (COMn, see PortNames). Received bytes are handed to every
// registered receiver as one delivery; each receiver says how many bytes it took and the
// input moves past the largest count, so all receivers see the same bytes. While
// waitForText runs, no deliveries happen: the wait takes the characters itself.
//
// Output is queued without blocking into a buffer of OutputBufferSize bytes; the used count
// covers everything not yet on the line (Qt's queue and the driver's). A device without modem
// lines, such as a pseudo-terminal, reports CTS as set and has no DCD/CTS to show.
//
// While open, the port holds an exclusive flock() on the device itself, besides QSerialPort's
// lock file (named after the path) and its exclusive-open flag (which root bypasses): the
// flock locks the inode, so it holds against every name of the device and against root.
// isAvailable() and open() take it on a descriptor of their own before QSerialPort opens the
// device, so a device another program holds is never opened, and its line settings are never
// touched. A failed open() tells why (openFailure()): the device refused this account
// (EACCES/EPERM on opening it) is told apart from a device another program holds (its flock
// or EBUSY, or QSerialPort's lock file, which QSerialPort reports as a PermissionError too).
//
// When the device vanishes (a USB adapter pulled, the far end of a pseudo-terminal closed)
// the port is closed once, on the first error, and deviceLost is emitted once. An error on a
// device that is still there (a full output queue when the unit stops reading) is no loss:
// the port stays open and the bytes wait.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QSerialPort>

#include <functional>
#include <vector>

class SerialPort : public QObject
{
    Q_OBJECT
public:
    static constexpr int InputBufferSize = 8192;
    static constexpr int OutputBufferSize = 4096;

    // Takes a delivery, returns how many of its bytes it took.
    using Receiver = std::function<int(QByteArrayView)>;

    struct LineStates
    {
        bool hasModemLines = false;
        bool cts = false;
        bool dcd = false;
    };

    explicit SerialPort(QObject *parent = nullptr);
    ~SerialPort() override;

    // True when COMn is a terminal device that can be opened, or that another program (or
    // another SerialPort of this one) holds, or that this account may not open: open() then
    // fails and tells why. A name whose target is gone, or that leads to anything but a
    // terminal device, is never opened: it is not available.
    static bool isAvailable(int portNumber);

    bool open();
    void close();
    bool isOpen() const;
    QString errorString() const { return m_errorString; }

    enum class OpenFailure
    {
        None,
        PermissionDenied, // this account may not open the device
        Busy,             // another program holds the device
        Other             // no such device, or another fault that errorString() names
    };
    // Why the last open() failed; None when it succeeded.
    OpenFailure openFailure() const { return m_openFailure; }

    int portNumber() const { return m_portNumber; }
    // While open: closes, switches and reopens; false when the reopen failed.
    bool setPortNumber(int portNumber);

    void setBaudRate(int baud);
    int baudRate() const { return m_baudRate; }
    void setDataBits(int bits);
    int dataBits() const { return m_dataBits; }
    // 0 none, 1 odd, 2 even, 3 mark, 4 space.
    void setParity(int code);
    int parity() const { return m_parity; }
    void setStopBits(int bits);
    int stopBits() const { return m_stopBits; }

    int outputUsed() const;
    int outputFree() const;
    // Queue bytes for sending; false when the port is closed or the buffer has no room.
    bool putBlock(QByteArrayView bytes);

    void addReceiver(Receiver receiver);
    // Hears every byte the port takes from the device, whichever way: deliveries, the reads
    // of waitForText, and what flushInput drops. None (the default) changes nothing.
    void setListener(std::function<void(QByteArrayView)> listener);
    bool charReady();
    char readChar();
    // Waits up to 'ticks' ticks of 55 ms for 'text', reading characters one by one and
    // letting window messages run between reads. Ends early when 'stop' returns true.
    bool waitForText(QByteArrayView text, int ticks, const std::function<bool()> &stop = {});

    void flushInput();
    void flushOutput();
    // Lets the port move pending bytes in both directions now.
    void processCommunications();

    bool cts() const { return lineStates().cts; }
    LineStates lineStates() const;

signals:
    void bytesReceived();
    void bytesSent();
    void deviceLost(int portNumber);

private:
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);
    void onLost();
    bool deviceGone() const;
    bool leadsToSerialDevice(const QString &path);
    bool lockDevice(const QString &path);
    void unlockDevice();
    void rearmReading();
    void heard(QByteArrayView bytes);
    void applySettings();
    int driverOutputQueue() const;

    QSerialPort m_port;
    // The device's path as opened (QSerialPort::portName() drops a leading /dev/).
    QString m_devicePath;
    // The descriptor whose flock holds the device while the port is open; -1 when closed.
    int m_lockFd = -1;
    std::vector<Receiver> m_receivers;
    std::function<void(QByteArrayView)> m_listener;
    QString m_errorString;
    OpenFailure m_openFailure = OpenFailure::None;
    int m_portNumber = 1;
    int m_baudRate = 38400;
    int m_dataBits = 8;
    int m_parity = 0;
    int m_stopBits = 1;
    bool m_waiting = false;
    bool m_delivering = false;
    bool m_lossPending = false;
};
