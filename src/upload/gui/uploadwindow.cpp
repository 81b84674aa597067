#include "upload/gui/uploadwindow.h"

#include "platform/gui/msgdlg.h"
#include "upload/gui/queuecommands.h"
#include "upload/gui/uploadqueuemodel.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

void UploadWindow::ShowStatus(const QString& text) {
    spStatus1.setText(text);
    if (OnStatusText)
        OnStatusText(text);
}

UploadWindowPresenter::UploadWindowPresenter(UploadWindow& window, UploadQueueModel& queueModel,
                                             UploadQueueCommands& commands)
    : w_(window), queueModel_(queueModel), commands_(commands) {
    tick_.setSingleShot(true);
    // A coarse timer may fire a little early; the views are promised at
    // most one update per interval.
    tick_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick_, &QTimer::timeout, [this] { Flush(); });
}

void UploadWindowPresenter::schedule() {
    if (!tick_.isActive())
        tick_.start(UpdateIntervalMs);
}

void UploadWindowPresenter::ShowStatus(const QString& text, bool frequent) {
    if (!frequent) {
        pendingStatus_.reset();
        w_.ShowStatus(text);
        return;
    }
    if (w_.OnStatusText)
        w_.OnStatusText(text);
    pendingStatus_ = text;
    schedule();
}

void UploadWindowPresenter::ShowGauge(int percent) {
    pendingGauge_ = percent;
    schedule();
}

void UploadWindowPresenter::SetUploadBusy(bool busy) {
    w_.btnUpload.setText(busy ? QString::fromUtf8("上传中...") : QString::fromUtf8("上传文件"));
    w_.btnUpload.setEnabled(!busy);
}

void UploadWindowPresenter::SetAbortEnabled(bool enabled) { w_.btnAbort.setEnabled(enabled); }

void UploadWindowPresenter::SetCancelEnabled(bool enabled) { w_.btnCancel.setEnabled(enabled); }

bool UploadWindowPresenter::Confirm(const QString& question) {
    Flush();
    return w_.MsgDlg.MessageDlg(question, TMsgDlgType::mtInformation, TMsgDlgButtons::mbOKCancel, w_.DialogParent) ==
           TModalResult::mrOk;
}

void UploadWindowPresenter::Inform(const QString& message) {
    Flush();
    w_.MsgDlg.MessageDlg(message, TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK, w_.DialogParent);
}

void UploadWindowPresenter::AddLocalFiles() { commands_.AddLocalFiles(); }

void UploadWindowPresenter::RowTaken(int row) { queueModel_.SelectTaken(row); }

void UploadWindowPresenter::FileEnded(int) {
    // The file's final state is shown at the next tick at the latest.
    schedule();
}

void UploadWindowPresenter::RunEnded() { Flush(); }

void UploadWindowPresenter::Flush() {
    tick_.stop();
    if (pendingGauge_)
        w_.pb1.setValue(*std::exchange(pendingGauge_, std::nullopt));
    if (pendingStatus_)
        w_.spStatus1.setText(*std::exchange(pendingStatus_, std::nullopt));
    queueModel_.Flush();
}
