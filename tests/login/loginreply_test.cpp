#include "login/loginreply.h"
#include "login/serversettings.h"
#include "text/base64.h"
#include "text/errors.h"
#include "text/scramble.h"

#include <gtest/gtest.h>

TEST(LoginReply, LineCountAndBlankAccountDecideTheOutcome) {
    EXPECT_EQ(ReadLoginReply({}).kind, LoginReply::Kind::Nothing);

    const LoginReply refused = ReadLoginReply({"wrong password"});
    EXPECT_EQ(refused.kind, LoginReply::Kind::Refused);
    EXPECT_EQ(refused.Message, "wrong password");

    EXPECT_EQ(ReadLoginReply({"demo", " \t"}).kind, LoginReply::Kind::NoAccount);
    EXPECT_EQ(ReadLoginReply({"", "token"}).kind, LoginReply::Kind::NoAccount);

    const LoginReply two = ReadLoginReply({"demo", "tok"});
    EXPECT_EQ(two.kind, LoginReply::Kind::LoggedIn);
    EXPECT_EQ(two.AccountName, "demo");
    EXPECT_EQ(two.AccountToken, "tok");
    EXPECT_FALSE(two.DebugLogEnabled);
    EXPECT_TRUE(ReadLoginReply({"demo", "tok", "1"}).DebugLogEnabled);
    EXPECT_FALSE(ReadLoginReply({"demo", "tok", "1 "}).DebugLogEnabled);
}

// Found by fuzzing: a settings record of three items used to replace host,
// user and password and then raise, leaving an FTP account mixed from two
// replies.
TEST(LoadSetReply, ARecordCutShortRaisesWithTheFtpAccountUnchanged) {
    TSiteSettings settings;
    settings.FtpHost = "old.host";
    settings.FtpUser = "olduser";
    settings.FtpPassword = "oldpass";
    settings.FtpPort = "21";
    const QByteArray shortFrame = ServerSettingsCodec("new.host|newuser|newpass", CodecDirection::Encode);
    EXPECT_THROW(ApplyLoadSetReply({"true|in/", "http://reg/", shortFrame}, settings), EStringListError);
    EXPECT_EQ(settings.RegisterSiteUrl, "http://reg/");
    EXPECT_EQ(settings.FtpHost, "old.host");
    EXPECT_EQ(settings.FtpUser, "olduser");
    EXPECT_EQ(settings.FtpPassword, "oldpass");
    EXPECT_EQ(settings.FtpPort, "21");

    const QByteArray fullFrame = ServerSettingsCodec(
        "new.host|newuser|newpass|2121|/files/|1|" + Base64Encode("Caption|x|about"), CodecDirection::Encode);
    EXPECT_TRUE(ApplyLoadSetReply({"true|in/", "http://reg/", fullFrame}, settings).message.isEmpty());
    EXPECT_EQ(settings.FtpHost, "new.host");
    EXPECT_EQ(settings.FtpPassword, "newpass");
    EXPECT_EQ(settings.FtpPort, "2121");
    EXPECT_EQ(settings.FtpDir, "/files/in/");
    EXPECT_EQ(settings.FtpPassive, "1");
    EXPECT_EQ(settings.Branding, "Caption|x|about");
}
