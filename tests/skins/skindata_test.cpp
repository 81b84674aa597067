#include "platform/gui/skindata.h"
#include "skinfiles.h"
#include "support/testutil.h"
#include "text/errors.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <gtest/gtest.h>
#include <memory>

namespace {

// Every test leaves the application without a style sheet.
class SkinDataTest : public ::testing::Test {
protected:
    void TearDown() override { qApp->setStyleSheet(QString()); }
};

// A small window with widgets every skin styles.
std::unique_ptr<QWidget> sampleWindow() {
    auto window = std::make_unique<QWidget>();
    window->setObjectName(QStringLiteral("TLinkFrm"));
    window->setAttribute(Qt::WA_StyledBackground, true);
    auto* column = new QVBoxLayout(window.get());
    column->addWidget(new QLineEdit(QStringLiteral("demo")));
    column->addWidget(new QPushButton(QStringLiteral("OK")));
    auto* loading = new QLabel(QStringLiteral("loading"));
    loading->setObjectName(QStringLiteral("loading"));
    column->addWidget(loading);
    // No focus anywhere: a focused field or a blinking cursor would tell
    // otherwise identical windows apart.
    for (QWidget* child : window->findChildren<QWidget*>())
        child->setFocusPolicy(Qt::NoFocus);
    window->resize(160, 120);
    window->show();
    return window;
}

QImage look(QWidget& window) {
    QApplication::processEvents();
    return window.grab().toImage();
}

void expectImagesResolve(const QString& styleSheet, const QString& skin) {
    EXPECT_FALSE(styleSheet.contains(QStringLiteral("skin:/"))) << skin.toStdString();
    const QStringList urls = StyleSheetUrls(styleSheet);
    EXPECT_FALSE(urls.isEmpty()) << skin.toStdString();
    for (const QString& url : urls) {
        EXPECT_TRUE(url.startsWith(QLatin1Char(':'))) << skin.toStdString() << ": " << url.toStdString();
        EXPECT_TRUE(QFile::exists(url)) << skin.toStdString() << ": " << url.toStdString();
    }
}

TEST_F(SkinDataTest, ThreeSkinsBesidesLaconicAreBuiltWithPreviews) {
    const QStringList names = SkinNames();
    EXPECT_TRUE(names.contains(QStringLiteral("Laconic")));
    EXPECT_GE(names.size(), 4) << names.join(QLatin1Char(',')).toStdString();
    for (const QString& name : names) {
        EXPECT_TRUE(QFile::exists(SkinPackagePath(name))) << name.toStdString();
        EXPECT_TRUE(QFile::exists(SkinPreviewPath(name))) << name.toStdString();
    }
}

TEST_F(SkinDataTest, EveryPackageLoadsAndAllItsImagesResolve) {
    for (const QString& name : SkinNames()) {
        TSkinData skin;
        skin.LoadFromFile(SkinPackagePath(name));
        EXPECT_EQ(skin.LoadedFile(), SkinPackagePath(name));
        EXPECT_FALSE(skin.StyleSheet().trimmed().isEmpty()) << name.toStdString();
        EXPECT_EQ(qApp->styleSheet(), skin.StyleSheet()) << name.toStdString();
        expectImagesResolve(skin.StyleSheet(), name);
    }
}

TEST_F(SkinDataTest, TheBuiltInSkinMatchesItsPackageAndItsImagesResolve) {
    TSkinData builtIn;
    builtIn.LoadBuiltIn();
    EXPECT_TRUE(builtIn.LoadedFile().isEmpty());
    expectImagesResolve(builtIn.StyleSheet(), QStringLiteral("built-in"));

    TSkinData package;
    package.LoadFromFile(SkinPackagePath(QStringLiteral("Laconic")));
    // Same sheet apart from where the images are mounted.
    QString a = builtIn.StyleSheet();
    QString b = package.StyleSheet();
    a.replace(QRegularExpression(QStringLiteral(":/laconic/")), QStringLiteral("@/"));
    b.replace(QRegularExpression(QStringLiteral(":/skin\\d+/")), QStringLiteral("@/"));
    EXPECT_EQ(a, b);
}

TEST_F(SkinDataTest, EverySkinStylesEveryKindOfWidgetTheWindowsUse) {
    // A widget kind a skin leaves out falls back to the platform look, which
    // clashes with the skin (white fields in a dark skin, say).
    const QStringList selectors = {
        QStringLiteral("QMenuBar::item"),       QStringLiteral("QMenu::item:selected"),
        QStringLiteral("QMenu::indicator"),     QStringLiteral("QTabBar::tab:bottom"),
        QStringLiteral("QTabBar::tab:top"),     QStringLiteral("QToolButton:hover"),
        QStringLiteral("QPushButton:disabled"), QStringLiteral("QPushButton:default"),
        QStringLiteral("QLineEdit"),            QStringLiteral("QComboBox::down-arrow"),
        QStringLiteral("QGroupBox::title"),     QStringLiteral("QTreeView::item:selected"),
        QStringLiteral("QHeaderView::section"), QStringLiteral("QTreeView::indicator:checked"),
        QStringLiteral("QPlainTextEdit"),       QStringLiteral("QScrollBar::handle"),
        QStringLiteral("QStatusBar"),           QStringLiteral("QProgressBar::chunk"),
        QStringLiteral("QLabel#loading"),       QStringLiteral("QLabel[link=\"true\"]"),
        QStringLiteral("QMessageBox#MsgDlg"),   QStringLiteral("QCheckBox::indicator"),
        QStringLiteral("QListWidget"),          QStringLiteral("QWidget#TLoginFrm"),
    };
    for (const QString& name : SkinNames()) {
        const QString sheet = QString::fromUtf8(ReadFileBytes(SourceDir() + "/skins/" + name + "/skin.qss"));
        for (const QString& selector : selectors)
            EXPECT_TRUE(sheet.contains(selector)) << name.toStdString() << " lacks " << selector.toStdString();
    }
}

TEST_F(SkinDataTest, LoadingAPackageRestylesEveryTopLevelWindowAtOnce) {
    auto first = sampleWindow();
    auto second = sampleWindow();
    const QImage plain = look(*first);

    TSkinData skin;
    skin.LoadFromFile(SkinPackagePath(QStringLiteral("Laconic")));
    const QImage laconic = look(*first);
    EXPECT_NE(laconic, plain);
    EXPECT_EQ(look(*second), laconic);

    skin.LoadFromFile(SkinPackagePath(QStringLiteral("Midnight")));
    const QImage midnight = look(*first);
    EXPECT_NE(midnight, laconic);
    EXPECT_EQ(look(*second), midnight);
    // The dark skin really is dark behind the widgets.
    EXPECT_LT(qGray(midnight.pixel(2, 2)), 64);
    EXPECT_GT(qGray(laconic.pixel(2, 2)), 192);

    // A window made after the load is drawn with it as well.
    auto later = sampleWindow();
    EXPECT_EQ(look(*later), midnight);
}

TEST_F(SkinDataTest, SwitchingPackagesReleasesTheOldOnesImages) {
    TSkinData skin;
    skin.LoadFromFile(SkinPackagePath(QStringLiteral("Jade")));
    const QString jadeImage = StyleSheetUrls(skin.StyleSheet()).value(0);
    ASSERT_TRUE(QFile::exists(jadeImage));

    skin.LoadFromFile(SkinPackagePath(QStringLiteral("Amber")));
    const QString amberImage = StyleSheetUrls(skin.StyleSheet()).value(0);
    EXPECT_TRUE(QFile::exists(amberImage));
    EXPECT_FALSE(QFile::exists(jadeImage)) << "the first package is still mounted";

    skin.LoadFromFile(SkinPackagePath(QStringLiteral("Jade")));
    expectImagesResolve(skin.StyleSheet(), QStringLiteral("Jade again"));
    EXPECT_FALSE(QFile::exists(amberImage));
    EXPECT_EQ(skin.LoadedFile(), SkinPackagePath(QStringLiteral("Jade")));

    const QString jadeAgainImage = StyleSheetUrls(skin.StyleSheet()).value(0);
    skin.LoadBuiltIn();
    EXPECT_FALSE(QFile::exists(jadeAgainImage)) << "the package is still mounted under the built-in skin";
    EXPECT_TRUE(skin.LoadedFile().isEmpty());
}

TEST_F(SkinDataTest, AFileThatIsNoPackageRaisesAndKeepsTheSkinInUse) {
    QTemporaryDir dir;
    const QString text = dir.filePath(QStringLiteral("skin.qss"));
    WriteFileBytes(text, "QWidget { color: red; }");
    const QString empty = dir.filePath(QStringLiteral("empty.skn"));
    WriteFileBytes(empty, QByteArray());
    // A resource file without a style sheet is no skin either.
    const QString noSheet = CompileResourceFile(dir.path(), {{QStringLiteral("img/a.png"), "x"}});
    ASSERT_FALSE(noSheet.isEmpty());

    TSkinData skin;
    skin.LoadFromFile(SkinPackagePath(QStringLiteral("Jade")));
    const QString sheet = skin.StyleSheet();
    for (const QString& path : {text, empty, noSheet, SkinPreviewPath(QStringLiteral("Jade")),
                                dir.filePath(QStringLiteral("missing.skn")), dir.path()}) {
        EXPECT_THROW(skin.LoadFromFile(path), EInOutError) << path.toStdString();
        EXPECT_EQ(skin.StyleSheet(), sheet);
        EXPECT_EQ(qApp->styleSheet(), sheet);
        EXPECT_EQ(skin.LoadedFile(), SkinPackagePath(QStringLiteral("Jade")));
    }
    expectImagesResolve(skin.StyleSheet(), QStringLiteral("Jade after failures"));
}

TEST_F(SkinDataTest, DamagedPackagesRaiseInsteadOfCrashing) {
    const QByteArray package = ReadFileBytes(SkinPackagePath(QStringLiteral("Midnight")));
    ASSERT_FALSE(package.isEmpty());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Damaged.skn"));
    TSkinData skin;

    // Cut off anywhere, as an interrupted download leaves it.
    for (qsizetype length = 1; length < package.size(); length += 37) {
        WriteFileBytes(path, package.left(length));
        EXPECT_THROW(skin.LoadFromFile(path), EInOutError) << "length " << length;
    }

    // Random damage to the header, names and directory tree (the part Qt
    // trusts blindly) either loads or raises; it never reads out of bounds.
    const quint32 names = (quint32(uchar(package[16])) << 24) | (quint32(uchar(package[17])) << 16) |
                          (quint32(uchar(package[18])) << 8) | uchar(package[19]);
    ASSERT_LT(names, quint32(package.size()));
    QRandomGenerator random(9);
    for (int round = 0; round < 300; ++round) {
        QByteArray damaged = package;
        for (int i = 0; i < 3; ++i) {
            const bool inHeader = random.bounded(4) == 0;
            const qsizetype at = inHeader ? random.bounded(24) : names + random.bounded(int(package.size() - names));
            damaged[at] = char(random.bounded(256));
        }
        WriteFileBytes(path, damaged);
        try {
            skin.LoadFromFile(path);
        } catch (const EInOutError&) {
        }
    }
}

}  // namespace
