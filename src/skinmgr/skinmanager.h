#pragma once
// What the skin window does, without its widgets: the list of skins the
// site offers, the preview of the selected skin (from "skins/", else fetched
// from the skin server, with the placeholder picture meanwhile), fetching
// and applying a skin to every window, remembering it in the settings file,
// and deleting a downloaded skin. A finished transfer is moved to and
// applied or shown under the name it was started for, whatever is selected
// by then; a package is applied only while its skin is still the one the
// user applied last, so that it never overrides a later choice.

#include "config/localfiles.h"
#include "login/serversettings.h"
#include "login/sitesession.h"
#include "skinmgr/skincatalogue.h"
#include "skinmgr/skintransfer.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class TSkinData;

class SkinManager : public QObject {
    Q_OBJECT
public:
    // The session (account, login skin), the site settings (branding
    // record) and the vendor's address are read when needed, so they are
    // always the current ones.
    SkinManager(const LocalFiles& files, TSkinData& skinData, const SiteSession& session,
                const TSiteSettings& settings, const QByteArray& vendorHomeUrl, QObject* parent = nullptr);

    // The skin the window works on: selected, previewed, applied, deleted.
    QByteArray SelectedSkin;

    SkinTransfer PackageTransfer;  // fetches skin packages
    SkinTransfer PreviewTransfer;  // fetches preview pictures
    TMultipartHttpDownloader& HttpDownFile;
    TMultipartHttpDownloader& HttpImg;

    // Where pictures and texts go: load a JPEG file into the preview
    // picture (raises for an unreadable one) and set the status text.
    std::function<void(const QString& path)> ShowPicture;
    std::function<void(const QString& text)> SetStatusText;

    // The skins of the current branding record.
    QList<TSkinRes> Skins() const;

    // The placeholder picture "res/loading.jpg".
    void ShowLoading();
    // The preview of SelectedSkin: shown from "skins/" when there, else
    // fetched (unless its transfer is already running).
    void PreviewSelected();
    // Shows the preview file of `name` when it has content, else the
    // placeholder.
    void ShowPreview(const QByteArray& name);
    // Applies `name` at once when its package is in "skins/", else fetches
    // it and applies it when it arrives, unless another skin was applied
    // meanwhile (the package is then only stored).
    void FetchOrApply(const QByteArray& name);
    // Loads the package of `name` into the shared skin data: every window
    // redraws with it. Raises for a damaged package; the skin in use stays.
    void ApplySkin(const QByteArray& name);
    // "使用皮肤": fetch or apply SelectedSkin and, without waiting for a
    // download, write the settings file. Nothing happens without a
    // selection.
    void Apply();
    // Deletes the package of SelectedSkin when there is one; true when a
    // file was deleted. The skin in use stays in use.
    bool DeleteSelected();

    bool HasPackage(const QByteArray& name) const;

private:
    void packageFinished(const QByteArray& name, SkinTransfer::Outcome outcome);
    void previewFinished(const QByteArray& name, SkinTransfer::Outcome outcome);
    void showStatus(const QString& text);

    const LocalFiles& files_;
    TSkinData& skinData_;
    const SiteSession& session_;
    const TSiteSettings& settings_;
    const QByteArray& vendorHomeUrl_;
    QByteArray lastApplied_;  // the skin the user applied last
};
