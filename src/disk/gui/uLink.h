#pragma once
// The link window: shows the link texts of the selected files and copies
// them to the clipboard.

#include <QDialog>

class QPlainTextEdit;
class QPushButton;
class TMsgDlg;

class TLinkFrm : public QDialog {
    Q_OBJECT
public:
    explicit TLinkFrm(TMsgDlg& msgDlg, QWidget* parent = nullptr);

    QPlainTextEdit* Memo1;
    QPushButton* spSkinButton2;  // "复制链接"
    QPushButton* spSkinButton1;  // "关闭"

    // Replaces the memo's text with the link text.
    void SetLinkText(const QString& text);
    const QString& LinkText() const { return text_; }

    // "复制链接": the memo's text to the clipboard, selected, and a message.
    void spSkinButton2Click();
    // "关闭".
    void spSkinButton1Click();

private:
    TMsgDlg& msgDlg_;
    QString text_;  // as set, with its CR LF line ends
};
