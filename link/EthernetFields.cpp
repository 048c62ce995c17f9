#include "link/EthernetFields.h"

#include <QNetworkInterface>

namespace EthernetFields {

namespace {

constexpr int LargestOctet = 255;
constexpr int LargestPort = 65535;

std::optional<int> fieldNumber(const QString &text)
{
    // toInt() reads up to a NUL character and stops there: "1<NUL>92" would be 1.
    if (text.contains(QChar::Null))
        return std::nullopt;
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

bool isIPv4(const QHostAddress &address)
{
    return address.protocol() == QAbstractSocket::IPv4Protocol;
}

} // namespace

OctetCheck checkOctet(const QString &text)
{
    const std::optional<int> value = fieldNumber(text);
    if (!value)
        return OctetCheck::NotANumber;
    return *value < 0 || *value > LargestOctet ? OctetCheck::OutOfRange : OctetCheck::Valid;
}

PortCheck checkPort(const QString &text)
{
    const std::optional<int> value = fieldNumber(text);
    if (!value || *value < 1)
        return PortCheck::Invalid;
    return *value > LargestPort ? PortCheck::TooLarge : PortCheck::Valid;
}

std::optional<quint16> portNumber(const QString &text)
{
    if (checkPort(text) != PortCheck::Valid)
        return std::nullopt;
    return quint16(*fieldNumber(text));
}

std::optional<QHostAddress> address(const std::array<QString, 4> &octets)
{
    quint32 value = 0;
    for (const QString &octet : octets) {
        if (checkOctet(octet) != OctetCheck::Valid)
            return std::nullopt;
        value = (value << 8) | quint32(*fieldNumber(octet));
    }
    return QHostAddress(value);
}

std::optional<QHostAddress> ownAddress(const QList<QHostAddress> &hostNameAddresses,
                                       const QList<QHostAddress> &upInterfaceAddresses)
{
    for (const QHostAddress &address : hostNameAddresses) {
        if (isIPv4(address))
            return address;
    }
    for (const QHostAddress &address : upInterfaceAddresses) {
        if (isIPv4(address) && !address.isLoopback())
            return address;
    }
    return std::nullopt;
}

QList<QHostAddress> upInterfaceAddresses()
{
    QList<QHostAddress> addresses;
    for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces()) {
        if (!interface.flags().testFlag(QNetworkInterface::IsUp))
            continue;
        for (const QNetworkAddressEntry &entry : interface.addressEntries())
            addresses << entry.ip();
    }
    return addresses;
}

} // namespace EthernetFields
