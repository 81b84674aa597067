#include "net/ftpfailure.h"

#include <gtest/gtest.h>

TEST(FtpFailure, OnlyBrokenConnectionsAreWorthAnotherTry) {
    EXPECT_TRUE(IsTransientFtpFailure(10054, "500 Control connection closed - Connection reset by peer"));
    EXPECT_TRUE(IsTransientFtpFailure(426, "426 Timeout"));
    EXPECT_TRUE(IsTransientFtpFailure(426, "426 Data connection closed before the whole file was sent"));
    EXPECT_TRUE(IsTransientFtpFailure(421, "421 Service not available, closing control connection."));
    EXPECT_TRUE(IsTransientFtpFailure(425, "425 Can't open data connection."));
    EXPECT_TRUE(IsTransientFtpFailure(500, "500 Control connection closed - Connection aborted"));
    EXPECT_TRUE(IsTransientFtpFailure(550, "Unable to establish data connection - Connection refused"));

    EXPECT_FALSE(IsTransientFtpFailure(530, "530 Login incorrect."));
    EXPECT_FALSE(IsTransientFtpFailure(550, "550 No such file or directory."));
    EXPECT_FALSE(IsTransientFtpFailure(552, "552 Exceeded storage allocation."));
    EXPECT_FALSE(IsTransientFtpFailure(553, "553 File name not allowed."));
    EXPECT_FALSE(IsTransientFtpFailure(500, "500 Command not understood."));
    EXPECT_FALSE(IsTransientFtpFailure(426, "Unable to read local file /tmp/x: Input/output error"));
    EXPECT_FALSE(IsTransientFtpFailure(426, "Unable to open local file /tmp/x: Permission denied"));
    EXPECT_FALSE(IsTransientFtpFailure(12045, "500 TLS certificate rejected - certificate not trusted"));
    EXPECT_FALSE(IsTransientFtpFailure(550, "Unable to establish data connection - TLS handshake failed - x"));
}
