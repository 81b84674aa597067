#pragma once
// The commands of the upload queue page: adding files through the open
// dialog, a folder through the folder dialog, files dropped from the file
// manager, "删除选中", "清空列表", and keeping every row's check box equal to
// its selection. Files whose names cannot reach the site are named in one
// information message; the others are added.

#include "upload/gui/uploadqueuemodel.h"
#include "upload/gui/uploadwindow.h"
#include "upload/uploadqueue.h"

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

class UploadQueueCommands {
public:
    UploadQueueCommands(UploadWindow& window, UploadQueue& queue, UploadQueueModel& queueModel);

    // The open dialog spOpenDlg ("请选择本地文件进行上传", all files, several
    // existing files): the chosen paths, empty when cancelled. Replaceable
    // (tests answer it).
    std::function<QStringList(QWidget* parent)> spOpenDlg;
    // The folder dialog ("请选定文件目录"): the chosen folder, empty when
    // cancelled. Replaceable.
    std::function<QString(QWidget* parent)> BrowseFolderDlg;

    // "添加文件" (BtnSelFile2, N4, N20).
    void AddLocalFiles();
    // "添加目录" (BtnSelFolder, N2, N21).
    void AddLocalFolder();
    // Files dropped onto lv2, in drop order; folders and missing paths are
    // skipped without a message.
    void lv2FilesDropped(const QStringList& paths);
    // "删除选中".
    void N5Click();
    // "清空列表": also forgets that the queue was uploaded.
    void N6Click();
    // Any selection change of lv2.
    void lv2SelectItem();

private:
    void reportRefused(const QStringList& names);

    UploadWindow& w_;
    UploadQueue& queue_;
    UploadQueueModel& queueModel_;
};
