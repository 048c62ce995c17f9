// Fuzzes what is measured and typed around an upload: the header line, the file's date text,
// the checksum and size waits, and the Ethernet dialog's fields. The input's lines are:
//   0 keyword, 1 address, 2 size (leading decimal digits), 3 checksum (decimal, modulo
//   65536), 4 version, 5 a date and time (ISO 8601; else the size gives seconds from 1970),
//   6 an address "a.b.c.d"; lines 0 to 3 and 6 are also typed into the Ethernet fields.
//
// The header must be its five fields joined by single blanks and ended by CR, the numbers
// written so that they read back to what went in. The date text must be month/day/year_
// hour:minutes:seconds of the time rounded down to even seconds and held to 1980..2107. An
// octet or port field must be accepted exactly when it reads as a decimal integer in its
// range, and an address exactly when all four octets are.
#include "FuzzCheck.h"

#include "link/EthernetFields.h"
#include "upload/FileMeasure.h"

#include <QDateTime>
#include <QHostAddress>
#include <QString>

#include <algorithm>
#include <array>
#include <climits>

namespace {

constexpr qint64 NumberCap = qint64(1) << 60;

// The leading decimal digits of 'text'; stops growing at NumberCap.
qint64 leadingDigits(QByteArrayView text)
{
    qint64 value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            break;
        value = value >= NumberCap / 10 ? NumberCap : value * 10 + (c - '0');
    }
    return value;
}

bool isDecimalText(QByteArrayView text, bool hex)
{
    if (text.isEmpty() || (text.size() > 1 && text.front() == '0'))
        return false;
    return std::all_of(text.begin(), text.end(), [hex](char c) {
        return (c >= '0' && c <= '9') || (hex && c >= 'a' && c <= 'f');
    });
}

void checkHeader(const QList<QByteArrayView> &parts)
{
    const QByteArray keyword = partAt(parts, 0).toByteArray();
    const QByteArray address = partAt(parts, 1).toByteArray();
    const qint64 size = leadingDigits(partAt(parts, 2));
    const quint16 checksum = quint16(leadingDigits(partAt(parts, 3)) & 0xFFFF);
    const QByteArray version = partAt(parts, 4).toByteArray();
    const QByteArray header = uploadHeader(keyword, address, size, checksum, version);

    FUZZ_CHECK(header.startsWith(keyword + ' ' + address + ' '));
    FUZZ_CHECK(header.endsWith(' ' + version + '\r'));
    const qsizetype middleStart = keyword.size() + address.size() + 2;
    const qsizetype middleLength = header.size() - middleStart - version.size() - 2;
    FUZZ_CHECK(middleLength >= 3);
    const QList<QByteArray> numbers = header.sliced(middleStart, middleLength).split(' ');
    FUZZ_CHECK(numbers.size() == 2);
    FUZZ_CHECK(isDecimalText(numbers.at(0), false) && numbers.at(0).toLongLong() == size);
    bool ok = false;
    FUZZ_CHECK(isDecimalText(numbers.at(1), true) && numbers.at(1).toUInt(&ok, 16) == checksum);
    FUZZ_CHECK(ok);

    // Without blanks in the texts the header splits back into exactly its five fields.
    if (!keyword.contains(' ') && !address.contains(' ') && !version.contains(' ')) {
        const QList<QByteArray> fields = header.chopped(1).split(' ');
        FUZZ_CHECK(fields.size() == 5);
        FUZZ_CHECK(fields.at(0) == keyword && fields.at(1) == address);
        FUZZ_CHECK(fields.at(2) == numbers.at(0) && fields.at(3) == numbers.at(1));
        FUZZ_CHECK(fields.at(4) == version);
    }
}

// A number of the date text: decimal, 'width' digits exactly when width > 0, else with no
// leading zero.
std::optional<int> dateField(QByteArrayView text, int width)
{
    if (text.isEmpty() || text.size() > 4 || (width > 0 && text.size() != width))
        return std::nullopt;
    if (width == 0 && text.size() > 1 && text.front() == '0')
        return std::nullopt;
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return int(leadingDigits(text));
}

