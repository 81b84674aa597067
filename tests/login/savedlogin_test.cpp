// The saved login without a window: what the keyring and quellix.ini get
// at each step, and that neither the password nor its digest reaches a file.

#include "config/transferoptions.h"
#include "login/savedlogin.h"
#include "login/sitelogin.h"
#include "support/fakesecrets.h"
#include "support/testutil.h"
#include "text/gbk.h"

#include <QDirIterator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

const QByteArray kSite = "http://127.0.0.1:8080/";

class SavedLoginTest : public testing::Test {
protected:
    QString ini() const { return dir.filePath(QStringLiteral("quellix.ini")); }
    std::unique_ptr<SavedLogin> saved() {
        options = ReadTransferOptions(ini());
        return std::make_unique<SavedLogin>(secrets, options,
                                            [this](const TransferOptions& o) { return WriteTransferOptions(ini(), o); });
    }
    // No file of the folder holds `bytes`.
    void expectNoFileHolds(const QByteArray& bytes) {
        QDirIterator files(dir.path(), QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            EXPECT_FALSE(ReadFileBytes(path).contains(bytes)) << path.toStdString();
        }
    }
    QTemporaryDir dir;
    FakeSecrets secrets;
    TransferOptions options;
};

TEST_F(SavedLoginTest, TheDigestTheLoginSendsIsWhatTheKeyringKeeps) {
    // Blanks around the password are not part of it, as for the login.
    EXPECT_EQ(PasswordDigest(" zhang san 88\t"), PasswordDigest("zhang san 88"));
    EXPECT_EQ(LoginRequestBody("demo", "demo123"), "action=login&username=demo&password=" + PasswordDigest("demo123"));
    EXPECT_EQ(PasswordDigest("demo123"), QByteArray("62cc2d8b4bf2d8728120d052163a77df"));
    EXPECT_EQ(SiteAccountKey(kSite, ToGbk(u("张三"))), u("张三@http://127.0.0.1:8080/"));
}

TEST_F(SavedLoginTest, ARememberedLoginFillsTheNextStartAndLogsInOnce) {
    const QByteArray account = ToGbk(u("张三"));
    const QByteArray digest = PasswordDigest("zhang san 88");
    {
        auto first = saved();
        // Nothing saved yet: the keyring is not asked at all.
        const SavedLogin::Start start = first->AtStart(kSite);
        EXPECT_TRUE(start.account.isEmpty());
        EXPECT_FALSE(start.secretStored);
        EXPECT_TRUE(secrets.calls.isEmpty());
        first->SetSwitches(true, true);
        EXPECT_EQ(first->LoginAccepted(kSite, account, digest), QString());
    }
    const QString key = SiteAccountKey(kSite, account);
    EXPECT_EQ(secrets.entries, (QMap<QString, QByteArray>{{key, digest}}));
    const TransferOptions written = ReadTransferOptions(ini());
    EXPECT_TRUE(written.rememberPassword);
    EXPECT_TRUE(written.autoLogin);
    EXPECT_EQ(written.savedAccount, u("张三"));
    expectNoFileHolds(digest);
    expectNoFileHolds("zhang san 88");

    // The next start: the account, the secret, and the login by itself once.
    auto next = saved();
    secrets.calls.clear();
    const SavedLogin::Start start = next->AtStart(kSite);
    EXPECT_EQ(start.account, account);
    EXPECT_TRUE(start.secretStored);
    EXPECT_TRUE(start.remember);
    EXPECT_TRUE(start.autoLogin);
    EXPECT_TRUE(next->TakeAutoLogin());
    EXPECT_FALSE(next->TakeAutoLogin());
    EXPECT_EQ(next->StoredDigest(kSite, account), digest);
    // Logging in again with the same secret reads it once and writes nothing.
    EXPECT_EQ(next->LoginAccepted(kSite, account, digest), QString());
    EXPECT_EQ(secrets.calls, QStringList{QStringLiteral("read ") + key});

    // Another site with the same account name has no saved login.
    EXPECT_TRUE(next->StoredDigest("http://other.example/", account).isEmpty());
}

TEST_F(SavedLoginTest, ARefusedSavedLoginIsRemovedAndUncheckingForgets) {
    const QByteArray digest = PasswordDigest("demo123");
    const QString key = SiteAccountKey(kSite, "demo");
    {
        auto first = saved();
        first->AtStart(kSite);
        first->SetSwitches(true, true);
        first->LoginAccepted(kSite, "demo", digest);
    }
    auto next = saved();
    ASSERT_TRUE(next->AtStart(kSite).secretStored);
    // A refusal of a typed password leaves the saved one alone ...
    EXPECT_EQ(next->LoginRefused(kSite, "demo", false), QString());
    EXPECT_TRUE(secrets.entries.contains(key));
    // ... a refusal of the saved one removes it and says so.
    EXPECT_EQ(next->LoginRefused(kSite, "demo", true), SavedLoginText::RefusedRemoved());
    EXPECT_FALSE(secrets.entries.contains(key));
    EXPECT_FALSE(next->TakeAutoLogin());

    // A login without "记住密码" leaves nothing behind.
    next->SetSwitches(true, false);
    next->LoginAccepted(kSite, "demo", digest);
    ASSERT_TRUE(secrets.entries.contains(key));
    next->SetSwitches(false, true);
    EXPECT_FALSE(next->Options().autoLogin);  // no logging in by itself without the secret
    next->LoginAccepted(kSite, "demo", digest);
    EXPECT_FALSE(secrets.entries.contains(key));
    EXPECT_TRUE(ReadTransferOptions(ini()).savedAccount.isEmpty());

    // "切换帐号" forgetting: the entry goes and the switches are off.
    next->SetSwitches(true, true);
    next->LoginAccepted(kSite, "demo", digest);
    EXPECT_EQ(next->Forget(kSite, "demo"), QString());
    EXPECT_FALSE(secrets.entries.contains(key));
    const TransferOptions after = ReadTransferOptions(ini());
    EXPECT_FALSE(after.rememberPassword);
    EXPECT_FALSE(after.autoLogin);
}

TEST_F(SavedLoginTest, WithoutAKeyringNothingIsKeptAnywhere) {
    secrets.available = false;
    auto login = saved();
    EXPECT_FALSE(login->KeyringAvailable());
    EXPECT_EQ(login->KeyringUnavailableReason(), QStringLiteral("no Secret Service in this test"));
    login->SetSwitches(true, false);
    EXPECT_EQ(login->LoginAccepted(kSite, "demo", PasswordDigest("demo123")), QString());
    EXPECT_TRUE(secrets.entries.isEmpty());
    EXPECT_FALSE(login->AtStart(kSite).secretStored);
    expectNoFileHolds(PasswordDigest("demo123"));
}

}  // namespace
