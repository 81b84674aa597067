#pragma once
// A real FTP server for tests: pyftpdlib (pyftpserver.py under Debian's
// /usr/bin/python3) on 127.0.0.1, on a port it picks itself, serving a
// temporary home folder. Stopped when the object goes.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class PyFtpServer {
public:
    PyFtpServer(const QByteArray& user = "quellix", const QByteArray& password = "secret");
    ~PyFtpServer();

    // True once the server printed its port; otherwise error() says why.
    bool isRunning() const { return port_ != 0; }
    QByteArray error() const { return error_; }
    quint16 port() const { return port_; }
    qint64 processId() const { return process_.processId(); }
    QString home() const { return home_.path(); }
    QString filePath(const QString& name) const { return home_.filePath(name); }

private:
    QTemporaryDir home_;
    QProcess process_;
    quint16 port_ = 0;
    QByteArray error_;
};
