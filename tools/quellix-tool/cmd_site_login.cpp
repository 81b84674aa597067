// site login: checks the account and prints what the site hands the client
// (never a password or token).

#include "site_session.h"
#include "site_terminal.h"

#include "text/gbk.h"

namespace {

int runLogin(SiteArgs& args) {
    args.expectNoMore();
    const std::unique_ptr<SiteConnection> site = OpenSiteSession(args.options);
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

const SiteCommand loginCommand("login", "login", runLogin);

}  // namespace
