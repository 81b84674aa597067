#include "skinmgr/uSkin.h"

#include "platform/gui/placement.h"
#include "platform/gui/guarded.h"
#include "platform/gui/jpegpicture.h"
#include "platform/gui/msgdlg.h"
#include "text/gbk.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QVBoxLayout>

namespace {
QString u(const char* utf8) { return QString::fromUtf8(utf8); }
constexpr int kItemHeight = 20;
}  // namespace

TSkinFrm::TSkinFrm(const LocalFiles& files, TMsgDlg& msgDlg, TSkinData& skinData, const SiteSession& session,
                   const TSiteSettings& settings, const QByteArray& vendorHomeUrl, QWidget* parent)
    : QDialog(parent),
      Manager(files, skinData, session, settings, vendorHomeUrl),
      HttpDownFile(Manager.HttpDownFile),
      HttpImg(Manager.HttpImg),
      SelectedSkin(Manager.SelectedSkin),
      msgDlg_(msgDlg),
      session_(session) {
    setObjectName(QStringLiteral("TSkinFrm"));
    setWindowTitle(u("网盘皮肤切换"));
    // Only the close button in the title bar.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    buildLayout();

    Manager.ShowPicture = [this](const QString& path) { PVImg->LoadFromFile(path); };
    Manager.SetStatusText = [this](const QString& text) { SFStatus->setText(text); };

    // The window follows the highlighted entry whatever moved it (a click,
    // the arrow keys, a typed letter). A click that moves nothing (on the
    // entry already highlighted) runs the step again, which fetches a
    // preview that failed before.
    ConnectGuarded(SLBox, &QListWidget::itemSelectionChanged, this, [this] {
        selectionMovedSincePress_ = true;
        SLBoxListBoxClick();
    });
    SLBox->viewport()->installEventFilter(this);
    ConnectGuarded(SLBox, &QListWidget::itemClicked, this, [this] {
        if (!selectionMovedSincePress_)
            SLBoxListBoxClick();
    });
    ConnectGuarded(SLBox, &QListWidget::itemDoubleClicked, this, [this] { SLBoxListBoxDblClick(); });
    ConnectGuarded(SKBtnApply, &QPushButton::clicked, this, [this] { SKBtnApplyClick(); });
    ConnectGuarded(SKBtnDel, &QPushButton::clicked, this, [this] { SKBtnDelClick(); });
}

void TSkinFrm::buildLayout() {
    setFixedSize(531, 342);

    spSkinGroupBox1 = new QGroupBox(u("可用皮肤"), this);
    spSkinGroupBox1->setObjectName(QStringLiteral("spSkinGroupBox1"));
    spSkinGroupBox1->setFixedWidth(150);
    SLBox = new QListWidget(spSkinGroupBox1);
    SLBox->setObjectName(QStringLiteral("SLBox"));
    SLBox->setSelectionMode(QAbstractItemView::SingleSelection);
    SLBox->setSortingEnabled(false);
    SLBox->setUniformItemSizes(true);
    auto* listColumn = new QVBoxLayout(spSkinGroupBox1);
    listColumn->setContentsMargins(4, 4, 4, 4);
    listColumn->addWidget(SLBox);

    spSkinGroupBox2 = new QGroupBox(u("皮肤预览"), this);
    spSkinGroupBox2->setObjectName(QStringLiteral("spSkinGroupBox2"));
    PVImg = new TJpegPicture(spSkinGroupBox2);
    PVImg->setObjectName(QStringLiteral("PVImg"));
    SKBtnApply = new QPushButton(u("使用皮肤"), spSkinGroupBox2);
    SKBtnApply->setObjectName(QStringLiteral("SKBtnApply"));
    SKBtnApply->setFixedSize(75, 25);
    SKBtnDel = new QPushButton(u("删除皮肤"), spSkinGroupBox2);
    SKBtnDel->setObjectName(QStringLiteral("SKBtnDel"));
    SKBtnDel->setFixedSize(75, 25);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(13);
    buttons->addStretch(1);
    buttons->addWidget(SKBtnApply);
    buttons->addWidget(SKBtnDel);
    auto* previewColumn = new QVBoxLayout(spSkinGroupBox2);
    previewColumn->setContentsMargins(4, 4, 14, 6);
    previewColumn->addWidget(PVImg, 1);
    previewColumn->addLayout(buttons);

    spSkinStatusBar1 = new QStatusBar(this);
    spSkinStatusBar1->setObjectName(QStringLiteral("spSkinStatusBar1"));
    spSkinStatusBar1->setSizeGripEnabled(false);
    spSkinStatusBar1->setMinimumHeight(21);
    SFStatus = new QLabel(spSkinStatusBar1);
    SFStatus->setObjectName(QStringLiteral("SFStatus"));
    spSkinStatusBar1->addWidget(SFStatus, 1);

    auto* boxes = new QHBoxLayout;
    boxes->setContentsMargins(0, 0, 0, 0);
    boxes->setSpacing(0);
    boxes->addWidget(spSkinGroupBox1);
    boxes->addWidget(spSkinGroupBox2, 1);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addLayout(boxes, 1);
    column->addWidget(spSkinStatusBar1);
}

bool TSkinFrm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == SLBox->viewport() && event->type() == QEvent::MouseButtonPress)
        selectionMovedSincePress_ = false;
    return QDialog::eventFilter(watched, event);
}

void TSkinFrm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    CentreOnScreen(*this);
    RunGuarded([this] { FormShow(); });
}

void TSkinFrm::FormShow() {
    const QList<TSkinRes> skins = Manager.Skins();
    // Filling the list is not a choice of the user's.
    const QSignalBlocker quiet(SLBox);
    SLBox->clear();
    for (const TSkinRes& skin : skins) {
        auto* item = new QListWidgetItem(FromGbk(skin.Caption), SLBox);
        item->setSizeHint(QSize(0, kItemHeight));
    }
    // The skin the login window named is selected, even after another one
    // was applied meanwhile.
    const QString loginCaption = FromGbk(session_.SkinName + "皮肤"_gbk);
    for (int row = 0; row < SLBox->count(); ++row) {
        if (SLBox->item(row)->text() != loginCaption)
            continue;
        Manager.ShowLoading();
        SelectedSkin = session_.SkinName;
        Manager.PreviewSelected();
        SLBox->setCurrentRow(row);
    }
    SKBtnDel->setEnabled(false);
}

void TSkinFrm::SLBoxListBoxClick() {
    Manager.ShowLoading();
    const QList<TSkinRes> skins = Manager.Skins();
    const QListWidgetItem* item = SLBox->currentItem();
    if (!item)
        return;
    for (const TSkinRes& skin : skins) {
        if (FromGbk(skin.Caption) != item->text())
            continue;
        SelectedSkin = skin.Name;
        Manager.PreviewSelected();
        SKBtnDel->setEnabled(Manager.HasPackage(skin.Name));
        return;
    }
}

void TSkinFrm::SLBoxListBoxDblClick() { SKBtnApplyClick(); }

void TSkinFrm::SKBtnApplyClick() { Manager.Apply(); }

void TSkinFrm::SKBtnDelClick() {
    if (SelectedSkin.isEmpty())
        return;
    if (msgDlg_.MessageDlg(u("确认删除此皮肤？"), TMsgDlgType::mtInformation, TMsgDlgButtons::mbOKCancel, this) !=
        TModalResult::mrOk)
        return;
    Manager.DeleteSelected();
}
