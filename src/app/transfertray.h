#pragma once
// The tray icon, where the desktop has a tray: its tooltip follows the
// transfers (the status bar's text and gauge), its menu shows or hides the
// main window and quits. Without a tray nothing is made and nothing
// changes.

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QWidget;

class TransferTray : public QObject {
    Q_OBJECT
public:
    // `window`: the main window the menu shows and hides. `status` gives
    // the tooltip's text whenever it is refreshed; `quit` ends the program.
    TransferTray(QWidget& window, std::function<QString()> status, std::function<void()> quit);
    ~TransferTray() override;

    // Whether an icon is shown (the desktop has a tray).
    bool Shown() const { return icon_ != nullptr; }
    QSystemTrayIcon* Icon() const { return icon_.get(); }
    // Takes the tooltip's text now; a timer does it every second.
    void Refresh();

    QAction* NShowHide = nullptr;  // "显示/隐藏主窗口"
    QAction* NQuit = nullptr;      // "退出"

private:
    QWidget& window_;
    std::function<QString()> status_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> icon_;
    QTimer refresh_;
};
