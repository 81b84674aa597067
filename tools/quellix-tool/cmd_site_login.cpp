// site login: checks the account and prints what the site hands the client
// (never a password or token).

#include "site_session.h"

#include "text/gbk.h"

namespace {

int runLogin(SiteArgs& args) {
    args.expectNoMore();
    const std::unique_ptr<SiteConnection> site = OpenSiteSession(args.options);
    const TSiteSettings& s = site->SiteSettings;
    QByteArray name = site->Session().SiteName;
    if (name.isEmpty())
        name = BrandingField(s.Branding, BrandingItem::Caption);
    WriteOut("account: " + GbkToTerminal(site->Session().AccountName) + "\n" +
             "site: " + GbkToTerminal(name) + "\n" +
             "address: " + GbkToTerminal(site->Session().SiteUrl) + "\n" +
             "ftp host: " + GbkToTerminal(s.FtpHost) + "\n" +
             "ftp port: " + GbkToTerminal(s.FtpPort) + "\n" +
             "ftp folder: " + GbkToTerminal(s.FtpDir) + "\n");
    return SiteExit::Ok;
}

const SiteCommand loginCommand("login", "login", runLogin);

}  // namespace
