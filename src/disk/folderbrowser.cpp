#include "disk/folderbrowser.h"

#include "disk/folderlisting.h"
#include "login/siterequest.h"
#include "net/siteclient.h"
#include "platform/gui/listview.h"

#include <QLabel>

FolderBrowser::FolderBrowser(TListView& lv1, QLabel& loading, const SiteSession& session)
    : lv1_(lv1), loading_(loading), session_(session) {
    ApplySiteClientSettings(HttpMydisk);
    HttpMydisk.OnRequestDone = [this](THttpCli& sender, THttpRequest rqType, quint16 errCode) {
        HttpMydiskRequestDone(sender, rqType, errCode);
    };
}

void FolderBrowser::RequestFolderListing(int folderId, int goBack) {
    RefuseIfBusy(HttpMydisk);
    loading_.show();
    PostSiteForm(HttpMydisk, ClientMainUrl(session_.SiteUrl),
                 ListingRequestBody(folderId, goBack, session_.AccountName, session_.AccountToken),
                 SitePostMode::Async);
}

void FolderBrowser::HttpMydiskRequestDone(THttpCli& sender, THttpRequest, quint16 errCode) {
    const std::optional<QList<QByteArray>> lines = TakeSiteReply(sender, errCode);
    if (!lines)
        return;  // the rows and the loading label stay as they are
    // The reply has arrived: the label goes even when a line of it cannot
    // be shown.
    struct HideLoading {
        QLabel& label;
        ~HideLoading() { label.hide(); }
    } hideLoading{loading_};
    FillListing(lv1_, *lines);
}

void FolderBrowser::lv1Click() { TakeListingSelection(lv1_, CurrentFolderId, SelectedKind); }

bool FolderBrowser::lv1DblClickOpensFolder() {
    if (SelectedKind != "folder")
        return false;
    RequestFolderListing(CurrentFolderId, 0);
    return true;
}
