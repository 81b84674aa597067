#include "site_upload.h"

#include "site_terminal.h"

#include "config/transferoptions.h"
#include "platform/helperlib.h"
#include "text/errors.h"

#include <QFileInfo>

// What the run reports, on the terminal: a progress bar on standard error
// (per file when one file goes at a time, for the whole run when several
// do), a line per finished file on standard output, and the run's own
// messages (retries, refused names) on standard error.
class TerminalUploadPresenter : public UploadPresenter {
public:
    explicit TerminalUploadPresenter(UploadQueue& queue) : queue_(queue) {}

    void ShowStatus(const QString& text, bool frequent) override {
        if (frequent)
            return;
        status = text;
        // A break in the connection and the wait before the next try, and
        // why a file failed, are worth a line while the run goes on.
        if (text.contains(QString::fromUtf8("连接中断")) || text.contains(QString::fromUtf8("】上传失败：")))
            WriteErr(TerminalSafe(text.toUtf8()) + "\n");
    }
    void ShowGauge(int) override {}
    void ShowBytes(qint64 done, qint64 total) override {
        if (parallel > 1)
            return;
        if (!progress_ && total > 0)
            progress_ = std::make_unique<TransferProgress>(label_, total);
        if (progress_)
            progress_->update(done);
        done_ = done;
    }
    void ShowRunBytes(qint64 done, qint64 total) override {
        if (parallel <= 1)
            return;
        if (!progress_ && total > 0)
            progress_ = std::make_unique<TransferProgress>(QByteArray::number(queue_.Count()) + " files", total);
        if (progress_)
            progress_->update(done);
        done_ = done;
    }
    void SetUploadBusy(bool) override {}
    void SetAbortEnabled(bool) override {}
    void SetCancelEnabled(bool) override {}
    // Nothing here asks the user: an uploaded queue is not emptied, an
    // empty one gets no files.
    bool Confirm(const QString&) override { return false; }
    void Inform(const QString& message) override { WriteErr(TerminalSafe(message.toUtf8(), true) + "\n"); }
    void AddLocalFiles() override {}
    void RowTaken(int row) override {
        if (parallel > 1)
            return;
        progress_.reset();
        done_ = 0;
        label_ = TerminalSafe(queue_.FileName(row).toUtf8());
    }
    void FileEnded(int row) override {
        if (row < 0)
            return;
        const QString state = queue_.Status(row);
        if (parallel <= 1) {
            if (progress_)
                progress_->finish(done_);
            progress_.reset();
        } else if (progress_ && StderrIsTerminal()) {
            WriteErr("\r\033[K");  // the run's bar is drawn again below the line
        }
        QByteArray word = "failed";
        if (state == QueueStatus::Succeeded())
            word = status.endsWith(QString::fromUtf8("跳过此文件")) ? "on the server already" : "sent";
        else if (state == QueueStatus::FileMissing())
            word = "missing";
        else if (state == QueueStatus::ToResume())
            word = "paused";
        WriteOut(word + ": " + TerminalSafe(queue_.FullPath(row).toUtf8()) + "\n");
    }
    void RunEnded() override {
        if (parallel > 1 && progress_) {
            progress_->finish(done_);
            progress_.reset();
        }
    }

    QString status;    // the last status text that is not frequent
    int parallel = 1;  // files sent at once

private:
    UploadQueue& queue_;
    QByteArray label_;
    qint64 done_ = 0;
    std::unique_ptr<TransferProgress> progress_;
};

SiteUpload::SiteUpload(SiteConnection& site, int folderId, int parallel)
    : site_(site), files_(LocalFiles::ofRunningProgram()), folderId_(folderId) {
    presenter_ = std::make_unique<TerminalUploadPresenter>(Queue);
    const UploadSite upload{files_, site_.Session(), site_.SiteSettings, folderId_, postListAccepted_,
                            uploadFinished_};
    registration_ = std::make_unique<UploadRegistration>(upload, Queue, *presenter_);
    run_ = std::make_unique<UploadRun>(upload, Queue, *registration_, *presenter_);
    registration_->HttpPostFL.Connector = site_.Connector;
    run_->ftp1.Connector = site_.Connector;
    // Files at once: as asked, else as the options file (quellix.ini) says.
    run_->ParallelUploads = parallel > 0 ? parallel : ReadTransferOptions(files_).parallelUploads;
    presenter_->parallel = run_->ParallelUploads;
}