void checkDateText(const QDateTime &time)
{
    const QByteArray text = fileDateText(time);
    const QDateTime earliest(QDate(1980, 1, 1), QTime(0, 0, 0));
    const QDateTime latest(QDate(2107, 12, 31), QTime(23, 59, 58));
    const QDateTime held = time < earliest ? earliest : (latest < time ? latest : time);

    // month/day/year_hour:minutes:seconds
    const QList<QByteArrayView> dateAndTime = splitParts(text, '_');
    FUZZ_CHECK(dateAndTime.size() == 2);
    const QList<QByteArrayView> date = splitParts(dateAndTime.at(0), '/');
    const QList<QByteArrayView> clock = splitParts(dateAndTime.at(1), ':');
    FUZZ_CHECK(date.size() == 3 && clock.size() == 3);
    const std::optional<int> month = dateField(date.at(0), 0);
    const std::optional<int> day = dateField(date.at(1), 0);
    const std::optional<int> year = dateField(date.at(2), 4);
    const std::optional<int> hour = dateField(clock.at(0), 0);
    const std::optional<int> minute = dateField(clock.at(1), 2);
    const std::optional<int> second = dateField(clock.at(2), 2);
    FUZZ_CHECK(month && day && year && hour && minute && second);
    FUZZ_CHECK(*year >= 1980 && *year <= 2107 && *second % 2 == 0);
    FUZZ_CHECK(QDate(*year, *month, *day) == held.date());
    const QTime clockTime = held.time();
    FUZZ_CHECK(*hour == clockTime.hour() && *minute == clockTime.minute());
    FUZZ_CHECK(*second == clockTime.second() / 2 * 2);
}

QDateTime timeOf(const QList<QByteArrayView> &parts)
{
    const QDateTime written =
        QDateTime::fromString(QString::fromLatin1(partAt(parts, 5)), Qt::ISODate);
    if (written.isValid())
        return written.toLocalTime();
    // Seconds from 1970 over some 600 years, centred on the DOS range.
    constexpr qint64 Span = qint64(600) * 366 * 24 * 3600;
    const qint64 seconds = leadingDigits(partAt(parts, 2)) % Span - Span / 2;
    return QDateTime::fromSecsSinceEpoch(seconds).toLocalTime();
}

void checkMeasures(QByteArrayView input, const QList<QByteArrayView> &parts)
{
    const quint16 start = quint16(leadingDigits(partAt(parts, 3)) & 0xFFFF);
    quint32 total = start;
    for (const char byte : input)
        total += uchar(byte);
    const quint16 sum = addToChecksum(start, input);
    FUZZ_CHECK(sum == quint16(total & 0xFFFF));
    const qsizetype half = input.size() / 2;
    FUZZ_CHECK(addToChecksum(addToChecksum(start, input.first(half)), input.sliced(half)) == sum);

    // 5.71 ms per thousand bytes and one second more, whatever the rounding.
    const qint64 size = std::min(leadingDigits(partAt(parts, 2)), qint64(1) << 53);
    const qint64 wait = sizeWaitMs(size);
    const qint64 exact = 1000 + size * 571 / 100000; // size < 2^53 keeps this in range
    FUZZ_CHECK(wait >= exact - 1 && wait <= exact + 1);
    FUZZ_CHECK(sizeWaitMs(size + 1) >= wait);
    const qint64 ticks = postUploadPromptTicks(size);
    const qint64 floorTicks = wait / 55 + 120;
    const qint64 ceilTicks = (wait + 54) / 55 + 120;
    FUZZ_CHECK(ticks == std::min<qint64>(floorTicks, INT_MAX) ||
               ticks == std::min<qint64>(ceilTicks, INT_MAX));
}

struct FieldNumber
{
    bool isDecimal = false; // an optional sign and ASCII digits, blanks around
    bool fitsInt = false;
    qint64 value = 0;
};

FieldNumber fieldNumberOf(const QString &text)
{
    const QString core = text.trimmed();
    FieldNumber number;
    qsizetype pos = 0;
    bool negative = false;
    if (!core.isEmpty() && (core.front() == u'+' || core.front() == u'-')) {
        negative = core.front() == u'-';
        ++pos;
    }
    if (pos == core.size())
        return number;
    qint64 magnitude = 0;
    for (; pos < core.size(); ++pos) {
        const char16_t c = core.at(pos).unicode();
        if (c < u'0' || c > u'9')
            return number;
        magnitude = magnitude >= NumberCap / 10 ? NumberCap : magnitude * 10 + (c - u'0');
    }
    number.isDecimal = true;
    number.value = negative ? -magnitude : magnitude;
    number.fitsInt = number.value >= INT_MIN && number.value <= INT_MAX;
    return number;
}

void checkOctetField(const QString &text)
{
    const FieldNumber number = fieldNumberOf(text);
    const EthernetFields::OctetCheck check = EthernetFields::checkOctet(text);
    using EthernetFields::OctetCheck;
    if (!number.isDecimal)
        FUZZ_CHECK(check == OctetCheck::NotANumber);
    else if (!number.fitsInt)
        FUZZ_CHECK(check != OctetCheck::Valid);
    else if (number.value < 0 || number.value > 255)
        FUZZ_CHECK(check == OctetCheck::OutOfRange);
    else
        FUZZ_CHECK(check == OctetCheck::Valid);
}

