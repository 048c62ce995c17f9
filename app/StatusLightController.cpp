#include "app/StatusLightController.h"

#include "app/StatusLight.h"
#include "link/SerialPort.h"

StatusLightController::StatusLightController(SerialPort &port, const Lights &lights,
                                             QObject *parent)
    : QObject(parent), m_port(port), m_lights(lights)
{
    m_poll.setInterval(50);
    connect(&m_poll, &QTimer::timeout, this, &StatusLightController::refresh);
    connect(&m_port, &SerialPort::bytesReceived, this, [this] {
        if (m_monitoring)
            m_lights.rxd->setLit(true);
    });
    connect(&m_port, &SerialPort::bytesSent, this, [this] {
        if (m_monitoring)
            m_lights.txd->setLit(true);
    });
    connect(&m_port, &SerialPort::deviceLost, this, [this] { setMonitoring(false); });
}

void StatusLightController::setMonitoring(bool on)
{
    m_monitoring = on && m_port.isOpen();
    allOut();
    if (m_monitoring) {
        refresh();
        m_poll.start();
    } else {
        m_poll.stop();
    }
}

void StatusLightController::refresh()
{
    if (!m_port.isOpen()) {
        setMonitoring(false);
        return;
    }
    const SerialPort::LineStates lines = m_port.lineStates();
    m_lights.dcd->setLit(lines.hasModemLines && lines.dcd);
    m_lights.cts->setLit(lines.hasModemLines && lines.cts);
    if (!m_port.charReady())
        m_lights.rxd->setLit(false);
    if (m_port.outputUsed() == 0)
        m_lights.txd->setLit(false);
}

void StatusLightController::allOut()
{
    for (StatusLight *light : {m_lights.txd, m_lights.rxd, m_lights.dcd, m_lights.cts})
        light->setLit(false);
}
