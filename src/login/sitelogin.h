#pragma once
// Signing in to the site, without a window: the name and password are
// trimmed, the site is probed (HEAD, status 200 within the time limit), the
// credentials are posted with the blocking post, and an accepted reply puts
// the account into the session. The login window and quellix-tool present
// it; both send the same bytes.

#include "login/loginreply.h"
#include "login/siteprobe.h"
#include "login/sitesession.h"
#include "net/httpcli.h"

#include <QByteArray>
#include <functional>

// "action=login&username=" + name + "&password=" + the lower-case MD5 hex
// digest of the password, nothing escaped.
QByteArray LoginRequestBody(const QByteArray& name, const QByteArray& password);

// What the login sends for a password: the lower-case MD5 hex digest of the
// password without the blanks and control characters around it. A saved
// login keeps this digest, never the password itself.
QByteArray PasswordDigest(const QByteArray& password);

class SiteLogin {
public:
    SiteLogin();
    SiteLogin(const SiteLogin&) = delete;
    SiteLogin& operator=(const SiteLogin&) = delete;

    enum class Start {
        MissingCredentials,  // the name or the password is empty after trimming
        SiteNotAnswering,    // the probe failed; nothing was posted
        Sent,                // the login request was posted and has completed
    };

    // Logs in with `name` and `password` (GBK, as typed; blanks and control
    // characters around them are dropped). OnPosting runs right before the
    // request goes out, OnLoginDone during the blocking post. Raises as the
    // blocking post does (a final status of 400 or more other than 401 and
    // 407, the time-out) after OnLoginDone has reported the failed request.
    Start Login(const QByteArray& name, const QByteArray& password);
    // The same with the password's digest (PasswordDigest) instead of the
    // password: a saved login. The request carries the same bytes.
    Start LoginWithDigest(const QByteArray& name, const QByteArray& digest);

    // What the login request came back with.
    struct Result {
        bool answered = false;  // error code 0 and status 200: `reply` holds the lines read
        quint16 errCode = 0;
        int status = 0;
        LoginReply reply;
    };
    std::function<void()> OnPosting;
    // An accepted reply is in Session before this runs.
    std::function<void(const Result&)> OnLoginDone;

    // The account switch: the account is forgotten until the next login;
    // the site and the debug-log switch stay.
    void SwitchAccount();

    // The completion of the login request (HttpCli1).
    void HttpCli1RequestDone(THttpCli& sender, THttpRequest rqType, quint16 errCode);

    SiteSession Session;
    THttpCli HttpCli1{"HttpCli1"};
    THttpCli HttpAds{"HttpAds"};
    SiteProbe& Probe() { return probe_; }

private:
    SiteProbe probe_{HttpAds};
};
