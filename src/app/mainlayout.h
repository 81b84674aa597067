#pragma once
// The widgets of the main window, laid out as the window shows them. The
// window class (Main.h) adds the state and the handlers; keeping the layout
// apart keeps both short.

#include "platform/gui/linklabel.h"
#include "platform/gui/listview.h"

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>

struct TMainLayout {
    // Menu bar.
    QMenu* FileMenu = nullptr;  // "文件(&F)"
    QAction* N10 = nullptr;     // "切换帐号"
    QAction* N11 = nullptr;     // "安全退出"
    QMenu* OptionsMenu = nullptr;
    QAction* N13 = nullptr;  // "更换皮肤"
    QAction* NTransfer = nullptr;  // "传输设置"
    QMenu* HelpMenu = nullptr;
    QAction* N18 = nullptr;  // "打开主站"
    QAction* N16 = nullptr;  // "关于软件"

    QTabWidget* PageControl1 = nullptr;
    QWidget* PCDisk = nullptr;  // "我的网盘"
    QWidget* PCTask = nullptr;  // "上传队列"
    QWidget* PCDown = nullptr;  // "下载队列"

    // "我的网盘": tool bar and the remote listing.
    QToolButton* spSkinSpeedButton1 = nullptr;  // root
    QToolButton* spSkinSpeedButton2 = nullptr;  // back
    QLabel* loading = nullptr;
    TListView* lv1 = nullptr;

    // "上传队列": tool bar and the queue.
    QToolButton* BtnSelFile2 = nullptr;
    QToolButton* BtnSelFolder = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnAbort = nullptr;
    QPushButton* btnUpload = nullptr;
    TListView* lv2 = nullptr;

    // "下载队列": the download queue.
    TListView* lv3 = nullptr;

    // Web panel along the bottom edge; its web view is made when a page is
    // about to be shown.
    QWidget* WBPanel = nullptr;

    // Status bar.
    TLinkLabel* spLoginLink = nullptr;
    QLabel* ProgressCaption = nullptr;  // "当前进度："
    QProgressBar* pb1 = nullptr;
    QLabel* spStatus1 = nullptr;

    // Context menus.
    QMenu* pm1 = nullptr;
    QAction* NDown = nullptr;  // "下载文件"
    QAction* N1 = nullptr;     // "文件访问链接"
    QAction* UBB1 = nullptr;   // "论坛UBB链接"
    QAction* N15 = nullptr;    // "发布模式链接"
    QAction* N25 = nullptr;    // "刷新目录"
    QAction* N9 = nullptr;     // "图标模式"
    QAction* N8 = nullptr;     // "列表模式"
    QAction* N4 = nullptr;     // "添加文件"
    QAction* N2 = nullptr;     // "添加目录"
    QMenu* pm2 = nullptr;
    QAction* N20 = nullptr;  // "添加文件"
    QAction* N21 = nullptr;  // "添加目录"
    QAction* N23 = nullptr;  // "更新入库"
    QAction* N24 = nullptr;  // "续传文件"
    QAction* N5 = nullptr;   // "删除选中"
    QAction* N6 = nullptr;   // "清空列表"
    QMenu* pm3 = nullptr;
    QAction* NDPause = nullptr;     // "暂停"
    QAction* NDContinue = nullptr;  // "继续"
    QAction* NDRemove = nullptr;    // "删除"
    QAction* NDOpen = nullptr;      // "打开目录"
    QAction* NDClear = nullptr;     // "清除已完成"

    // Builds every widget into `window` (client area 714 x 474).
    void build(QMainWindow* window);
};
