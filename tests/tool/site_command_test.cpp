// quellix-tool site, run as a user runs it, against the demo site: login,
// ls, get and links, their one-line errors and exit codes.

#include "support/demosite.h"
#include "support/faultproxy.h"
#include "support/httpscript.h"
#include "support/sitetool.h"
#include "support/testutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <new>

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

SiteToolRun withProgram(const QString& program, bool noPassword) {
    SiteToolRun how;
    how.program = program;
    how.noPassword = noPassword;
    return how;
}

SiteToolRun withPassword(const QByteArray& password) {
    SiteToolRun how;
    how.password = password;
    return how;
}

SiteToolRun withoutPassword() {
    SiteToolRun how;
    how.noPassword = true;
    return how;
}

class SiteToolTest : public testing::Test {
protected:
    static void SetUpTestSuite() { site_ = new DemoSite({QStringLiteral("--big-file-mib"), QStringLiteral("1")}); }
    static void TearDownTestSuite() {
        delete site_;
        site_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(site_->isRunning()) << site_->errorText().toStdString(); }

    // The command with the site and the account 张三 (its password from
    // QUELLIX_PASSWORD unless `how` says otherwise).
    ProcessResult run(QStringList args, SiteToolRun how = {}) {
        const DemoAccount account = site_->account(u("张三"));
        args += {QStringLiteral("--site"), QString::fromUtf8(site_->siteUrl()), QStringLiteral("--user"), account.name};
        if (how.password.isEmpty() && !how.noPassword)
            how.password = account.password.toUtf8();
        if (how.workDir.isEmpty())
            how.workDir = dir.path();
        return RunSiteTool(args, how);
    }
    QList<LoggedRequest> requestsFor(const QByteArray& action) const {
        QList<LoggedRequest> found;
        for (const LoggedRequest& r : site_->requests())
            if (r.body.startsWith("action=" + action + "&") || r.target.contains("action=" + action + "&"))
                found.append(r);
        return found;
    }

    static DemoSite* site_;
    QTemporaryDir dir;
};

DemoSite* SiteToolTest::site_ = nullptr;

TEST_F(SiteToolTest, LoginPrintsTheAccountAndTheFtpPlaceButNoSecret) {
    // The site from the program folder's quellix.cfg, the password from
    // the first line of a file.
    const QString program = dir.filePath(QStringLiteral("program"));
    ASSERT_TRUE(QDir().mkpath(program));
    ASSERT_TRUE(QFile::copy(ProgramDir() + QStringLiteral("/quellix-tool"), program + QStringLiteral("/quellix-tool")));
    ASSERT_TRUE(site_->writeSiteConfig(program));
    const DemoAccount account = site_->account(u("张三"));
    const QString passwordFile = dir.filePath(QStringLiteral("password"));
    WriteFileBytes(passwordFile, account.password.toUtf8() + "\nnot this line\n");
    const ProcessResult r = RunSiteTool({QStringLiteral("--user"), account.name, QStringLiteral("login"),
                                         QStringLiteral("--password-file"), passwordFile},
                                        withProgram(program + QStringLiteral("/quellix-tool"), true));
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(r.out, "account: 张三\nsite: " + site_->siteName().toUtf8() + "\naddress: " + site_->siteUrl() +
                         "\nftp host: 127.0.0.1\nftp port: " + QByteArray::number(site_->ftpPort()) +
                         "\nftp folder: " + site_->ftpDir() + "\n");
    EXPECT_EQ(r.err, "");
    // Once more without quellix.cfg or --site: there is no site to ask.
    ASSERT_TRUE(QFile::remove(program + QStringLiteral("/quellix.cfg")));
    const ProcessResult noSite = RunSiteTool({QStringLiteral("login"), QStringLiteral("--user"), account.name},
                                             withProgram(program + QStringLiteral("/quellix-tool"), false));
    EXPECT_EQ(noSite.exitCode, 2);
    EXPECT_TRUE(noSite.err.startsWith("quellix-tool site login: no site: give --site URL")) << noSite.err.constData();
}

