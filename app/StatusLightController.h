// Ties the four status lights (TXD, RXD, DCD, CTS) to the serial port.
//
// Monitoring is on or off, and on only while the port is open. Switching it on puts TXD and
// RXD out and shows DCD and CTS as the modem lines stand; while on, DCD and CTS follow the
// lines, RXD lights when bytes arrive and TXD when bytes go out, each going out again once its
// buffer is empty. A device without modem lines leaves DCD and CTS unlit. Off puts all four out.
#pragma once

#include <QObject>
#include <QTimer>

class SerialPort;
class StatusLight;

class StatusLightController : public QObject
{
    Q_OBJECT
public:
    struct Lights
    {
        StatusLight *txd = nullptr;
        StatusLight *rxd = nullptr;
        StatusLight *dcd = nullptr;
        StatusLight *cts = nullptr;
    };

    StatusLightController(SerialPort &port, const Lights &lights, QObject *parent = nullptr);

    void setMonitoring(bool on);
    bool isMonitoring() const { return m_monitoring; }

private:
    void refresh();
    void allOut();

    SerialPort &m_port;
    Lights m_lights;
    QTimer m_poll;
    bool m_monitoring = false;
};
