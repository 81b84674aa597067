// The web views through the program's proxy: Qt WebEngine follows the
// application proxy that UseConnectorForWebViews sets, an HTTP proxy that
// asks for credentials (tinyproxy) gets the program's, a SOCKS5 proxy
// (dante) works too, and a change holds for the next page. The page's host
// name is known only to the proxies (the engine itself would reach loopback
// addresses and names without a dot directly, whatever the proxy), and its
// server takes only the proxies' connections.

#include "about/newspanel.h"
#include "about/webproxy.h"
#include "login/siteprobe.h"
#include "net/httpcli.h"
#include "net/netconnector.h"
#include "net/siteclient.h"
#include "support/nginxserver.h"
#include "support/proxyservers.h"
#include "support/testutil.h"

#include <QNetworkProxyFactory>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QWebEngineView>
#include <gtest/gtest.h>

namespace {

const QByteArray kHost = "news.proxied.test";

NetConnectorSettings through(const NetProxy& proxy) {
    NetConnectorSettings settings;
    settings.proxyMode = NetConnectorSettings::ProxyMode::Fixed;
    settings.proxy = proxy;
    return settings;
}

TEST(WebViewProxy, PagesLoadThroughAnHttpProxyWithCredentialsOrASocksProxyAndAChangeHoldsForTheNextPage) {
    const QByteArray host = kHost;
    QTemporaryDir root;
    WriteFileBytes(root.filePath(QStringLiteral("news.html")),
                   "<html><head><title>through the proxy</title></head><body>news</body></html>");
    NginxServer nginx;
    ASSERT_TRUE(nginx.start(root.path(), false, QByteArray("    allow ") + kProxyExitAddress + ";\n    deny all;\n"))
        << nginx.error().toStdString();
    TinyProxy tiny;
    tiny.mapHost(kHost, "127.0.0.1");
    ASSERT_TRUE(tiny.start("webuser", "webpass")) << tiny.error().toStdString();
    DanteProxy dante;
    dante.mapHost(kHost, "127.0.0.1");
    ASSERT_TRUE(dante.start()) << dante.error().toStdString();

    NetConnector connector(through(NetProxy{NetProxyType::Http, "127.0.0.1", tiny.port(), "webuser", "webpass"}));
    UseConnectorForWebViews(connector);
    EXPECT_EQ(QNetworkProxy::applicationProxy().type(), QNetworkProxy::HttpProxy);

    THttpCli http("HttpAds");
    ApplySiteClientSettings(http);
    http.Connector = &connector;
    SiteProbe probe(http);
    probe.TimeLimitMs = 10000;
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    QWidget panel(&window);
    layout->addWidget(&panel);
    panel.setFixedHeight(80);
    panel.hide();
    window.resize(400, 120);
    window.show();
    NewsPanel news(panel, probe);

    const QByteArray url = "http://" + host + ":" + QByteArray::number(nginx.port()) + "/news.html";
    news.ShowNewsPage(url);
    ASSERT_NE(news.wb1(), nullptr);
    ASSERT_TRUE(WaitFor([&] { return panel.isVisible(); }, 30000));
    EXPECT_TRUE(WaitFor([&] { return news.wb1()->title() == QStringLiteral("through the proxy"); }, 10000))
        << news.wb1()->title().toStdString();
    EXPECT_TRUE(tiny.log().contains("GET http://" + host)) << tiny.log().constData();

    // Changed to SOCKS5 (the engine lets the proxy resolve the name): the
    // next page goes that way.
    connector.Apply(through(NetProxy{NetProxyType::Socks5h, "127.0.0.1", dante.port(), {}, {}}));
    UseConnectorForWebViews(connector);
    news.ShowNewsPage(url + "?socks");
    EXPECT_TRUE(WaitFor([&] { return dante.log().contains("." + QByteArray::number(nginx.port())); }, 20000))
        << dante.log().constData();
    EXPECT_TRUE(WaitFor([&] { return news.wb1()->title() == QStringLiteral("through the proxy"); }, 20000))
        << news.wb1()->title().toStdString();

    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::DefaultProxy));
}

}  // namespace
