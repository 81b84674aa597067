#include "login/siterequest.h"

#include "text/fields.h"

#include <QBuffer>
#include <memory>

QByteArray ClientMainUrl(const QByteArray& siteUrl) { return siteUrl + "plugins/quellix_client/client_main.php"; }

QByteArray ClientSubUrl(const QByteArray& registerSiteUrl) {
    return registerSiteUrl + "plugins/quellix_client/client_sub.php";
}

void RefuseIfBusy(THttpCli& http) {
    if (http.IsBusy())
        throw EHttpException("HTTP component " + http.Name + " is busy", HttpError::Busy);
}

void PostSiteForm(THttpCli& http, const QByteArray& url, const QByteArray& body, SitePostMode mode) {
    RefuseIfBusy(http);
    auto send = std::make_unique<QBuffer>();
    send->setData(body);
    send->open(QIODevice::ReadOnly);
    auto receive = std::make_unique<QBuffer>();
    receive->open(QIODevice::ReadWrite);
    http.SendStream = send.release();
    http.ReceiveStream = receive.release();
    http.URL = url;
    http.ContentTypePost = "application/x-www-form-urlencoded";
    try {
        if (mode == SitePostMode::Async)
            http.PostASync();
        else
            http.Post();
    } catch (const EHttpException& error) {
        // A request that did not start has no completion to free its streams.
        if (error.code() == HttpError::Busy || error.code() == HttpError::NothingToPost) {
            delete http.SendStream;
            delete http.ReceiveStream;
            http.SendStream = nullptr;
            http.ReceiveStream = nullptr;
        }
        throw;
    }
}

std::optional<QList<QByteArray>> TakeSiteReply(THttpCli& http, quint16 errCode) {
    std::unique_ptr<QIODevice> send(http.SendStream);
    std::unique_ptr<QIODevice> receive(http.ReceiveStream);
    http.SendStream = nullptr;
    http.ReceiveStream = nullptr;
    if (errCode != 0 || http.StatusCode() != 200)
        return std::nullopt;
    QByteArray body;
    if (auto* buffer = qobject_cast<QBuffer*>(receive.get()))
        body = buffer->data();
    return CutLines(body);
}
