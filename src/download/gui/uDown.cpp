#include "download/gui/uDown.h"

#include "config/transferoptions.h"
#include "download/downloadtarget.h"
#include "platform/gui/placement.h"
#include "platform/gui/guarded.h"
#include "platform/gui/msgdlg.h"
#include "platform/gui/shell.h"
#include "text/gbk.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QStylePainter>
#include <QVBoxLayout>

namespace {
QString u(const char* utf8) { return QString::fromUtf8(utf8); }

// The save folder list: a long path is shortened in the middle, so that both
// its start and the folder itself stay readable; the whole path is the tip.
class FolderComboBox : public QComboBox {
public:
    explicit FolderComboBox(QWidget* parent) : QComboBox(parent) {
        connect(this, &QComboBox::currentTextChanged, this, [this](const QString& text) { setToolTip(text); });
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionComboBox option;
        initStyleOption(&option);
        painter.drawComplexControl(QStyle::CC_ComboBox, option);
        const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
        option.currentText = fontMetrics().elidedText(option.currentText, Qt::ElideMiddle, field.width() - 4);
        painter.drawControl(QStyle::CE_ComboBoxLabel, option);
    }
};
}  // namespace

TDownFrm::TDownFrm(const LocalFiles& files, TMsgDlg& msgDlg, const SiteSession& session, DownloadScheduler& queue,
                   QWidget* parent)
    : QDialog(parent), Queue(queue), files_(files), msgDlg_(msgDlg), session_(session) {
    setObjectName(QStringLiteral("TDownFrm"));
    setWindowTitle(u("文件下载管理"));
    buildLayout();

    ChooseFolder = [](QWidget* owner, const QString& title) {
        return QFileDialog::getExistingDirectory(owner, title, QString(), QFileDialog::ShowDirsOnly);
    };
    OpenFolder = [](const QString& folder) { ShellOpenFolder(folder); };

    ConnectGuarded(spSkinSpeedButton1, &QPushButton::clicked, this, [this] { spSkinSpeedButton1Click(); });
    ConnectGuarded(spSkinSpeedButton2, &QPushButton::clicked, this, [this] { spSkinSpeedButton2Click(); });
    ConnectGuarded(spSkinButton1, &QPushButton::clicked, this, [this] { spSkinButton1Click(); });
    ConnectGuarded(spSkinButton2, &QPushButton::clicked, this, [this] { spSkinButton2Click(); });
}

void TDownFrm::buildLayout() {
    resize(397, 240);
    auto label = [this](const char* text) {
        auto* l = new QLabel(u(text), this);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return l;
    };
    dl_addr = new QLineEdit(this);
    dl_addr->setObjectName(QStringLiteral("dl_addr"));
    dl_addr->setReadOnly(true);
    dl_name = new QLineEdit(this);
    dl_name->setObjectName(QStringLiteral("dl_name"));
    dl_dir = new FolderComboBox(this);
    dl_dir->setObjectName(QStringLiteral("dl_dir"));
    dl_dir->setEditable(false);
    dl_dir->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    dl_dir->setMinimumContentsLength(12);
    spSkinSpeedButton1 = new QPushButton(u("更换.."), this);
    spSkinSpeedButton1->setObjectName(QStringLiteral("spSkinSpeedButton1"));

    spSkinSpeedButton2 = new QPushButton(u("打开"), this);
    spSkinSpeedButton2->setObjectName(QStringLiteral("spSkinSpeedButton2"));

    dl_size = new QLabel(u("未知大小"), this);
    dl_size->setObjectName(QStringLiteral("dl_size"));
    dl_ext = new QLabel(u("未知类型"), this);
    dl_ext->setObjectName(QStringLiteral("dl_ext"));
    dl_id = new QLabel(this);
    dl_id->setObjectName(QStringLiteral("dl_id"));
    dl_id->hide();
    dl_conn = new QComboBox(this);
    dl_conn->setObjectName(QStringLiteral("dl_conn"));
    for (int n = 1; n <= TransferOptions::kMaxConnections; ++n)
        dl_conn->addItem(QString::number(n), n);
    dl_conn->setCurrentIndex(1);
    spSkinButton1 = new QPushButton(u("立即下载"), this);
    spSkinButton1->setObjectName(QStringLiteral("spSkinButton1"));
    spSkinButton1->setDefault(true);
    spSkinButton2 = new QPushButton(u(" 取 消 "), this);
    spSkinButton2->setObjectName(QStringLiteral("spSkinButton2"));

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(10);
    // Each field is named by the label in front of it (without the colon);
    // a value shown as text keeps its text as its name and is described.
    const auto labelFor = [&label](const char* text, QWidget* field) {
        QLabel* l = label(text);
        l->setBuddy(field);
        if (qobject_cast<QLabel*>(field))
            field->setAccessibleDescription(l->text().chopped(1));
        else
            field->setAccessibleName(l->text().chopped(1));
        return l;
    };
    grid->addWidget(labelFor("文件地址：", dl_addr), 0, 0);
    grid->addWidget(dl_addr, 0, 1, 1, 4);
    grid->addWidget(labelFor("文件名称：", dl_name), 1, 0);
    grid->addWidget(dl_name, 1, 1, 1, 4);
    grid->addWidget(labelFor("保存目录：", dl_dir), 2, 0);
    auto* folderRow = new QHBoxLayout;
    folderRow->setSpacing(4);
    folderRow->addWidget(dl_dir, 1);
    folderRow->addWidget(spSkinSpeedButton1);
    folderRow->addWidget(spSkinSpeedButton2);
    grid->addLayout(folderRow, 2, 1, 1, 4);
    grid->addWidget(labelFor("文件大小：", dl_size), 3, 0);
    grid->addWidget(dl_size, 3, 1);
    grid->addWidget(labelFor("文件类型：", dl_ext), 3, 2);
    grid->addWidget(dl_ext, 3, 3, 1, 2);
    grid->addWidget(labelFor("下载连接数：", dl_conn), 4, 0);
    grid->addWidget(dl_conn, 4, 1, Qt::AlignLeft);
    grid->addWidget(dl_id, 5, 1);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(spSkinButton1);
    buttons->addWidget(spSkinButton2);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(14, 16, 14, 12);
    column->addLayout(grid);
    column->addStretch(1);
    column->addLayout(buttons);
}

