#include "skinmgr/skintransfer.h"

#include "platform/exclusivefile.h"
#include "text/errors.h"
#include "text/gbk.h"

#include <utility>

SkinTransfer::SkinTransfer(QObject* parent) : QObject(parent) {
    Http.OnRequestDone = [this](TMultipartHttpDownloader&, int errorCode, const QByteArray& reason) {
        requestDone(errorCode, reason);
    };
}

SkinTransfer::~SkinTransfer() { Http.FileStream = nullptr; }

bool SkinTransfer::Start(const QByteArray& url, const QString& tempPath, const QString& finalPath,
                         const QByteArray& name) {
    auto file = std::make_unique<QFile>(tempPath);
    switch (OpenExclusive(*file, QIODevice::ReadWrite)) {
    case ExclusiveOpen::Busy: return false;
    case ExclusiveOpen::Failed:
        throw EInOutError("Cannot create file " + ToGbk(tempPath) + ": " + ToGbk(file->errorString()));
    case ExclusiveOpen::Opened: break;
    }
    // Created anew: whatever an earlier, broken transfer left goes.
    if (!file->resize(0))
        throw EInOutError("Cannot empty file " + ToGbk(tempPath) + ": " + ToGbk(file->errorString()));

    std::unique_ptr<QFile> earlier = std::exchange(file_, std::move(file));
    name_ = name;
    tempPath_ = tempPath;
    finalPath_ = finalPath;
    Http.PartCount = 2;
    Http.URL = url;
    Http.FileStream = file_.get();
    try {
        Http.Start();
    } catch (const QxError&) {
        Http.FileStream = nullptr;
        closeFile();
    }
    // Any earlier transfer was dropped by Start without an event.
    earlier.reset();
    return true;
}

void SkinTransfer::requestDone(int errorCode, const QByteArray& reason) {
    // On success the downloader closed the file itself.
    Http.FileStream = nullptr;
    closeFile();
    Outcome outcome;
    if (errorCode == 200 && reason == "OK" && Http.TotalCount() > 0)
        outcome = Outcome::Complete;
    else if (Http.TotalCount() > 0 || Http.ContentLength() > 0)
        outcome = Outcome::Failed;
    else
        outcome = Outcome::Missing;
    if (outcome == Outcome::Complete) {
        // QFile::rename does not replace; a file of the final name is an
        // older copy.
        if (QFile::exists(finalPath_) && !QFile::remove(finalPath_))
            throw EInOutError("Cannot replace file " + ToGbk(finalPath_));
        if (!QFile::rename(tempPath_, finalPath_))
            throw EInOutError("Cannot rename " + ToGbk(tempPath_) + " to " + ToGbk(finalPath_));
    }
    if (OnFinished)
        OnFinished(name_, outcome);
}

void SkinTransfer::closeFile() {
    if (file_)
        file_->close();
    file_.reset();
}
