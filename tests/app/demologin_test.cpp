// A whole login against the demo site: the exact bodies the site received,
// and what the windows show afterwards.

#include "app/Main.h"
#include "app/program.h"
#include "disk/gui/folderlisting.h"
#include "login/gui/uLogin.h"
#include "support/demosite.h"
#include "support/testutil.h"
#include "text/gbk.h"
#include "text/md5.h"

#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class DemoLoginTest : public testing::Test {
protected:
    static void SetUpTestSuite() { site_ = new DemoSite({QStringLiteral("--big-file-mib"), QStringLiteral("1")}); }
    static void TearDownTestSuite() {
        delete site_;
        site_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(site_->isRunning()) << site_->errorText().toStdString();
        ASSERT_TRUE(site_->writeSiteConfig(dir.path()));
        SetErrorReportSink([this](const QByteArray&, const QByteArray& message) { errors.append(message); });
        program = std::make_unique<QuellixProgram>(dir.path(), [this](const MsgDlgMessage& m) {
            messages.append(m);
            return TModalResult::mrOk;
        });
        program->Start();
    }
    void TearDown() override {
        program.reset();
        SetErrorReportSink(nullptr);
    }
    QList<LoggedRequest> requestsFor(const QByteArray& action) const {
        QList<LoggedRequest> found;
        for (const LoggedRequest& r : site_->requests())
            if (r.body.startsWith("action=" + action + "&"))
                found.append(r);
        return found;
    }

    static DemoSite* site_;
    QTemporaryDir dir;
    std::unique_ptr<QuellixProgram> program;
    QList<MsgDlgMessage> messages;
    QList<QByteArray> errors;
};

DemoSite* DemoLoginTest::site_ = nullptr;

TEST_F(DemoLoginTest, LoginShowsTheCaptionTheSettingsAndTheRootFolder) {
    const DemoAccount account = site_->account(QStringLiteral("张三"));
    TLoginFrm& login = *program->LoginFrm;
    TMainFrm& main = *program->MainFrm;
    EXPECT_EQ(login.Welcome_txt->text(), QString::fromUtf8("欢迎使用 ") + site_->siteName());
    login.ED_User->setText(account.name);
    login.ED_Pwd->setText(account.password);
    QTest::mouseClick(login.btnLogin, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return main.isVisible(); }, 20000));
    ASSERT_TRUE(WaitFor([&] { return main.HttpLoadSet.ReceiveStream == nullptr && !main.windowTitle().isEmpty(); },
                        20000));
    ASSERT_TRUE(WaitFor([&] { return main.Browser().HttpMydisk.ReceiveStream == nullptr && main.lv1->Count() > 0; },
                        20000));

    const QByteArray name = ToGbk(account.name);
    const QList<LoggedRequest> logins = requestsFor("login");
    ASSERT_EQ(logins.size(), 1);
    EXPECT_EQ(logins[0].body, "action=login&username=" + name + "&password=" + Md5Hex(ToGbk(account.password)).toLower());
    const QByteArray token = login.Session().AccountToken;
    EXPECT_EQ(token.size(), 32);
    EXPECT_TRUE(login.Session().DebugLogEnabled);
    ASSERT_EQ(requestsFor("loadset").size(), 1);
    EXPECT_EQ(requestsFor("loadset")[0].body, "action=loadset&username=" + name + "&password=" + token);
    ASSERT_EQ(requestsFor("mydisk").size(), 1);
    EXPECT_EQ(requestsFor("mydisk")[0].body, "action=mydisk&folder_id=0&goback=0&username=" + name + "&password=" + token);
    for (const LoggedRequest& r : site_->requests()) {
        if (r.method == "POST") {
            EXPECT_EQ(r.header("User-Agent"), "quellix-client");
        }
    }

    EXPECT_EQ(main.SiteSettings.FtpHost, "127.0.0.1");
    EXPECT_EQ(main.SiteSettings.FtpPort, QByteArray::number(site_->ftpPort()));
    EXPECT_EQ(main.SiteSettings.FtpPassword, ToGbk(account.ftpPassword));  // quoted: it holds blanks
    EXPECT_EQ(main.SiteSettings.FtpDir, site_->ftpDir());
    EXPECT_EQ(main.SiteSettings.RegisterSiteUrl, site_->registerUrl());
    EXPECT_FALSE(main.loading->isVisible());
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
}

TEST_F(DemoLoginTest, FoldersOpenAndGoBack) {
    const DemoAccount account = site_->account(QStringLiteral("demo"));
    TLoginFrm& login = *program->LoginFrm;
    TMainFrm& main = *program->MainFrm;
    login.ED_User->setText(account.name);
    login.ED_Pwd->setText(account.password);
    QTest::mouseClick(login.btnLogin, Qt::LeftButton);
    TListView& lv1 = *main.lv1;
    ASSERT_TRUE(WaitFor([&] { return main.Browser().HttpMydisk.ReceiveStream == nullptr && lv1.Count() > 0; }, 20000));
    const int rootRows = lv1.Count();
    int folderRow = -1;
    for (int row = 0; row < lv1.Count() && folderRow < 0; ++row)
        if (IsFolderRow(lv1, row) && lv1.Caption(row) == QString::fromUtf8("空文件夹"))
            folderRow = row;
    ASSERT_GE(folderRow, 0);
    lv1.SetSelected(folderRow, true);
    main.Browser().lv1Click();
    main.lv1DblClick();
    // The empty folder shows the placeholder row.
    ASSERT_TRUE(WaitFor([&] { return main.Browser().HttpMydisk.ReceiveStream == nullptr && lv1.Count() == 1; }, 20000));
    EXPECT_EQ(lv1.Caption(0), QString::fromUtf8("...暂无文件..."));
    QTest::mouseClick(main.spSkinSpeedButton2, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return main.Browser().HttpMydisk.ReceiveStream == nullptr && lv1.Count() == rootRows; },
                        20000));
    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
}

}  // namespace
