#pragma once
// The about window: the version and release with the site's name, the two
// text tabs from "info.txt" and "license.txt", the support link, and, when
// the site names one and it loads, the site's about page in place of the
// tabs. Opened modally from the main window's "关于软件".

#include "about/abouttexts.h"
#include "about/browserguard.h"
#include "login/siteprobe.h"
#include "net/httpcli.h"

#include <QByteArray>
#include <QDialog>
#include <memory>

class LocalFiles;
class ProbedPage;
class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;
class QStatusBar;
class QTabWidget;
class QWebEngineView;
class TLinkLabel;
struct SiteSession;
struct TSiteSettings;

// What the about window reads from the other windows when it is shown. The
// windows live from the program's start to its end.
struct AboutSources {
    const SiteSession& Session;        // SiteName (login window)
    const TSiteSettings& Settings;     // the branding record names the page (main window)
    const QByteArray& ClientVersion;   // "2.2" (main window)
    const QByteArray& ClientBuild;     // "20130122" (main window)
    const QByteArray& VendorHomeUrl;   // base of the support link (main window)
};

class TVerFrm : public QDialog {
    Q_OBJECT
public:
    TVerFrm(const LocalFiles& files, const AboutSources& sources, QWidget* parent = nullptr);
    ~TVerFrm() override;

    // Each showing runs FormShow first, the page probe included; the window
    // appears only when it has ended.
    void setVisible(bool visible) override;
    // FormShow is running (its probe is waiting); the window is not yet
    // visible.
    bool Preparing() const { return preparing_; }

    // "确 定".
    void spSkinButton1Click();
    // wb2 completed a document.
    void wb2DocumentComplete();

    // The page probe (HttpCli1); its time limit can be shortened.
    SiteProbe& Probe() { return probe_; }
    // The web view; null until a page was asked for the first time.
    QWebEngineView* wb2() const;
    const EmbeddedBrowserGuard& BrowserGuard() const { return guard_; }

    QTabWidget* VerPC;
    QWidget* PCInfo;  // "软件说明"
    QPlainTextEdit* VerM1;
    QScrollBar* VerSB1;
    QWidget* PCLicense;  // "使用协议"
    QPlainTextEdit* VerM2;
    QScrollBar* VerSB2;
    QFrame* spSkinPanel3;
    QLabel* spVerText;
    QPushButton* spSkinButton1;
    QStatusBar* spSkinStatusBar1;
    TLinkLabel* power_link;
    QFrame* WBPanel;

    THttpCli HttpCli1{"HttpCli1"};
    // A page was handed to wb2 (at this or an earlier showing).
    bool PageRequested = false;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void buildLayout();
    void FormCreate();
    void FormShow();
    void FormDestroy();

    const LocalFiles& files_;
    AboutSources sources_;
    SiteProbe probe_{HttpCli1};
    std::unique_ptr<ProbedPage> page_;
    AboutTexts texts_;
    EmbeddedBrowserGuard guard_;
    bool preparing_ = false;
};
