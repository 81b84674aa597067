#pragma once
// A real nginx for tests: started on a free port on 127.0.0.1 with a
// temporary configuration that serves a folder, optionally over TLS with a
// certificate for "localhost" (only that name) made with the openssl CLI.
// Its access log names the connection of every request.
// Stopped when the object goes.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class NginxServer {
public:
    NginxServer() = default;
    ~NginxServer();

    // Serves `root`. `locations` is extra configuration inside the server
    // block. False when nginx or openssl could not be started (the reason
    // is in error()).
    bool start(const QString& root, bool tls = false, const QByteArray& locations = QByteArray());
    void stop();

    quint16 port() const { return port_; }
    qint64 processId() const { return process_.processId(); }  // the master process
    // "http://127.0.0.1:<port>" or "https://localhost:<port>"
    QByteArray baseUrl() const;
    // The self-signed certificate (PEM) of a TLS server.
    QString certificateFile() const { return dir_.filePath(QStringLiteral("cert.pem")); }
    const QString& error() const { return error_; }
    // One line per request: "<connection number> <request line>".
    QByteArray accessLog() const;

private:
    QTemporaryDir dir_;
    QProcess process_;
    quint16 port_ = 0;
    bool tls_ = false;
    QString error_;
};

// Makes a self-signed certificate for "localhost" (or the names of
// `subjectAltName`, such as "IP:127.0.0.1") with the openssl CLI;
// false with the reason in `error` when that fails.
bool MakeSelfSignedCertificate(const QString& certFile, const QString& keyFile, QString& error,
                               const QString& subjectAltName = QStringLiteral("DNS:localhost"));
