#include "support/testutil.h"
#include "text/errors.h"
#include "text/textfile.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(WriteTextLine, TruncateLeavesOneLineAppendAddsAtTheEnd) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f.txt"));
    WriteTextLine(path, "first", false);  // missing file: created with one line
    EXPECT_EQ(ReadFileBytes(path), "first\r\n");
    WriteTextLine(path, "second", false);
    EXPECT_EQ(ReadFileBytes(path), "first\r\nsecond\r\n");
    WriteTextLine(path, QByteArray("\xd5\xc5", 2), true);
    EXPECT_EQ(ReadFileBytes(path), QByteArray("\xd5\xc5\r\n"));
}

TEST(WriteTextLine, AFileThatCannotBeCreatedRaisesAnInputOutputError) {
    QTemporaryDir dir;
    EXPECT_THROW(WriteTextLine(dir.filePath(QStringLiteral("missing/f.txt")), "x", true), EInOutError);
}

TEST(ReadTextFileJoined, EveryLineEndsWithCrLfWhateverTheFileUsed) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f.txt"));
    for (const QByteArray& content : {QByteArray("FRAME"), QByteArray("FRAME\n"), QByteArray("FRAME\r\n")}) {
        WriteFileBytes(path, content);
        EXPECT_EQ(ReadTextFileJoined(path), "FRAME\r\n");
    }
    EXPECT_THROW(ReadTextFileJoined(dir.filePath(QStringLiteral("none"))), EInOutError);
}

}  // namespace
