// The site session without any window, against the demo site: the login,
// the server settings and a listing, with the exact bytes the site received.

#include "disk/listingrequest.h"
#include "login/settingsrequest.h"
#include "login/sitelogin.h"
#include "support/demosite.h"
#include "support/testutil.h"
#include "text/gbk.h"
#include "text/md5.h"

#include <QTcpServer>
#include <gtest/gtest.h>

namespace {

class SiteSessionTest : public testing::Test {
protected:
    static void SetUpTestSuite() { site_ = new DemoSite(); }
    static void TearDownTestSuite() {
        delete site_;
        site_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(site_->isRunning()) << site_->errorText().toStdString();
        login.Session.SiteUrl = site_->siteUrl();
        login.OnLoginDone = [this](const SiteLogin::Result& result) { results.append(result); };
    }
    QList<LoggedRequest> requestsFor(const QByteArray& action) const {
        QList<LoggedRequest> found;
        for (const LoggedRequest& r : site_->requests())
            if (r.body.startsWith("action=" + action + "&") && !before.contains(r.body))
                found.append(r);
        return found;
    }
    void rememberEarlierRequests() {
        for (const LoggedRequest& r : site_->requests())
            before.insert(r.body);
    }

    static DemoSite* site_;
    SiteLogin login;
    QList<SiteLogin::Result> results;
    QSet<QByteArray> before;
};

DemoSite* SiteSessionTest::site_ = nullptr;

TEST_F(SiteSessionTest, ALoginTakesTheAccountThenTheSettingsAndAListingFollowWithItsToken) {
    const DemoAccount account = site_->account(QStringLiteral("张三"));
    const QByteArray name = ToGbk(account.name);
    int posting = 0;
    login.OnPosting = [&] { ++posting; };
    // Blanks around what was typed are not part of the credentials.
    ASSERT_EQ(login.Login(" " + name + " ", ToGbk(account.password) + " "), SiteLogin::Start::Sent);
    EXPECT_EQ(posting, 1);
    ASSERT_EQ(results.size(), 1);
    EXPECT_TRUE(results[0].answered);
    EXPECT_EQ(results[0].reply.kind, LoginReply::Kind::LoggedIn);
    const SiteSession& session = login.Session;
    EXPECT_TRUE(session.LoggedIn);
    EXPECT_EQ(session.AccountName, name);
    EXPECT_EQ(session.AccountToken.size(), 32);
    EXPECT_TRUE(session.DebugLogEnabled);
    ASSERT_EQ(requestsFor("login").size(), 1);
    EXPECT_EQ(requestsFor("login")[0].body,
              "action=login&username=" + name + "&password=" + Md5Hex(ToGbk(account.password)).toLower());

    THttpCli http{"HttpLoadSet"};
    TSiteSettings settings;
    ServerSettingsRequest settingsRequest(http, settings);
    QList<ServerSettingsRequest::Result> taken;
    settingsRequest.OnDone = [&](const ServerSettingsRequest::Result& result) { taken.append(result); };
    settingsRequest.RequestServerSettings(session);
    ASSERT_TRUE(WaitFor([&] { return !taken.isEmpty(); }, 20000));
    EXPECT_TRUE(taken[0].taken);
    EXPECT_EQ(settings.FtpHost, "127.0.0.1");
    EXPECT_EQ(settings.FtpPort, QByteArray::number(site_->ftpPort()));
    EXPECT_EQ(settings.FtpUser, ToGbk(account.ftpUser));
    EXPECT_EQ(settings.FtpPassword, ToGbk(account.ftpPassword));
    EXPECT_EQ(settings.FtpDir, site_->ftpDir());
    EXPECT_EQ(settings.RegisterSiteUrl, site_->registerUrl());
    ASSERT_EQ(requestsFor("loadset").size(), 1);
    const LoggedRequest loadset = requestsFor("loadset")[0];
    EXPECT_EQ(loadset.body, "action=loadset&username=" + name + "&password=" + session.AccountToken);
    EXPECT_EQ(loadset.header("User-Agent"), "quellix-client");

    FolderListingRequest listing(session);
    QList<QByteArray> lines;
    bool listed = false;
    listing.OnListing = [&](const QList<QByteArray>& reply) {
        lines = reply;
        listed = true;
    };
    listing.RequestFolderListing(0, 0);
    ASSERT_TRUE(WaitFor([&] { return listed; }, 20000));
    ASSERT_EQ(requestsFor("mydisk").size(), 1);
    EXPECT_EQ(requestsFor("mydisk")[0].body,
              "action=mydisk&folder_id=0&goback=0&username=" + name + "&password=" + session.AccountToken);
    QList<ListingRowTexts> rows;
    for (const QByteArray& line : lines)
        rows.append(RowTexts(ParseListingLine(line)));
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0].Name, "照片"_gbk);
    EXPECT_EQ(rows[0].SizeText, "-");
    EXPECT_EQ(rows[0].TypeText, "文件夹"_gbk);
    EXPECT_EQ(rows[2].Name, "欢迎使用.txt"_gbk);
    EXPECT_EQ(rows[2].SizeText, "55B");
    EXPECT_EQ(rows[2].TypeText, "TXT文件"_gbk);

    // The account switch forgets the account; the next request carries none.
    login.SwitchAccount();
    EXPECT_FALSE(session.LoggedIn);
    EXPECT_TRUE(session.AccountName.isEmpty());
    EXPECT_TRUE(session.AccountToken.isEmpty());
    EXPECT_TRUE(session.DebugLogEnabled);
}

TEST_F(SiteSessionTest, ARefusedLoginKeepsTheSiteMessageAndNoAccount) {
    ASSERT_EQ(login.Login("demo", "wrong"), SiteLogin::Start::Sent);
    ASSERT_EQ(results.size(), 1);
    EXPECT_EQ(results[0].reply.kind, LoginReply::Kind::Refused);
    EXPECT_EQ(results[0].reply.Message, "用户名或密码错误"_gbk);
    EXPECT_FALSE(login.Session.LoggedIn);
    EXPECT_TRUE(login.Session.AccountToken.isEmpty());
}

TEST_F(SiteSessionTest, NothingIsPostedWithoutCredentialsOrWhenTheSiteIsSilent) {
    rememberEarlierRequests();
    EXPECT_EQ(login.Login(" \t", "x"), SiteLogin::Start::MissingCredentials);
    EXPECT_EQ(login.Login("demo", "  "), SiteLogin::Start::MissingCredentials);

    // A port that accepts and never answers.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    login.Session.SiteUrl = "http://127.0.0.1:" + QByteArray::number(silent.serverPort()) + "/";
    login.Probe().TimeLimitMs = 300;
    int posting = 0;
    login.OnPosting = [&] { ++posting; };
    EXPECT_EQ(login.Login("demo", "demo123"), SiteLogin::Start::SiteNotAnswering);
    EXPECT_EQ(posting, 0);
    EXPECT_TRUE(results.isEmpty());
    EXPECT_TRUE(requestsFor("login").isEmpty());
}

}  // namespace
