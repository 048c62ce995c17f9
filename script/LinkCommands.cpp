// The script commands that talk to the unit's command prompt: sending a text (_SC, _SR, and
// _ST, which then restarts the link), making sure the unit is in its loader mode (_TC), and
// waiting for either prompt (_WP).
#include "script/ScriptRunner.h"

#include "base/OperatorReports.h"
#include "base/Timing.h"
#include "link/DeviceLink.h"
#include "link/EthernetLink.h"
#include "link/PortSelector.h"
#include "link/RunControl.h"
#include "script/ScriptSyntax.h"

using namespace ScriptSyntax;

bool ScriptRunner::sendCommand(const QByteArray &line)
{
    const std::optional<QByteArray> text = escapedArgumentText(line);
    if (!text)
        return true;
    m_link.sendCommand(*text + '\r');
    Timing::sleepMs(100);
    Timing::pump();
    return keywordOf(line) != "_ST" || restartLink();
}

// After a command that resets the unit: drop the link, give the unit time to start again,
// then reconnect the way the unit was last reached: the last good serial port, or the
// Ethernet dialog in which the operator connects again (when there is one). These are the
// run's own steps, which the gate admits, not the operator's menu entries.
bool ScriptRunner::restartLink()
{
    if (m_link.serialOpen())
        m_ports.closePort();
    else if (m_link.tcpConnected())
        m_ethernet.closeLink();
    Timing::sleepMs(RestartPauseMs);
    bool connected = true;
    if (m_link.lastLinkKind() == LinkKind::Serial) {
        m_ports.SelectComPort(m_ports.lastGoodComPort());
        connected = m_link.serialOpen();
    } else if (m_link.lastLinkKind() == LinkKind::Ethernet && m_ethernet.reconnectInDialog()) {
        // The operator connected again in the Ethernet dialog, which closes once connected.
        connected = m_link.tcpConnected();
    }
    if (!connected)
        m_reports.showMessage(QStringLiteral("Error! Unable to connect to unit! Exiting script"));
    return connected;
}

bool ScriptRunner::loaderModeCheck(const QByteArray &line)
{
    const std::optional<QByteArray> text = escapedArgumentText(line);
    if (!text)
        return true;
    Timing::sleepMs(200);
    m_link.SetPromptChar(m_link.loaderPrompt());
    // A loader prompt that came over a new connection does not show that the unit took the
    // loader-mode command: a unit that restarted comes back in its normal mode.
    const LinkIdentity checkLink = m_link.currentLink();
    const bool inLoaderMode = reachLoaderPrompt(*text) && m_link.currentLink() == checkLink;
    bool normalPrompt = false;
    if (!inLoaderMode) {
        m_link.SetPromptChar(m_link.normalPrompt());
        normalPrompt =
            !m_link.failureReported() && m_link.SendCOMCmd_GetPrompt("\r", LoaderCheckTicks);
    }
    if (inLoaderMode) {
        Timing::sleepMs(500);
        return true;
    }
    if (!m_link.failureReported())
        m_reports.showMessage(normalPrompt
                                  ? QStringLiteral("Error! Unit not in Loader Mode! Exiting script")
                                  : QStringLiteral("Error! Unable to get response from unit(_TC)! "
                                                   "Exiting script"));
    return false;
}

// The text, then, if the loader prompt does not answer it, the loader-mode command and three
// carriage returns with growing pauses before them. Stops early once the run is cancelled.
bool ScriptRunner::reachLoaderPrompt(const QByteArray &text)
{
    if (m_link.SendCOMCmd_GetPrompt(text, LoaderCheckTicks))
        return true;
    if (m_link.failureReported())
        return false;
    m_link.SendString(m_link.loaderModeCommand());
    Timing::sleepMs(LoaderRetryPausesMs[0]);
    if (m_link.SendCOMCmd_GetPrompt("\r", LoaderCheckTicks))
        return true;
    for (const int waitMs : {LoaderRetryPausesMs[1], LoaderRetryPausesMs[2]}) {
        if (m_link.failureReported())
            return false;
        Timing::sleepMs(waitMs);
        Timing::pump();
        if (m_link.SendCOMCmd_GetPrompt("\r", LoaderCheckTicks))
            return true;
    }
    return false;
}

bool ScriptRunner::waitForPrompt(const QByteArray &)
{
    if (m_link.SendCOMCmd_GetPrompt("\r"))
        return true;
    // Ask until the unit shows either prompt; the current prompt is left at the one that came.
    // Without any link there is nothing to wait for, and a cancelled run waits no longer.
    while ((m_link.serialOpen() || m_link.tcpConnected()) && !m_run.cancelled()) {
        m_link.SetPromptChar(m_link.normalPrompt());
        if (m_link.SendCOMCmd_GetPrompt("\r"))
            return true;
        m_link.SetPromptChar(m_link.loaderPrompt());
        if (m_link.SendCOMCmd_GetPrompt("\r"))
            return true;
    }
    return true;
}
