// The same actions through the windows and through quellix-tool site against
// one demo site: every request the tool sends is byte for byte one that the
// windows send (the account token, fresh at each login, aside).

#include "app/Main.h"
#include "app/program.h"
#include "download/gui/uDown.h"
#include "login/gui/uLogin.h"
#include "config/transferoptions.h"
#include "support/demosite.h"
#include "support/sitetool.h"
#include "support/testutil.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

// A request as it went over the wire, with the token taken out.
QByteArray wireForm(const LoggedRequest& r) {
    QByteArray text = r.method + " " + WithoutToken(r.target) + "\n";
    for (const auto& [name, value] : r.headers)
        text += name + ": " + value + "\n";
    return text + "\n" + WithoutToken(r.body);
}

QList<QByteArray> wireForms(const QList<LoggedRequest>& requests) {
    QList<QByteArray> forms;
    for (const LoggedRequest& r : requests)
        forms.append(wireForm(r));
    return forms;
}

class DemoToolTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(site.isRunning()) << site.errorText().toStdString();
        ASSERT_TRUE(site.writeSiteConfig(dir.path()));
        // One file at a time, in the windows and in the tool (--parallel 1):
        // the FTP dialogues are compared line for line.
        TransferOptions options;
        options.parallelUploads = 1;
        ASSERT_TRUE(WriteTransferOptions(LocalFiles(dir.path()), options));
        program = std::make_unique<QuellixProgram>(dir.path(), [](const MsgDlgMessage&) { return TModalResult::mrOk; });
        program->Start();
        program->MainFrm->DownloadPage().PlaySound = [](const QString&) {};
    }
    TMainFrm& main() { return *program->MainFrm; }
    bool listed() {
        return WaitFor([&] { return main().Browser().HttpMydisk.ReceiveStream == nullptr && main().lv1->Count() > 0 &&
                                    !main().loading->isVisible(); },
                       20000);
    }
    int row(const QString& caption) {
        for (int r = 0; r < main().lv1->Count(); ++r)
            if (main().lv1->Caption(r) == caption)
                return r;
        ADD_FAILURE() << "no row " << caption.toStdString();
        return -1;
    }
    void selectOnly(int r) {
        for (int i = 0; i < main().lv1->Count(); ++i)
            main().lv1->SetSelected(i, i == r);
    }
    QList<LoggedRequest> since(qsizetype first) const { return site.requests().mid(first); }

    DemoSite site{{QStringLiteral("--big-file-mib"), QStringLiteral("1")}};
    QTemporaryDir dir;
    QTemporaryDir toolDir;
    std::unique_ptr<QuellixProgram> program;
};

TEST_F(DemoToolTest, TheToolSendsTheWindowsRequestsForLoginListingAndDownload) {
    const DemoAccount account = site.account(QStringLiteral("demo"));

    // Through the windows: log in, open the folder 软件, download 资料包.zip.
    TLoginFrm& login = *program->LoginFrm;
    login.ED_User->setText(account.name);
    login.ED_Pwd->setText(account.password);
    QTest::mouseClick(login.btnLogin, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return main().isVisible(); }, 20000));
    ASSERT_TRUE(listed());
    ASSERT_TRUE(WaitFor([&] { return main().HttpLoadSet.ReceiveStream == nullptr; }, 20000));
    selectOnly(row(u("软件")));
    main().Browser().lv1Click();
    main().lv1DblClick();
    ASSERT_TRUE(WaitFor([&] { return main().lv1->Count() > 0 && main().lv1->Caption(0) != u("图片") && listed(); },
                        20000));
    selectOnly(row(u("资料包.zip")));
    TDownFrm& down = *program->DownFrm;
    QTimer::singleShot(0, [&] { QTest::mouseClick(down.spSkinButton1, Qt::LeftButton); });
    main().NDownClick();
    DownloadScheduler& queue = program->MainFrm->Downloads();
    ASSERT_TRUE(WaitFor([&] { return queue.Queue.Count() == 1 && queue.AtRest(); }, 30000));
    ASSERT_EQ(queue.Queue.Row(0).State, RowState::Complete);
    const QList<LoggedRequest> windows = site.requests();

    // Through the tool: the same folder and the same file.
    SiteToolRun how;
    how.password = account.password.toUtf8();
    how.workDir = toolDir.path();
    const QStringList common{QStringLiteral("--site"), QString::fromUtf8(site.siteUrl()), QStringLiteral("--user"),
                             account.name};
    const ProcessResult ls = RunSiteTool(QStringList{QStringLiteral("ls"), QStringLiteral("12")} + common, how);
    ASSERT_EQ(ls.exitCode, 0) << ls.err.constData();
    const ProcessResult get =
        RunSiteTool(QStringList{QStringLiteral("get"), QStringLiteral("14"), QStringLiteral("--name"), u("资料包.zip")} +
                        common,
                    how);
    ASSERT_EQ(get.exitCode, 0) << get.err.constData();
    EXPECT_TRUE(ReadFileBytes(toolDir.filePath(u("资料包.zip"))) ==
                ReadFileBytes(dir.filePath(u("Downloads/资料包.zip"))));
    const QList<LoggedRequest> tool = since(windows.size());

    const QList<QByteArray> windowForms = wireForms(windows);
    const QList<QByteArray> toolForms = wireForms(tool);
    // ls: probe, login, the folder; get: probe, login, the size probe and
    // two ranges (neither needs the server settings).
    ASSERT_EQ(toolForms.size(), 3 + 5);
    for (const QByteArray& form : toolForms)
        EXPECT_TRUE(windowForms.contains(form)) << "not sent by the windows:\n" << form.constData();
    // The folder and the file were asked for once by each side.
    const auto count = [](const QList<QByteArray>& forms, const QByteArray& text) {
        return std::count_if(forms.cbegin(), forms.cend(), [&](const QByteArray& f) { return f.contains(text); });
    };
    EXPECT_EQ(count(windowForms, "folder_id=12&goback=0"), 1);
    EXPECT_EQ(count(toolForms, "folder_id=12&goback=0"), 1);
    EXPECT_EQ(count(windowForms, "file_id=14&"), 3);
    EXPECT_EQ(count(toolForms, "file_id=14&"), 3);
}

