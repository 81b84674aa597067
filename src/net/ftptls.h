#pragma once
// Explicit FTP over TLS (RFC 4217): how the FTP client's connections are
// verified, and how a failed verification is put into words.

#include <QByteArray>
#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QSet>

// Whether the FTP client secures its connections: never (plain FTP as
// always), when the server accepts "AUTH TLS", or always (a server without
// TLS is refused).
enum class TFtpTlsMode { Never, IfOffered, Required };

// The client side of the control connection's TLS session: the system's
// trust store plus `extraCa`, the peer always verified, and the session kept
// so that data connections can resume it (servers may insist on that).
QSslConfiguration FtpTlsConfiguration(const QList<QSslCertificate>& extraCa);

// What is wrong with a certificate, in short words: "certificate not
// trusted", "host name mismatch", "certificate expired", ... (each named
// once, joined with ", "). Problems without a short name keep the TLS
// library's own text.
QByteArray FtpCertificateProblems(const QList<QSslError>& errors);

// The FTP servers (host name and control port) that completed a verified TLS
// handshake. A server in this set that refuses "AUTH TLS" later is not taken
// for one without TLS: the refusal is a fault or someone in between, and the
// log-in must not go out in plain text. One set is meant to be shared by
// every FTP client of the program, so that it holds for the program's life.
class FtpTlsServers {
public:
    void Add(const QByteArray& host, quint16 port);
    bool Contains(const QByteArray& host, quint16 port) const;

private:
    static QByteArray key(const QByteArray& host, quint16 port);
    QSet<QByteArray> servers_;
};
