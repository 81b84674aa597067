// site login: checks the account and prints what the site hands the client
// (never a password or token). With --remember the login is saved in the
// desktop's keyring (the password's digest, under the site and account), so
// that later site commands and the client's "记住密码" find it.
// site logout: forgets the saved login of the site and account.

#include "site_session.h"
#include "site_terminal.h"

#include "text/gbk.h"

namespace {

int runLogin(SiteArgs& args) {
    const bool remember = args.takeFlag("--remember");
    args.expectNoMore();
    const std::unique_ptr<SiteConnection> site = OpenSiteSession(args.options);
    if (remember) {
        SecretStore& keyring = ToolKeyring();
        const SecretStore::Result stored =
            keyring.Write(SiteAccountKey(site->Session().SiteUrl, AccountNameOf(args.options)), site->Secret.digest);
        if (!stored.ok())
            throw SiteFailure("logged in, but the keyring did not keep the password: " +
                              (stored.error.isEmpty() ? keyring.UnavailableReason() : stored.error).toUtf8());
    }
    const TSiteSettings& s = site->SiteSettings;
    QByteArray name = site->Session().SiteName;
    if (name.isEmpty())
        name = BrandingField(s.Branding, BrandingItem::Caption);
    const auto field = [](const char* label, const QByteArray& gbk) {
        return QByteArray(label) + ": " + TerminalSafe(GbkToTerminal(gbk)) + "\n";
    };
    WriteOut(field("account", site->Session().AccountName) + field("site", name) +
             field("address", site->Session().SiteUrl) + field("ftp host", s.FtpHost) + field("ftp port", s.FtpPort) +
             field("ftp folder", s.FtpDir));
    return SiteExit::Ok;
}

int runLogout(SiteArgs& args) {
    args.expectNoMore();
    const SiteConfig site = SiteOf(args.options);
    const QByteArray name = AccountNameOf(args.options);
    SecretStore& keyring = ToolKeyring();
    const SecretStore::Result removed = keyring.Remove(SiteAccountKey(site.SiteUrl, name));
    if (removed.status == SecretStore::Status::Unavailable)
        throw SiteFailure("no keyring: " + keyring.UnavailableReason().toUtf8());
    if (!removed.ok() && removed.status != SecretStore::Status::NotFound)
        throw SiteFailure("the keyring did not remove the saved password: " + removed.error.toUtf8());
    WriteOut("forgot the saved password of " + TerminalSafe(GbkToTerminal(name)) + " at " +
             TerminalSafe(GbkToTerminal(site.SiteUrl)) + "\n");
    return SiteExit::Ok;
}

const SiteCommand loginCommand("login", "login [--remember]", runLogin);
const SiteCommand logoutCommand("logout", "logout", runLogout);

}  // namespace
