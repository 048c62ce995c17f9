// What the link to the unit knows, whichever transport is in use: the prompt characters, the
// command and reply buffers, the capture and wait flags, and how a
// link is named (its transport and, for TCP, its connection). DeviceLink owns one LinkState.
#pragma once

#include "link/ReplyBuffer.h"

#include <QByteArray>

// How the unit was last reached.
enum class LinkKind
{
    None = -1,
    Serial = 0,
    Ethernet = 1
};

// What the link core knows about talking to the unit, whichever transport is in use.
struct LinkState
{
    char normalPrompt = '#';
    char loaderPrompt = '>';
    // The character the next prompt wait looks for; changed only through SetPromptChar.
    char currentPrompt = '>';
    // Limit of a serial prompt wait, in ticks of 55 ms: about 22 s unless a step needs another.
    static constexpr int DefaultPromptTicks = 400;
    // A port or new connection is being checked for the unit: short waits, no keep-alive.
    bool probing = false;
    QByteArray commandBuffer;
    // A prompt came after the command buffer was last sent.
    bool commandAnswered = false;
    ReplyBuffer reply;
    bool capturing = false;
    // Index in the reply buffer below which a prompt character does not end a capture.
    int promptGuard = 0;
    // A capture or wait ended without the prompt.
    bool waitFailed = false;
    // Ethernet: the one automatic reconnect has been used up.
    bool reconnectUsed = false;
    // The transport that last reached the unit, serial or Ethernet: a restart reconnects by it.
    LinkKind lastLinkKind = LinkKind::None;
    bool keepAlive = true;
    QByteArray loaderModeCommand = "LOADR\r\n";
    QByteArray uploadKeyword = "LF";
};

// The transport every send goes through right now: the serial port when it is open, else the
// TCP client when it is connected, else none.
enum class Transport
{
    None,
    Serial,
    Tcp
};

// One link to the unit: the transport and, for TCP, the connection. A transfer runs on one
// link from its header to its last block.
struct LinkIdentity
{
    Transport transport = Transport::None;
    int connection = 0;
    bool operator==(const LinkIdentity &other) const
    {
        return transport == other.transport && connection == other.connection;
    }
    bool operator!=(const LinkIdentity &other) const { return !(*this == other); }
};
