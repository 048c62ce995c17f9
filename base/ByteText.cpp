#include "base/ByteText.h"

#include <QList>
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

namespace {

// One byte as an escape: \r, \n, \t or \xHH.
QString escapedByte(uchar byte)
{
    if (byte == '\r')
        return QStringLiteral("\\r");
    if (byte == '\n')
        return QStringLiteral("\\n");
    if (byte == '\t')
        return QStringLiteral("\\t");
    return QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
}

// The length of the valid UTF-8 sequence of two bytes or more that starts at 'at', else 0.
qsizetype multiByteCharacterAt(QByteArrayView bytes, qsizetype at)
{
    const uchar lead = uchar(bytes.at(at));
    const qsizetype length = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc2 ? 2 : 0;
    if (length == 0 || at + length > bytes.size() || !bytes.sliced(at, length).isValidUtf8())
        return 0;
    return length;
}

bool printsAsItself(char32_t character)
{
    switch (QChar::category(character)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_PrivateUse:
    case QChar::Other_NotAssigned:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return false;
    default:
        return true;
    }
}

} // namespace

QString quotedBytes(QByteArrayView bytes)
{
    QString text = QStringLiteral("\"");
    for (const char c : bytes) {
        const uchar byte = uchar(c);
        if (c == '\\' || c == '"')
            text += QStringLiteral("\\") + QLatin1Char(c);
        else if (byte >= 0x20 && byte < 0x7f)
            text += QLatin1Char(c);
        else
            text += escapedByte(byte);
    }
    return text + QLatin1Char('"');
}

QString escapedText(QByteArrayView bytes)
{
    QString text;
    for (qsizetype at = 0; at < bytes.size();) {
        const uchar byte = uchar(bytes.at(at));
        const qsizetype length = multiByteCharacterAt(bytes, at);
        if (length > 0) {
            const QString character = QString::fromUtf8(bytes.sliced(at, length));
            if (printsAsItself(character.toUcs4().value(0)))
                text += character;
            else
                for (const char c : bytes.sliced(at, length))
                    text += escapedByte(uchar(c));
            at += length;
            continue;
        }
        if (byte == '\\')
            text += QStringLiteral("\\\\");
        else if (byte >= 0x20 && byte < 0x7f)
            text += QLatin1Char(char(byte));
        else
            text += escapedByte(byte);
        ++at;
    }
    return text;
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
