#include "net/ftpaddress.h"

#include "net/ftpreplyparser.h"

QByteArray FtpPortCommand(const QHostAddress& serverAddress, const QHostAddress& controlLocalAddress, quint16 port) {
    bool isIpv4 = false;
    quint32 local = controlLocalAddress.toIPv4Address(&isIpv4);
    if (serverAddress.isEqual(QHostAddress(QHostAddress::LocalHost), QHostAddress::TolerantConversion))
        local = 0x7f000001;
    return "PORT " + QByteArray::number(local >> 24) + ',' + QByteArray::number((local >> 16) & 255) + ',' +
           QByteArray::number((local >> 8) & 255) + ',' + QByteArray::number(local & 255) + ',' +
           QByteArray::number(port >> 8) + ',' + QByteArray::number(port & 255);
}

std::optional<FtpHostPort> ParsePassiveReply(QByteArrayView reply) {
    qsizetype p = reply.indexOf('(');
    if (p >= 0) {
        ++p;
    } else {
        FtpReplyCode(reply, &p);
        if (p < 0)
            p = 0;
        while (p < reply.size() && (reply[p] < '0' || reply[p] > '9'))
            ++p;
    }
    int numbers[6];
    for (int n = 0; n < 6; ++n) {
        while (p < reply.size() && reply[p] == ' ')
            ++p;
        int value = 0, digits = 0;
        while (p < reply.size() && reply[p] >= '0' && reply[p] <= '9' && digits < 4) {
            value = value * 10 + (reply[p] - '0');
            ++digits;
            ++p;
        }
        if (digits == 0 || value > 255)
            return std::nullopt;
        numbers[n] = value;
        while (p < reply.size() && reply[p] == ' ')
            ++p;
        if (n < 5) {
            if (p >= reply.size() || reply[p] != ',')
                return std::nullopt;
            ++p;
        }
    }
    FtpHostPort result;
    result.address = QHostAddress(quint32(numbers[0]) << 24 | quint32(numbers[1]) << 16 | quint32(numbers[2]) << 8 |
                                  quint32(numbers[3]));
    result.port = quint16(numbers[4] * 256 + numbers[5]);
    return result;
}