TEST_F(SiteToolTest, ARefusedLoginOrAMissingPasswordIsOneLineOnStandardError) {
    const qsizetype logins = requestsFor("login").size();
    const qsizetype loadsets = requestsFor("loadset").size();
    const ProcessResult refused = run({QStringLiteral("login")}, withPassword("wrong"));
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err, "quellix-tool site login: login refused: 用户名或密码错误\n");
    EXPECT_EQ(requestsFor("login").size(), logins + 1);
    EXPECT_EQ(requestsFor("loadset").size(), loadsets);

    // No password file, no QUELLIX_PASSWORD, no saved login and no
    // terminal to ask on: nothing is sent.
    const ProcessResult noPassword = run({QStringLiteral("ls")}, withoutPassword());
    EXPECT_EQ(noPassword.exitCode, 2);
    EXPECT_TRUE(noPassword.err.startsWith("quellix-tool site ls: no password: give --password-file FILE, set "
                                          "QUELLIX_PASSWORD or save the login with site login --remember\n"))
        << noPassword.err.constData();
    EXPECT_EQ(requestsFor("login").size(), logins + 1);
}

TEST_F(SiteToolTest, LsPrintsTheRowsOfTheWindowsListAsATableAndAsJsonLines) {
    const ProcessResult table = run({QStringLiteral("ls")});
    EXPECT_EQ(table.exitCode, 0) << table.err.constData();
    EXPECT_EQ(table.out,
              "文件名称      文件大小  文件类型  创建时间          ID\n"
              "照片                 -  文件夹    2024-06-01 08:05  20\n"
              "空目录               -  文件夹    2024-06-02 09:00  22\n"
              "欢迎使用.txt       55B  TXT文件   2024-06-01 08:00  19\n");

    const ProcessResult json = run({QStringLiteral("ls"), QStringLiteral("20"), QStringLiteral("--json")});
    EXPECT_EQ(json.exitCode, 0) << json.err.constData();
    const QList<QByteArray> lines = json.out.split('\n');
    ASSERT_EQ(lines.size(), 2);  // one object and the end of its line
    EXPECT_EQ(lines[1], "");
    QJsonParseError error;
    const QJsonObject row = QJsonDocument::fromJson(lines[0], &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError);
    EXPECT_EQ(row.value(QStringLiteral("name")).toString(), u("猫.png"));
    EXPECT_EQ(row.value(QStringLiteral("id")).toString(), QStringLiteral("21"));
    EXPECT_EQ(row.value(QStringLiteral("folder")).toBool(true), false);
    EXPECT_EQ(row.value(QStringLiteral("size")).toInteger(), 779);
    EXPECT_EQ(row.value(QStringLiteral("size_text")).toString(), QStringLiteral("779B"));
    EXPECT_EQ(row.value(QStringLiteral("type")).toString(), u("PNG文件"));
    EXPECT_EQ(row.value(QStringLiteral("created")).toString(), QStringLiteral("2024-06-01 08:06"));
    EXPECT_TRUE(row.value(QStringLiteral("views")).isString());
    EXPECT_TRUE(row.value(QStringLiteral("downloads")).isString());

    const ProcessResult missing = run({QStringLiteral("ls"), QStringLiteral("999")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "quellix-tool site ls: the site answered the listing of folder 999 with status 404\n");
    const ProcessResult notAnId = run({QStringLiteral("ls"), QStringLiteral("1&goback=1")});
    EXPECT_EQ(notAnId.exitCode, 2);
}

TEST_F(SiteToolTest, GetNeverOverwritesAndLeavesNothingForAnUnknownId) {
    const QString target = dir.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(target));
    const QByteArray content = ReadFileBytes(site_->dataDir() + u("/disk/张三/照片/猫.png"));
    ASSERT_EQ(content.size(), 779);

    // The name comes from the listings (the file is in a folder below the root).
    const ProcessResult first = run({QStringLiteral("get"), QStringLiteral("21"), QStringLiteral("-o"), target});
    EXPECT_EQ(first.exitCode, 0) << first.err.constData();
    EXPECT_EQ(first.out, (target + u("/猫.png")).toUtf8() + "\n");
    EXPECT_TRUE(first.err.contains("100%")) << first.err.constData();
    EXPECT_TRUE(ReadFileBytes(target + u("/猫.png")) == content);

    WriteFileBytes(target + u("/猫.png"), "mine");
    const ProcessResult second = run({QStringLiteral("get"), QStringLiteral("21"), QStringLiteral("--name"),
                                      u("猫.png"), QStringLiteral("-o"), target});
    EXPECT_EQ(second.exitCode, 0) << second.err.constData();
    const QRegularExpression suffixed(u("^%1/猫_[A-Za-z0-9]{2}\\.png\n$").arg(QRegularExpression::escape(target)));
    EXPECT_TRUE(suffixed.match(QString::fromUtf8(second.out)).hasMatch()) << second.out.constData();
    EXPECT_TRUE(ReadFileBytes(QString::fromUtf8(second.out).trimmed()) == content);
    EXPECT_EQ(ReadFileBytes(target + u("/猫.png")), "mine");

    // An id the account does not have: found in no listing, or refused by
    // the site when the name is given.
    const ProcessResult unknown = run({QStringLiteral("get"), QStringLiteral("12345"), QStringLiteral("-o"), target});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_EQ(unknown.err, "quellix-tool site get: no file with id 12345 on the disk\n");
    const ProcessResult refused = run({QStringLiteral("get"), QStringLiteral("12345"), QStringLiteral("--name"),
                                       QStringLiteral("x.bin"), QStringLiteral("-o"), target});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "quellix-tool site get: the site has no file with id 12345 for this account\n");
    EXPECT_EQ(QDir(target).entryList(QDir::Files).size(), 2);
}

