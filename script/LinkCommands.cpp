// The script commands that talk to the unit's command prompt: sending a text (_SC, _SR, and
// _ST, which then restarts the link), making sure the unit is in its loader mode (_TC), and
// waiting for either prompt (_WP).
#include "app/TamrinForm.h"

#include "link/ClientSocketForm.h"
#include "link/SerialPort.h"
#include "link/Timing.h"
#include "script/ScriptSyntax.h"

#include <QTcpSocket>

using namespace ScriptSyntax;

namespace {

constexpr int LoaderCheckTicks = 135;
constexpr int RestartPauseMs = 4500;

} // namespace

bool TTamrinForm::sendCommand(const QByteArray &line)
{
    const std::optional<QByteArray> text = escapedArgumentText(line);
    if (!text)
        return true;
    m_link->setCommandBuffer(*text + '\r');
    ResendCommand();
    Timing::sleepMs(100);
    Timing::pump();
    return keywordOf(line) != "_ST" || restartLink();
}

// After a command that resets the unit: drop the link, give the unit time to start again,
// then reconnect the way the unit was last reached.
bool TTamrinForm::restartLink()
{
    if (serialOpen())
        NoneMenuClick();
    else if (tcpConnected())
        EnetDisconnect1Click();
    Timing::sleepMs(RestartPauseMs);
    bool connected = true;
    if (m_link->lastLinkKind() == LinkKind::Serial) {
        SelectComPort(m_ports->lastGoodComPort());
        connected = serialOpen();
    } else if (m_link->lastLinkKind() == LinkKind::Ethernet && ethernetForm()) {
        // The operator connects again in the Ethernet dialog, which closes once connected.
        m_ethernet->allowConnect();
        ethernetForm()->exec();
        connected = tcpConnected();
    }
    if (!connected)
        showMessage(QStringLiteral("Error! Unable to connect to unit! Exiting script"));
    return connected;
}

bool TTamrinForm::loaderModeCheck(const QByteArray &line)
{
    const std::optional<QByteArray> text = escapedArgumentText(line);
    if (!text)
        return true;
    Timing::sleepMs(200);
    SetPromptChar(m_link->loaderPrompt());
    m_link->setPromptTimeoutTicks(LoaderCheckTicks);
    // A loader prompt that came over a new connection does not show that the unit took the
    // loader-mode command: a unit that restarted comes back in its normal mode.
    const LinkIdentity checkLink = currentLink();
    const bool inLoaderMode = reachLoaderPrompt(*text) && currentLink() == checkLink;
    bool normalPrompt = false;
    if (!inLoaderMode) {
        SetPromptChar(m_link->normalPrompt());
        normalPrompt = !linkFailureReported() && SendCOMCmd_GetPrompt("\r");
    }
    m_link->setPromptTimeoutTicks(LinkState::DefaultPromptTicks);
    if (inLoaderMode) {
        Timing::sleepMs(500);
        return true;
    }
    if (!linkFailureReported())
        showMessage(normalPrompt ? QStringLiteral("Error! Unit not in Loader Mode! Exiting script")
                                 : QStringLiteral("Error! Unable to get response from unit(_TC)! "
                                                  "Exiting script"));
    return false;
}

// The text, then, if the loader prompt does not answer it, the loader-mode command and three
// carriage returns with growing pauses before them. Stops early once the run is cancelled.
bool TTamrinForm::reachLoaderPrompt(const QByteArray &text)
{
    if (SendCOMCmd_GetPrompt(text))
        return true;
    if (linkFailureReported())
        return false;
    SendString(m_link->loaderModeCommand());
    Timing::sleepMs(500);
    if (SendCOMCmd_GetPrompt("\r"))
        return true;
    for (const int waitMs : {2500, 2000}) {
        if (linkFailureReported())
            return false;
        Timing::sleepMs(waitMs);
        Timing::pump();
        if (SendCOMCmd_GetPrompt("\r"))
            return true;
    }
    return false;
}

bool TTamrinForm::waitForPrompt(const QByteArray &)
{
    if (SendCOMCmd_GetPrompt("\r"))
        return true;
    // Ask until the unit shows either prompt; the current prompt is left at the one that came.
    // Without any link there is nothing to wait for, and a cancelled run waits no longer.
    while ((serialOpen() || tcpConnected()) && !runCancelled()) {
        SetPromptChar(m_link->normalPrompt());
        if (SendCOMCmd_GetPrompt("\r"))
            return true;
        SetPromptChar(m_link->loaderPrompt());
        if (SendCOMCmd_GetPrompt("\r"))
            return true;
    }
    return true;
}
