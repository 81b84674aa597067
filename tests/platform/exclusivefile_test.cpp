// Files taken for exclusive use: a second taker finds the file busy and
// leaves its bytes alone, until the holder closes it.

#include "platform/exclusivefile.h"
#include "support/testutil.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(ExclusiveFile, ASecondTakerFindsTheFileBusyUntilTheHolderClosesIt) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.skn.tmp"));
    EXPECT_FALSE(FileHeldOpen(path));  // nothing there

    QFile holder(path);
    ASSERT_EQ(OpenExclusive(holder, QIODevice::ReadWrite), ExclusiveOpen::Opened);
    ASSERT_EQ(holder.write("partial"), 7);
    ASSERT_TRUE(holder.flush());
    EXPECT_TRUE(FileHeldOpen(path));

    QFile second(path);
    EXPECT_EQ(OpenExclusive(second, QIODevice::ReadWrite), ExclusiveOpen::Busy);
    EXPECT_FALSE(second.isOpen());
    EXPECT_EQ(ReadFileBytes(path), "partial");  // the busy file kept its bytes

    holder.close();
    EXPECT_FALSE(FileHeldOpen(path));
    EXPECT_EQ(OpenExclusive(second, QIODevice::ReadWrite), ExclusiveOpen::Opened);
    EXPECT_TRUE(second.resize(0));
}

TEST(ExclusiveFile, AFileThatCannotBeOpenedIsAFailureNotBusy) {
    QTemporaryDir dir;
    QFile inMissingFolder(dir.filePath(QStringLiteral("no/such/file")));
    EXPECT_EQ(OpenExclusive(inMissingFolder, QIODevice::ReadWrite), ExclusiveOpen::Failed);
    QFile folder(dir.path());
    EXPECT_EQ(OpenExclusive(folder, QIODevice::ReadWrite), ExclusiveOpen::Failed);
    EXPECT_FALSE(FileHeldOpen(dir.filePath(QStringLiteral("no/such/file"))));
}

}  // namespace
