// quellix-tool site put, resume, get and links against a site stand-in:
// registrations the site does not confirm, a resume list that is no list,
// and a folder and a file that share an id.

#include "sitestandin.h"

#include "support/testutil.h"
#include "text/gbk.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class SiteFaultsTest : public testing::Test {
protected:
    SiteStandIn standIn;
    QTemporaryDir dir;
};

// The files reach the FTP server, but "update" is answered with 500: the
// command says that the site did not take them and exits 1.
TEST_F(SiteFaultsTest, PutExitsWithTheReasonWhenTheSiteDoesNotRegisterTheUploads) {
    const QString a = dir.filePath(QStringLiteral("a.bin"));
    WriteFileBytes(a, QByteArray(1500000, 'a'));
    const QString b = dir.filePath(QStringLiteral("b.txt"));
    WriteFileBytes(b, QByteArray(3000, 'b'));
    standIn.replies["update"] = {500, "error\r\n"};

    // The stand-in's FTP server serves one session at a time.
    const ProcessResult put =
        standIn.run({QStringLiteral("put"), QStringLiteral("--parallel"), QStringLiteral("1"), a, b}, dir.path());

    EXPECT_EQ(put.exitCode, 1);
    EXPECT_EQ(put.out, ("sent: " + a + "\nsent: " + b + "\n2 on the server, 0 failed\n").toUtf8());
    EXPECT_TRUE(put.err.endsWith(
        "quellix-tool site put: the site did not register the uploads: the site answered with status 500\n"))
        << put.err.constData();
    EXPECT_EQ(standIn.site.requestsFor("update").size(), 1);
    EXPECT_EQ(standIn.ftp.stored(), QByteArray(3000, 'b'));

    // "resume" answered with something other than its list.
    standIn.replies["resume"] = {200, "false|busy\r\n"};
    const ProcessResult resume = standIn.run({QStringLiteral("resume")}, dir.path());
    EXPECT_EQ(resume.exitCode, 1);
    EXPECT_EQ(resume.out, "");
    EXPECT_EQ(resume.err,
              "quellix-tool site resume: the site did not give its list of unfinished uploads: the site answered "
              "'false|busy'\n");
}

// Folders and files are numbered apart: folder 7 and file 7 in one folder.
// "get 7" and "links 7" mean the file.
TEST_F(SiteFaultsTest, GetAndLinksTakeTheFileWhenAFolderHasTheSameId) {
    standIn.folders[0] = {"docs|0|文件夹|1|7|2024-01-01|0|0"_gbk, "report.txt|5|txt|0|7|2024-01-02|3|1"};
    standIn.folders[7] = {};
    standIn.files["7"] = "hello";

    const ProcessResult get = standIn.run({QStringLiteral("get"), QStringLiteral("7")}, dir.path());
    EXPECT_EQ(get.exitCode, 0) << get.err.constData();
    EXPECT_EQ(ReadFileBytes(dir.filePath(QStringLiteral("report.txt"))), "hello");

    const ProcessResult links =
        standIn.run({QStringLiteral("links"), QStringLiteral("7"), QStringLiteral("--kind"), QStringLiteral("ubb")},
                    dir.path());
    EXPECT_EQ(links.exitCode, 0) << links.err.constData();
    EXPECT_EQ(links.out, "[url=" + standIn.site.url() + "file-7.html]report.txt[/url]\r\n");
}

}  // namespace
