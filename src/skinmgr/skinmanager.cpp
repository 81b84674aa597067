#include "skinmgr/skinmanager.h"

#include "config/settingsfile.h"
#include "platform/gui/skindata.h"
#include "text/errors.h"
#include "text/gbk.h"

#include <QFileInfo>

namespace {
QString path(const QByteArray& name) { return FromGbk(name); }

QString failureText(const char* what, const QByteArray& name, SkinTransfer::Outcome outcome) {
    return QString::fromUtf8(what) + QString::fromUtf8("【") + FromGbk(name) +
           QString::fromUtf8(outcome == SkinTransfer::Outcome::Failed ? "】下载失败" : "】不存在");
}
}  // namespace

SkinManager::SkinManager(const LocalFiles& files, TSkinData& skinData, const SiteSession& session,
                         const TSiteSettings& settings, const QByteArray& vendorHomeUrl, QObject* parent)
    : QObject(parent),
      HttpDownFile(PackageTransfer.Http),
      HttpImg(PreviewTransfer.Http),
      files_(files),
      skinData_(skinData),
      session_(session),
      settings_(settings),
      vendorHomeUrl_(vendorHomeUrl) {
    PackageTransfer.OnFinished = [this](const QByteArray& name, SkinTransfer::Outcome outcome) {
        packageFinished(name, outcome);
    };
    PreviewTransfer.OnFinished = [this](const QByteArray& name, SkinTransfer::Outcome outcome) {
        previewFinished(name, outcome);
    };
}

QList<TSkinRes> SkinManager::Skins() const { return SkinList(settings_.Branding); }

bool SkinManager::HasPackage(const QByteArray& name) const {
    return IsSafeSkinName(name) && QFileInfo(files_.skinPackage(path(name))).isFile();
}

void SkinManager::ShowLoading() {
    if (ShowPicture)
        ShowPicture(files_.loadingPicture());
}

void SkinManager::ShowPreview(const QByteArray& name) {
    const QFileInfo preview(files_.skinPreview(path(name)));
    if (IsSafeSkinName(name) && preview.isFile() && preview.size() > 0) {
        if (ShowPicture)
            ShowPicture(preview.filePath());
    } else {
        ShowLoading();
    }
}

void SkinManager::PreviewSelected() {
    const QByteArray name = SelectedSkin;
    if (!IsSafeSkinName(name))
        return;
    if (QFileInfo::exists(files_.skinPreview(path(name)))) {
        ShowPreview(name);
        return;
    }
    // A transfer still writing this preview keeps its file: Start then does
    // nothing and that transfer shows the picture when it ends.
    PreviewTransfer.Start(SkinPreviewUrl(vendorHomeUrl_, name), files_.skinPreviewTemp(path(name)),
                          files_.skinPreview(path(name)), name);
}

void SkinManager::FetchOrApply(const QByteArray& name) {
    if (!IsSafeSkinName(name))
        return;
    lastApplied_ = name;
    if (HasPackage(name)) {
        ApplySkin(name);
        return;
    }
    // A transfer of this package still running applies it when it ends.
    PackageTransfer.Start(SkinPackageUrl(vendorHomeUrl_, name), files_.skinPackageTemp(path(name)),
                          files_.skinPackage(path(name)), name);
}

void SkinManager::ApplySkin(const QByteArray& name) { skinData_.LoadFromFile(files_.skinPackage(path(name))); }

void SkinManager::Apply() {
    const QByteArray name = SelectedSkin;
    if (!IsSafeSkinName(name))
        return;
    FetchOrApply(name);
    // Written at once, before a download has brought the package: the next
    // start falls back to the built-in skin if it never arrives.
    WriteSettingsFile(files_, name, session_.AccountName);
}

bool SkinManager::DeleteSelected() {
    if (!HasPackage(SelectedSkin))
        return false;
    QFile package(files_.skinPackage(path(SelectedSkin)));
    if (!package.remove())
        throw EInOutError("Cannot delete file " + ToGbk(package.fileName()) + ": " + ToGbk(package.errorString()));
    return true;
}

void SkinManager::packageFinished(const QByteArray& name, SkinTransfer::Outcome outcome) {
    if (outcome == SkinTransfer::Outcome::Complete) {
        // Another skin applied since this one was asked for stays: the
        // package waits in "skins/" for its skin to be applied again.
        if (name == lastApplied_)
            ApplySkin(name);
    } else {
        showStatus(failureText("皮肤文件", name, outcome));
    }
}

void SkinManager::previewFinished(const QByteArray& name, SkinTransfer::Outcome outcome) {
    if (outcome != SkinTransfer::Outcome::Complete) {
        showStatus(failureText("预览图文件", name, outcome));
        return;
    }
    // A preview that arrives after another skin was selected waits in
    // "skins/" until its skin is selected again.
    if (name == SelectedSkin)
        ShowPreview(name);
}

void SkinManager::showStatus(const QString& text) {
    if (SetStatusText)
        SetStatusText(text);
}
