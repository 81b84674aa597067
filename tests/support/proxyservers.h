#pragma once
// Real proxies for tests, each on a free port of 127.0.0.1 with a temporary
// configuration, ended with the test: Dante (danted, SOCKS5, with or without
// the user/password method) and tinyproxy (HTTP, CONNECT, with or without
// Basic credentials).
//
// Both leave for their targets from kProxyExitAddress (127.0.0.2, loopback
// like 127.0.0.1): a server that accepts only that peer address (nginx's
// "allow", the demo site's and pyftpserver.py's --only-from) sees only the
// proxy's connections, and a direct connection from the client is refused.
//
// Dante checks users against the system's password database; the test's
// user lives in a passwd/shadow pair of its own, handed to danted through
// nss_wrapper (libnss-wrapper), so nothing of the machine changes. The same
// way a proxy can know host names nobody else resolves (mapHost): a client
// that reaches such a name can only have gone through the proxy.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

inline constexpr char kProxyExitAddress[] = "127.0.0.2";

class ProxyServer {
public:
    virtual ~ProxyServer();

    quint16 port() const { return port_; }
    const QString& error() const { return error_; }
    // "socks5h://127.0.0.1:<port>" or "http://127.0.0.1:<port>".
    virtual QByteArray url(const QByteArray& scheme = QByteArray()) const = 0;
    // What the proxy logged so far.
    QByteArray log() const;
    void stop();
    // Before start: the proxy resolves `name` to `address`, and only it does.
    void mapHost(const QByteArray& name, const QByteArray& address);

protected:
    bool run(const QString& program, const QStringList& arguments, QStringList environment);
    // nss_wrapper for the proxy, with the files of the names and users it
    // knows besides the system's.
    void wrapNames(QStringList& environment, const QStringList& userFiles = {});

    QByteArray hosts_;
    QTemporaryDir dir_;
    QProcess process_;
    quint16 port_ = 0;
    QString error_;
    QString logFile_;
};

class DanteProxy : public ProxyServer {
public:
    // With a user, the proxy takes only the user/password method (RFC 1929)
    // with that password.
    bool start(const QByteArray& user = QByteArray(), const QByteArray& password = QByteArray());
    // `scheme`: "socks5" or "socks5h" (the default).
    QByteArray url(const QByteArray& scheme = QByteArray()) const override;
};

class TinyProxy : public ProxyServer {
public:
    // With a user, CONNECT needs Basic credentials.
    bool start(const QByteArray& user = QByteArray(), const QByteArray& password = QByteArray());
    QByteArray url(const QByteArray& scheme = QByteArray()) const override;
};
