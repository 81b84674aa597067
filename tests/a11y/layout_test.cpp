// Every window at twice the scale: nothing cut or overlapping at its
// starting size, the specified starting sizes, and the main and download
// windows can be made larger by the user.

#include "app/Main.h"
#include "app/program.h"
#include "disk/gui/uLink.h"
#include "download/gui/uDown.h"
#include "login/gui/uLogin.h"
#include "skinmgr/uSkin.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// The scale is read when the application starts, before main().
const bool kScaled = qputenv("QT_SCALE_FACTOR", "2");

bool isControl(const QWidget* w) {
    return qobject_cast<const QLabel*>(w) || qobject_cast<const QAbstractButton*>(w) ||
           qobject_cast<const QLineEdit*>(w) || qobject_cast<const QComboBox*>(w) ||
           qobject_cast<const QProgressBar*>(w) || qobject_cast<const QAbstractScrollArea*>(w);
}

// The visible controls of `window`, not looking inside a control (a list's
// header and scroll bars are its own business).
void collect(QWidget* parent, QList<QWidget*>& controls) {
    for (QWidget* child : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isWindow() || !child->isVisible())
            continue;
        if (isControl(child))
            controls.append(child);
        else
            collect(child, controls);
    }
}

QString describe(const QWidget* w) {
    const auto* label = qobject_cast<const QLabel*>(w);
    const auto* button = qobject_cast<const QAbstractButton*>(w);
    return QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(' ') + w->objectName() + QLatin1Char(' ') +
           (label ? label->text() : button ? button->text() : QString());
}

// Each control lies inside the window and inside its parent, is at least
// as large as it needs to show its text, and overlaps no other control.
void expectLaidOut(QWidget& window) {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.devicePixelRatio(), 2.0);
    QList<QWidget*> controls;
    collect(&window, controls);
    ASSERT_FALSE(controls.isEmpty());
    for (QWidget* c : controls) {
        const QRect inWindow(c->mapTo(&window, QPoint(0, 0)), c->size());
        EXPECT_TRUE(window.rect().contains(inWindow)) << describe(c).toStdString() << " is cut by the window";
        EXPECT_TRUE(c->parentWidget()->rect().contains(c->geometry())) << describe(c).toStdString() << " is cut";
        const QSize needed = c->minimumSizeHint();
        EXPECT_GE(c->width(), needed.width()) << describe(c).toStdString() << " is too narrow";
        // The skins draw the gauge as a thin bar with a small font.
        if (!qobject_cast<const QProgressBar*>(c)) {
            EXPECT_GE(c->height(), needed.height()) << describe(c).toStdString() << " is too low";
        }
        for (QWidget* other : controls) {
            if (other != c && !c->isAncestorOf(other) && !other->isAncestorOf(c)) {
                EXPECT_FALSE(inWindow.intersects(QRect(other->mapTo(&window, QPoint(0, 0)), other->size())))
                    << describe(c).toStdString() << " overlaps " << describe(other).toStdString();
            }
        }
    }
}

void expectResizableFrom(QWidget& window, QSize start) {
    EXPECT_EQ(window.size(), start);
    EXPECT_LE(window.minimumWidth(), start.width());
    EXPECT_GE(window.maximumWidth(), 2 * start.width());
    EXPECT_GE(window.maximumHeight(), 2 * start.height());
    window.resize(2 * start.width(), 2 * start.height());
    EXPECT_EQ(window.size(), QSize(2 * start.width(), 2 * start.height()));
}

class LayoutTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kScaled);
        program = std::make_unique<QuellixProgram>(dir.path(), [](const MsgDlgMessage&) { return TModalResult::mrOk; });
        program->Start();
    }
    QTemporaryDir dir;
    std::unique_ptr<QuellixProgram> program;
};

TEST_F(LayoutTest, EveryWindowKeepsItsLayoutAtTwiceTheScale) {
    for (QWidget* window : std::initializer_list<QWidget*>{program->LoginFrm.get(), program->MainFrm.get(),
                                                            program->DownFrm, program->LinkFrm, program->SkinFrm}) {
        SCOPED_TRACE(window->objectName().toStdString());
        expectLaidOut(*window);
        window->hide();
    }
}

TEST_F(LayoutTest, TheMainAndDownloadWindowsStartAtTheirSizeAndGrow) {
    TMainFrm& main = *program->MainFrm;
    main.show();
    expectResizableFrom(main, QSize(714, 474 + 22));
    TDownFrm& down = *program->DownFrm;
    expectResizableFrom(down, QSize(397, 240));
    // The wider window gives its width to the folder list and the text fields.
    down.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&down));
    EXPECT_GT(down.dl_dir->width(), 397);
    EXPECT_GT(down.dl_name->width(), 397);
}

}  // namespace