void TDownFrm::SetFile(const QString& address, const QString& name, const QString& sizeText,
                       const QString& typeText, const QString& id) {
    selection_ = false;
    offeredFiles_.clear();
    offeredFolders_.clear();
    dl_name->setReadOnly(false);
    dl_addr->setText(address);
    dl_addr->setCursorPosition(0);
    dl_name->setText(name);
    dl_size->setText(sizeText);
    dl_ext->setText(typeText);
    dl_id->setText(id);
}

void TDownFrm::SetSelection(const QString& address, const QList<OfferedFile>& files,
                            const QList<RemoteFolder>& folders) {
    selection_ = true;
    offeredFiles_ = files;
    offeredFolders_ = folders;
    dl_addr->setText(address);
    dl_addr->setCursorPosition(0);
    // The count stands in place of a name, which cannot be edited then.
    dl_name->setText(QString::number(files.size()) + u(" 个文件，") + QString::number(folders.size()) + u(" 个目录"));
    dl_name->setReadOnly(true);
    dl_size->setText(QStringLiteral("-"));
    dl_ext->setText(folders.isEmpty() ? u("多个文件") : u("文件和目录"));
    dl_id->clear();
}

void TDownFrm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    CentreOnScreen(*this);
    RunGuarded([this] { FormShow(); });
}

void TDownFrm::FormShow() {
    dl_id->hide();
    const QString folder = files_.downloadsFolder();
    if (!QDir(folder).exists() && !QDir().mkpath(folder)) {
        msgDlg_.MessageDlg(u("目录 ") + folder + u(" 创建失败。"), TMsgDlgType::mtError, TMsgDlgButtons::mbOK, this);
        return;
    }
    if (dl_dir->count() == 0) {
        dl_dir->addItem(folder);
        dl_dir->setCurrentIndex(0);
    }
    dl_conn->setCurrentIndex(Queue.Connections() - 1);
}

void TDownFrm::spSkinSpeedButton1Click() {
    QString chosen = ChooseFolder(this, u("请选定文件保存目录"));
    if (chosen.isEmpty())
        return;
    if (!chosen.endsWith(QLatin1Char('/')))
        chosen += QLatin1Char('/');
    // A folder already listed is listed again: the list records the choices.
    dl_dir->addItem(chosen);
    dl_dir->setCurrentIndex(dl_dir->count() - 1);
}

void TDownFrm::spSkinSpeedButton2Click() {
    if (!dl_dir->currentText().isEmpty())
        OpenFolder(dl_dir->currentText());
}

void TDownFrm::spSkinButton1Click() {
    if (StartDownload())
        close();
}

void TDownFrm::spSkinButton2Click() { close(); }

bool TDownFrm::StartDownload() {
    if (dl_addr->text().isEmpty())
        return true;
    const QString folder = dl_dir->currentText();
    if (folder.isEmpty()) {
        // Without a folder the file would land wherever the program runs.
        msgDlg_.MessageDlg(u("请选定文件保存目录"), TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK, this);
        return false;
    }
    const QFileInfo info(folder);
    if (!info.isDir() || !info.isWritable()) {
        // Nothing could be written there: the window stays open for another folder.
        msgDlg_.MessageDlg(u("目录 ") + folder + (info.isDir() ? u(" 无法写入。") : u(" 不存在。")),
                           TMsgDlgType::mtError, TMsgDlgButtons::mbOK, this);
        return false;
    }
    const int connections = dl_conn->currentData().toInt();
    if (connections != Queue.Connections()) {
        // The ranges per file are the user's choice from now on.
        Queue.SetOptions(Queue.Parallel(), connections);
        if (SaveConnections) {
            SaveConnections(connections);
        } else {
            TransferOptions options = ReadTransferOptions(files_);
            options.downloadConnections = connections;
            WriteTransferOptions(files_, options);
        }
    }
    if (!selection_) {
        Queue.Add({DownloadItem{ToGbk(dl_id->text()), dl_name->text(), folder, -1, dl_size->text()}});
        return true;
    }
    QList<DownloadItem> items;
    for (const OfferedFile& file : std::as_const(offeredFiles_))
        items << DownloadItem{ToGbk(file.Id), file.Name, folder, -1, file.SizeText};
    Queue.Add(items);
    Queue.AddFolders(offeredFolders_, folder);
    return true;
}
