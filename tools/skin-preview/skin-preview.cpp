// Renders pictures of the skins with the program's real windows, offscreen:
//
//   quellix-skin-preview preview PACKAGE OUT.jpg
//       the main window with sample rows in the skin, as the 381 x 255 JPEG
//       preview that the skin manager shows (the build makes one per skin);
//   quellix-skin-preview loading OUT.jpg
//       the placeholder shown while a preview is fetched ("res/loading.jpg");
//   quellix-skin-preview screenshot PACKAGE OUT.png
//       main window with its context menu, login window and a message, side
//       by side, for the documentation;
//   quellix-skin-preview gallery PACKAGE OUT.png
//       the remaining widget kinds (group boxes, list box, combo box, tabs on
//       top, memos, status bar, check boxes, the icon view, the queue tab),
//       for checking a skin by eye.
//
// PACKAGE is a skin package file, or "builtin" for the compiled-in skin.

#include "app/mainlayout.h"
#include "jpegwriter.h"
#include "login/gui/uLogin.h"
#include "platform/gui/icons.h"
#include "platform/gui/jpegpicture.h"
#include "platform/gui/msgdlg.h"
#include "platform/gui/skindata.h"
#include "text/errors.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTreeView>
#include <QVBoxLayout>
#include <cstdio>

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

