#pragma once
// "传输设置": every transfer option in one dialog (parallel transfers,
// resuming downloads, the proxy, the rate limits, notifications). OK checks
// the fields (TransferSettings), writes quellix.ini and the proxy password
// and hands the new options to OnApply; a field in error keeps the dialog
// open with the focus on it.

#include "config/transferoptions.h"
#include "options/transfersettings.h"

#include <QDialog>
#include <functional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class TMsgDlg;

class TTransferFrm : public QDialog {
    Q_OBJECT
public:
    TTransferFrm(TransferSettings& settings, TMsgDlg& msgDlg, QWidget* parent = nullptr);

    // Shows `options` in the fields (the proxy password as a stand-in when
    // one is stored).
    void ShowOptions(const TransferOptions& options);
    // The fields as they stand.
    TransferSettingsFields Fields() const;

    // "确定": checks, saves, calls OnApply and closes; false while a field
    // is in error (the dialog stays open).
    bool btnOkClick();

    // The options OK saved and the proxy password in force.
    std::function<void(const TransferOptions& options, const QByteArray& proxyPassword)> OnApply;

    QSpinBox* SE_Uploads;
    QSpinBox* SE_Downloads;
    QSpinBox* SE_Connections;
    QCheckBox* CB_Resume;
    QComboBox* CB_Proxy;
    QLineEdit* ED_ProxyHost;
    QLineEdit* ED_ProxyPort;
    QLineEdit* ED_ProxyUser;
    QLineEdit* ED_ProxyPwd;
    QLineEdit* ED_UpLimit;
    QLineEdit* ED_DownLimit;
    QCheckBox* CB_Notify;
    QPushButton* btnOk;
    QPushButton* btnCancel;

private:
    void proxyModeChanged();
    QWidget* fieldNamed(const QString& label) const;

    TransferSettings& settings_;
    TMsgDlg& msgDlg_;
    TransferOptions shown_;
    bool passwordEdited_ = false;
};
