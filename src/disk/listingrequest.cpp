#include "disk/listingrequest.h"

#include "login/siterequest.h"
#include "net/siteclient.h"

FolderListingRequest::FolderListingRequest(const SiteSession& session) : session_(session) {
    ApplySiteClientSettings(HttpMydisk);
    HttpMydisk.OnRequestDone = [this](THttpCli& sender, THttpRequest rqType, quint16 errCode) {
        HttpMydiskRequestDone(sender, rqType, errCode);
    };
}

void FolderListingRequest::RequestFolderListing(int folderId, int goBack) {
    PostSiteForm(HttpMydisk, ClientMainUrl(session_.SiteUrl),
                 ListingRequestBody(folderId, goBack, session_.AccountName, session_.AccountToken),
                 SitePostMode::Async);
}

void FolderListingRequest::HttpMydiskRequestDone(THttpCli& sender, THttpRequest, quint16 errCode) {
    const int status = sender.StatusCode();
    const std::optional<QList<QByteArray>> lines = TakeSiteReply(sender, errCode);
    if (!lines) {
        if (OnFailed)
            OnFailed(errCode, status);
        return;
    }
    if (OnListing)
        OnListing(*lines);
}
