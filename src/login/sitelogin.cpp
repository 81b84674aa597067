#include "login/sitelogin.h"

#include "login/siterequest.h"
#include "net/siteclient.h"
#include "text/fields.h"
#include "text/md5.h"

QByteArray LoginRequestBody(const QByteArray& name, const QByteArray& password) {
    return "action=login&username=" + name + "&password=" + Md5Hex(password).toLower();
}

QByteArray PasswordDigest(const QByteArray& password) { return Md5Hex(TrimBlanks(password)).toLower(); }

SiteLogin::SiteLogin() {
    for (THttpCli* http : {&HttpCli1, &HttpAds})
        ApplySiteClientSettings(*http);
    HttpCli1.OnRequestDone = [this](THttpCli& sender, THttpRequest rqType, quint16 errCode) {
        HttpCli1RequestDone(sender, rqType, errCode);
    };
}

SiteLogin::Start SiteLogin::Login(const QByteArray& name, const QByteArray& password) {
    if (TrimBlanks(password).isEmpty())
        return Start::MissingCredentials;
    return LoginWithDigest(name, PasswordDigest(password));
}

SiteLogin::Start SiteLogin::LoginWithDigest(const QByteArray& name, const QByteArray& digest) {
    const QByteArray trimmedName = TrimBlanks(name);
    if (trimmedName.isEmpty() || digest.isEmpty())
        return Start::MissingCredentials;
    if (!probe_.ProbeUrl(Session.SiteUrl))
        return Start::SiteNotAnswering;
    if (OnPosting)
        OnPosting();
    PostSiteForm(HttpCli1, ClientMainUrl(Session.SiteUrl),
                 "action=login&username=" + trimmedName + "&password=" + digest, SitePostMode::Blocking);
    return Start::Sent;
}

void SiteLogin::HttpCli1RequestDone(THttpCli& sender, THttpRequest, quint16 errCode) {
    Result result;
    result.errCode = errCode;
    result.status = sender.StatusCode();
    const std::optional<QList<QByteArray>> lines = TakeSiteReply(sender, errCode);
    if (lines) {
        result.answered = true;
        result.reply = ReadLoginReply(*lines);
        if (result.reply.kind == LoginReply::Kind::LoggedIn) {
            Session.LoggedIn = true;
            Session.AccountName = result.reply.AccountName;
            Session.AccountToken = result.reply.AccountToken;
            Session.DebugLogEnabled = result.reply.DebugLogEnabled;
        }
    }
    if (OnLoginDone)
        OnLoginDone(result);
}

void SiteLogin::SwitchAccount() {
    Session.LoggedIn = false;
    Session.AccountName.clear();
    Session.AccountToken.clear();
}
