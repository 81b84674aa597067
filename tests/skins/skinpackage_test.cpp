#include "platform/gui/skinpackage.h"
#include "skinfiles.h"
#include "support/testutil.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray builtPackage() { return ReadFileBytes(SkinPackagePath(QStringLiteral("Jade"))); }

void putU32(QByteArray& data, qsizetype at, quint32 value) {
    data[at] = char(value >> 24);
    data[at + 1] = char(value >> 16);
    data[at + 2] = char(value >> 8);
    data[at + 3] = char(value);
}

quint32 getU32(const QByteArray& data, qsizetype at) {
    const auto* p = reinterpret_cast<const unsigned char*>(data.constData() + at);
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | p[3];
}

TEST(ResourceFileCheck, AcceptsWhatRccWritesInEveryFormatVersion) {
    const QByteArray package = builtPackage();
    ASSERT_FALSE(package.isEmpty());
    EXPECT_TRUE(IsWellFormedResourceFile(package));

    QTemporaryDir dir;
    const QMap<QString, QByteArray> files{{QStringLiteral("skin.qss"), "QLabel { color: red; }"},
                                          {QStringLiteral("img/a.png"), "not really a picture"},
                                          {QStringLiteral("img/deep/b.png"), QByteArray(3000, 'x')}};
    const QString out = CompileResourceFile(dir.path(), files);
    ASSERT_FALSE(out.isEmpty());
    EXPECT_TRUE(IsWellFormedResourceFile(ReadFileBytes(out)));
    for (const char* version : {"1", "2", "3"}) {
        const QString path = dir.filePath(QStringLiteral("v%1.rcc").arg(QLatin1String(version)));
        const ProcessResult rcc = RunProcess(QStringLiteral(QUELLIX_RCC),
                                             {QStringLiteral("--binary"), QStringLiteral("--format-version"),
                                              QLatin1String(version), dir.filePath(QStringLiteral("package.qrc")),
                                              QStringLiteral("-o"), path});
        ASSERT_EQ(rcc.exitCode, 0) << rcc.err.constData();
        EXPECT_TRUE(IsWellFormedResourceFile(ReadFileBytes(path))) << "format version " << version;
    }
}

TEST(ResourceFileCheck, RefusesEveryCutOffPackage) {
    // An interrupted download leaves a prefix of the package.
    const QByteArray package = builtPackage();
    ASSERT_GT(package.size(), 100);
    for (qsizetype length = 0; length < package.size(); ++length)
        ASSERT_FALSE(IsWellFormedResourceFile(package.left(length))) << "length " << length;
}

TEST(ResourceFileCheck, RefusesOtherFilesAndBrokenStructures) {
    EXPECT_FALSE(IsWellFormedResourceFile(QByteArray()));
    EXPECT_FALSE(IsWellFormedResourceFile("QWidget { color: red; }"));
    EXPECT_FALSE(IsWellFormedResourceFile(ReadFileBytes(SkinPreviewPath(QStringLiteral("Jade")))));

    const QByteArray package = builtPackage();
    const quint32 tree = getU32(package, 8);

    QByteArray version = package;
    putU32(version, 4, 4);
    EXPECT_FALSE(IsWellFormedResourceFile(version)) << "unknown format version";

    QByteArray magic = package;
    magic[0] = 'Q';
    EXPECT_FALSE(IsWellFormedResourceFile(magic));

    QByteArray cycle = package;
    putU32(cycle, tree + 10, 0);  // the root names itself as its first child
    EXPECT_FALSE(IsWellFormedResourceFile(cycle));

    // Found by fuzzing: a root marked as a file passed, and Qt, which takes
    // the root for a directory, then searched children beyond the data.
    QByteArray root = package;
    root[tree + 4] = 0;
    root[tree + 5] = 0;
    EXPECT_FALSE(IsWellFormedResourceFile(root));

    QByteArray children = package;
    putU32(children, tree + 6, 0x7fffffff);  // more children than nodes
    EXPECT_FALSE(IsWellFormedResourceFile(children));

    QByteArray names = package;
    putU32(names, 16, quint32(package.size()) - 2);  // names start just before the end
    EXPECT_FALSE(IsWellFormedResourceFile(names));

    QByteArray data = package;
    putU32(data, 12, quint32(package.size()));  // file contents beyond the end
    EXPECT_FALSE(IsWellFormedResourceFile(data));
}

