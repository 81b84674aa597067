// quellix-tool get, run as a user runs it, against nginx on loopback.

#include "support/nginxserver.h"
#include "support/testutil.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

ProcessResult get(const QStringList& args) {
    return RunProcess(ProgramDir() + QStringLiteral("/quellix-tool"), QStringList{QStringLiteral("get")} + args);
}

TEST(ToolGet, DownloadsReportsAndExitsZeroOnlyForACompleteDocument) {
    QTemporaryDir root;
    QByteArray doc(3 * 1000 * 1000 + 7, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(doc.data()), doc.size() / 4);
    WriteFileBytes(root.filePath(QStringLiteral("doc.bin")), doc);
    NginxServer nginx;
    // Only the named agent gets the document under /agent/.
    ASSERT_TRUE(nginx.start(root.path(), false,
                            "location /agent/ { if ($http_user_agent != \"quellix test\") { return 403; }"
                            " alias " + root.path().toUtf8() + "/; }\n"))
        << nginx.error().toStdString();
    const QString url = QString::fromUtf8(nginx.baseUrl());
    const QString out = root.filePath(QStringLiteral("out.bin"));

    for (const QStringList& extra : {QStringList{}, QStringList{QStringLiteral("--parts"), QStringLiteral("3")}}) {
        const ProcessResult r = get(QStringList{url + QStringLiteral("/doc.bin"), out} + extra);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(r.err.endsWith("ErrorCode: 200\nReason: OK\n")) << r.err.toStdString();
        EXPECT_TRUE(ReadFileBytes(out) == doc);
    }
    const ProcessResult agent = get({url + QStringLiteral("/agent/doc.bin"), out, QStringLiteral("--agent"),
                                     QStringLiteral("quellix test")});
    EXPECT_EQ(agent.exitCode, 0) << agent.err.toStdString();
    EXPECT_TRUE(ReadFileBytes(out) == doc);

    const ProcessResult refused = get({url + QStringLiteral("/agent/doc.bin"), out});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.endsWith("ErrorCode: 403\nReason: Forbidden\n")) << refused.err.toStdString();

    const ProcessResult one = get({url + QStringLiteral("/doc.bin"), out, QStringLiteral("--parts"), QStringLiteral("1")});
    EXPECT_NE(one.exitCode, 0);
    EXPECT_TRUE(one.err.contains("PartCount must be positive"));
    EXPECT_EQ(get({url + QStringLiteral("/doc.bin")}).exitCode, 2);  // no OUTFILE: usage

    // An empty document is no complete download.
    WriteFileBytes(root.filePath(QStringLiteral("empty.bin")), QByteArray());
    const ProcessResult empty = get({url + QStringLiteral("/empty.bin"), out});
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_TRUE(empty.err.endsWith("ErrorCode: 3\nReason: Download failed\n")) << empty.err.toStdString();
}

}  // namespace
