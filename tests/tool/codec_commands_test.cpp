// quellix-tool's codec and site-config commands, run as a user runs them.

#include "config/siteconfig.h"
#include "support/testutil.h"
#include "text/gbk.h"
#include "text/scramble.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

ProcessResult tool(const QStringList& args) { return RunProcess(ProgramDir() + QStringLiteral("/quellix-tool"), args); }

TEST(ToolCodecs, EncodeThenDecodeRoundTripsUtf8TextForEveryCodec) {
    const QString text = QString::fromUtf8("https://pan.example.cn/|\"示例 网盘\"");
    for (const QString& kind : {QStringLiteral("site"), QStringLiteral("server"), QStringLiteral("settings")}) {
        const ProcessResult encoded = tool({QStringLiteral("encode"), kind, text});
        ASSERT_EQ(encoded.exitCode, 0) << encoded.err.toStdString();
        const QByteArray frame = encoded.out.trimmed();
        const ProcessResult decoded = tool({QStringLiteral("decode"), kind, QString::fromLatin1(frame)});
        ASSERT_EQ(decoded.exitCode, 0) << decoded.err.toStdString();
        EXPECT_EQ(QString::fromUtf8(decoded.out.chopped(1)), text) << kind.toStdString();
    }
}

TEST(ToolCodecs, InsideTheFrameTheTextIsGbk) {
    const ProcessResult encoded = tool({QStringLiteral("encode"), QStringLiteral("site"), QString::fromUtf8("网盘")});
    ASSERT_EQ(encoded.exitCode, 0);
    EXPECT_EQ(SiteConfigCodec(encoded.out.trimmed(), CodecDirection::Decode), "网盘"_gbk);
    const ProcessResult raw = tool({QStringLiteral("decode"), QStringLiteral("site"), QStringLiteral("--raw"),
                                    QString::fromLatin1(encoded.out.trimmed())});
    EXPECT_EQ(raw.out, "网盘"_gbk + "\n");
}

TEST(ToolCodecs, ABadFramePrintsTheErrorAndFails) {
    const ProcessResult r = tool({QStringLiteral("decode"), QStringLiteral("server"), QStringLiteral("AxyzZ")});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains("is not a valid integer value")) << r.err.toStdString();
    EXPECT_EQ(tool({QStringLiteral("encode"), QStringLiteral("nonsense"), QStringLiteral("x")}).exitCode, 2);
}

TEST(ToolSiteConfig, WritesAOneLineFileThatReadsBackExactly) {
    QTemporaryDir dir;
    const QString name = QString::fromUtf8("演示 网盘 | 二号");
    const ProcessResult r = tool({QStringLiteral("site-config"), QStringLiteral("http://127.0.0.1:8080/"), name,
                                  QStringLiteral("http://127.0.0.1:8081/"), QStringLiteral("-o"),
                                  dir.filePath(QStringLiteral("quellix.cfg"))});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QByteArray content = ReadFileBytes(dir.filePath(QStringLiteral("quellix.cfg")));
    EXPECT_EQ(content.count("\r\n"), 1);
    const auto config = ReadSiteConfig(LocalFiles(dir.path()));
    ASSERT_TRUE(config.has_value());
    EXPECT_EQ(config->SiteUrl, "http://127.0.0.1:8080/");
    EXPECT_EQ(config->SiteName, ToGbk(name));
    EXPECT_EQ(config->VendorHomeUrl, "http://127.0.0.1:8081/");
}

TEST(ToolSiteConfig, PrintsTheLineWithoutAnOutputFile) {
    const ProcessResult r = tool({QStringLiteral("site-config"), QStringLiteral("http://d/"), QStringLiteral("Disk")});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_EQ(SiteConfigCodec(r.out.trimmed(), CodecDirection::Decode), "http://d/|Disk");
}

TEST(ToolHelp, HelpPrintsTheUsageOnStandardOutputAndSucceeds) {
    const ProcessResult all = tool({QStringLiteral("--help")});
    EXPECT_EQ(all.exitCode, 0) << all.err.toStdString();
    EXPECT_TRUE(all.out.startsWith("usage:\n")) << all.out.toStdString();
    for (const char* line : {"  quellix-tool get URL OUTFILE", "  quellix-tool http [--head", "  quellix-tool help"})
        EXPECT_TRUE(all.out.contains(line)) << line;
    EXPECT_TRUE(all.err.isEmpty());
    const ProcessResult help = tool({QStringLiteral("help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out, all.out);

    const QByteArray getUsage =
        "usage: quellix-tool get URL OUTFILE [--parts N] [--agent TEXT] [--proxy URL] [--proxy-password-file FILE] "
        "[--limit-rate RATE]\n";
    for (const QStringList& args : {QStringList{QStringLiteral("get"), QStringLiteral("--help")},
                                    QStringList{QStringLiteral("get"), QStringLiteral("http://h/"), QStringLiteral("--help")},
                                    QStringList{QStringLiteral("help"), QStringLiteral("get")}}) {
        const ProcessResult r = tool(args);
        EXPECT_EQ(r.exitCode, 0) << args.join(u' ').toStdString();
        EXPECT_EQ(r.out, getUsage) << args.join(u' ').toStdString();
    }
    const ProcessResult http = tool({QStringLiteral("http"), QStringLiteral("--help")});
    EXPECT_EQ(http.exitCode, 0);
    EXPECT_TRUE(http.out.startsWith("usage: quellix-tool http [--head | --post BODY")) << http.out.toStdString();

    const ProcessResult unknown = tool({QStringLiteral("help"), QStringLiteral("nonsense")});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.out.isEmpty());
}

}  // namespace
