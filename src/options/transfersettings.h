#pragma once
// The "传输设置" dialog without widgets: the fields it shows for the
// options, their checks, and saving. The options go into quellix.ini; the
// proxy's password goes into the keyring under the proxy's host, port and
// user, never into a file. The login switches of the options are the login
// window's and pass through unchanged.

#include "config/localfiles.h"
#include "config/transferoptions.h"
#include "platform/secretstore.h"

#include <QByteArray>
#include <QString>
#include <optional>

// The dialog's fields, as the widgets hold them.
struct TransferSettingsFields {
    int parallelUploads = 2;      // "同时上传文件数"
    int parallelDownloads = 2;    // "同时下载文件数"
    int downloadConnections = 2;  // "下载连接数"
    bool resumeDownloadsAtLogin = false;
    ProxyMode proxyMode = ProxyMode::None;  // "网络代理"
    QString proxyHost;
    QString proxyPort;  // as typed
    QString proxyUser;
    // The proxy password: `proxyPasswordEdited` false keeps the stored one.
    QString proxyPassword;
    bool proxyPasswordEdited = false;
    QString uploadLimit;    // "上传限速", KB/s as typed; empty: 0
    QString downloadLimit;  // "下载限速"
    bool notifications = true;
};

class TransferSettings {
public:
    // `store` may be null: no keyring, a proxy password cannot be kept.
    TransferSettings(const LocalFiles& files, SecretStore* store);

    // The fields showing `options` (the password field empty).
    static TransferSettingsFields FieldsOf(const TransferOptions& options);

    // The options the fields give, the login switches taken from
    // `current`; or the first field in error and what is wrong with it.
    struct Checked {
        std::optional<TransferOptions> options;
        QString error;  // for the user
        QString field;  // the field's label, such as "端口"
    };
    static Checked Check(const TransferSettingsFields& fields, const TransferOptions& current);

    // The stored password of `proxy` (empty when it has no user, or none
    // is stored, or there is no keyring).
    QByteArray ProxyPassword(const ProxyOptions& proxy);

    // OK: writes `options` into quellix.ini and, with a proxy user, the
    // password into the keyring (the one typed, or the one stored for
    // `before` when it was not edited). `proxyPassword` gets the password
    // now in force. Returns what went wrong for the user, empty when all
    // was kept; the options apply all the same.
    QString Save(const TransferOptions& before, const TransferOptions& options, const TransferSettingsFields& fields,
                 QByteArray& proxyPassword);

private:
    LocalFiles files_;
    SecretStore* store_;
};
