// The embedded-browser guard against a real web view: the page itself logs
// what reaches it. A left click sent after the right one and seen by the
// page shows that the right one was dealt with by then, so "nothing
// arrived" is a real observation and not an early look.

#include "about/browserguard.h"
#include "platform/gui/listview.h"
#include "support/testutil.h"
#include "webviewinput.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTreeView>
#include <QVBoxLayout>
#include <QWebEngineView>
#include <gtest/gtest.h>

namespace {

class BrowserGuardTest : public testing::Test {
protected:
    void SetUp() override {
        auto* layout = new QVBoxLayout(&window);
        view = new QWebEngineView(&window);
        edit = new QLineEdit(&window);
        layout->addWidget(view, 1);
        layout->addWidget(edit);
        window.resize(400, 300);
        window.show();
        bool loaded = false;
        QObject::connect(view, &QWebEngineView::loadFinished, &window, [&] { loaded = true; });
        view->setHtml(QString::fromUtf8(InputLogPage()));
        ASSERT_TRUE(WaitFor([&] { return loaded; }));
        ASSERT_TRUE(WaitUntilPageTakesClicks(*view));
    }
    void TearDown() override {
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
    }
    // What the page logged after the first `before` characters of its log.
    QString logSince(const QString& before) const { return PageLog(*view).mid(before.size()); }

    QWidget window;
    QWebEngineView* view = nullptr;
    QLineEdit* edit = nullptr;
};

TEST_F(BrowserGuardTest, WithoutTheGuardTheRightButtonReachesThePage) {
    // The control for the tests below: an unguarded page sees the right
    // button and asks for its context menu.
    const QString before = PageLog(*view);
    ClickInView(*view, Qt::RightButton, false);
    ASSERT_TRUE(WaitFor([&] { return HasRightButtonTrace(logSince(before)); }));
    EXPECT_TRUE(WaitFor([] { return QApplication::activePopupWidget() != nullptr; }));
}

TEST_F(BrowserGuardTest, TheRightButtonNeverReachesAGuardedPageAndNoMenuOpens) {
    EmbeddedBrowserGuard guard;
    guard.Install();
    ASSERT_TRUE(guard.Installed());
    const QString before = PageLog(*view);
    // As the window system delivers it (with the context-menu event it
    // raises), straight to the content widget, and as a double click.
    ClickInView(*view, Qt::RightButton, true);
    ClickInView(*view, Qt::RightButton, false);
    QWidget* content = view->focusProxy();
    QTest::mouseDClick(window.windowHandle(), Qt::RightButton, Qt::NoModifier,
                       content->mapTo(&window, content->rect().center()));
    ASSERT_TRUE(WaitForLeftClick(*view, ClickInView(*view, Qt::LeftButton, true)));
    EXPECT_FALSE(HasRightButtonTrace(logSince(before))) << logSince(before).toStdString();
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

TEST_F(BrowserGuardTest, CtrlNNeverReachesAGuardedPageOtherKeysDo) {
    EmbeddedBrowserGuard guard;
    guard.Install();
    const int windows = QApplication::topLevelWidgets().size();
    view->setFocus();
    const QString before = PageLog(*view);
    KeyInView(*view, Qt::Key_N, Qt::ControlModifier);
    KeyInView(*view, Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
    KeyInView(*view, Qt::Key_X);
    KeyInView(*view, Qt::Key_C, Qt::ControlModifier);
    ASSERT_TRUE(WaitForLogAfter(*view, before, QStringLiteral("k^c")));
    const QString log = logSince(before);
    EXPECT_FALSE(log.contains(QStringLiteral("k^n"))) << log.toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral("k^N"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("kx"))) << log.toStdString();
    EXPECT_EQ(QApplication::topLevelWidgets().size(), windows);

    // Removed, the guard lets Ctrl+N through again.
    guard.Remove();
    const QString unguarded = PageLog(*view);
    KeyInView(*view, Qt::Key_N, Qt::ControlModifier);
    ASSERT_TRUE(WaitFor([&] { return PageLog(*view).mid(unguarded.size()).contains(QStringLiteral("k^n")); }));
}

TEST_F(BrowserGuardTest, EachGuardWorksOnItsOwnUntilItIsRemoved) {
    auto first = std::make_unique<EmbeddedBrowserGuard>();
    EmbeddedBrowserGuard second;
    first->Install();
    second.Install();
    first.reset();  // a window that goes removes only its own guard
    QString before = PageLog(*view);
    ClickInView(*view, Qt::RightButton, false);
    ASSERT_TRUE(WaitForLeftClick(*view, ClickInView(*view, Qt::LeftButton, false)));
    EXPECT_FALSE(HasRightButtonTrace(logSince(before))) << logSince(before).toStdString();

    second.Remove();
    EXPECT_FALSE(second.Installed());
    before = PageLog(*view);
    ClickInView(*view, Qt::RightButton, false);
    ASSERT_TRUE(WaitFor([&] { return HasRightButtonTrace(logSince(before)); }));
}

TEST_F(BrowserGuardTest, OtherWidgetsKeepTheirRightButtonAndContextMenus) {
    EmbeddedBrowserGuard guard;
    guard.Install();
    EXPECT_TRUE(EmbeddedBrowserGuard::IsWebViewContent(view));
    EXPECT_TRUE(EmbeddedBrowserGuard::IsWebViewContent(view->focusProxy()));
    EXPECT_FALSE(EmbeddedBrowserGuard::IsWebViewContent(edit));
    EXPECT_FALSE(EmbeddedBrowserGuard::IsWebViewContent(&window));
    EXPECT_FALSE(EmbeddedBrowserGuard::IsWebViewContent(window.windowHandle()));

    // A list view with a context menu, in a window of its own.
    QWidget listWindow;
    auto* layout = new QVBoxLayout(&listWindow);
    auto* list = new TListView(&listWindow);
    list->SetColumns({{QStringLiteral("name"), 100}});
    layout->addWidget(list);
    QMenu menu;
    menu.addAction(QStringLiteral("item"));
    list->SetPopupMenu(&menu);
    listWindow.resize(300, 200);
    listWindow.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&listWindow));
    QWidget* viewport = list->reportView()->viewport();
    QTest::mouseClick(listWindow.windowHandle(), Qt::RightButton, Qt::NoModifier,
                      viewport->mapTo(&listWindow, viewport->rect().center()));
    EXPECT_TRUE(WaitFor([&] { return menu.isVisible(); }));
    menu.close();
}

}  // namespace
