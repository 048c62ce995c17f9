// A script's texts are bytes, exactly as the file holds them: the file names, load addresses
// and versions of an upload, the answers of the unit. Here is how Tamrin shows them to the
// operator and how it puts their letters in capitals, without ever changing another byte.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace ByteText {

// As UTF-8 when the bytes are valid UTF-8, otherwise byte for byte as Latin-1, so that no
// byte is ever shown as a replacement character.
QString displayText(QByteArrayView bytes);

// Bytes in double quotes, with \r, \n, \t, \\, \" and \xHH for every other byte that does
// not print as itself in ASCII: how the script check explains a script's texts and how the
// records show what the unit said, so that no byte can act on the terminal or the log.
QString quotedBytes(QByteArrayView bytes);

// The bytes as text that cannot act on a terminal: printing characters (UTF-8 ones too) as
// themselves, a backslash doubled, and every byte that does not print (a control byte, a
// byte of a control or format character, a byte that is not UTF-8) as \r, \n, \t or \xHH.
// How the script check shows a script's own bytes outside quotes: names, lines, keywords.
QString escapedText(QByteArrayView bytes);

// A-Z and a-z as capitals; every other byte, including bytes >= 128, unchanged.
QByteArray upperCaseLetters(QByteArrayView text);

} // namespace ByteText
