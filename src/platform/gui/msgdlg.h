#pragma once
// The program's message dialog: every message of every window goes through
// one TMsgDlg, drawn in the current skin, in one of four kinds.

#include <QByteArray>
#include <QString>
#include <functional>

class QWidget;

enum class TMsgDlgType { mtInformation, mtWarning, mtError, mtConfirmation };
enum class TMsgDlgButtons { mbOK, mbOKCancel };
enum class TModalResult { mrOk, mrCancel };

// One message as shown (or as a test sees it).
struct MsgDlgMessage {
    TMsgDlgType type;
    QString title;
    QString text;
    TMsgDlgButtons buttons;
};

class TMsgDlg {
public:
    // Title of each kind: "提示信息", "Warning", "Error", "Confirm".
    static QString TitleOf(TMsgDlgType type);

    // Shows the message modally over `parent` and gives the button pressed.
    TModalResult MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons,
                            QWidget* parent = nullptr);
    // The same for a GBK text.
    TModalResult MessageDlg(const QByteArray& gbkText, TMsgDlgType type, TMsgDlgButtons buttons,
                            QWidget* parent = nullptr);

    // When set, messages go here instead of a dialog (tests answer them).
    std::function<TModalResult(const MsgDlgMessage&)> Interceptor;
};
