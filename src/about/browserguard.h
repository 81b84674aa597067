#pragma once
// The embedded-browser guard: while installed, no web view of the program
// reacts to the right mouse button (so its context menu never opens) or to
// Ctrl+N (which would ask for a new browser window). Every other input, and
// all input to other widgets (list views keep their context menus), passes
// unchanged.
//
// It watches the whole application's events and drops those aimed at a web
// view's content widget (the widget inside a QWebEngineView that takes its
// input). Each window that installs one keeps it from its creation to its
// destruction; several may be installed at once.

#include <QObject>

class EmbeddedBrowserGuard : public QObject {
    Q_OBJECT
public:
    EmbeddedBrowserGuard() = default;
    ~EmbeddedBrowserGuard() override;

    void Install();
    void Remove();
    bool Installed() const { return installed_; }

    // True for a web view and every widget inside one.
    static bool IsWebViewContent(const QObject* target);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool installed_ = false;
};
