// THttpCli against a real nginx on loopback: plain HTTP, ranges, kept
// connections, and HTTPS with a certificate made for the test - trusted
// through ExtraCaCertificates and refused without it.

#include "net/httpcli.h"
#include "support/nginxserver.h"
#include "support/testutil.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct Result {
    int done = 0;
    quint16 errCode = 0xffff;
};

Result get(THttpCli& http, const QByteArray& url, QBuffer& received) {
    Result result;
    http.OnRequestDone = [&](THttpCli&, THttpRequest, quint16 errCode) {
        ++result.done;
        result.errCode = errCode;
    };
    received.close();
    received.setData(QByteArray());
    received.open(QIODevice::ReadWrite | QIODevice::Truncate);
    http.ReceiveStream = &received;
    http.URL = url;
    http.GetASync();
    WaitFor([&] { return result.done > 0; }, 20000);
    return result;
}

QByteArray content() {
    QByteArray bytes;
    for (int i = 0; i < 300000; ++i)
        bytes += char('a' + (i * 7) % 26);
    return bytes;
}

class HttpCliNginx : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root_.isValid());
        WriteFileBytes(root_.filePath(QStringLiteral("file.bin")), content());
        WriteFileBytes(root_.filePath(QStringLiteral("index.html")), "<html>index</html>");
    }
    QTemporaryDir root_;
};

TEST_F(HttpCliNginx, PlainGetRangeAndRedirect) {
    NginxServer nginx;
    ASSERT_TRUE(nginx.start(root_.path(), false, "    location = /old { return 302 /file.bin; }\n"))
        << nginx.error().toStdString();
    THttpCli http;
    QBuffer received;

    Result r = get(http, nginx.baseUrl() + "/file.bin", received);
    EXPECT_EQ(r.errCode, 0);
    EXPECT_EQ(http.StatusCode(), 200);
    EXPECT_EQ(http.ContentLength(), 300000);
    EXPECT_EQ(http.AcceptRanges(), "bytes");
    EXPECT_EQ(received.data(), content());

    http.ContentRangeBegin = "1000";
    http.ContentRangeEnd = "1999";
    r = get(http, nginx.baseUrl() + "/file.bin", received);
    EXPECT_EQ(http.StatusCode(), 206);
    EXPECT_EQ(http.ContentRangeBegin, "1000");
    EXPECT_EQ(http.ContentRangeEnd, "1999");
    EXPECT_EQ(received.data(), content().mid(1000, 1000));

    r = get(http, nginx.baseUrl() + "/old", received);
    EXPECT_EQ(r.errCode, 0);
    EXPECT_EQ(http.StatusCode(), 200);
    EXPECT_EQ(http.LocationChangeCurCount(), 1);
    EXPECT_EQ(received.data(), content());  // nginx's redirect page was cut away
}

TEST_F(HttpCliNginx, Http11RequestsShareOneConnection) {
    NginxServer nginx;
    ASSERT_TRUE(nginx.start(root_.path())) << nginx.error().toStdString();
    THttpCli http;
    http.SetRequestVer("1.1");
    QBuffer received;
    for (int i = 0; i < 3; ++i) {
        const Result r = get(http, nginx.baseUrl() + "/index.html", received);
        ASSERT_EQ(r.errCode, 0);
        EXPECT_EQ(received.data(), "<html>index</html>");
    }
    ASSERT_TRUE(WaitFor([&] { return nginx.accessLog().count('\n') == 3; }));
    const QList<QByteArray> lines = nginx.accessLog().trimmed().split('\n');
    const QByteArray connection = lines[0].left(lines[0].indexOf(' '));
    for (const QByteArray& line : lines)
        EXPECT_EQ(line, connection + " GET /index.html HTTP/1.1");
}

TEST_F(HttpCliNginx, HttpsWithTheTestCertificateTrustedThroughTheProperty) {
    NginxServer nginx;
    ASSERT_TRUE(nginx.start(root_.path(), true)) << nginx.error().toStdString();
    THttpCli http;
    ASSERT_EQ(http.AddTrustedCertificates(nginx.certificateFile()), 1);
    QBuffer received;
    const Result r = get(http, nginx.baseUrl() + "/file.bin", received);
    EXPECT_EQ(r.errCode, 0) << http.ReasonPhrase().constData();
    EXPECT_EQ(http.StatusCode(), 200);
    EXPECT_EQ(received.data(), content());
}

TEST_F(HttpCliNginx, HttpsWithAnUntrustedCertificateIsRefused) {
    NginxServer nginx;
    ASSERT_TRUE(nginx.start(root_.path(), true)) << nginx.error().toStdString();
    THttpCli http;
    QBuffer received;
    const Result r = get(http, nginx.baseUrl() + "/file.bin", received);
    EXPECT_EQ(r.errCode, 12045);
    EXPECT_EQ(http.StatusCode(), 404);
    EXPECT_TRUE(http.ReasonPhrase().startsWith("TLS certificate rejected: ")) << http.ReasonPhrase().constData();
    EXPECT_TRUE(received.data().isEmpty());

    // Trusted, but the address does not name the certificate's host.
    THttpCli wrongName;
    wrongName.AddTrustedCertificates(nginx.certificateFile());
    const Result mismatch = get(wrongName, "https://127.0.0.1:" + QByteArray::number(nginx.port()) + "/", received);
    EXPECT_EQ(mismatch.errCode, 12045);
    EXPECT_TRUE(wrongName.ReasonPhrase().contains("host name")) << wrongName.ReasonPhrase().constData();
}

}  // namespace
