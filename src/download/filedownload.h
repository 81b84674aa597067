#pragma once
// The download of one remote file into a local folder, running in the
// background after the download window has closed. It names and creates the
// local file (see downloadtarget.h), fetches the document with the
// multipart downloader HttpDownFile in two ranges, follows the transfer on
// the gauge (the share of the document received over both ranges) and ends
// with a status text and a sound:
//
//   complete (200, "OK")                  "文件【name】下载完成", ok.wav
//   failed after the site had the file    "文件【name】下载失败", error.wav
//   refused, or nothing learnt or received "文件【name】不存在",   error.wav
//
// A document of 0 bytes is no complete download (site scripts answer the
// downloads they refuse with an empty reply): it ends as "不存在", with the
// empty local file left on disk. One download runs at a time; starting another replaces
// the running one, whose file is closed as far as it was written.

#include "net/multipartdownloader.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class FileDownload : public QObject {
    Q_OBJECT
public:
    enum class Outcome { None, Running, Complete, Failed, Missing };

    // `okSound`, `errorSound`: the sound files played at the end.
    FileDownload(QString okSound, QString errorSound, QObject* parent = nullptr);
    ~FileDownload() override;

    // Creates the local file for `name` in `folder` (ending with "/") and
    // starts fetching `url` into it; `name` is the one the status texts
    // show. Raises EInOutError when the file cannot be created: nothing is
    // started then, and a running download goes on. An error of the
    // downloader's Start is shown as a status text instead.
    void Start(const QByteArray& url, const QString& folder, const QString& name);

    TMultipartHttpDownloader HttpDownFile;

    // Where the outcome goes: the main window's status text and gauge
    // (0..100), and the sound player (the window plays them asynchronously).
    std::function<void(const QString& text)> SetStatusText;
    std::function<void(int percent)> SetGauge;
    std::function<void(const QString& soundFile)> PlaySound;
    // The download started last has ended (Complete, Failed or Missing),
    // after its status text and sound.
    std::function<void(Outcome outcome)> OnEnded;

    // The download started last.
    const QString& Name() const { return name_; }
    const QString& TargetPath() const { return targetPath_; }
    Outcome LastOutcome() const { return outcome_; }
    int Gauge() const { return gauge_; }
    // The bytes of the document now in the file, over all ranges.
    qint64 Received() const;

    // The downloader's events.
    void HttpDownFileRequestDone(int errorCode, const QByteArray& reason);
    void HttpDownFileProgressAddSegment(qint64 startOffset);
    void HttpDownFileProgressSetPosition(int index, qint64 position);

private:
    void showStatus(const QString& text);
    void playSound(const QString& soundFile);
    // Passes a changed value on; `always`: also an unchanged one (the gauge
    // is shared with the upload run, which may have moved it).
    void setGauge(int percent, bool always = false);
    void closeFile();

    QString okSound_;
    QString errorSound_;
    std::unique_ptr<QFile> file_;  // the running download's local file
    QString name_;
    QString targetPath_;
    Outcome outcome_ = Outcome::None;
    int gauge_ = 0;
    // Per range: its first byte and the bytes of it now in the file.
    QList<qint64> rangeStarts_;
    QList<qint64> rangeReceived_;
};
