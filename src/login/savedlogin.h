#pragma once
// The saved login: "记住密码" keeps the login's secret in the desktop's
// keyring, keyed by site address and account, and "自动登录" starts the
// login by itself once at start. The options file (quellix.ini) holds only
// the two switches and the account's name.
//
// What the keyring holds is the password's digest (PasswordDigest), not
// the password: the site's login takes nothing else, so the digest is all
// a saved login needs, and a keyring entry read by someone else does not
// give away a password the user may also use elsewhere.
//
// The login window and quellix-tool drive this class; neither touches the
// keyring otherwise.

#include "config/transferoptions.h"
#include "platform/secretstore.h"

#include <QByteArray>
#include <QString>
#include <functional>

class SavedLogin {
public:
    // `options`: the program's options, whose login fields this class
    // keeps; `saveOptions` writes them (quellix.ini), false on failure.
    SavedLogin(SecretStore& store, TransferOptions& options,
               std::function<bool(const TransferOptions&)> saveOptions);

    // Whether the keyring can be used at all, and why not.
    bool KeyringAvailable();
    QString KeyringUnavailableReason();

    // What the login window shows at start for `siteUrl`: the saved
    // account, whether its secret is in the keyring (the password field is
    // shown filled), and the two switches as the options hold them.
    struct Start {
        QByteArray account;  // GBK; empty: none saved
        bool secretStored = false;
        bool remember = false;
        bool autoLogin = false;
    };
    Start AtStart(const QByteArray& siteUrl);

    // True exactly once, at the first call after AtStart found a stored
    // secret with "自动登录" on: the login then starts by itself.
    bool TakeAutoLogin();

    // The stored digest for `account` at `siteUrl`; empty when none.
    QByteArray StoredDigest(const QByteArray& siteUrl, const QByteArray& account);

    // The check boxes changed: kept in the options at once.
    void SetSwitches(bool remember, bool autoLogin);

    // An accepted login of `account` with `digest`: with "记住密码" the
    // digest goes into the keyring and the account into the options;
    // without it a stored secret of that account is removed. Returns a
    // message for the user when the keyring failed, else empty.
    QString LoginAccepted(const QByteArray& siteUrl, const QByteArray& account, const QByteArray& digest);

    // A refused login. When it was sent with the stored secret
    // (`usedStoredSecret`) that secret is removed; returns the sentence
    // that says so (empty when nothing was removed).
    QString LoginRefused(const QByteArray& siteUrl, const QByteArray& account, bool usedStoredSecret);

    // Removes the stored secret of `account`; "记住密码" and "自动登录"
    // are switched off when it was the saved account. Returns a message
    // when the keyring failed, else empty.
    QString Forget(const QByteArray& siteUrl, const QByteArray& account);

    const TransferOptions& Options() const { return options_; }

private:
    void save();

    SecretStore& store_;
    TransferOptions& options_;
    std::function<bool(const TransferOptions&)> saveOptions_;
    bool autoLoginPending_ = false;
    // The secret AtStart read, so the window need not ask again.
    QString cachedKey_;
    QByteArray cachedDigest_;
};

// The sentences the login window shows.
namespace SavedLoginText {
QString RememberBox();    // "记住密码"
QString AutoLoginBox();   // "自动登录"
QString RefusedRemoved(); // the stored secret of a refused login was removed
QString ForgetQuestion(const QString& account);  // asked by "切换帐号"
}  // namespace SavedLoginText