TEST_F(SiteToolTest, AnEmptyFileOfTheDiskArrivesAsAnEmptyFile) {
    // The site answers an empty file as it answers a refused one; the
    // listing names the file and its size 0.
    const DemoAccount account = site_->account(QStringLiteral("demo"));
    SiteToolRun how;
    how.password = account.password.toUtf8();
    how.workDir = dir.path();
    const ProcessResult r = RunSiteTool({QStringLiteral("get"), QStringLiteral("18"), QStringLiteral("--site"),
                                         QString::fromUtf8(site_->siteUrl()), QStringLiteral("--user"), account.name},
                                        how);
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(r.out, dir.filePath(u("空文件.txt")).toUtf8() + "\n");
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(u("空文件.txt"))));
    EXPECT_EQ(QFileInfo(dir.filePath(u("空文件.txt"))).size(), 0);
}

TEST_F(SiteToolTest, CtrlCStopsADownloadAndKeepsThePartialFileForTheNextRun) {
    // The proxy holds a connection back at each of three points of the
    // bytes it carries. The size probe may take the first one (it reads on
    // until the client closes it), but the transfer of 1 MiB has only three
    // connections, so it is still running when Ctrl+C comes.
    FaultProxy proxy(quint16(site_->httpPort()), {QStringLiteral("--at"), QStringLiteral("200K,400K,600K"),
                                                  QStringLiteral("--fault"), QStringLiteral("stall:60000"),
                                                  QStringLiteral("--count"), QStringLiteral("down")});
    ASSERT_TRUE(proxy.isRunning()) << proxy.error().constData();
    const DemoAccount account = site_->account(QStringLiteral("demo"));
    QProcess tool;
    EndWithThisProcess(tool);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUELLIX_PASSWORD"), account.password);
    tool.setProcessEnvironment(environment);
    tool.setWorkingDirectory(dir.path());
    // File 13 of the demo account is the 1 MiB file.
    tool.start(ProgramDir() + QStringLiteral("/quellix-tool"),
               {QStringLiteral("site"), QStringLiteral("get"), QStringLiteral("13"), QStringLiteral("--name"),
                QStringLiteral("big.bin"), QStringLiteral("--site"),
                QStringLiteral("http://127.0.0.1:%1/").arg(proxy.port()), QStringLiteral("--user"), account.name});
    ASSERT_TRUE(tool.waitForStarted(10000));
    ASSERT_TRUE(
        WaitFor([&] { return proxy.faults() > 0 && QFile::exists(dir.filePath(QStringLiteral("big.bin.part"))); }, 30000));
    // A process that has ended has the id 0, and kill(0, ...) would signal
    // the whole process group: the test program and whatever runs it.
    const pid_t pid = pid_t(tool.processId());
    ASSERT_GT(pid, 0) << "the tool ended before Ctrl+C: " << tool.readAllStandardError().constData();
    ::kill(pid, SIGINT);
    ASSERT_TRUE(WaitFor([&] { return tool.state() == QProcess::NotRunning; }, 20000));
    EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tool.exitCode(), 130);
    EXPECT_TRUE(tool.readAllStandardError().endsWith("quellix-tool site get: interrupted\n"));
    EXPECT_EQ(tool.readAllStandardOutput(), "");
    // Never a partial file under the final name; the part file and its
    // state stay, so the same command continues it.
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("big.bin"))));
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("big.bin.part"))));
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("big.bin.part.state"))));

    // The spans the state file names as complete ("complete 0-99,...").
    QList<QPair<qint64, qint64>> complete;
    for (const QByteArray& line : ReadFileBytes(dir.filePath(QStringLiteral("big.bin.part.state"))).split('\n'))
        if (line.startsWith("complete "))
            for (const QByteArray& span : QByteArray::fromPercentEncoding(line.mid(9)).split(','))
                if (span.contains('-'))
                    complete.append({span.split('-')[0].toLongLong(), span.split('-')[1].toLongLong()});

    // The same command again (the same address: a proxy without faults on
    // the same port) continues where the first one stood.
    const quint16 port = proxy.port();
    proxy.~FaultProxy();
    new (&proxy) FaultProxy(quint16(site_->httpPort()), {QStringLiteral("--port"), QString::number(port)});
    ASSERT_TRUE(proxy.isRunning()) << proxy.error().constData();
    const qsizetype before = site_->requests().size();
    SiteToolRun how;
    how.password = account.password.toUtf8();
    how.workDir = dir.path();
    const ProcessResult again = RunSiteTool(
        {QStringLiteral("get"), QStringLiteral("13"), QStringLiteral("--name"), QStringLiteral("big.bin"),
         QStringLiteral("--site"), QStringLiteral("http://127.0.0.1:%1/").arg(port), QStringLiteral("--user"), account.name},
        how);
    EXPECT_EQ(again.exitCode, 0) << again.err.constData();
    EXPECT_TRUE(ReadFileBytes(dir.filePath(QStringLiteral("big.bin"))) ==
                ReadFileBytes(site_->dataDir() + u("/disk/demo/软件/大文件 64MB.bin")));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("big.bin.part"))));
    // No byte of the complete spans is asked for again.
    for (const LoggedRequest& r : site_->requests().mid(before)) {
        const QByteArray range = r.header("Range");
        if (!range.startsWith("bytes="))
            continue;
        const qint64 first = range.mid(6).split('-')[0].toLongLong();
        for (const auto& [begin, last] : std::as_const(complete))
            EXPECT_FALSE(first >= begin && first <= last) << range.constData() << " asks for saved bytes";
    }
}

