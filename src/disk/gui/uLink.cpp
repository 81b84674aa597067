#include "disk/gui/uLink.h"

#include "platform/gui/guarded.h"
#include "platform/gui/msgdlg.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

TLinkFrm::TLinkFrm(TMsgDlg& msgDlg, QWidget* parent) : QDialog(parent), msgDlg_(msgDlg) {
    setObjectName(QStringLiteral("TLinkFrm"));
    setWindowTitle(QString::fromUtf8("获取文件链接"));
    resize(498, 275);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    spSkinButton2 = new QPushButton(QString::fromUtf8("复制链接"), this);
    spSkinButton2->setFixedWidth(75);
    spSkinButton1 = new QPushButton(QString::fromUtf8("关闭"), this);
    spSkinButton1->setFixedWidth(50);

    auto* bar = new QWidget(this);
    bar->setFixedHeight(30);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(4, 2, 4, 2);
    row->addStretch(1);
    row->addWidget(spSkinButton2);
    row->addWidget(spSkinButton1);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(Memo1, 1);
    column->addWidget(bar);

    ConnectGuarded(spSkinButton2, &QPushButton::clicked, this, [this] { spSkinButton2Click(); });
    ConnectGuarded(spSkinButton1, &QPushButton::clicked, this, [this] { spSkinButton1Click(); });
}

void TLinkFrm::SetLinkText(const QString& text) {
    text_ = text;
    Memo1->setPlainText(text);
}

void TLinkFrm::spSkinButton2Click() {
    // The memo shows the text as lines; the clipboard gets it exactly as
    // built, line ends included.
    QApplication::clipboard()->setText(text_);
    Memo1->selectAll();
    Memo1->setFocus();
    msgDlg_.MessageDlg(QString::fromUtf8("链接内容复制成功，请按Ctrl+V 进行粘贴。"), TMsgDlgType::mtInformation,
                       TMsgDlgButtons::mbOK, this);
}

void TLinkFrm::spSkinButton1Click() { close(); }