SiteUpload::~SiteUpload() = default;

QString SiteUpload::lastStatus() const { return presenter_->status; }

namespace {

// Runs a step of the pipeline; the errors it raises, directly or from the
// event handlers inside its waits, become the command's failure.
template <typename Step>
void Guarded(const QByteArray& what, Step&& step) {
    QByteArray failure;
    SetErrorReportSink([&](const QByteArray&, const QByteArray& message) {
        if (failure.isEmpty())
            failure = message;
    });
    try {
        step();
    } catch (const QxError& error) {
        failure = error.message();
    }
    ThrowIfInterrupted();
    if (!failure.isEmpty())
        throw SiteFailure(what + ": " + TerminalSafe(GbkToTerminal(failure)));
}

// Why the site did not confirm a request, for the terminal.
QByteArray SiteActionReason(const SiteActionOutcome& outcome) {
    switch (outcome.kind) {
    case SiteActionOutcome::Kind::Confirmed: return "confirmed";
    case SiteActionOutcome::Kind::OtherReply:
        return "the site answered '" + TerminalSafe(GbkToTerminal(outcome.reply)) + "'";
    case SiteActionOutcome::Kind::Status: return "the site answered with status " + QByteArray::number(outcome.status);
    case SiteActionOutcome::Kind::TimedOut: return "no answer within the time limit";
    case SiteActionOutcome::Kind::Failed: return TerminalSafe(GbkToTerminal(outcome.reply));
    }
    return {};
}

}  // namespace

int SiteUpload::TakeResumeList() {
    Guarded("the resume request failed", [&] { registration_->PostSubAction("resume"); });
    const SiteActionOutcome& outcome = registration_->LastOutcome();
    if (!outcome.confirmed())
        throw SiteFailure("the site did not give its list of unfinished uploads: " + SiteActionReason(outcome));
    return Queue.Count();
}

QString SiteUpload::PostUpdate() {
    presenter_->status.clear();
    Guarded("the update request failed", [&] { registration_->PostSubAction("update"); });
    const SiteActionOutcome& outcome = registration_->LastOutcome();
    if (!outcome.confirmed())
        throw SiteFailure("the site did not confirm the update: " + SiteActionReason(outcome));
    return lastStatus();
}

QByteArray SiteUpload::RegistrationFailure() const {
    return run_->RegistrationFailed() ? SiteActionReason(run_->RegistrationOutcome()) : QByteArray();
}

bool SiteUpload::Run() {
    const auto atRest = [&] {
        for (int row = 0; row < Queue.Count(); ++row)
            if (Queue.Status(row) == QueueStatus::Uploading())
                return false;
        return true;
    };
    try {
        Guarded("the upload failed", [&] {
            run_->btnUploadClick();
            // A retry may be pending: its timer continues the run.
            WaitForSite(atRest, "the upload", 0);
        });
    } catch (const SiteFailure& failure) {
        if (failure.exitCode() == SiteExit::Interrupted) {
            // "暂停": the connection goes, the file being sent waits as
            // "待续传" for a resumed run.
            run_->btnAbortClick();
            WriteErr("interrupted: the partly sent file can be finished with 'site put --resume'\n");
        }
        throw;
    }
    if (!postListAccepted_)
        throw SiteFailure("the site did not accept the list of files");
    bool complete = true;
    bool untaken = false;
    for (int row = 0; row < Queue.Count(); ++row) {
        const QString status = Queue.Status(row);
        complete = complete && status == QueueStatus::Succeeded();
        untaken = untaken || status == QueueStatus::Queued() || status == QueueStatus::ToResume();
    }
    // A run that stopped before it took every file (a refused FTP log-in, a
    // file the server refused): the server's last answer says why.
    if (untaken && !run_->ftp1.LastResponse().isEmpty())
        WriteErr("the upload stopped; the FTP server's last answer: " +
                 TerminalSafe(GbkToTerminal(run_->ftp1.LastResponse().trimmed())) + "\n");
    return complete;
}
