#include "login/savedlogin.h"

#include "text/gbk.h"

namespace {
QString u(const char* utf8) { return QString::fromUtf8(utf8); }
}  // namespace

QString SavedLoginText::RememberBox() { return u("记住密码"); }
QString SavedLoginText::AutoLoginBox() { return u("自动登录"); }
QString SavedLoginText::RefusedRemoved() { return u("保存的密码已被网站拒绝，已从系统钥匙环中删除。"); }
QString SavedLoginText::ForgetQuestion(const QString& account) {
    return u("是否从系统钥匙环中删除帐号 ") + account + u(" 保存的密码？");
}

SavedLogin::SavedLogin(SecretStore& store, TransferOptions& options,
                       std::function<bool(const TransferOptions&)> saveOptions)
    : store_(store), options_(options), saveOptions_(std::move(saveOptions)) {}

bool SavedLogin::KeyringAvailable() { return store_.Available(); }

QString SavedLogin::KeyringUnavailableReason() { return store_.UnavailableReason(); }

void SavedLogin::save() {
    if (saveOptions_)
        saveOptions_(options_);
}

SavedLogin::Start SavedLogin::AtStart(const QByteArray& siteUrl) {
    Start start;
    start.remember = options_.rememberPassword;
    start.autoLogin = options_.rememberPassword && options_.autoLogin;
    start.account = ToGbk(options_.savedAccount);
    autoLoginPending_ = false;
    cachedKey_.clear();
    cachedDigest_.clear();
    // The keyring is asked only when a login was saved: a user who never
    // ticked "记住密码" never waits for it.
    if (!start.remember || start.account.isEmpty() || siteUrl.isEmpty() || !store_.Available())
        return start;
    const SecretStore::Result read = store_.Read(SiteAccountKey(siteUrl, start.account));
    if (read.ok() && !read.secret.isEmpty()) {
        cachedKey_ = SiteAccountKey(siteUrl, start.account);
        cachedDigest_ = read.secret;
        start.secretStored = true;
        autoLoginPending_ = start.autoLogin;
    }
    return start;
}

bool SavedLogin::TakeAutoLogin() {
    const bool take = autoLoginPending_;
    autoLoginPending_ = false;
    return take;
}

QByteArray SavedLogin::StoredDigest(const QByteArray& siteUrl, const QByteArray& account) {
    const QString key = SiteAccountKey(siteUrl, account);
    if (key == cachedKey_)
        return cachedDigest_;
    if (!store_.Available())
        return {};
    const SecretStore::Result read = store_.Read(key);
    return read.ok() ? read.secret : QByteArray();
}

void SavedLogin::SetSwitches(bool remember, bool autoLogin) {
    autoLogin = remember && autoLogin;
    if (options_.rememberPassword == remember && options_.autoLogin == autoLogin)
        return;
    options_.rememberPassword = remember;
    options_.autoLogin = autoLogin;
    save();
}

QString SavedLogin::LoginAccepted(const QByteArray& siteUrl, const QByteArray& account, const QByteArray& digest) {
    const QString key = SiteAccountKey(siteUrl, account);
    QString message;
    if (options_.rememberPassword && store_.Available()) {
        if (!(key == cachedKey_ && digest == cachedDigest_)) {
            const SecretStore::Result written = store_.Write(key, digest);
            if (written.ok()) {
                cachedKey_ = key;
                cachedDigest_ = digest;
            } else {
                message = u("密码未能保存到系统钥匙环：") + written.error;
            }
        }
        options_.savedAccount = FromGbk(account);
    } else if (!options_.rememberPassword) {
        // The user chose not to keep this login: nothing of it stays. Only
        // a login saved before is looked for, so that a user who never
        // ticked the box is never asked to unlock the keyring.
        const bool savedBefore = key == cachedKey_ || options_.savedAccount == FromGbk(account);
        if (savedBefore && store_.Available())
            store_.Remove(key);
        if (key == cachedKey_) {
            cachedKey_.clear();
            cachedDigest_.clear();
        }
        if (options_.savedAccount == FromGbk(account))
            options_.savedAccount.clear();
    }
    save();
    return message;
}

QString SavedLogin::LoginRefused(const QByteArray& siteUrl, const QByteArray& account, bool usedStoredSecret) {
    if (!usedStoredSecret)
        return {};
    const QString key = SiteAccountKey(siteUrl, account);
    const SecretStore::Result removed = store_.Remove(key);
    if (key == cachedKey_) {
        cachedKey_.clear();
        cachedDigest_.clear();
    }
    autoLoginPending_ = false;
    if (!removed.ok() && removed.status != SecretStore::Status::NotFound)
        return u("保存的密码已被网站拒绝，但未能从系统钥匙环中删除：") + removed.error;
    return SavedLoginText::RefusedRemoved();
}

QString SavedLogin::Forget(const QByteArray& siteUrl, const QByteArray& account) {
    const QString key = SiteAccountKey(siteUrl, account);
    const SecretStore::Result removed = store_.Remove(key);
    if (key == cachedKey_) {
        cachedKey_.clear();
        cachedDigest_.clear();
    }
    if (options_.savedAccount == FromGbk(account)) {
        options_.rememberPassword = false;
        options_.autoLogin = false;
        save();
    }
    if (!removed.ok() && removed.status != SecretStore::Status::NotFound)
        return u("未能从系统钥匙环中删除密码：") + removed.error;
    return {};
}
