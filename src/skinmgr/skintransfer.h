#pragma once
// One transfer of the skin window: a skin package or a preview picture
// fetched from the skin server into its temporary file ("….skn.tmp",
// "….jpg.tmp") for the skin it was started for. The temporary file is held
// for exclusive use while the transfer writes into it, so a second start
// for the same file finds it busy instead of truncating it. Only a complete
// transfer with content counts: its temporary file is then moved to the
// final name; any other ending leaves the temporary file where it is.

#include "net/multipartdownloader.h"

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class SkinTransfer : public QObject {
    Q_OBJECT
public:
    enum class Outcome {
        Complete,  // every byte arrived and the file has content
        Failed,    // the server had the file (a length or bytes came) but the transfer broke off
        Missing,   // refused, empty, or nothing learnt or received
    };

    explicit SkinTransfer(QObject* parent = nullptr);
    ~SkinTransfer() override;

    // Fetches `url` into `tempPath` and, when complete, moves it to
    // `finalPath`; `name` is the skin it is for. False, with nothing
    // started, when another open file holds `tempPath` (an earlier transfer
    // still writing into it). Raises EInOutError when the temporary file
    // cannot be created. A running transfer is replaced: it ends without an
    // event and its file is closed. An error of the downloader's Start is
    // swallowed after the file was closed.
    bool Start(const QByteArray& url, const QString& tempPath, const QString& finalPath, const QByteArray& name);

    TMultipartHttpDownloader Http;

    // The end of a transfer, after the file was moved (Complete) or left.
    // A handler error goes to the standard error report.
    std::function<void(const QByteArray& name, Outcome outcome)> OnFinished;

    bool Running() const { return file_ != nullptr; }
    // The skin the running or last transfer was started for.
    const QByteArray& Name() const { return name_; }

private:
    void requestDone(int errorCode, const QByteArray& reason);
    void closeFile();

    std::unique_ptr<QFile> file_;
    QByteArray name_;
    QString tempPath_;
    QString finalPath_;
};
