#include "net/socketerror.h"
#include "support/scriptedserver.h"
#include "support/testutil.h"

#include <QTcpSocket>
#include <gtest/gtest.h>

namespace {

TEST(SocketErrors, ClassicTextsAndTheFallback) {
    EXPECT_EQ(SocketErrorDesc(0), "No Error");
    EXPECT_EQ(SocketErrorDesc(10060), "Connection timed out");
    EXPECT_EQ(SocketErrorDesc(10061), "Connection refused");
    EXPECT_EQ(SocketErrorDesc(10065), "No route to host");
    EXPECT_EQ(SocketErrorDesc(11001), "Host not found");
    EXPECT_EQ(SocketErrorDesc(12345), "Not a WinSock error");
    EXPECT_EQ(SocketErrorDesc(SocketErrorCodeFromErrno(1234)), "Not a WinSock error");
}

TEST(SocketErrors, ARefusedConnectionMapsTo10061) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, UnusedPort());
    ASSERT_TRUE(WaitFor([&] { return socket.error() != QAbstractSocket::UnknownSocketError; }));
    EXPECT_EQ(SocketErrorCode(socket.error()), 10061);
}

}  // namespace
