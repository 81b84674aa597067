#pragma once
// The upload pipeline of the windows run from the command line: the same
// queue, announcement ("postlist"), FTP run and registration ("update"),
// shown on the terminal. Each file gets a progress bar on a terminal (plain
// lines otherwise) and a result line.

#include "site_session.h"

#include "upload/uploadqueue.h"
#include "upload/uploadregistration.h"
#include "upload/uploadrun.h"

#include <QStringList>
#include <memory>

class TerminalUploadPresenter;

// One upload session over a logged-in connection.
class SiteUpload {
public:
    // `parallel`: files sent at once (1 to 8); 0: as quellix.ini says.
    SiteUpload(SiteConnection& site, int folderId, int parallel = 0);
    ~SiteUpload();

    // "resume": the site's unfinished uploads replace the queue. Gives the
    // number of rows taken; raises SiteFailure when the request fails or
    // the site answers it with anything but its list.
    int TakeResumeList();
    // Posts "update"; gives the site's confirmation text. Raises SiteFailure
    // when the request fails or the site does not confirm it.
    QString PostUpdate();
    // Runs "上传文件" over the queue and waits until the run has come to
    // rest. Gives true when every row ended as uploaded. Ctrl+C pauses the
    // run (the file being sent waits for a resumed run) and raises the
    // interruption.
    bool Run();
    // Why the site did not register the uploads of the run ("update"), in
    // words for the terminal; empty when it did, or when the run never got
    // that far.
    QByteArray RegistrationFailure() const;

    UploadQueue Queue;

private:
    QString lastStatus() const;

    SiteConnection& site_;
    LocalFiles files_;
    int folderId_;
    bool postListAccepted_ = false;
    bool uploadFinished_ = false;
    std::unique_ptr<TerminalUploadPresenter> presenter_;
    std::unique_ptr<UploadRegistration> registration_;
    std::unique_ptr<UploadRun> run_;
};
