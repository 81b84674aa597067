#include "net/ftpaddress.h"
#include "net/ftptypes.h"
#include "support/testutil.h"

#include <gtest/gtest.h>

namespace {

TEST(FtpPortCommand, NamesLoopbackForALoopbackServerAndTheLocalAddressOtherwise) {
    EXPECT_EQ(FtpPortCommand(QHostAddress("127.0.0.1"), QHostAddress("127.0.0.5"), 5001), "PORT 127,0,0,1,19,137");
    EXPECT_EQ(FtpPortCommand(QHostAddress("192.0.2.7"), QHostAddress("10.1.2.3"), 255), "PORT 10,1,2,3,0,255");
}

TEST(ParsePassiveReply, ReadsTheSixNumbersWithOrWithoutParentheses) {
    auto target = ParsePassiveReply("227 Entering Passive Mode (192,168,1,20,19,137).");
    ASSERT_TRUE(target);
    EXPECT_EQ(target->address, QHostAddress("192.168.1.20"));
    EXPECT_EQ(target->port, 5001);
    target = ParsePassiveReply("227 Entering Passive Mode 10,0,0,1,0,21");
    ASSERT_TRUE(target);
    EXPECT_EQ(target->address, QHostAddress("10.0.0.1"));
    EXPECT_EQ(target->port, 21);
}

TEST(ParsePassiveReply, RefusesTextsWithoutSixNumbersUpTo255) {
    EXPECT_FALSE(ParsePassiveReply("227 Entering Passive Mode"));
    EXPECT_FALSE(ParsePassiveReply("227 (127,0,0,1,4)"));
    EXPECT_FALSE(ParsePassiveReply("227 (127,0,0,256,4,1)"));
    EXPECT_FALSE(ParsePassiveReply("227 (127,0,0,1,4;1)"));
}

TEST(FtpRequestShortName, IsTheMemberNameWithoutFtpApartFromTheLogsOwnSpellings) {
    EXPECT_EQ(FtpRequestShortName(ftpNone), "none");
    EXPECT_EQ(FtpRequestShortName(ftpOpenAsync), "OpenAsync");
    EXPECT_EQ(FtpRequestShortName(ftpPutAsync), "PutAsync");
    EXPECT_EQ(FtpRequestShortName(ftpTypeSetAsync), "TypeSetAsync");
    EXPECT_EQ(FtpRequestShortName(ftpRestPutAsync), "RestPutAsync");
    EXPECT_EQ(FtpRequestShortName(ftpAbortXferAsync), "unknown");
    EXPECT_EQ(FtpRequestShortName(ftpCccAsync), "CCCAsync");
    EXPECT_EQ(FtpRequestShortName(ftpSiteMsgAsync), "SiteMagAsync");
    EXPECT_EQ(FtpRequestShortName(76), "StatAsync");
    EXPECT_EQ(FtpRequestShortName(77), "unknown");
    EXPECT_EQ(FtpRequestShortName(-1), "unknown");
}

}  // namespace
