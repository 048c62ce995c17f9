#include "upload/ByteText.h"

#include <QStringDecoder>

namespace ByteText {

QString displayText(QByteArrayView bytes)
{
    if (!bytes.isValidUtf8())
        return QString::fromLatin1(bytes);
    // Every character is shown, a byte order mark at the start too: fromUtf8() drops it.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return utf8(bytes);
}

QString quotedBytes(QByteArrayView bytes)
{
    QString text = QStringLiteral("\"");
    for (const char c : bytes) {
        const uchar byte = uchar(c);
        if (c == '\r')
            text += QStringLiteral("\\r");
        else if (c == '\n')
            text += QStringLiteral("\\n");
        else if (c == '\t')
            text += QStringLiteral("\\t");
        else if (c == '\\' || c == '"')
            text += QStringLiteral("\\") + QLatin1Char(c);
        else if (byte < 0x20 || byte >= 0x7f)
            text += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
        else
            text += QLatin1Char(c);
    }
    return text + QLatin1Char('"');
}

QByteArray upperCaseLetters(QByteArrayView text)
{
    QByteArray result = text.toByteArray();
    for (char &c : result) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    }
    return result;
}

} // namespace ByteText
