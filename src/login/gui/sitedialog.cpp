#include "login/gui/sitedialog.h"

#include "text/gbk.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

namespace {
QString u(const char* utf8) { return QString::fromUtf8(utf8); }
}  // namespace

std::optional<SiteAddress> AskSiteAddress(QWidget* parent) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("SiteDialog"));
    dialog.setWindowTitle(u("网盘站点设置"));
    auto* url = new QLineEdit(&dialog);
    url->setObjectName(QStringLiteral("ED_SiteUrl"));
    url->setPlaceholderText(QStringLiteral("http://disk.example.com/"));
    auto* name = new QLineEdit(&dialog);
    name->setObjectName(QStringLiteral("ED_SiteName"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(u("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(u("取消"));
    auto* form = new QFormLayout(&dialog);
    form->addRow(u("网盘地址："), url);
    form->addRow(u("网盘名称："), name);
    form->addRow(buttons);
    const auto updateOk = [&] {
        buttons->button(QDialogButtonBox::Ok)
            ->setEnabled(!url->text().trimmed().isEmpty() && !name->text().trimmed().isEmpty());
    };
    updateOk();
    QObject::connect(url, &QLineEdit::textChanged, &dialog, updateOk);
    QObject::connect(name, &QLineEdit::textChanged, &dialog, updateOk);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return SiteAddress{ToGbk(url->text().trimmed()), ToGbk(name->text().trimmed())};
}
