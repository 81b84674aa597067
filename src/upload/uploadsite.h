#pragma once
// What the upload pipeline reads of the site and the signed-in account, and
// the two flags its owner resets when it shows the queue again. The owner
// (the main window, or a command-line session) holds all of it for as long
// as the pipeline lives; the pipeline keeps these references.

#include "config/localfiles.h"
#include "login/serversettings.h"
#include "login/sitesession.h"

struct UploadSite {
    const LocalFiles& Files;
    const SiteSession& Session;
    const TSiteSettings& SiteSettings;
    // The remote folder uploads go to.
    const int& CurrentFolderId;
    // The "postlist" reply of the current click of "上传文件" was accepted
    // (cleared at each click and at each showing of the window).
    bool& PostListAccepted;
    // The queue as it stands has been through a complete upload run.
    bool& UploadFinished;
};
