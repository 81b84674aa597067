#include "platform/gui/msgdlg.h"

#include "text/gbk.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

QString TMsgDlg::TitleOf(TMsgDlgType type) {
    switch (type) {
    case TMsgDlgType::mtInformation: return QString::fromUtf8("提示信息");
    case TMsgDlgType::mtWarning: return QStringLiteral("Warning");
    case TMsgDlgType::mtError: return QStringLiteral("Error");
    case TMsgDlgType::mtConfirmation: return QStringLiteral("Confirm");
    }
    return QString();
}

TModalResult TMsgDlg::MessageDlg(const QByteArray& gbkText, TMsgDlgType type, TMsgDlgButtons buttons,
                                 QWidget* parent) {
    return MessageDlg(FromGbk(gbkText), type, buttons, parent);
}

TModalResult TMsgDlg::MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, QWidget* parent) {
    const MsgDlgMessage message{type, TitleOf(type), text, buttons};
    if (Interceptor)
        return Interceptor(message);

    QMessageBox box(parent ? parent : QApplication::activeWindow());
    box.setObjectName(QStringLiteral("MsgDlg"));
    box.setWindowTitle(message.title);
    box.setText(text);
    switch (type) {
    case TMsgDlgType::mtInformation: box.setIcon(QMessageBox::Information); break;
    case TMsgDlgType::mtWarning: box.setIcon(QMessageBox::Warning); break;
    case TMsgDlgType::mtError: box.setIcon(QMessageBox::Critical); break;
    case TMsgDlgType::mtConfirmation: box.setIcon(QMessageBox::Question); break;
    }
    QPushButton* ok = box.addButton(QString::fromUtf8("确定"), QMessageBox::AcceptRole);
    if (buttons == TMsgDlgButtons::mbOKCancel)
        box.addButton(QString::fromUtf8("取消"), QMessageBox::RejectRole);
    box.setDefaultButton(ok);
    box.exec();
    return box.clickedButton() == ok ? TModalResult::mrOk : TModalResult::mrCancel;
}