TEST_F(SiteToolTest, GetFetchesSeveralFilesAndWholeFoldersAndNamesEachFailure) {
    const DemoAccount account = site_->account(QStringLiteral("demo"));
    const QString out = dir.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(out));
    SiteToolRun how;
    how.password = account.password.toUtf8();
    const QStringList common{QStringLiteral("-o"), out, QStringLiteral("--site"), QString::fromUtf8(site_->siteUrl()),
                             QStringLiteral("--user"), account.name};
    // readme.txt and my notes.txt, the folders 文档 (with 报告 in it) and
    // 空文件夹, and an id the disk does not have.
    const QStringList args = QStringList{QStringLiteral("get"), QStringLiteral("15"), QStringLiteral("16"),
                                         QStringLiteral("-r"), QStringLiteral("1"), QStringLiteral("-r"),
                                         QStringLiteral("11"), QStringLiteral("99999"), QStringLiteral("--parallel"),
                                         QStringLiteral("3"), QStringLiteral("--connections"), QStringLiteral("3")} +
                             common;
    const ProcessResult r = RunSiteTool(args, how);
    EXPECT_EQ(r.exitCode, 1);
    QStringList saved = QString::fromUtf8(r.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    saved.sort();
    QStringList expected;
    for (const char* file : {"readme.txt", "my notes.txt", "文档/项目 计划书.txt", "文档/会议纪要.md",
                             "文档/报告/2023 年度总结.pdf", "文档/报告/销售数据.csv"})
        expected << out + QLatin1Char('/') + u(file);
    expected.sort();
    EXPECT_EQ(saved, expected);
    for (const QString& path : expected)
        EXPECT_TRUE(ReadFileBytes(path) ==
                    ReadFileBytes(site_->dataDir() + u("/disk/demo/") + path.mid(out.size() + 1)))
            << path.toStdString();
    EXPECT_TRUE(QFileInfo(out + u("/空文件夹")).isDir());
    EXPECT_TRUE(r.err.contains("failed: no file with id 99999 on the disk\n")) << r.err.constData();
    EXPECT_TRUE(r.err.contains("6 complete, 1 failed:\n  no file with id 99999 on the disk\n")) << r.err.constData();
    EXPECT_TRUE(r.err.endsWith("quellix-tool site get: 1 file not downloaded\n")) << r.err.constData();

    // Again: every file is there whole, so nothing is fetched.
    const int downloads = int(requestsFor("download").size());
    const ProcessResult again = RunSiteTool(args.mid(0, 7) + args.mid(8), how);
    EXPECT_EQ(again.exitCode, 0) << again.err.constData();
    EXPECT_EQ(again.out.count('\n'), 6);
    EXPECT_EQ(requestsFor("download").size(), downloads);
}

