#pragma once
// Where the program keeps secrets (the site login, the proxy password):
// the desktop's keyring, never a file. The cores see only this interface;
// the keyring adapter (platform/desktop/keyring.h) implements it, tests
// put a store of their own in its place.
//
// Every call blocks while the event loop runs (a nested wait) and ends
// within the store's own time limit.

#include <QByteArray>
#include <QString>

class SecretStore {
public:
    enum class Status {
        Ok,           // done; for Read, `secret` holds the entry
        NotFound,     // no entry under that key (Read, Remove)
        Unavailable,  // no keyring service answers
        Failed,       // the service answered with an error (`error` says which)
    };
    struct Result {
        Status status = Status::Failed;
        QByteArray secret;
        QString error;
        bool ok() const { return status == Status::Ok; }
    };

    virtual ~SecretStore() = default;

    // Whether a keyring service answers. Asked once per store; a store
    // that is unavailable fails every call with Unavailable.
    virtual bool Available() = 0;
    // Why not, for the user (Chinese, one sentence); empty while available.
    virtual QString UnavailableReason() = 0;

    virtual Result Read(const QString& key) = 0;
    virtual Result Write(const QString& key, const QByteArray& secret) = 0;
    virtual Result Remove(const QString& key) = 0;
};

// The key of a site account's saved login: "<account>@<site address>", the
// account (GBK) read as text. One entry per site and account.
QString SiteAccountKey(const QByteArray& siteUrl, const QByteArray& account);

// The key of a proxy's password: "proxy:<user>@<host>:<port>".
QString ProxyPasswordKey(const QString& host, quint16 port, const QString& user);
