#pragma once
// The host-port texts of FTP data connections (RFC 959 sections 4.1.2 and
// 4.2): the argument of PORT and the address in a 227 reply to PASV.

#include <QByteArray>
#include <QByteArrayView>
#include <QHostAddress>
#include <optional>

// "PORT h1,h2,h3,h4,p1,p2" for a data port on this side. The address is
// 127,0,0,1 when the server is 127.0.0.1 (the control connection may have
// come from another loopback address), otherwise the local address of the
// control connection.
QByteArray FtpPortCommand(const QHostAddress& serverAddress, const QHostAddress& controlLocalAddress, quint16 port);

struct FtpHostPort {
    QHostAddress address;
    quint16 port = 0;
};

// The address and port of a 227 reply: the six numbers after "(" (or, when a
// server leaves the parentheses out, from the first digit after the code),
// comma separated, each 0 to 255. Nothing when the text does not hold them.
std::optional<FtpHostPort> ParsePassiveReply(QByteArrayView reply);
