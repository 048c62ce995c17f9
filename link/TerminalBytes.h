// What the terminal pane and the link do with the bytes the operator types and the unit
// sends, in one place.
//
// The pane turns Enter into CR and Backspace into BS. Over the serial port a typed BS erases
// at the unit (BS, blank, BS) and every other byte goes as typed, a BS that reaches the port
// otherwise as DEL; the unit echoes what it gets. Over TCP the unit does not echo: a typed
// byte goes as typed and the pane shows it itself, CR as CR LF; and since the pane's BS only
// moves the cursor, each BS from the unit is followed by blank and BS, so that it erases.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace TerminalBytes {

constexpr char Backspace = 8;
constexpr char LineFeed = 10;
constexpr char CarriageReturn = 13;
constexpr char Delete = 127;

// The typed byte as the pane hands it to the serial port.
char serialByte(char typed);
// What a typed BS sends over the serial port: it erases the character before the cursor.
QByteArray serialErase();
// What the pane shows of a byte typed over TCP.
QByteArray tcpEcho(char typed);
// What the pane shows of bytes the unit sent over TCP.
QByteArray shownFromTcp(QByteArrayView bytes);

} // namespace TerminalBytes
