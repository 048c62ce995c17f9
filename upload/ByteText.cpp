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
