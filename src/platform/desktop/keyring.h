#pragma once
// The desktop's keyring as a SecretStore: the Secret Service (GNOME
// Keyring, KWallet) through QtKeychain, under the service name "Quellix".
// Nothing is ever written to a file instead: QtKeychain's plain-file
// fallback stays off.
//
// Each call runs a QtKeychain job and waits for it with the event loop
// running, at most TimeLimitMs. A keyring that is locked asks the user to
// unlock it (the desktop's own prompt) within that time.

#include "platform/secretstore.h"

class Keyring : public SecretStore {
public:
    explicit Keyring(QString service = QStringLiteral("Quellix"));

    // Checks once whether a Secret Service (or KWallet) is on the session
    // bus or can be started by it.
    bool Available() override;
    QString UnavailableReason() override;

    Result Read(const QString& key) override;
    Result Write(const QString& key, const QByteArray& secret) override;
    Result Remove(const QString& key) override;

    int TimeLimitMs = 30000;

private:
    enum class Op { Read, Write, Remove };
    Result run(Op op, const QString& key, const QByteArray& secret);

    QString service_;
    int available_ = -1;  // -1: not asked yet
    QString reason_;
};
