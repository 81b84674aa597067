#pragma once
// A real FTP server for tests: pyftpdlib (pyftpserver.py under Debian's
// /usr/bin/python3) on 127.0.0.1, on a port it picks itself, serving a
// temporary home folder. Stopped when the object goes. Every command line
// it receives is logged (commands()).

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class PyFtpServer {
public:
    // `options` go to pyftpserver.py as they are (say {"--tls-cert", pem,
    // "--tls-key", key, "--tls-required"}).
    PyFtpServer(const QByteArray& user = "quellix", const QByteArray& password = "secret",
                const QStringList& options = {});
    ~PyFtpServer();

    // True once the server printed its port; otherwise error() says why.
    bool isRunning() const { return port_ != 0; }
    QByteArray error() const { return error_; }
    quint16 port() const { return port_; }
    qint64 processId() const { return process_.processId(); }
    QString home() const { return home_.path(); }
    QString filePath(const QString& name) const { return home_.filePath(name); }
    // The command lines received so far, in order, from every session.
    QList<QByteArray> commands() const;

private:
    QTemporaryDir home_;
    QTemporaryDir logDir_;
    QProcess process_;
    quint16 port_ = 0;
    QByteArray error_;
};
