#pragma once
// A SecretStore of the test's own: entries in memory, every call recorded
// ("read KEY", "write KEY", "remove KEY"), and a switch for a desktop
// without a keyring.

#include "platform/secretstore.h"

#include <QMap>
#include <QStringList>

class FakeSecrets : public SecretStore {
public:
    bool available = true;
    QMap<QString, QByteArray> entries;
    QStringList calls;

    bool Available() override { return available; }
    QString UnavailableReason() override {
        return available ? QString() : QStringLiteral("no Secret Service in this test");
    }
    Result Read(const QString& key) override {
        calls << QStringLiteral("read ") + key;
        if (!available)
            return {Status::Unavailable, {}, UnavailableReason()};
        if (!entries.contains(key))
            return {Status::NotFound, {}, {}};
        return {Status::Ok, entries.value(key), {}};
    }
    Result Write(const QString& key, const QByteArray& secret) override {
        calls << QStringLiteral("write ") + key;
        if (!available)
            return {Status::Unavailable, {}, UnavailableReason()};
        entries.insert(key, secret);
        return {Status::Ok, {}, {}};
    }
    Result Remove(const QString& key) override {
        calls << QStringLiteral("remove ") + key;
        if (!available)
            return {Status::Unavailable, {}, UnavailableReason()};
        return {entries.remove(key) ? Status::Ok : Status::NotFound, {}, {}};
    }
};
