#include "site_session.h"

#include "site_terminal.h"

#include "config/localfiles.h"
#include "config/siteconfig.h"
#include "net/nestedwait.h"
#include "platform/desktop/keyring.h"
#include "text/errors.h"
#include "text/fields.h"
#include "text/gbk.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <cstdlib>

namespace {

QByteArray exactGbk(const QByteArray& terminalText, const char* what) {
    const std::optional<QByteArray> gbk = ToGbkExact(QString::fromUtf8(terminalText));
    if (!gbk)
        throw SiteFailure(QByteArray(what) + " has characters the site cannot take (GBK)");
    return *gbk;
}

QByteArray firstLine(const QByteArray& bytes) {
    qsizetype end = 0;
    while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r')
        ++end;
    return bytes.left(end);
}

}  // namespace

SiteConfig SiteOf(const SiteOptions& options) {
    if (options.hasSite) {
        SiteConfig site;
        site.SiteUrl = TerminalToGbk(options.site);
        if (site.SiteUrl.isEmpty())
            throw SiteFailure("--site names no address", SiteExit::Usage);
        if (!site.SiteUrl.endsWith('/'))
            site.SiteUrl += '/';
        return site;
    }
    const LocalFiles files = LocalFiles::ForProgramFolder(QCoreApplication::applicationDirPath());
    const std::optional<SiteConfig> config = ReadSiteConfig(files);
    if (!config || config->SiteUrl.isEmpty())
        throw SiteFailure("no site: give --site URL or put quellix.cfg beside the program", SiteExit::Usage);
    return *config;
}

QByteArray AccountNameOf(const SiteOptions& options) {
    if (!options.hasUser || options.user.isEmpty())
        throw SiteFailure("no account: give --user NAME", SiteExit::Usage);
    return exactGbk(options.user, "the user name");
}

QByteArray PasswordOf(const SiteOptions& options, const QByteArray& accountName) {
    QByteArray password;
    if (options.hasPasswordFile) {
        password = ReadPasswordFile(options.passwordFile);
    } else if (const char* fromEnvironment = std::getenv("QUELLIX_PASSWORD")) {
        password = fromEnvironment;
    } else if (!PromptPassword("Password for " + GbkToTerminal(accountName) + ": ", password)) {
        throw SiteFailure("no password: give --password-file FILE, set QUELLIX_PASSWORD or save the login with site login --remember",
                          SiteExit::Usage);
    }
    return exactGbk(password, "the password");
}

SecretStore& ToolKeyring() {
    static Keyring keyring;
    return keyring;
}

SiteSecret SecretOf(const SiteOptions& options, const QByteArray& siteUrl, const QByteArray& accountName,
                    SecretStore* keyring) {
    const bool given = options.hasPasswordFile || std::getenv("QUELLIX_PASSWORD");
    if (!given && keyring && keyring->Available()) {
        const SecretStore::Result saved = keyring->Read(SiteAccountKey(siteUrl, accountName));
        if (saved.ok() && !saved.secret.isEmpty())
            return SiteSecret{saved.secret, true};
    }
    const QByteArray password = PasswordOf(options, accountName);
    if (TrimBlanks(password).isEmpty())
        throw SiteFailure("the user name or the password is empty", SiteExit::Usage);
    return SiteSecret{PasswordDigest(password), false};
}

QByteArray ReadPasswordFile(const QByteArray& path) {
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly))
        throw SiteFailure("can't read the password file " + path + ": " + file.errorString().toUtf8());
    return firstLine(file.readAll());
}

void ThrowIfInterrupted() {
    if (SiteInterrupted())
        throw SiteFailure("interrupted", SiteExit::Interrupted);
}

void WaitForSite(const std::function<bool()>& done, const QByteArray& what, int timeLimitMs) {
    QElapsedTimer clock;
    clock.start();
    const WaitOutcome outcome = WaitWhileProcessingEvents(
        [&] { return done() || SiteInterrupted(); },
        [&] { return timeLimitMs > 0 && clock.elapsed() >= timeLimitMs; }, 50);
    ThrowIfInterrupted();
    if (outcome == WaitOutcome::TimedOut)
        throw SiteFailure(what + " timed out");
    if (outcome == WaitOutcome::Terminating)
        throw SiteFailure(what + " was stopped");
}