// The FTP command lines of each session of the site's FTP server, in order.
QList<QList<QByteArray>> FtpSessions(const QString& logPath) {
    QMap<int, QList<QByteArray>> sessions;
    for (const QByteArray& line : ReadFileBytes(logPath).split('\n')) {
        const QJsonObject entry = QJsonDocument::fromJson(line).object();
        if (entry.value(QStringLiteral("dir")).toString() == QStringLiteral("in"))
            sessions[entry.value(QStringLiteral("session")).toInt()].append(
                entry.value(QStringLiteral("line")).toString().toUtf8());
    }
    return sessions.values();
}

TEST_F(DemoToolTest, TheToolSendsTheWindowsRequestsForUploadUpdateAndResume) {
    const DemoAccount account = site.account(QStringLiteral("demo"));
    QTemporaryDir files;
    const QStringList paths{files.filePath(QStringLiteral("a.txt")), files.filePath(u("报告 1.doc"))};
    WriteFileBytes(paths[0], "alpha");
    WriteFileBytes(paths[1], QByteArray(3000, 'r'));

    // Through the windows: queue the files, "上传文件", "更新入库", "续传文件".
    TLoginFrm& login = *program->LoginFrm;
    login.ED_User->setText(account.name);
    login.ED_Pwd->setText(account.password);
    QTest::mouseClick(login.btnLogin, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return main().isVisible(); }, 20000));
    ASSERT_TRUE(listed());
    ASSERT_TRUE(WaitFor([&] { return main().HttpLoadSet.ReceiveStream == nullptr && !main().SiteSettings.FtpHost.isEmpty(); },
                        20000));
    const qsizetype before = site.requests().size();
    main().QueueCommands().spOpenDlg = [&](QWidget*) { return paths; };
    main().QueueCommands().AddLocalFiles();
    QTest::mouseClick(main().btnUpload, Qt::LeftButton);
    ASSERT_TRUE(main().UploadFinished);
    main().N23->trigger();
    main().N24->trigger();
    const QList<LoggedRequest> windows = since(before);

    // Through the tool: the same files, then update and resume.
    SiteToolRun how;
    how.password = account.password.toUtf8();
    how.workDir = toolDir.path();
    const QStringList common{QStringLiteral("--site"), QString::fromUtf8(site.siteUrl()), QStringLiteral("--user"),
                             account.name};
    const qsizetype toolStart = site.requests().size();
    for (const QStringList& command : {QStringList{QStringLiteral("put"), QStringLiteral("--parallel"), QStringLiteral("1")} + paths, QStringList{QStringLiteral("update")},
                                       QStringList{QStringLiteral("resume")}}) {
        const ProcessResult result = RunSiteTool(command + common, how);
        ASSERT_EQ(result.exitCode, 0) << result.err.constData();
    }
    const auto registrations = [](const QList<LoggedRequest>& requests) {
        QList<LoggedRequest> found;
        for (const LoggedRequest& r : requests)
            if (r.path.endsWith("/client_sub.php"))
                found.append(r);
        return wireForms(found);
    };
    const QList<QByteArray> windowForms = registrations(windows);
    // postlist, the run's two updates, "更新入库" and "续传文件".
    ASSERT_EQ(windowForms.size(), 5);
    EXPECT_TRUE(windowForms[0].contains("action=postlist&fl=")) << windowForms[0].constData();
    EXPECT_EQ(registrations(since(toolStart)), windowForms);

    // The FTP dialogue of the windows' run and of the tool's, line for line.
    const QList<QList<QByteArray>> sessions = FtpSessions(site.ftpLogPath());
    ASSERT_EQ(sessions.size(), 2);
    EXPECT_EQ(sessions[1], sessions[0]);
    EXPECT_EQ(sessions[0].count("PASV"), 2);
}

}  // namespace
