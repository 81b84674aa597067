#include "support/faultproxy.h"

#include "support/testutil.h"

FaultProxy::FaultProxy(quint16 targetPort, const QStringList& options) {
    process_.setProgram(QStringLiteral(QUELLIX_FAULT_PROXY));
    process_.setArguments(QStringList{QStringLiteral("--target"),
                                      QStringLiteral("127.0.0.1:") + QString::number(targetPort)} +
                          options);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(&process_, &QProcess::readyReadStandardOutput, [this] { readOutput(); });
    process_.start();  // its standard input is a pipe: closing it stops the proxy
    if (!process_.waitForStarted(10000)) {
        error_ = "cannot start the fault proxy: " + process_.errorString().toUtf8();
        return;
    }
    if (!WaitFor([&] { return port_ != 0 || process_.state() != QProcess::Running; }, 10000) || port_ == 0)
        error_ = "the fault proxy did not report its port: " + output_;
}

FaultProxy::~FaultProxy() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.closeWriteChannel();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

void FaultProxy::readOutput() {
    output_ += process_.readAllStandardOutput();
    qsizetype end;
    while ((end = output_.indexOf('\n')) >= 0) {
        const QByteArray line = output_.left(end);
        output_.remove(0, end + 1);
        if (line.startsWith("PORT "))
            port_ = quint16(line.mid(5).toUInt());
        else if (line.startsWith("FAULT "))
            ++faults_;
        for (const QByteArray& field : line.split(' ')) {
            if (field.startsWith("total_down="))
                totalDown_ = field.mid(11).toLongLong();
            else if (field.startsWith("total_up="))
                totalUp_ = field.mid(9).toLongLong();
        }
    }
}