// Found by fuzzing: a compressed file of the package claiming a huge size
// made Qt allocate it when the file was opened.
TEST(ResourceFileCheck, RefusesACompressedFileThatClaimsMoreThan64MiB) {
    const QByteArray package = builtPackage();
    const quint32 tree = getU32(package, 8);
    const quint32 payload = getU32(package, 12);
    const quint32 nodeSize = getU32(package, 4) >= 2 ? 22 : 14;
    int compressed = 0;
    for (quint32 node = tree; node + nodeSize <= quint32(package.size()); node += nodeSize) {
        const int flags = (quint8(package[node + 4]) << 8) | quint8(package[node + 5]);
        if (!(flags & 0x05) || (flags & 0x02))
            continue;
        ++compressed;
        const quint32 content = payload + getU32(package, node + 10) + 4;
        QByteArray bomb = package;
        if (flags & 0x01) {
            putU32(bomb, content, 0xFFFFFFF0u);  // zlib: the size before the stream
        } else {
            bomb[content + 4] = char(0xE0);  // zstd: single segment, an 8-byte content size
            for (int i = 5; i < 13; ++i)
                bomb[content + i] = char(0x7F);
        }
        EXPECT_FALSE(IsWellFormedResourceFile(bomb)) << "node at " << node;
    }
    EXPECT_GT(compressed, 0) << "the built package holds no compressed file to test with";
}

// Names may be shared between nodes, so a package of some kilobytes could
// describe a chain of directories whose paths run to megabytes, and every
// walk over it would build them. Names and paths are bounded as a file
// system bounds them.
TEST(ResourceFileCheck, RefusesNamesAndPathsLongerThanAFileSystemAllows) {
    QTemporaryDir dir;
    WriteFileBytes(dir.filePath(QStringLiteral("skin.qss")), "QLabel { color: red; }");
    const auto package = [&](const QString& prefix, const QString& alias) {
        const QString qrc = dir.filePath(QStringLiteral("package.qrc"));
        WriteFileBytes(qrc, QStringLiteral("<RCC><qresource prefix=\"%1\"><file alias=\"%2\">skin.qss</file>"
                                           "</qresource></RCC>").arg(prefix, alias).toUtf8());
        const QString out = dir.filePath(QStringLiteral("package.skn"));
        const ProcessResult rcc = RunProcess(QStringLiteral(QUELLIX_RCC), {QStringLiteral("--binary"), qrc,
                                                                          QStringLiteral("-o"), out});
        EXPECT_EQ(rcc.exitCode, 0) << rcc.err.constData();
        return ReadFileBytes(out);
    };
    const QString level(250, QLatin1Char('d'));
    QStringList fifteen, seventeen;
    for (int i = 0; i < 17; ++i)
        (i < 15 ? fifteen : seventeen) << level;
    seventeen = fifteen + seventeen;
    EXPECT_TRUE(IsWellFormedResourceFile(package(QLatin1Char('/') + fifteen.join(QLatin1Char('/')),
                                                 QString(255, QLatin1Char('n')))));
    EXPECT_FALSE(IsWellFormedResourceFile(package(QStringLiteral("/"), QString(256, QLatin1Char('n')))));
    EXPECT_FALSE(IsWellFormedResourceFile(package(QLatin1Char('/') + seventeen.join(QLatin1Char('/')),
                                                  QStringLiteral("skin.qss"))));
}

// Found by fuzzing: a directory with an empty name is its own parent in
// Qt's paths (":/skin//"), so walking the package never ended; ".." leads
// out of it. Such names, which rcc never writes, are refused.
TEST(ResourceFileCheck, RefusesNamesNoFileSystemHolds) {
    const QByteArray package = builtPackage();
    const quint32 tree = getU32(package, 8);
    const quint32 names = getU32(package, 16);
    const quint32 nodeSize = getU32(package, 4) >= 2 ? 22 : 14;
    const quint32 name = names + getU32(package, tree + nodeSize);  // the first node below the root
    const auto renamed = [&](const QByteArray& utf16) {
        QByteArray changed = package;
        changed[name] = 0;
        changed[name + 1] = char(utf16.size() / 2);
        changed.replace(name + 6, utf16.size(), utf16);
        return changed;
    };
    EXPECT_TRUE(IsWellFormedResourceFile(renamed(QByteArray("\0a", 2))));
    EXPECT_FALSE(IsWellFormedResourceFile(renamed(QByteArray())));
    EXPECT_FALSE(IsWellFormedResourceFile(renamed(QByteArray("\0.", 2))));
    EXPECT_FALSE(IsWellFormedResourceFile(renamed(QByteArray("\0.\0.", 4))));
    EXPECT_FALSE(IsWellFormedResourceFile(renamed(QByteArray("\0a\0/\0b", 6))));
    EXPECT_FALSE(IsWellFormedResourceFile(renamed(QByteArray("\0a\0\0", 4))));
    EXPECT_TRUE(IsWellFormedResourceFile(renamed(QByteArray("\0.\0.\0.", 6))));
}

}  // namespace
