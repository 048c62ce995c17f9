#include "link/TerminalBytes.h"

namespace TerminalBytes {

char serialByte(char typed)
{
    return typed == Backspace ? Delete : typed;
}

QByteArray serialErase()
{
    return QByteArray("\b \b");
}

QByteArray tcpEcho(char typed)
{
    return typed == CarriageReturn ? QByteArray("\r\n") : QByteArray(1, typed);
}

QByteArray shownFromTcp(QByteArrayView bytes)
{
    QByteArray shown = bytes.toByteArray();
    // After the block, one blank and BS for each BS in it.
    for (qsizetype i = 0; i < bytes.count(Backspace); ++i)
        shown += QByteArray(" \b");
    return shown;
}

} // namespace TerminalBytes
