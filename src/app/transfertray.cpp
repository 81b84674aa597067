#include "app/transfertray.h"

#include "platform/gui/appicons.h"
#include "platform/gui/guarded.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>

namespace {
QString u(const char* utf8) { return QString::fromUtf8(utf8); }
}  // namespace

TransferTray::TransferTray(QWidget& window, std::function<QString()> status, std::function<void()> quit)
    : window_(window), status_(std::move(status)) {
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    menu_ = std::make_unique<QMenu>();
    NShowHide = menu_->addAction(u("显示/隐藏主窗口"));
    menu_->addSeparator();
    NQuit = menu_->addAction(u("退出"));
    ConnectGuarded(NShowHide, &QAction::triggered, this, [this] {
        if (window_.isVisible() && !window_.isMinimized()) {
            window_.hide();
        } else {
            window_.showNormal();
            window_.raise();
            window_.activateWindow();
        }
    });
    ConnectGuarded(NQuit, &QAction::triggered, this, [quit = std::move(quit)] {
        if (quit)
            quit();
    });
    icon_ = std::make_unique<QSystemTrayIcon>(QIcon::fromTheme(QStringLiteral("quellix"), NamedIcon(QStringLiteral("ico_disk"))));
    icon_->setContextMenu(menu_.get());
    ConnectGuarded(icon_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            NShowHide->trigger();
    });
    Refresh();
    icon_->show();
    refresh_.setInterval(1000);
    connect(&refresh_, &QTimer::timeout, this, [this] { Refresh(); });
    refresh_.start();
}

TransferTray::~TransferTray() = default;

void TransferTray::Refresh() {
    if (icon_ && status_) {
        const QString text = status_();
        if (icon_->toolTip() != text)
            icon_->setToolTip(text);
    }
}
