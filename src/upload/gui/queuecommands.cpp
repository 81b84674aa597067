#include "upload/gui/queuecommands.h"

#include "platform/gui/msgdlg.h"

#include <QFileDialog>
#include <QTabWidget>

namespace {

QStringList ShowOpenDialog(QWidget* parent) {
    QFileDialog dialog(parent, QString::fromUtf8("请选择本地文件进行上传"));
    dialog.setNameFilter(QString::fromUtf8("全部文件 (*)"));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

QString ShowFolderDialog(QWidget* parent) {
    return QFileDialog::getExistingDirectory(parent, QString::fromUtf8("请选定文件目录"), QString(),
                                             QFileDialog::ShowDirsOnly);
}

}  // namespace

UploadQueueCommands::UploadQueueCommands(UploadWindow& window, UploadQueue& queue, UploadQueueModel& queueModel)
    : spOpenDlg(ShowOpenDialog),
      BrowseFolderDlg(ShowFolderDialog),
      w_(window),
      queue_(queue),
      queueModel_(queueModel) {}

void UploadQueueCommands::reportRefused(const QStringList& names) {
    if (!names.isEmpty())
        w_.MsgDlg.MessageDlg(UnsupportedNameMessage(names), TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK,
                             w_.DialogParent);
}

void UploadQueueCommands::AddLocalFiles() {
    const QStringList paths = spOpenDlg(w_.DialogParent);
    if (paths.isEmpty())
        return;
    const QStringList refused = queue_.AddLocalFiles(paths);
    w_.PageControl1.setCurrentWidget(&w_.PCTask);
    reportRefused(refused);
}

void UploadQueueCommands::AddLocalFolder() {
    const QString folder = BrowseFolderDlg(w_.DialogParent);
    if (folder.isEmpty())
        return;
    const QStringList refused = queue_.AddLocalFolder(folder);
    w_.PageControl1.setCurrentWidget(&w_.PCTask);
    reportRefused(refused);
}

void UploadQueueCommands::lv2FilesDropped(const QStringList& paths) { reportRefused(queue_.AddDroppedPaths(paths)); }

void UploadQueueCommands::N5Click() {
    if (queue_.Count() > 0)
        queue_.DeleteChecked();
}

void UploadQueueCommands::N6Click() {
    queue_.Clear();
    w_.UploadFinished = false;
}

void UploadQueueCommands::lv2SelectItem() {
    if (queue_.Count() > 0) {
        queueModel_.SyncChecksToSelection();
        queueModel_.Flush();  // the user sees the check boxes follow at once
    }
}
