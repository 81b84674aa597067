#include "platform/gui/icons.h"
#include "support/testutil.h"

#include <gtest/gtest.h>

namespace {

TEST(SystemIcons, FoldersAndFilesGetDistinctIconsWithoutTouchingTheDisk) {
    const int folder = GetSystemIconIndexA(QStringLiteral("/no/such/folder"), 1);
    const int file = GetSystemIconIndexA(QStringLiteral("/no/such/readme"), 0);
    const int empty = GetSystemIconIndexA(QString(), 0);
    EXPECT_NE(folder, file);
    EXPECT_EQ(file, empty);
    EXPECT_EQ(GetSystemIconIndexA(QStringLiteral("photo.jpg"), 1), folder);  // the flag decides
}

TEST(SystemIcons, SameExtensionSameIndexValidInBothLists) {
    const int a = GetSystemIconIndexA(QStringLiteral("a.PNG"), 0);
    const int b = GetSystemIconIndexA(QStringLiteral("/x/b.png"), 0);
    EXPECT_EQ(a, b);
    const SystemImageList* small = GetSystemImageListHandle(1);
    const SystemImageList* large = GetSystemImageListHandle(0);
    EXPECT_EQ(small->iconSize(), 16);
    EXPECT_EQ(large->iconSize(), 32);
    for (int index : {a, GetSystemIconIndexA(QStringLiteral("x.zip"), 0), GetSystemIconIndexA(QString(), 1)}) {
        ASSERT_LT(index, small->count());
        EXPECT_FALSE(small->icon(index).pixmap(16).isNull());
        EXPECT_FALSE(large->icon(index).pixmap(32).isNull());
    }
}

}  // namespace