// Lets queued layout and polish events run so a grab shows the final look.
void settle() {
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

void loadSkin(TSkinData& skin, const QString& package) {
    if (package == QLatin1String("builtin"))
        skin.LoadBuiltIn();
    else
        skin.LoadFromFile(package);
}

struct SampleMainWindow {
    QMainWindow window;
    TMainLayout layout;

    SampleMainWindow() {
        layout.build(&window);
        window.setWindowTitle(u("示例网盘"));
        const SystemImageList* small = GetSystemImageListHandle(1);
        const SystemImageList* large = GetSystemImageListHandle(0);
        layout.lv1->SetImageLists(small, large);
        layout.lv2->SetImageLists(small, large);
        struct Sample {
            const char* name;
            bool folder;
            const char* size;
            const char* kind;
            const char* date;
            const char* views;
            const char* downloads;
            const char* id;
        };
        const Sample rows[] = {
            {"我的文档", true, "-", "文件夹", "2013-01-08", "-", "-", "12"},
            {"旅行照片", true, "-", "文件夹", "2013-01-15", "-", "-", "15"},
            {"年度总结报告.pdf", false, "2.35 MB", "PDF 文件", "2013-01-20", "128", "46", "1024"},
            {"项目进度表.xlsx", false, "86.4 KB", "XLSX 文件", "2013-01-21", "57", "12", "1031"},
            {"会议录音.mp3", false, "12.8 MB", "MP3 文件", "2013-01-21", "33", "9", "1032"},
            {"安装程序.zip", false, "48.2 MB", "ZIP 文件", "2013-01-22", "210", "188", "1040"},
            {"说明.txt", false, "3.1 KB", "TXT 文件", "2013-01-22", "18", "4", "1041"},
        };
        for (const Sample& row : rows) {
            const QString name = u(row.name);
            layout.lv1->AddRow(name, GetSystemIconIndexA(name, row.folder ? 1 : 0),
                               {u(row.size), u(row.kind), u(row.date), u(row.views), u(row.downloads), u(row.id)});
        }
        layout.lv1->SetSelected(2, true);
        // The selected row is the current one, as after a click.
        QTreeView* report = layout.lv1->reportView();
        report->selectionModel()->setCurrentIndex(report->model()->index(2, 0), QItemSelectionModel::NoUpdate);
        report->setFocus();
        const char* queue[][3] = {{"相册备份.rar", "156 MB", "/home/user/相册备份.rar"},
                                  {"合同扫描件.jpg", "1.02 MB", "/home/user/合同扫描件.jpg"}};
        for (const auto& row : queue) {
            const QString name = u(row[0]);
            layout.lv2->AddRow(name, GetSystemIconIndexA(name, 0), {u(row[1]), u(row[2]), u("待上传")});
        }
        layout.lv2->SetChecked(0, true);
        layout.spLoginLink->setText(u("当前用户：demo"));
        layout.pb1->setValue(62);
        layout.spStatus1->setText(u("文件【安装程序.zip】下载中..."));
        layout.loading->show();
    }
};

QImage grabShown(QWidget& widget) {
    widget.show();
    // Active, so that selections show in their active colours.
    QApplication::setActiveWindow(&widget);
    settle();

    return widget.grab().toImage();
}

int renderPreview(const QString& package, const QString& out) {
    TSkinData skin;
    loadSkin(skin, package);
    SampleMainWindow sample;
    // Twice the preview's size, so that scaling halves it evenly.
    sample.window.resize(762, 510);
    const QImage shot = grabShown(sample.window);
    const QImage preview = shot.scaled(381, 255, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return SaveJpegFile(preview, out, 90) ? 0 : 1;
}

int renderLoading(const QString& out) {
    QImage image(381, 255, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient background(0, 0, 0, 255);
    background.setColorAt(0, QColor(0xf7, 0xf9, 0xfc));
    background.setColorAt(1, QColor(0xe6, 0xec, 0xf3));
    p.fillRect(image.rect(), background);

    // A picture frame: sky, hills and a sun, drawn in quiet greys.
    const QRectF frame(150.5, 62.5, 80, 60);
    p.setPen(QPen(QColor(0xb4, 0xc0, 0xce), 2));
    p.setBrush(QColor(0xfb, 0xfc, 0xfe));
    p.drawRoundedRect(frame, 6, 6);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xc9, 0xd3, 0xdf));
    QPainterPath hills;
    hills.moveTo(frame.left() + 8, frame.bottom() - 8);
    hills.lineTo(frame.left() + 30, frame.top() + 26);
    hills.lineTo(frame.left() + 44, frame.top() + 40);
    hills.lineTo(frame.left() + 54, frame.top() + 32);
    hills.lineTo(frame.right() - 8, frame.bottom() - 8);
    hills.closeSubpath();
    p.drawPath(hills);
    p.setBrush(QColor(0xd8, 0xb8, 0x6a));
    p.drawEllipse(QPointF(frame.right() - 20, frame.top() + 18), 7, 7);

    // Three dots of a waiting indicator, fading.
    for (int i = 0; i < 3; ++i) {
        p.setBrush(QColor(0x4a, 0x7c, 0xc4, 230 - i * 70));
        p.drawEllipse(QPointF(176 + i * 14, 146), 4, 4);
    }

    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(15);
    p.setFont(font);
    p.setPen(QColor(0x4b, 0x5a, 0x6e));
    p.drawText(QRectF(0, 164, 381, 24), Qt::AlignCenter, u("预览图加载中，请稍候..."));
    font.setPixelSize(11);
    p.setFont(font);
    p.setPen(QColor(0x8a, 0x97, 0xa8));
    p.drawText(QRectF(0, 190, 381, 18), Qt::AlignCenter, u("皮肤预览"));
    p.end();
    return SaveJpegFile(image, out, 90) ? 0 : 1;
}

QImage renderMessageBox() {
    QMessageBox box;
    box.setObjectName(QStringLiteral("MsgDlg"));
    box.setWindowTitle(TMsgDlg::TitleOf(TMsgDlgType::mtInformation));
    box.setText(u("确认删除此皮肤？"));
    box.setIcon(QMessageBox::Information);
    QPushButton* ok = box.addButton(u("确定"), QMessageBox::AcceptRole);
    box.addButton(u("取消"), QMessageBox::RejectRole);
    box.setDefaultButton(ok);
    return grabShown(box);
}

QImage renderLogin(const QTemporaryDir& programDir) {
    const LocalFiles files(programDir.path());
    TMsgDlg msgDlg;
    msgDlg.Interceptor = [](const MsgDlgMessage&) { return TModalResult::mrOk; };
    TSkinData unusedSkin;  // no settings file: the login window loads no skin of its own
    TLoginFrm login(files, msgDlg, unusedSkin);
    login.Welcome_txt->setText(u("欢迎使用 示例网盘"));
    login.ED_User->setText(QStringLiteral("demo"));
    login.ED_Pwd->setText(QStringLiteral("secret"));
    return grabShown(login);
}

int renderScreenshot(const QString& package, const QString& out) {
    QTemporaryDir programDir;
    TSkinData skin;
    loadSkin(skin, package);
    SampleMainWindow sample;
    const QImage main = grabShown(sample.window);
    // The context menu of the listing, open over the selected row.
    sample.layout.pm1->popup(QPoint(0, 0));
    settle();
    const QImage menu = sample.layout.pm1->grab().toImage();
    sample.layout.pm1->hide();
    const QImage login = renderLogin(programDir);
    const QImage message = renderMessageBox();

    const int gap = 14;
    const int width = gap + main.width() + gap + std::max(login.width(), message.width()) + gap;
    const int height = gap + std::max(main.height(), login.height() + gap + message.height()) + gap;
    QImage sheet(width, height, QImage::Format_RGB32);
    sheet.fill(QColor(0xd5, 0xda, 0xe1));
    QPainter p(&sheet);
    // Each window with a thin frame and a soft shadow, as on a desktop.
    const auto place = [&p](const QImage& image, int x, int y) {
        for (int i = 1; i <= 4; ++i)
            p.fillRect(QRect(x + i, y + i + 1, image.width(), image.height()), QColor(0, 0, 0, 14));
        p.drawImage(x, y, image);
        p.setPen(QColor(0, 0, 0, 70));
        p.drawRect(QRect(x - 1, y - 1, image.width() + 1, image.height() + 1));
    };
    place(main, gap, gap);
    place(menu, gap + 250, gap + 150);
    const int right = gap + main.width() + gap;
    place(login, right, gap);
    place(message, right, gap + login.height() + gap);
    p.end();
    return sheet.save(out, "PNG", 9) ? 0 : 1;
}

int renderGallery(const QString& package, const QString& out) {
    TSkinData skin;
    loadSkin(skin, package);
    QWidget window;
    window.setObjectName(QStringLiteral("TSkinFrm"));
    window.setAttribute(Qt::WA_StyledBackground, true);
    auto* column = new QVBoxLayout(&window);
    column->setContentsMargins(0, 0, 0, 0);
    auto* row = new QHBoxLayout;
    row->setContentsMargins(6, 6, 6, 6);
    column->addLayout(row, 1);

    auto* listGroup = new QGroupBox(u("可用皮肤"));
    auto* list = new QListWidget;
    for (const char* name : {"Laconic皮肤", "Jade皮肤", "Amber皮肤", "Midnight皮肤"})
        list->addItem(u(name));
    list->setCurrentRow(1);
    (new QVBoxLayout(listGroup))->addWidget(list);
    row->addWidget(listGroup);

    auto* previewGroup = new QGroupBox(u("皮肤预览"));
    auto* previewColumn = new QVBoxLayout(previewGroup);
    auto* picture = new TJpegPicture;
    picture->setObjectName(QStringLiteral("PVImg"));
    picture->setFixedSize(200, 134);
    QString preview = package;
    preview.replace(QStringLiteral(".skn"), QStringLiteral(".jpg"));
    if (QFile::exists(preview))
        picture->LoadFromFile(preview);
    previewColumn->addWidget(picture);
    auto* combo = new QComboBox;
    combo->addItems({u("/home/user/Downloads"), u("/home/user/桌面")});
    previewColumn->addWidget(combo);
    auto* edit = new QLineEdit(u("年度总结报告.pdf"));
    previewColumn->addWidget(edit);
    auto* disabledEdit = new QLineEdit(u("只读文本"));
    disabledEdit->setReadOnly(true);
    previewColumn->addWidget(disabledEdit);
    auto* check = new QCheckBox(u("下载完成后打开目录"));
    check->setChecked(true);
    previewColumn->addWidget(check);
    auto* buttons = new QHBoxLayout;
    auto* apply = new QPushButton(u("使用皮肤"));
    apply->setDefault(true);
    auto* remove = new QPushButton(u("删除皮肤"));
    remove->setEnabled(false);
    buttons->addWidget(apply);
    buttons->addWidget(remove);
    previewColumn->addLayout(buttons);
    row->addWidget(previewGroup);

    auto* tabs = new QTabWidget;
    auto* info = new QPlainTextEdit(u("网盘客户端 2.2\n构建 20130122\n\n本软件用于上传、下载和分享网盘文件。\n")
                                        .repeated(3));
    tabs->addTab(info, u("软件信息"));
    tabs->addTab(new QPlainTextEdit(u("许可协议")), u("许可协议"));
    tabs->setFixedWidth(260);
    row->addWidget(tabs);

    // The two lists of the main window as the other tab and view show them:
    // large icons, and the queue with its check boxes.
    SampleMainWindow sample;
    auto* lists = new QHBoxLayout;
    lists->setContentsMargins(6, 0, 6, 6);
    sample.layout.lv1->SetViewStyle(TListView::TViewStyle::vsIcon);
    sample.layout.lv1->setParent(nullptr);
    sample.layout.lv2->setParent(nullptr);
    lists->addWidget(sample.layout.lv1);
    lists->addWidget(sample.layout.lv2);
    column->addLayout(lists, 1);

    auto* status = new QStatusBar;
    status->addWidget(new QLabel(u("预览图文件【Jade】不存在")));
    column->addWidget(status);
    window.resize(760, 520);
    const QImage dialog = grabShown(window);

    // The main window on its queue tab: disabled buttons, check boxes.
    SampleMainWindow queue;
    queue.layout.PageControl1->setCurrentWidget(queue.layout.PCTask);
    queue.window.resize(760, 300);
    const QImage main = grabShown(queue.window);

    QImage sheet(760, dialog.height() + main.height(), QImage::Format_RGB32);
    QPainter p(&sheet);
    p.drawImage(0, 0, dialog);
    p.drawImage(0, dialog.height(), main);
    p.end();
    return sheet.save(out, "PNG", 9) ? 0 : 1;
}

int usage() {
    std::fprintf(stderr,
                 "usage: quellix-skin-preview preview PACKAGE OUT.jpg\n"
                 "       quellix-skin-preview loading OUT.jpg\n"
                 "       quellix-skin-preview screenshot PACKAGE OUT.png\n"
                 "       quellix-skin-preview gallery PACKAGE OUT.png\n"
                 "PACKAGE is a skin package file or \"builtin\".\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    try {
        if (args.size() == 3 && args[0] == QLatin1String("preview"))
            return renderPreview(args[1], args[2]);
        if (args.size() == 2 && args[0] == QLatin1String("loading"))
            return renderLoading(args[1]);
        if (args.size() == 3 && args[0] == QLatin1String("screenshot"))
            return renderScreenshot(args[1], args[2]);
        if (args.size() == 3 && args[0] == QLatin1String("gallery"))
            return renderGallery(args[1], args[2]);
    } catch (const QxError& error) {
        std::fprintf(stderr, "%s: %s\n", error.className(), error.what());
        return 1;
    }
    return usage();
}
