#include "platform/helperlib.h"
#include "support/testutil.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(FileSizeByName, GivesTheExactSixtyFourBitSize) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sparse.bin"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(5LL * 1024 * 1024 * 1024 + 3));  // sparse, 5 GiB + 3
    file.close();
    EXPECT_EQ(FileSizeByName(path), 5LL * 1024 * 1024 * 1024 + 3);
    WriteFileBytes(dir.filePath(QStringLiteral("empty")), "");
    EXPECT_EQ(FileSizeByName(dir.filePath(QStringLiteral("empty"))), 0);
}

TEST(FileSizeByName, MissingPathsAndFoldersGiveMinusOne) {
    QTemporaryDir dir;
    EXPECT_EQ(FileSizeByName(dir.filePath(QStringLiteral("nothing"))), -1);
    EXPECT_EQ(FileSizeByName(dir.path()), -1);
}

TEST(WriteToFile, AppendsEachLineCreatingTheFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("debug.txt"));
    WriteToFile(path, "one");
    WriteToFile(path, "two");
    EXPECT_EQ(ReadFileBytes(path), "one\ntwo\n");
    WriteToFile(dir.filePath(QStringLiteral("no/such/folder.txt")), "ignored");  // no error
}

}  // namespace
