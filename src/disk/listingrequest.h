#pragma once
// The listing request of one folder, without a window: a post with its own
// client HttpMydisk, one at a time; the reply's lines go to the presenter.

#include "disk/remotelisting.h"
#include "login/sitesession.h"
#include "net/httpcli.h"

#include <QByteArray>
#include <QList>
#include <functional>

// The listing request of one folder with its own client HttpMydisk, one at a
// time.
class FolderListingRequest {
public:
    explicit FolderListingRequest(const SiteSession& session);
    FolderListingRequest(const FolderListingRequest&) = delete;
    FolderListingRequest& operator=(const FolderListingRequest&) = delete;

    // Sends the listing request for folderId (goBack 1: the folder above
    // it). Raises the client's busy error while a listing is outstanding.
    void RequestFolderListing(int folderId, int goBack);

    // The reply's lines (status 200), or the failure of the request.
    std::function<void(const QList<QByteArray>& lines)> OnListing;
    std::function<void(quint16 errCode, int status)> OnFailed;

    void HttpMydiskRequestDone(THttpCli& sender, THttpRequest rqType, quint16 errCode);

    THttpCli HttpMydisk{"HttpMydisk"};

private:
    const SiteSession& session_;
};
