#include "login/settingsrequest.h"

#include "login/siterequest.h"
#include "net/siteclient.h"
#include "text/errors.h"

ServerSettingsRequest::ServerSettingsRequest(THttpCli& http, TSiteSettings& settings)
    : http_(http), settings_(settings) {
    ApplySiteClientSettings(http_);
    http_.OnRequestDone = [this](THttpCli& sender, THttpRequest rqType, quint16 errCode) {
        HttpLoadSetRequestDone(sender, rqType, errCode);
    };
}

void ServerSettingsRequest::RequestServerSettings(const SiteSession& session) {
    PostSiteForm(http_, ClientMainUrl(session.SiteUrl), LoadSetRequestBody(session.AccountName, session.AccountToken),
                 SitePostMode::Async);
}

void ServerSettingsRequest::HttpLoadSetRequestDone(THttpCli& sender, THttpRequest, quint16 errCode) {
    Result result;
    result.errCode = errCode;
    result.status = sender.StatusCode();
    const std::optional<QList<QByteArray>> lines = TakeSiteReply(sender, errCode);
    if (lines) {
        result.answered = true;
        try {
            const LoadSetOutcome outcome = ApplyLoadSetReply(*lines, settings_);
            result.message = outcome.message;
            result.taken = outcome.message.isEmpty();
        } catch (const QxError& error) {
            result.failure = error.message();
            if (OnDone)
                OnDone(result);
            throw;
        }
    }
    if (OnDone)
        OnDone(result);
}
