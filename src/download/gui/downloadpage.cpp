#include "download/gui/downloadpage.h"

#include "platform/gui/listview.h"
#include "platform/gui/msgdlg.h"
#include "platform/gui/shell.h"
#include "text/gbk.h"
#include "text/sizetext.h"

#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QTabWidget>

namespace {
QString u(const char* utf8) { return QString::fromUtf8(utf8); }
QString fileText(const QString& name, const QString& what) { return u("文件【") + name + u("】") + what; }
}  // namespace

DownloadQueuePage::DownloadQueuePage(const DownloadQueueWidgets& widgets, QString okSound, QString errorSound)
    : w_(widgets), okSound_(std::move(okSound)), errorSound_(std::move(errorSound)) {
    PlaySound = [](const QString& file) { PlaySoundAsync(file); };
    OpenFolder = [](const QString& folder) { ShellOpenFolder(folder); };
}

void DownloadQueuePage::Attach(DownloadScheduler& scheduler, DownloadQueueModel& model) {
    scheduler_ = &scheduler;
    model_ = &model;
}

QList<int> DownloadQueuePage::selectedRows() const { return w_.lv3.SelectedRows(); }

void DownloadQueuePage::showStatus(const QString& text, bool aboutOneFile) {
    if (aboutOneFile)
        sinceFileText_.start();
    w_.spStatus1.setText(text);
    if (OnStatusText)
        OnStatusText(text);
}

void DownloadQueuePage::PauseClick() { scheduler_->Pause(selectedRows()); }

void DownloadQueuePage::ContinueClick() { scheduler_->Continue(selectedRows()); }

void DownloadQueuePage::RemoveClick() {
    const QList<int> rows = selectedRows();
    if (rows.isEmpty())
        return;
    bool partial = false;
    for (int row : rows) {
        const DownloadRow& r = scheduler_->Queue.Row(row);
        partial = partial || (r.State != RowState::Complete && r.LocalPath.endsWith(QStringLiteral(".part")));
    }
    const bool deleteFiles =
        partial && w_.MsgDlg.MessageDlg(u("是否同时删除未下载完成的文件？"), TMsgDlgType::mtConfirmation,
                                        TMsgDlgButtons::mbOKCancel, w_.DialogParent) == TModalResult::mrOk;
    scheduler_->Remove(rows, deleteFiles);
}

void DownloadQueuePage::OpenFolderClick() {
    const QList<int> rows = selectedRows();
    if (rows.isEmpty())
        return;
    const DownloadRow& r = scheduler_->Queue.Row(rows.first());
    OpenFolder(r.LocalPath.isEmpty() ? r.Item.Folder : QFileInfo(r.LocalPath).path() + QLatin1Char('/'));
}

void DownloadQueuePage::ClearFinishedClick() { scheduler_->ClearFinished(); }

void DownloadQueuePage::FileStarted(int row) {
    if (row < 0)
        return;
    showStatus(fileText(scheduler_->Queue.Row(row).Item.Name, u("下载中...")), true);
}

void DownloadQueuePage::FileEnded(int row) {
    const DownloadRow& r = scheduler_->Queue.Row(row);
    switch (r.State) {
    case RowState::Complete:
        PlaySound(okSound_);
        showStatus(fileText(r.Item.Name, u("下载完成")), true);
        break;
    case RowState::Missing:
        PlaySound(errorSound_);
        showStatus(fileText(r.Item.Name, u("不存在")), true);
        break;
    default:
        PlaySound(errorSound_);
        showStatus(fileText(r.Item.Name, u("下载失败")) + (r.Reason.isEmpty() ? QString() : u("：") + r.Reason), true);
        break;
    }
    if (OnFileEnded)
        OnFileEnded(r.Item.Name, r.State == RowState::Complete);
}

void DownloadQueuePage::FileStartedOver(int row, const QString& why) {
    showStatus(fileText(scheduler_->Queue.Row(row).Item.Name, why), true);
}

void DownloadQueuePage::FolderFailed(const QString& folder, const QString& why) {
    showStatus(u("目录【") + folder + u("】") + why, true);
}

void DownloadQueuePage::QueueProgress() {
    const qint64 total = scheduler_->BurstTotal();
    const qint64 done = scheduler_->BurstDone();
    w_.pb1.setValue(total > 0 ? int(std::clamp<qint64>(done * 100 / total, 0, 100)) : 0);
    if (scheduler_->AtRest()) {
        // The work is done: the gauge shows where it ended, then goes back to 0.
        w_.pb1.setValue(0);
        if (model_)
            model_->Flush();
        return;
    }
    // A file's own text stays a few seconds before the queue's replaces it.
    if (sinceFileText_.isValid() && sinceFileText_.elapsed() < 3000)
        return;
    showStatus(u("下载队列：") + QString::number(scheduler_->RunningCount()) + u(" 个下载中，") +
                   QString::number(scheduler_->WaitingCount()) + u(" 个等待，") + FromGbk(SizeText(done)) +
                   QStringLiteral(" / ") + FromGbk(SizeText(total)),
               false);
}
