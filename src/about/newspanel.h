#pragma once
// The main window's news strip: a panel along the bottom edge with a web
// view (wb1) showing the page that the site's branding record names. The
// panel stays hidden until that page has really loaded, so an unreachable
// or missing page never leaves an empty strip on screen.

#include "about/probedpage.h"

#include <QByteArray>

class QWidget;
class QWebEngineView;
class SiteProbe;

class NewsPanel {
public:
    // `WBPanel`: the panel, hidden at first; `probe`: the main window's
    // probe (HttpAds).
    NewsPanel(QWidget& WBPanel, SiteProbe& probe);

    // The main window is shown: nothing requested yet, the panel hidden.
    void FormShow();
    // The last step of the settings reply: probes `address` and, when it
    // answers 200, has wb1 load it. A failed probe leaves the panel hidden,
    // silently.
    void ShowNewsPage(const QByteArray& address);
    // wb1 completed a document: shows the panel once a page was requested.
    void wb1DocumentComplete();

    // Null until the first page was asked for.
    QWebEngineView* wb1() const { return page_.View(); }

    // A page was handed to wb1 since the main window was last shown.
    bool NewsRequested = false;

private:
    QWidget& WBPanel_;
    ProbedPage page_;
};
