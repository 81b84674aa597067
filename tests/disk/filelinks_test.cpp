#include "disk/filelinks.h"
#include "support/testutil.h"
#include "text/gbk.h"

#include <gtest/gtest.h>

namespace {

const QByteArray kSite = "http://127.0.0.1:8080/";

TEST(FileLinks, UrlEntriesOnePerLine) {
    EXPECT_EQ(BuildLinkText(LinkKind::Url, kSite, {{"a.txt", "3"}, {"b c.txt", "4"}}),
              "http://127.0.0.1:8080/file-3.html\r\nhttp://127.0.0.1:8080/file-4.html\r\n");
}

TEST(FileLinks, UbbEntriesKeepNamesUnescaped) {
    EXPECT_EQ(BuildLinkText(LinkKind::Ubb, kSite, {{"[x] y&z", "9"}}),
              "[url=http://127.0.0.1:8080/file-9.html][x] y&z[/url]\r\n");
}

TEST(FileLinks, PostEntriesEndWithAnEmptyLine) {
    EXPECT_EQ(BuildLinkText(LinkKind::Post, kSite, {{"报告.pdf"_gbk, "5"}}),
              "文件名称："_gbk + "报告.pdf"_gbk + "\r\n" + "文件链接："_gbk + "http://127.0.0.1:8080/file-5.html\r\n\r\n");
    EXPECT_EQ(BuildLinkText(LinkKind::Post, kSite, {}), "");
}

}  // namespace
