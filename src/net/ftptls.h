#pragma once
// Explicit FTP over TLS (RFC 4217): how the FTP client's connections are
// verified, and how a failed verification is put into words.

#include <QByteArray>
#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>

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
