#include "about/probedpage.h"

#include "login/siteprobe.h"
#include "text/errors.h"
#include "text/gbk.h"

#include <QAuthenticator>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <memory>
#include <unistd.h>

ProbedPage::ProbedPage(QWidget& host, SiteProbe& probe, const QString& viewName)
    : host_(host), probe_(probe), viewName_(viewName) {}

ProbedPage::~ProbedPage() = default;

QWebEngineView* ProbedPage::View() const { return static_cast<QWebEngineView*>(view_.data()); }

bool ProbedPage::Navigate(const QByteArray& address) {
    if (address.isEmpty() || !WebEngineCanStart())
        return false;
    if (!probe_.ProbeUrl(address))
        return false;
    if (!view_)
        makeView();
    loadAgain_ = ProxyChangedSinceLastPage();
    View()->load(QUrl(FromGbk(address), QUrl::TolerantMode));
    return true;
}

// Qt WebEngine 6.4 takes a new application proxy a moment after it was set:
// a page loaded at once after a change still takes the old way (the probe
// before each page usually gives the engine that moment, but need not). The
// first page after a change is therefore loaded twice.
bool ProbedPage::ProxyChangedSinceLastPage() {
    struct EngineProxy {
        bool known = false;
        QNetworkProxy proxy;
        bool system = false;
    };
    static EngineProxy last;  // the engine's, shared by every view of the program
    const QNetworkProxy proxy = QNetworkProxy::applicationProxy();
    const bool system = QNetworkProxyFactory::usesSystemConfiguration();
    const bool changed = last.known && (!(proxy == last.proxy) || system != last.system ||
                                        proxy.password() != last.proxy.password());
    last = EngineProxy{true, proxy, system};
    return changed;
}

void ProbedPage::makeView() {
    auto* view = new QWebEngineView(&host_);
    view_ = view;
    view->setObjectName(viewName_);
    view->setAccessibleName(AccessibleName);
    // The guard keeps the right button from the page; the keyboard's menu
    // key reaches it as a key, and the menu it asks for is not shown either.
    view->setContextMenuPolicy(Qt::NoContextMenu);
    QLayout* layout = host_.layout();
    if (!layout) {
        layout = new QVBoxLayout(&host_);
        layout->setContentsMargins(0, 0, 0, 0);
    }
    layout->addWidget(view);
    // An HTTP proxy that asks for credentials gets those of the program's
    // proxy (see webproxy.h), once per page load: a proxy that refuses them
    // fails the page rather than being asked again and again.
    auto offered = std::make_shared<bool>(false);
    connect(view->page(), &QWebEnginePage::proxyAuthenticationRequired, this,
            [offered](const QUrl&, QAuthenticator* authenticator, const QString&) {
                const QNetworkProxy proxy = QNetworkProxy::applicationProxy();
                if (proxy.user().isEmpty() || *offered)
                    return;  // left empty: the request is refused
                *offered = true;
                authenticator->setUser(proxy.user());
                authenticator->setPassword(proxy.password());
            });
    connect(view->page(), &QWebEnginePage::loadStarted, this, [offered] { *offered = false; });
    connect(view->page(), &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo& info) {
        const bool completed = info.status() == QWebEngineLoadingInfo::LoadSucceededStatus ||
                               info.status() == QWebEngineLoadingInfo::LoadFailedStatus;
        if (completed && loadAgain_) {
            loadAgain_ = false;
            View()->load(info.url());
            return;
        }
        if (completed && OnDocumentComplete)
            RunGuarded([this] { OnDocumentComplete(); });
    });
}

bool WebEngineCanStart(bool superuser, bool sandboxDisabled, const QByteArray& chromiumFlags) {
    if (!superuser || sandboxDisabled)
        return true;
    for (const QByteArray& flag : chromiumFlags.simplified().split(' '))
        if (flag == "--no-sandbox")
            return true;
    return false;
}

bool WebEngineCanStart() {
    return WebEngineCanStart(geteuid() == 0, qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"),
                             qgetenv("QTWEBENGINE_CHROMIUM_FLAGS"));
}