std::unique_ptr<SiteConnection> OpenSiteSession(const SiteOptions& options, SiteSessionUse use, int timeLimitMs) {
    auto site = std::make_unique<SiteConnection>();
    site->Connector = options.connector;
    SiteLogin& login = site->Login;
    for (THttpCli* http : {&login.HttpCli1, &login.HttpAds, &site->HttpLoadSet})
        http->Connector = options.connector;
    const SiteConfig address = SiteOf(options);
    login.Session.SiteUrl = address.SiteUrl;
    login.Session.SiteName = address.SiteName;
    login.Session.VendorHomeUrl = address.VendorHomeUrl;
    const QByteArray name = AccountNameOf(options);
    site->Secret = SecretOf(options, login.Session.SiteUrl, name, &ToolKeyring());
    login.Probe().TimeLimitMs = std::min(timeLimitMs, 30000);

    QByteArray failure;
    login.OnLoginDone = [&](const SiteLogin::Result& result) {
        if (!result.answered) {
            failure = result.errCode != 0 ? "the login request failed (error " + QByteArray::number(result.errCode) + ")"
                                          : "the site answered the login with status " +
                                                QByteArray::number(result.status);
            return;
        }
        switch (result.reply.kind) {
        case LoginReply::Kind::Nothing:
            failure = "the site gave an empty reply to the login";
            break;
        case LoginReply::Kind::Refused:
            failure = "login refused: " + GbkToTerminal(result.reply.Message);
            break;
        case LoginReply::Kind::NoAccount:
            failure = "login refused: the site's reply names no account or token";
            break;
        case LoginReply::Kind::LoggedIn:
            break;
        }
    };
    SiteLogin::Start start = SiteLogin::Start::Sent;
    try {
        start = login.LoginWithDigest(name, site->Secret.digest);
    } catch (const QxError& error) {
        // The blocking post raises after its completion was reported; the
        // reason found there says more than the client's error.
        ThrowIfInterrupted();
        throw SiteFailure(failure.isEmpty() ? "login failed: " + GbkToTerminal(error.message()) : failure);
    }
    ThrowIfInterrupted();
    switch (start) {
    case SiteLogin::Start::MissingCredentials:
        throw SiteFailure("the user name or the password is empty", SiteExit::Usage);
    case SiteLogin::Start::SiteNotAnswering:
        if (!login.Probe().LastProxyFailure.isEmpty())
            throw SiteFailure(GbkToTerminal(login.Probe().LastProxyFailure));
        throw SiteFailure("the site does not answer: " + GbkToTerminal(login.Session.SiteUrl));
    case SiteLogin::Start::Sent:
        break;
    }
    if (!failure.isEmpty() && site->Secret.fromKeyring && failure.startsWith("login refused")) {
        // A saved login the site refuses is of no use any more.
        const SecretStore::Result removed = ToolKeyring().Remove(SiteAccountKey(login.Session.SiteUrl, name));
        failure += removed.ok() || removed.status == SecretStore::Status::NotFound
                       ? QByteArray(" (the saved password was removed from the keyring)")
                       : " (the saved password could not be removed from the keyring: " + removed.error.toUtf8() + ")";
    }
    if (!failure.isEmpty())
        throw SiteFailure(failure);
    if (!login.Session.LoggedIn)
        throw SiteFailure("login failed");
    if (use == SiteSessionUse::LoginOnly) {
        login.OnLoginDone = nullptr;
        return site;
    }

    bool settingsDone = false;
    site->Settings.OnDone = [&](const ServerSettingsRequest::Result& result) {
        settingsDone = true;
        if (!result.answered)
            failure = result.errCode != 0 ? "the settings request failed (error " + QByteArray::number(result.errCode) +
                                                ")"
                                          : "the site answered the settings request with status " +
                                                QByteArray::number(result.status);
        else if (!result.failure.isEmpty())
            failure = "the site's settings do not decode: " + GbkToTerminal(result.failure);
        else if (!result.message.isEmpty())
            failure = "the site's settings: " + result.message.toUtf8();
    };
    // A settings frame that does not decode raises on from the handler; its
    // text has been taken above.
    struct QuietReports {
        QuietReports() { SetErrorReportSink([](const QByteArray&, const QByteArray&) {}); }
        ~QuietReports() { SetErrorReportSink(nullptr); }
    } quiet;
    site->Settings.RequestServerSettings(login.Session);
    WaitForSite([&] { return settingsDone; }, "the settings request", timeLimitMs);
    site->Settings.OnDone = nullptr;
    login.OnLoginDone = nullptr;
    if (!failure.isEmpty())
        throw SiteFailure(failure);
    return site;
}
