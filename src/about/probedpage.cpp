#include "about/probedpage.h"

#include "login/siteprobe.h"
#include "text/errors.h"
#include "text/gbk.h"

#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineView>

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
    View()->load(QUrl(FromGbk(address), QUrl::TolerantMode));
    return true;
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
    connect(view->page(), &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo& info) {
        const bool completed = info.status() == QWebEngineLoadingInfo::LoadSucceededStatus ||
                               info.status() == QWebEngineLoadingInfo::LoadFailedStatus;
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
