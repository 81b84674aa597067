#include "disk/gui/folderbrowser.h"

#include "disk/gui/folderlisting.h"
#include "login/siterequest.h"
#include "platform/gui/listview.h"

#include <QLabel>

FolderBrowser::FolderBrowser(TListView& lv1, QLabel& loading, const SiteSession& session)
    : listing_(session), lv1_(lv1), loading_(loading) {
    listing_.OnListing = [this](const QList<QByteArray>& lines) { showListing(lines); };
}

void FolderBrowser::RequestFolderListing(int folderId, int goBack) {
    RefuseIfBusy(HttpMydisk);
    loading_.show();
    listing_.RequestFolderListing(folderId, goBack);
}

void FolderBrowser::HttpMydiskRequestDone(THttpCli& sender, THttpRequest rqType, quint16 errCode) {
    // A failed request leaves the rows and the loading label as they are.
    listing_.HttpMydiskRequestDone(sender, rqType, errCode);
}

void FolderBrowser::showListing(const QList<QByteArray>& lines) {
    // The reply has arrived: the label goes even when a line of it cannot
    // be shown.
    struct HideLoading {
        QLabel& label;
        ~HideLoading() { label.hide(); }
    } hideLoading{loading_};
    FillListing(lv1_, lines);
}

void FolderBrowser::lv1Click() { TakeListingSelection(lv1_, CurrentFolderId, SelectedKind); }

bool FolderBrowser::lv1DblClickOpensFolder() {
    if (SelectedKind != "folder")
        return false;
    RequestFolderListing(CurrentFolderId, 0);
    return true;
}
