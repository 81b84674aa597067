#include "platform/desktop/keyring.h"

#include "net/nestedwait.h"
#include "platform/desktop/sessionbus.h"

#include <QElapsedTimer>
#include <qt6keychain/keychain.h>

Keyring::Keyring(QString service) : service_(std::move(service)) {}

bool Keyring::Available() {
    if (available_ < 0) {
        if (!SessionBusReachable()) {
            available_ = 0;
            reason_ = QString::fromUtf8("没有桌面会话总线（D-Bus），无法把密码保存到系统钥匙环。");
        } else if (SessionBusHasService(QStringLiteral("org.freedesktop.secrets")) ||
                   SessionBusHasService(QStringLiteral("org.kde.kwalletd5")) ||
                   SessionBusHasService(QStringLiteral("org.kde.kwalletd6"))) {
            available_ = 1;
        } else {
            available_ = 0;
            reason_ = QString::fromUtf8("没有找到系统钥匙环服务（Secret Service），无法保存密码。");
        }
    }
    return available_ == 1;
}

QString Keyring::UnavailableReason() {
    Available();
    return reason_;
}

SecretStore::Result Keyring::Read(const QString& key) { return run(Op::Read, key, {}); }

SecretStore::Result Keyring::Write(const QString& key, const QByteArray& secret) {
    return run(Op::Write, key, secret);
}

SecretStore::Result Keyring::Remove(const QString& key) { return run(Op::Remove, key, {}); }

SecretStore::Result Keyring::run(Op op, const QString& key, const QByteArray& secret) {
    Result result;
    if (!Available()) {
        result.status = Status::Unavailable;
        result.error = reason_;
        return result;
    }
    QKeychain::Job* job = nullptr;
    switch (op) {
    case Op::Read: job = new QKeychain::ReadPasswordJob(service_); break;
    case Op::Write: {
        auto* write = new QKeychain::WritePasswordJob(service_);
        write->setBinaryData(secret);
        job = write;
        break;
    }
    case Op::Remove: job = new QKeychain::DeletePasswordJob(service_); break;
    }
    job->setAutoDelete(false);
    job->setInsecureFallback(false);
    job->setKey(key);
    bool finished = false;
    QObject::connect(job, &QKeychain::Job::finished, job, [&finished] { finished = true; });
    job->start();
    QElapsedTimer clock;
    clock.start();
    WaitWhileProcessingEvents([&] { return finished; }, [&] { return clock.elapsed() >= TimeLimitMs; }, 100);
    if (!finished) {
        // The job goes on and deletes itself when the service answers.
        QObject::disconnect(job, nullptr, job, nullptr);
        job->setAutoDelete(true);
        result.status = Status::Failed;
        result.error = QString::fromUtf8("系统钥匙环没有应答。");
        return result;
    }
    switch (job->error()) {
    case QKeychain::NoError:
        result.status = Status::Ok;
        if (op == Op::Read)
            result.secret = static_cast<QKeychain::ReadPasswordJob*>(job)->binaryData();
        break;
    case QKeychain::EntryNotFound: result.status = Status::NotFound; break;
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
        result.status = Status::Unavailable;
        result.error = job->errorString();
        break;
    default:
        result.status = Status::Failed;
        result.error = job->errorString();
        break;
    }
    delete job;
    return result;
}
