// What the Ethernet dialog's fields mean, without the dialog: the unit's address typed as
// four octets, its TCP port, and which of the computer's own addresses the dialog shows.
//
// An octet is read as a decimal integer (blanks around it allowed); it must lie in 0 to 255.
// The port is read the same way and must lie in 1 to 65535: 65535 itself is accepted, a
// larger number has its own message. The address is built from the four numbers, so "010"
// is ten, never octal.
#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

#include <array>
#include <optional>

namespace EthernetFields {

enum class OctetCheck
{
    Valid,
    OutOfRange, // "Error! Number must be between 0 - 255"
    NotANumber  // "Error! Invalid IP Address"
};

OctetCheck checkOctet(const QString &text);

enum class PortCheck
{
    Valid,
    TooLarge, // "Error! Port # must be less than 65535"
    Invalid   // "Error! Invalid IP Address / Port #"
};

PortCheck checkPort(const QString &text);
// The port, when checkPort() says it is valid.
std::optional<quint16> portNumber(const QString &text);

// The IPv4 address of four octet fields; nothing unless every one is a valid octet.
std::optional<QHostAddress> address(const std::array<QString, 4> &octets);

// The computer's own address as the dialog shows it: the first IPv4 address its host name
// resolves to, else the first IPv4 address, not a loopback one, of an interface that is up.
std::optional<QHostAddress> ownAddress(const QList<QHostAddress> &hostNameAddresses,
                                       const QList<QHostAddress> &upInterfaceAddresses);

// The addresses of the interfaces that are up, in the order the system lists them.
QList<QHostAddress> upInterfaceAddresses();

} // namespace EthernetFields
