#include "net/ftptls.h"

#include <QSslSocket>

QSslConfiguration FtpTlsConfiguration(const QList<QSslCertificate>& extraCa) {
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    if (!extraCa.isEmpty())
        config.addCaCertificates(extraCa);
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    config.setProtocol(QSsl::SecureProtocols);
    // Keep the session (ticket) so that each data connection resumes the
    // control connection's session, as servers with session reuse demand.
    config.setSslOption(QSsl::SslOptionDisableSessionPersistence, false);
    config.setSslOption(QSsl::SslOptionDisableSessionTickets, false);
    return config;
}

QByteArray FtpCertificateProblems(const QList<QSslError>& errors) {
    QList<QByteArray> problems;
    for (const QSslError& error : errors) {
        QByteArray problem;
        switch (error.error()) {
        case QSslError::HostNameMismatch: problem = "host name mismatch"; break;
        case QSslError::SelfSignedCertificate:
        case QSslError::SelfSignedCertificateInChain:
        case QSslError::UnableToGetLocalIssuerCertificate:
        case QSslError::UnableToGetIssuerCertificate:
        case QSslError::UnableToVerifyFirstCertificate:
        case QSslError::CertificateUntrusted:
        case QSslError::CertificateRejected:
        case QSslError::InvalidCaCertificate: problem = "certificate not trusted"; break;
        case QSslError::CertificateExpired: problem = "certificate expired"; break;
        case QSslError::CertificateNotYetValid: problem = "certificate not yet valid"; break;
        case QSslError::CertificateRevoked: problem = "certificate revoked"; break;
        case QSslError::NoPeerCertificate: problem = "no certificate"; break;
        default: problem = error.errorString().toUtf8(); break;
        }
        if (!problems.contains(problem))
            problems.append(problem);
    }
    return problems.isEmpty() ? QByteArray("certificate rejected") : problems.join(", ");
}

// Host names compare without regard to case ("FTP.Example" is
// "ftp.example"); the port tells servers on one host apart.
QByteArray FtpTlsServers::key(const QByteArray& host, quint16 port) {
    return host.trimmed().toLower() + ' ' + QByteArray::number(port);
}

void FtpTlsServers::Add(const QByteArray& host, quint16 port) { servers_.insert(key(host, port)); }

bool FtpTlsServers::Contains(const QByteArray& host, quint16 port) const {
    return servers_.contains(key(host, port));
}
