// The names and lists the client tells the site about its uploads. The
// expected digests were computed with Python's hashlib, not with our MD5.

#include "support/testutil.h"
#include "text/errors.h"
#include "text/gbk.h"
#include "upload/filelist.h"
#include "upload/uploadqueue.h"
#include "upload/uploadregistration.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(RemoteFileName, IsTheDigestOfPathAndSizeWithTheLowerCaseExtension) {
    EXPECT_EQ(RemoteFileName("/home/u/Report.PDF", 2048), "deaa5b4fac2246b300f6933515123566.pdf");
    EXPECT_EQ(RemoteFileName("/a/b.tar.GZ", 7), "2925f7f79389eab7f702eaa66af2bb10.gz");
    EXPECT_EQ(RemoteFileName("/big/disk.IMG", 5LL * 1024 * 1024 * 1024), "90d7bd46f47b71b237392372a46d51d1.img");
}

TEST(RemoteFileName, TakesTheExtensionOnlyFromTheNamePart) {
    EXPECT_EQ(RemoteFileName("/home/u.v/README", 5), "960dc947bbd41b7d54eb568b31ccb09d");  // the dot is in the folder
    EXPECT_EQ(RemoteFileName("/a/.bashrc", 9), "72078800612eec826e93ea8efb254ce5.bashrc");
    EXPECT_EQ(RemoteFileName("/a/name.", 1), "9b4c4e9db0d348c7baa02a876a3f28bd.");
}

TEST(RemoteFileName, ChangesWithTheSizeAndCountsAMissingFileAsMinusOne) {
    EXPECT_EQ(RemoteFileName("/a/x.txt", -1), "f7d4386fba89a1f3d032d00fbbcf9a04.txt");
    EXPECT_NE(RemoteFileName("/a/x.txt", 1), RemoteFileName("/a/x.txt", 2));
    EXPECT_EQ(RemoteFileName("/a/x.txt", 1), RemoteFileName("/a/x.txt", 1));
}

TEST(RemoteFileName, HashesTheGbkBytesAndLowersOnlyAsciiCapitalsByteByByte) {
    EXPECT_EQ(RemoteFileName("/数据/报告.DOC"_gbk, 1), "213ada22787ba5cac0b61c6540dbb1ca.doc");
    // "丄" is 0x81 0x41 in GBK: its second byte is the letter A and becomes
    // a, exactly as the site computes it.
    const QByteArray name = RemoteFileName("/a/x.丄"_gbk, 3);
    EXPECT_TRUE(name.endsWith(QByteArray(".\x81" "a"))) << name.toHex().toStdString();
    EXPECT_EQ(name.size(), 32 + 3);
}

TEST(FileListEntry, JoinsRemoteNameSizeNameAndFolderUnescaped) {
    const QByteArray name = "a b&c=d+e%f.txt";
    const QByteArray folder = "/tmp/x y/";
    EXPECT_EQ(FileListEntry(name, folder, 3), RemoteFileName(folder + name, 3) + ">3>" + name + ">" + folder + "|");
    EXPECT_EQ(FileListEntry("big.iso", "/d/", 5LL << 30),
              RemoteFileName("/d/big.iso", 5LL << 30) + ">5368709120>big.iso>/d/|");
    EXPECT_EQ(FileListEntry("gone.txt", "/d/", -1), RemoteFileName("/d/gone.txt", -1) + ">-1>gone.txt>/d/|");
}

TEST(FileListValue, HasOneEntryPerRowInRowOrderEachEndingWithABar) {
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/");
    WriteFileBytes(folder + QStringLiteral("b.txt"), "12345");
    WriteFileBytes(folder + QString::fromUtf8("报告.doc"), "1");
    UploadQueue queue;
    ASSERT_TRUE(queue.AddLocalFile(folder + QStringLiteral("b.txt")));
    ASSERT_TRUE(queue.AddLocalFile(folder + QString::fromUtf8("报告.doc")));
    ASSERT_TRUE(queue.AddLocalFile(folder + QStringLiteral("b.txt")));
    queue.SetStatus(2, QueueStatus::Succeeded());  // status and check box do not matter
    queue.SetChecked(2, true);
    ASSERT_TRUE(QFile::remove(folder + QString::fromUtf8("报告.doc")));  // announced all the same

    const QByteArray gbkFolder = ToGbk(folder);
    const QByteArray b = FileListEntry("b.txt", gbkFolder, 5);
    const QByteArray missing = FileListEntry("报告.doc"_gbk, gbkFolder, -1);
    EXPECT_EQ(FileListValue(queue), b + missing + b);
    queue.Clear();
    EXPECT_EQ(FileListValue(queue), "");
}

TEST(RegistrationBodies, FollowTheFixedFieldOrder) {
    EXPECT_EQ(PostFileListBody("postlist", "r>1>a>/f/|", 7, "张三"_gbk, "T=1"),
              "action=postlist&fl=r>1>a>/f/|&folder_id=7&username=" + "张三"_gbk + "&password=T=1");
    EXPECT_EQ(SubActionBody("update", "a b", "tok"), "action=update&username=a b&password=tok");
}

TEST(ParseResumeLine, ReadsNameSizeAndFolderTrimmed) {
    ResumeEntry e = ParseResumeLine("a.txt|1234|/home/u/");
    EXPECT_EQ(e.fileName, "a.txt");
    EXPECT_EQ(e.size, 1234);
    EXPECT_EQ(e.folderPath, "/home/u/");
    e = ParseResumeLine(" 报告.doc | 5 |/数据/ |extra"_gbk);
    EXPECT_EQ(e.fileName, "报告.doc"_gbk);
    EXPECT_EQ(e.size, 5);
    EXPECT_EQ(e.folderPath, "/数据/"_gbk);
}

TEST(ParseResumeLine, RefusesShortLinesAndSizesOutsideThirtyTwoBits) {
    const auto message = [](const QByteArray& line) -> QByteArray {
        try {
            ParseResumeLine(line);
        } catch (const QxError& e) {
            return QByteArray(e.className()) + ": " + e.message();
        }
        return "no error";
    };
    // An empty folder item is dropped, so the line has too few items.
    EXPECT_EQ(message("a.txt|1234|"), "EStringListError: List index out of bounds (2)");
    EXPECT_EQ(message("|"), "EStringListError: List index out of bounds (0)");
    EXPECT_EQ(message("a.txt|12x|/f/"), "EConvertError: '12x' is not a valid integer value");
    EXPECT_EQ(message("a.txt|2147483648|/f/"), "EConvertError: '2147483648' is not a valid integer value");
    EXPECT_EQ(message("a.txt|-2147483648|/f/"), "no error");
}

}  // namespace
