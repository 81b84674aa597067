#pragma once
// A logged-in session with the site for the site commands: the site address
// (--site or the program folder's quellix.cfg), the account (--user) and its
// password (--password-file, QUELLIX_PASSWORD, the keyring's saved login of
// that site and account, or a prompt), the login and the server settings
// ("loadset"), through the classes the windows use.

#include "site_command.h"

#include "config/siteconfig.h"
#include "login/serversettings.h"
#include "login/settingsrequest.h"
#include "login/sitelogin.h"
#include "net/httpcli.h"
#include "platform/secretstore.h"

#include <QByteArray>
#include <functional>
#include <memory>

// The site (GBK): --site (its address, "/" added when missing; no name), else
// the program folder's quellix.cfg. Raises SiteFailure when neither names one.
SiteConfig SiteOf(const SiteOptions& options);

// The account name (GBK) of --user; raises SiteFailure when absent or when it
// has characters GBK cannot hold.
QByteArray AccountNameOf(const SiteOptions& options);

// The password (GBK): the first line of --password-file, else
// QUELLIX_PASSWORD, else asked without echo on a terminal.
QByteArray PasswordOf(const SiteOptions& options, const QByteArray& accountName);

// What a login sends: the password's digest. `fromKeyring`: the digest is
// the saved login of the keyring (the keyring keeps digests, never
// passwords).
struct SiteSecret {
    QByteArray digest;
    bool fromKeyring = false;
};

// The secret in this order: --password-file, QUELLIX_PASSWORD, the
// keyring's entry for `siteUrl` and `accountName` (when `keyring` is given
// and answers), a prompt without echo.
SiteSecret SecretOf(const SiteOptions& options, const QByteArray& siteUrl, const QByteArray& accountName,
                    SecretStore* keyring);

// The desktop's keyring as the tool uses it.
SecretStore& ToolKeyring();

// The first line of a password file (terminal text), without its line end;
// raises SiteFailure when the file cannot be read.
QByteArray ReadPasswordFile(const QByteArray& path);

// A session after a login, with the site's settings taken.
class SiteConnection {
public:
    SiteConnection() = default;
    SiteConnection(const SiteConnection&) = delete;
    SiteConnection& operator=(const SiteConnection&) = delete;

    const SiteSession& Session() const { return Login.Session; }

    // The secret the login was sent with.
    SiteSecret Secret;

    SiteLogin Login;
    THttpCli HttpLoadSet{"HttpLoadSet"};
    // How every request of the session connects (proxy, rate limit).
    NetConnector* Connector = nullptr;
    TSiteSettings SiteSettings;
    ServerSettingsRequest Settings{HttpLoadSet, SiteSettings};
};

// What a command needs of the session: the server settings ("loadset": the
// FTP server, the registration address) or only the login (listings,
// downloads and links need nothing else, and a round trip less counts on a
// slow link).
enum class SiteSessionUse { WithServerSettings, LoginOnly };

// Logs in and takes the server settings, as the login and main windows do
// (probe, login, loadset; without loadset for `LoginOnly`). Raises
// SiteFailure with the reason (the site's own message for a refused login)
// when any step fails; a refused saved login is removed from the keyring,
// and the failure says so. Waits are bounded by `timeLimitMs` and end early
// on Ctrl+C.
std::unique_ptr<SiteConnection> OpenSiteSession(const SiteOptions& options,
                                                SiteSessionUse use = SiteSessionUse::WithServerSettings,
                                                int timeLimitMs = 60000);

// Runs the event loop until `done` holds. Raises SiteFailure `what` + " timed
// out" after `timeLimitMs` (0: no limit) and the interruption on Ctrl+C.
void WaitForSite(const std::function<bool()>& done, const QByteArray& what, int timeLimitMs);

// Raises the interruption failure (exit 130) when Ctrl+C was pressed.
void ThrowIfInterrupted();
