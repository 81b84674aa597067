#include "login/siterequest.h"

#include "text/fields.h"

#include <QBuffer>

QByteArray ClientMainUrl(const QByteArray& siteUrl) { return siteUrl + "plugins/quellix_client/client_main.php"; }

QByteArray ClientSubUrl(const QByteArray& registerSiteUrl) {
    return registerSiteUrl + "plugins/quellix_client/client_sub.php";
}

void RefuseIfBusy(THttpCli& http) {
    if (http.IsBusy())
        throw EHttpException("HTTP component " + http.Name + " is busy", HttpError::Busy);
}

namespace {

// The streams of a site request are children of its client: the completion
// handler frees them (TakeSiteReply), and when the client goes with a
// request outstanding - its window closed, the program ending - they go
// with it. Either way exactly one owner frees them.
void freeSiteStreams(THttpCli& http) {
    for (QIODevice** stream : {&http.SendStream, &http.ReceiveStream}) {
        if (*stream && (*stream)->parent() == &http)
            delete *stream;
        *stream = nullptr;
    }
}

}  // namespace

void PostSiteForm(THttpCli& http, const QByteArray& url, const QByteArray& body, SitePostMode mode) {
    RefuseIfBusy(http);
    // Streams of an earlier request whose handler did not take them.
    freeSiteStreams(http);
    auto* send = new QBuffer(&http);
    send->setData(body);
    send->open(QIODevice::ReadOnly);
    auto* receive = new QBuffer(&http);
    receive->open(QIODevice::ReadWrite);
    http.SendStream = send;
    http.ReceiveStream = receive;
    http.URL = url;
    http.ContentTypePost = "application/x-www-form-urlencoded";
    try {
        if (mode == SitePostMode::Async)
            http.PostASync();
        else
            http.Post();
    } catch (const EHttpException& error) {
        // A request that did not start has no completion to free its streams.
        if (error.code() == HttpError::Busy || error.code() == HttpError::NothingToPost)
            freeSiteStreams(http);
        throw;
    }
}

std::optional<QList<QByteArray>> TakeSiteReply(THttpCli& http, quint16 errCode) {
    QByteArray body;
    if (auto* buffer = qobject_cast<QBuffer*>(http.ReceiveStream))
        body = buffer->data();
    freeSiteStreams(http);
    if (errCode != 0 || http.StatusCode() != 200)
        return std::nullopt;
    return CutLines(body);
}
