#pragma once
// A web page that is shown only once it has really loaded: its address is
// probed first (a HEAD request that must end with 200, see SiteProbe), and
// only then does a web view navigate to it. The view, and with it the web
// engine, is made the first time a page is about to be shown, so a program
// that never shows a page never starts the engine.

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

class QWebEngineView;
class QWidget;
class SiteProbe;

class ProbedPage : public QObject {
    Q_OBJECT
public:
    // The view is made inside `host` (filling its layout) and named
    // `viewName`; `probe` runs the reachability probes.
    ProbedPage(QWidget& host, SiteProbe& probe, const QString& viewName);
    ~ProbedPage() override;

    // Probes `address` (GBK); when it answers 200, tells the view to go there
    // and gives true. An empty address, a failed probe or a web engine that
    // cannot start here give false and change nothing.
    bool Navigate(const QByteArray& address);

    // The view; null until the first page was asked for.
    QWebEngineView* View() const;

    // The view completed a document: the page, or the engine's own error
    // page when the navigation failed. A navigation abandoned for a newer
    // one completes nothing.
    std::function<void()> OnDocumentComplete;

    // The name assistive technology reads for the view.
    QString AccessibleName;

private:
    void makeView();
    static bool ProxyChangedSinceLastPage();

    QWidget& host_;
    SiteProbe& probe_;
    QString viewName_;
    QPointer<QWidget> view_;  // the QWebEngineView
    bool loadAgain_ = false;  // the page goes out once more when it completes (a new proxy)
};

// Whether the web engine can start in this process. Run by the superuser,
// the engine's renderer refuses to start inside its sandbox and takes the
// whole program down, unless the sandbox was turned off for the engine
// (QTWEBENGINE_DISABLE_SANDBOX set, or "--no-sandbox" among its flags).
bool WebEngineCanStart();
bool WebEngineCanStart(bool superuser, bool sandboxDisabled, const QByteArray& chromiumFlags);
