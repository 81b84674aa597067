#pragma once
// The demo site (demo/demo_site.py under Debian's Python) started for a
// test: free ports on 127.0.0.1, a temporary data folder, a bounded wait for
// its ready line; stopped (SIGTERM, then kill) when the object goes.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

struct DemoAccount {
    QString name;         // the account name (the client sends it as GBK)
    QString password;     // what a user types into the password field
    QString debugFlag;    // third line of the login reply
    QString ftpUser;      // the FTP account the settings reply hands out
    QString ftpPassword;
};

// One line of the site's request log.
struct LoggedRequest {
    QByteArray method;
    QByteArray target;  // exact bytes of the request target (path and query)
    QByteArray path;    // the target up to "?"
    QByteArray body;    // exact body bytes
    QList<QPair<QByteArray, QByteArray>> headers;
    int status = 0;

    QByteArray header(const QByteArray& name) const;  // first value, case-insensitive name; empty if absent
};

class DemoSite {
public:
    // Starts the site; `options` are added to its command line (for
    // example {"--ftp-passive", "0"} or {"--big-file-mib", "1"}).
    explicit DemoSite(const QStringList& options = {}, int readyTimeoutMs = 60000);
    ~DemoSite();
    DemoSite(const DemoSite&) = delete;
    DemoSite& operator=(const DemoSite&) = delete;

    // True once the site reported ready; otherwise errorText() says why.
    bool isRunning() const;
    QString errorText() const { return error_; }

    QByteArray siteUrl() const { return siteUrl_; }              // ends in "/"
    QByteArray skinServerUrl() const { return skinServerUrl_; }  // VendorHomeUrl, ends in "/"
    QByteArray registerUrl() const { return registerUrl_; }      // RegisterSiteUrl, ends in "/"
    QString siteName() const { return siteName_; }
    int httpPort() const { return httpPort_; }
    qint64 processId() const { return process_->processId(); }
    int ftpPort() const { return ftpPort_; }
    QByteArray ftpDir() const { return ftpDir_; }  // the upload folder as the FTP client sees it
    QList<DemoAccount> accounts() const { return accounts_; }
    DemoAccount account(const QString& name) const;

    QString dataDir() const { return dataDir_; }
    QString skinsDir() const { return skinsDir_; }
    QString requestLogPath() const { return requestLogPath_; }
    QString ftpLogPath() const { return ftpLogPath_; }

    // Every request the site has answered so far, in order.
    QList<LoggedRequest> requests() const;

    // Writes "quellix.cfg" naming this site (and its skin server) into
    // `programDir` with quellix-tool; false when the tool fails.
    bool writeSiteConfig(const QString& programDir) const;

    // Stops the site (SIGTERM, bounded wait, then kill); true when it ended
    // by itself with status 0. The destructor calls it.
    bool stop();

private:
    bool readReadyLine(int timeoutMs);

    QTemporaryDir tmp_;
    std::unique_ptr<QProcess> process_;
    QString error_;
    QByteArray siteUrl_, skinServerUrl_, registerUrl_, ftpDir_;
    QString siteName_, dataDir_, skinsDir_, requestLogPath_, ftpLogPath_;
    int httpPort_ = 0;
    int ftpPort_ = 0;
    QList<DemoAccount> accounts_;
};