void checkPortField(const QString &text)
{
    const FieldNumber number = fieldNumberOf(text);
    const EthernetFields::PortCheck check = EthernetFields::checkPort(text);
    using EthernetFields::PortCheck;
    if (!number.isDecimal)
        FUZZ_CHECK(check == PortCheck::Invalid);
    else if (!number.fitsInt)
        FUZZ_CHECK(check != PortCheck::Valid);
    else if (number.value < 1)
        FUZZ_CHECK(check == PortCheck::Invalid);
    else if (number.value > 65535)
        FUZZ_CHECK(check == PortCheck::TooLarge);
    else
        FUZZ_CHECK(check == PortCheck::Valid);
    const std::optional<quint16> port = EthernetFields::portNumber(text);
    FUZZ_CHECK(port.has_value() == (check == PortCheck::Valid));
    if (port)
        FUZZ_CHECK(*port == number.value);
}

void checkAddress(const std::array<QString, 4> &octets)
{
    const std::optional<QHostAddress> address = EthernetFields::address(octets);
    bool allValid = true;
    quint32 expected = 0;
    for (const QString &octet : octets) {
        const FieldNumber number = fieldNumberOf(octet);
        allValid = allValid && number.isDecimal && number.value >= 0 && number.value <= 255;
        expected = (expected << 8) | quint32(number.value & 0xFF);
    }
    FUZZ_CHECK(address.has_value() == allValid);
    if (address) {
        FUZZ_CHECK(address->protocol() == QAbstractSocket::IPv4Protocol);
        FUZZ_CHECK(address->toIPv4Address() == expected);
    }
}

void checkEthernetFields(const QList<QByteArrayView> &parts)
{
    std::array<QString, 4> latin1;
    std::array<QString, 4> utf8;
    for (int index = 0; index < 4; ++index) {
        latin1[index] = QString::fromLatin1(partAt(parts, index));
        utf8[index] = QString::fromUtf8(partAt(parts, index));
        for (const QString &text : {latin1[index], utf8[index]}) {
            checkOctetField(text);
            checkPortField(text);
        }
    }
    checkAddress(latin1);
    checkAddress(utf8);
    const QList<QByteArrayView> typed = splitParts(partAt(parts, 6), '.');
    std::array<QString, 4> octets;
    for (int index = 0; index < 4; ++index)
        octets[index] = QString::fromUtf8(partAt(typed, index));
    checkAddress(octets);
}

// The computer's own address from address lists made of the input's bytes, five per entry:
// a kind byte (which list, IPv4 or IPv6, loopback or not) and four address bytes.
void checkOwnAddress(QByteArrayView input)
{
    QList<QHostAddress> hostName;
    QList<QHostAddress> interfaces;
    for (qsizetype pos = 0; pos + 5 <= input.size() && pos < 80; pos += 5) {
        const uchar kind = uchar(input.at(pos));
        quint32 ipv4 = 0;
        for (int k = 1; k <= 4; ++k)
            ipv4 = (ipv4 << 8) | uchar(input.at(pos + k));
        if (kind & 1)
            ipv4 = (ipv4 & 0x00FFFFFF) | 0x7F000000; // 127.x.y.z
        QHostAddress address(ipv4);
        if (kind & 2) {
            // 2001:db8::a.b.c.d, or ::1 for a loopback one: IPv6 either way.
            Q_IPV6ADDR bytes{};
            if (kind & 1) {
                bytes[15] = 1;
            } else {
                bytes[0] = 0x20;
                bytes[1] = 0x01;
                bytes[2] = 0x0d;
                bytes[3] = 0xb8;
                for (int k = 0; k < 4; ++k)
                    bytes[12 + k] = quint8(ipv4 >> (24 - 8 * k));
            }
            address = QHostAddress(bytes);
        }
        (kind & 4 ? interfaces : hostName).append(address);
    }
    const auto isIPv4 = [](const QHostAddress &a) {
        return a.protocol() == QAbstractSocket::IPv4Protocol;
    };
    std::optional<QHostAddress> expected;
    const auto named = std::find_if(hostName.begin(), hostName.end(), isIPv4);
    if (named != hostName.end()) {
        expected = *named;
    } else {
        const auto up = std::find_if(interfaces.begin(), interfaces.end(), [&](const auto &a) {
            return isIPv4(a) && (a.toIPv4Address() >> 24) != 127;
        });
        if (up != interfaces.end())
            expected = *up;
    }
    FUZZ_CHECK(EthernetFields::ownAddress(hostName, interfaces) == expected);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView input = fuzzInput(data, size);
    const QList<QByteArrayView> parts = splitParts(input, '\n');
    checkHeader(parts);
    checkDateText(timeOf(parts));
    checkMeasures(input, parts);
    checkEthernetFields(parts);
    checkOwnAddress(input);
    return 0;
}
