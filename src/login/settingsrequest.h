#pragma once
// The "loadset" request after a login, without a window: posts the request
// with the account's credentials and takes an accepted reply into the
// settings record. The main window shows the outcome (messages, caption,
// news page); quellix-tool prints it.

#include "login/serversettings.h"
#include "login/sitesession.h"
#include "net/httpcli.h"

#include <QByteArray>
#include <QString>
#include <functional>

class ServerSettingsRequest {
public:
    // Posts with `http`, stored with the site client settings, and fills
    // `settings`; takes the client's completion event.
    ServerSettingsRequest(THttpCli& http, TSiteSettings& settings);

    // Sends the loadset request (asynchronous post).
    void RequestServerSettings(const SiteSession& session);

    struct Result {
        bool answered = false;  // error code 0 and status 200
        quint16 errCode = 0;
        int status = 0;
        bool taken = false;     // every field of the reply was taken
        QString message;        // the information message of a refused or empty reply
        QByteArray failure;     // the error a settings frame that does not decode raised
    };
    // Runs when the request has completed. A frame that does not decode
    // reports its error here and then raises it on into the standard error
    // report, as the reply handler always did.
    std::function<void(const Result&)> OnDone;

    void HttpLoadSetRequestDone(THttpCli& sender, THttpRequest rqType, quint16 errCode);

private:
    THttpCli& http_;
    TSiteSettings& settings_;
};
