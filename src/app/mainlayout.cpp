#include "app/mainlayout.h"

#include "platform/gui/appicons.h"

#include <QActionGroup>
#include <algorithm>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QStatusBar>
#include <QTabBar>
#include <QVBoxLayout>

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

QToolButton* speedButton(const char* hint, const char* icon, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setToolTip(u(hint));
    // An icon-only button is read out by its hint.
    button->setAccessibleName(u(hint));
    button->setIcon(NamedIcon(QString::fromLatin1(icon)));
    // The icon leaves room for the button's frame inside its 29 pixels.
    button->setIconSize(QSize(18, 18));
    button->setFixedSize(29, 29);
    button->setAutoRaise(true);
    return button;
}

QWidget* toolBar(QWidget* parent, QHBoxLayout*& row) {
    auto* bar = new QWidget(parent);
    bar->setObjectName(QStringLiteral("ToolBar"));
    bar->setFixedHeight(33);
    row = new QHBoxLayout(bar);
    row->setContentsMargins(4, 2, 4, 2);
    row->setSpacing(4);
    return bar;
}

}  // namespace

void TMainLayout::build(QMainWindow* window) {
    window->setObjectName(QStringLiteral("TMainFrm"));

    // Menu bar.
    QMenuBar* menus = window->menuBar();
    FileMenu = menus->addMenu(u("文件(&F)"));
    N10 = FileMenu->addAction(u("切换帐号"));
    N11 = FileMenu->addAction(u("安全退出"));
    OptionsMenu = menus->addMenu(u("选项(&O)"));
    N13 = OptionsMenu->addAction(NamedIcon(QStringLiteral("ico_skin")), u("更换皮肤"));
    NTransfer = OptionsMenu->addAction(u("传输设置"));
    HelpMenu = menus->addMenu(u("帮助(&H)"));
    N18 = HelpMenu->addAction(u("打开主站"));
    N16 = HelpMenu->addAction(u("关于软件"));

    auto* central = new QWidget(window);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    PageControl1 = new QTabWidget(central);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setTabPosition(QTabWidget::South);
    PageControl1->setIconSize(QSize(16, 16));

    // "我的网盘".
    PCDisk = new QWidget;
    PCDisk->setObjectName(QStringLiteral("PCDisk"));
    {
        auto* page = new QVBoxLayout(PCDisk);
        page->setContentsMargins(0, 0, 0, 0);
        page->setSpacing(0);
        QHBoxLayout* row = nullptr;
        page->addWidget(toolBar(PCDisk, row));
        spSkinSpeedButton1 = speedButton("网盘根目录", "ico_home", PCDisk);
        spSkinSpeedButton2 = speedButton("返回上级", "ico_back", PCDisk);
        loading = new QLabel(u("数据加载中,请稍候..."), PCDisk);
        loading->setObjectName(QStringLiteral("loading"));
        row->addWidget(spSkinSpeedButton1);
        row->addWidget(spSkinSpeedButton2);
        row->addSpacing(8);
        row->addWidget(loading);
        row->addStretch(1);
        lv1 = new TListView(PCDisk);
        lv1->setObjectName(QStringLiteral("lv1"));
        lv1->SetColumns({{u("文件名称"), 220},
                         {u("文件大小"), 80},
                         {u("文件类型"), 100},
                         {u("创建时间"), 100},
                         {u("浏览数"), 100},
                         {u("下载数"), 100},
                         {QStringLiteral("ID"), -1}});
        lv1->SetAccessibleName(u("网盘文件列表"));
        page->addWidget(lv1, 1);
    }
    PageControl1->addTab(PCDisk, NamedIcon(QStringLiteral("ico_disk")), u("我的网盘"));

    // "上传队列".
    PCTask = new QWidget;
    PCTask->setObjectName(QStringLiteral("PCTask"));
    {
        auto* page = new QVBoxLayout(PCTask);
        page->setContentsMargins(0, 0, 0, 0);
        page->setSpacing(0);
        QHBoxLayout* row = nullptr;
        page->addWidget(toolBar(PCTask, row));
        BtnSelFile2 = speedButton("添加文件", "ico_upfile", PCTask);
        BtnSelFolder = speedButton("添加目录", "ico_folder", PCTask);
        btnCancel = new QPushButton(u("取消"), PCTask);
        btnAbort = new QPushButton(u("暂停"), PCTask);
        btnUpload = new QPushButton(NamedIcon(QStringLiteral("ico_upload")), u("上传文件"), PCTask);
        btnCancel->setEnabled(false);
        btnAbort->setEnabled(false);
        row->addWidget(BtnSelFile2);
        row->addWidget(BtnSelFolder);
        row->addStretch(1);
        row->addWidget(btnCancel);
        row->addWidget(btnAbort);
        row->addWidget(btnUpload);
        lv2 = new TListView(PCTask);
        lv2->setObjectName(QStringLiteral("lv2"));
        lv2->SetCheckboxes(true);
        lv2->SetColumns({{u("文件名称"), 200}, {u("文件大小"), 80}, {u("文件路径"), 200}, {u("上传状态"), 100}});
        lv2->SetAcceptFiles(true);
        lv2->SetAccessibleName(u("上传文件列表"));
        page->addWidget(lv2, 1);
    }
    PageControl1->addTab(PCTask, NamedIcon(QStringLiteral("ico_task")), u("上传队列"));

    // "下载队列".
    PCDown = new QWidget;
    PCDown->setObjectName(QStringLiteral("PCDown"));
    {
        auto* page = new QVBoxLayout(PCDown);
        page->setContentsMargins(0, 0, 0, 0);
        page->setSpacing(0);
        lv3 = new TListView(PCDown);
        lv3->setObjectName(QStringLiteral("lv3"));
        lv3->SetColumns({{u("文件名称"), 170},
                         {u("文件大小"), 70},
                         {u("进度"), 50},
                         {u("速度"), 85},
                         {u("状态"), 140},
                         {u("本地路径"), 220}});
        lv3->SetAccessibleName(u("下载文件列表"));
        page->addWidget(lv3, 1);
    }
    PageControl1->addTab(PCDown, NamedIcon(QStringLiteral("ico_download")), u("下载队列"));
    PageControl1->tabBar()->setStyleSheet(QStringLiteral("QTabBar::tab { min-width: 85px; min-height: 30px; }"));
    column->addWidget(PageControl1, 1);

    WBPanel = new QWidget(central);
    WBPanel->setObjectName(QStringLiteral("WBPanel"));
    WBPanel->setFixedHeight(53);
    auto* panelLayout = new QVBoxLayout(WBPanel);
    panelLayout->setContentsMargins(1, 1, 1, 1);
    WBPanel->hide();
    column->addWidget(WBPanel);
    window->setCentralWidget(central);

    // Status bar.
    QStatusBar* status = window->statusBar();

    status->setSizeGripEnabled(true);
    spLoginLink = new TLinkLabel(QString(), status);
    spLoginLink->setToolTip(u("登录我的网盘"));
    spLoginLink->setFixedWidth(161);
    status->addWidget(spLoginLink);
    ProgressCaption = new QLabel(u("当前进度："), status);
    ProgressCaption->setMinimumWidth(72);
    ProgressCaption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    pb1 = new QProgressBar(status);
    pb1->setRange(0, 100);
    pb1->setValue(0);
    pb1->setFormat(QStringLiteral("%p%"));
    pb1->setFixedWidth(200);
    pb1->setAccessibleName(u("当前进度"));
    ProgressCaption->setBuddy(pb1);
    spStatus1 = new QLabel(u("请选定本地文件进行上传"), status);
    // 258 pixels at the starting size; it takes what the window gives, so a
    // long status text can be read by widening the window.
    spStatus1->setMinimumWidth(120);
    spStatus1->resize(258, spStatus1->height());
    // The status text is read by its text (it changes); the description
    // says what it is.
    spStatus1->setAccessibleDescription(u("状态"));
    spLoginLink->setAccessibleDescription(u("登录我的网盘"));
    status->addPermanentWidget(ProgressCaption);
    status->addPermanentWidget(pb1);
    status->addPermanentWidget(spStatus1, 1);
    // 21 pixels, or what the status texts and the gauge need with a larger
    // font (the bar keeps a few pixels around its items).
    int needed = 21;
    for (QWidget* item : {static_cast<QWidget*>(spLoginLink), static_cast<QWidget*>(ProgressCaption),
                          static_cast<QWidget*>(pb1), static_cast<QWidget*>(spStatus1)})
        needed = std::max(needed, item->minimumSizeHint().height() + 6);
    status->setMinimumHeight(needed);

    // Context menu of the remote listing.
    pm1 = new QMenu(window);
    NDown = pm1->addAction(u("下载文件"));
    pm1->addSeparator();
    N1 = pm1->addAction(u("文件访问链接"));
    UBB1 = pm1->addAction(u("论坛UBB链接"));
    N15 = pm1->addAction(u("发布模式链接"));
    pm1->addSeparator();
    N25 = pm1->addAction(u("刷新目录"));
    N9 = pm1->addAction(u("图标模式"));
    N8 = pm1->addAction(u("列表模式"));
    auto* viewGroup = new QActionGroup(pm1);
    for (QAction* item : {N9, N8}) {
        item->setCheckable(true);
        viewGroup->addAction(item);
    }
    N8->setChecked(true);
    pm1->addSeparator();
    N4 = pm1->addAction(NamedIcon(QStringLiteral("ico_upfile")), u("添加文件"));
    N2 = pm1->addAction(NamedIcon(QStringLiteral("ico_folder")), u("添加目录"));
    lv1->SetPopupMenu(pm1);

    // Context menu of the queue.
    pm2 = new QMenu(window);
    N20 = pm2->addAction(NamedIcon(QStringLiteral("ico_upfile")), u("添加文件"));
    N21 = pm2->addAction(NamedIcon(QStringLiteral("ico_folder")), u("添加目录"));
    pm2->addSeparator();
    N23 = pm2->addAction(u("更新入库"));
    N24 = pm2->addAction(u("续传文件"));
    pm2->addSeparator();
    N5 = pm2->addAction(u("删除选中"));
    N6 = pm2->addAction(u("清空列表"));
    lv2->SetPopupMenu(pm2);

    // Context menu of the download queue.
    pm3 = new QMenu(window);
    NDPause = pm3->addAction(u("暂停"));
    NDContinue = pm3->addAction(u("继续"));
    NDRemove = pm3->addAction(u("删除"));
    pm3->addSeparator();
    NDOpen = pm3->addAction(u("打开目录"));
    NDClear = pm3->addAction(u("清除已完成"));
    lv3->SetPopupMenu(pm3);

    // Client area 714 x 474 below the menu bar (22) and above the status bar.
    window->resize(714, 474 + 22);
    window->setMinimumSize(480, 320);
}
