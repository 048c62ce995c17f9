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
// When the device vanishes (a USB adapter pulled, the far end of a pseudo-terminal closed)
// the port is closed once, on the first error, and deviceLost is emitted once.
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
    static constexpr int TickMs = 55;

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

    // True when COMn exists and can be opened, or exists but another program holds it.
    static bool isAvailable(int portNumber);

    bool open();
    void close();
    bool isOpen() const;
    QString errorString() const { return m_errorString; }

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
    QByteArray readBlock(int count);
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
    void rearmReading();
    void applySettings();
    int driverOutputQueue() const;

    QSerialPort m_port;
    std::vector<Receiver> m_receivers;
    QString m_errorString;
    int m_portNumber = 1;
    int m_baudRate = 38400;
    int m_dataBits = 8;
    int m_parity = 0;
    int m_stopBits = 1;
    bool m_waiting = false;
    bool m_delivering = false;
    bool m_lossPending = false;
};