TEST_F(SiteToolTest, LinksAreTheLinkWindowsTexts) {
    const QByteArray site = site_->siteUrl();
    const ProcessResult url = run({QStringLiteral("links"), QStringLiteral("19"), QStringLiteral("21")});
    EXPECT_EQ(url.exitCode, 0) << url.err.constData();
    EXPECT_EQ(url.out, site + "file-19.html\r\n" + site + "file-21.html\r\n");
    const ProcessResult ubb =
        run({QStringLiteral("links"), QStringLiteral("21"), QStringLiteral("--kind"), QStringLiteral("ubb")});
    EXPECT_EQ(ubb.out, "[url=" + site + "file-21.html]猫.png[/url]\r\n");
    const ProcessResult post = run(
        {QStringLiteral("links"), QStringLiteral("19"), QStringLiteral("21"), QStringLiteral("--kind"), QStringLiteral("post")});
    EXPECT_EQ(post.out, "文件名称：欢迎使用.txt\r\n文件链接：" + site + "file-19.html\r\n\r\n"
                        "文件名称：猫.png\r\n文件链接：" + site + "file-21.html\r\n\r\n");
    const ProcessResult folder =
        run({QStringLiteral("links"), QStringLiteral("20"), QStringLiteral("--kind"), QStringLiteral("ubb")});
    EXPECT_EQ(folder.exitCode, 1);
    EXPECT_EQ(folder.err, "quellix-tool site links: 20 is a folder, not a file\n");
}

TEST(SiteTool, TheSitesTextsReachTheTerminalWithoutControlCharacters) {
    // A site whose refusal carries an escape sequence (a new window title)
    // and a bell.
    HttpScriptedServer server;
    server.reply(HttpScriptedServer::response("HTTP/1.0 200 OK", {}, ""));
    server.reply(HttpScriptedServer::response("HTTP/1.0 200 OK", {}, "\x1b]0;owned\x07no\r\n"));
    SiteToolRun how;
    how.password = "secret";
    const ProcessResult r = RunSiteTool({QStringLiteral("login"), QStringLiteral("--site"), QString::fromUtf8(server.url()),
                                         QStringLiteral("--user"), QStringLiteral("demo")},
                                        how);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "quellix-tool site login: login refused: ?]0;owned?no\n");
}

}  // namespace
