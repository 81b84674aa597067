#pragma once
// The fault-injecting proxy (tools/fault-proxy) between a test's client and
// a real server on 127.0.0.1: started with a fault plan (its command-line
// options), it reports its port, every fault and the bytes it forwarded.
// Stopped when the object goes; it also ends when the test process dies.

#include <QByteArray>
#include <QProcess>
#include <QStringList>

class FaultProxy {
public:
    // Forwards to 127.0.0.1:targetPort with the plan `options` (for example
    // {"--every", "4M-8M", "--seed", "7", "--count", "down"}).
    FaultProxy(quint16 targetPort, const QStringList& options);
    ~FaultProxy();

    bool isRunning() const { return port_ != 0; }
    const QByteArray& error() const { return error_; }
    quint16 port() const { return port_; }
    // Faults injected so far, and the bytes forwarded from servers to
    // clients over all connections that have ended.
    int faults() const { return faults_; }
    qint64 totalDown() const { return totalDown_; }
    qint64 totalUp() const { return totalUp_; }

private:
    void readOutput();

    QProcess process_;
    QByteArray output_;
    quint16 port_ = 0;
    int faults_ = 0;
    qint64 totalDown_ = 0;
    qint64 totalUp_ = 0;
    QByteArray error_;
};
