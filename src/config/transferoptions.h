#pragma once
// The user's transfer options: how many transfers run at once, the proxy,
// the rate limits, the saved login and the desktop notifications. They live
// in "quellix.ini" (Qt's INI format) beside settings.cfg, whose one-line
// format stays as it is. Secrets never go here: passwords (of the site
// account and of the proxy) are kept in the desktop's keyring.
//
// Reading never fails: a missing file gives the defaults, a value that does
// not read or lies outside its bounds gives the default or the nearest
// bound. Writing replaces the whole file's known keys and keeps unknown
// ones (a newer version's options survive an older one).

#include "config/localfiles.h"

#include <QByteArray>
#include <QString>

enum class ProxyMode {
    None,    // connect directly
    System,  // the http_proxy, https_proxy, all_proxy and no_proxy variables
    Http,    // an HTTP proxy, CONNECT for every connection
    Socks5,  // a SOCKS5 proxy
};

struct ProxyOptions {
    ProxyMode mode = ProxyMode::None;
    QString host;
    quint16 port = 0;
    QString user;  // empty: no authentication; the password is in the keyring

    bool operator==(const ProxyOptions&) const = default;
};

struct TransferOptions {
    static constexpr int kMaxParallel = 8;
    static constexpr int kMaxConnections = 8;

    // Uploads: files sent at once, each over its own FTP session.
    int parallelUploads = 2;
    // Downloads: files fetched at once, and byte ranges per file.
    int parallelDownloads = 2;
    int downloadConnections = 2;
    // Unfinished downloads of the last session start again by themselves
    // at login (else they come back paused).
    bool resumeDownloadsAtLogin = false;

    // Rate limits for the whole program in KB/s (1024 bytes); 0: none.
    int uploadLimitKBps = 0;
    int downloadLimitKBps = 0;

    ProxyOptions proxy;

    // The login window: remember the password in the keyring, log in at
    // start, and the account those refer to.
    bool rememberPassword = false;
    bool autoLogin = false;
    QString savedAccount;

    // Desktop notifications at the end of transfers.
    bool notifications = true;

    bool operator==(const TransferOptions&) const = default;
};

// The options in `files.optionsFile()`; the defaults where it holds none.
TransferOptions ReadTransferOptions(const LocalFiles& files);
TransferOptions ReadTransferOptions(const QString& optionsFile);

// Writes every option; false when the file cannot be written.
bool WriteTransferOptions(const LocalFiles& files, const TransferOptions& options);
bool WriteTransferOptions(const QString& optionsFile, const TransferOptions& options);

// "none", "system", "http", "socks5" and back (unknown words give None).
QByteArray ProxyModeName(ProxyMode mode);
ProxyMode ProxyModeFromName(const QByteArray& name);
