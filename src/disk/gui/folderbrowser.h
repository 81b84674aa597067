#pragma once
// Browsing the remote disk: one folder at a time in lv1, asked for with the
// "mydisk" request. The browser remembers CurrentFolderId (the folder the
// last click selected; the upload registration sends it as the target
// folder) and SelectedKind ("file" or "folder").

#include "disk/listingrequest.h"
#include "login/sitesession.h"
#include "net/httpcli.h"

#include <QByteArray>

class QLabel;
class TListView;

class FolderBrowser {
public:
    FolderBrowser(TListView& lv1, QLabel& loading, const SiteSession& session);

    // Sends the listing request for folderId (goBack 1: the folder above
    // it). Refused with the client's busy error while a listing is still
    // outstanding; nothing else changes then.
    void RequestFolderListing(int folderId, int goBack);
    void HttpMydiskRequestDone(THttpCli& sender, THttpRequest rqType, quint16 errCode);

    // A click: SelectedKind, and CurrentFolderId for a selected folder.
    void lv1Click();
    // A double click: opens the selected folder and gives true, or gives
    // false so that the caller starts the download of the selected file.
    bool lv1DblClickOpensFolder();

    void spSkinSpeedButton1Click() { RequestFolderListing(0, 0); }                // root
    void spSkinSpeedButton2Click() { RequestFolderListing(CurrentFolderId, 1); }  // back
    void N25Click() { RequestFolderListing(CurrentFolderId, 0); }                 // refresh

    int CurrentFolderId = 0;
    QByteArray SelectedKind;

private:
    FolderListingRequest listing_;

public:
    THttpCli& HttpMydisk = listing_.HttpMydisk;

private:
    void showListing(const QList<QByteArray>& lines);

    TListView& lv1_;
    QLabel& loading_;
};
