#pragma once
// The program's windows driven offscreen against a scripted site: a fixture
// that writes quellix.cfg into a temporary program folder, creates the six
// windows as the program does, and records every message and every error
// that reaches the standard error report.

#include "about/uVersion.h"
#include "app/Main.h"
#include "app/program.h"
#include "login/gui/uLogin.h"
#include "support/fakesite.h"
#include "support/testutil.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

class WindowTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Creates the program for a site address (the fake site by default).
    void createProgram(const QByteArray& siteUrl = QByteArray());
    // Records messages and answers them with `answerWith`.
    std::function<TModalResult(const MsgDlgMessage&)> interceptor();
    // Types the credentials and presses "登 录".
    void login(const QString& user = QStringLiteral("alice"), const QString& password = QStringLiteral("secret"));

    // The default site: HEAD 200, an accepted login, a loadset reply and an
    // empty listing. Tests change `replies` per action.
    FakeReply answer(const FakeRequest& request);

    TLoginFrm& loginFrm() { return *program->LoginFrm; }
    TMainFrm& mainFrm() { return *program->MainFrm; }

    QTemporaryDir dir;
    FakeSite site;
    std::unique_ptr<QuellixProgram> program;
    QList<MsgDlgMessage> messages;
    QList<QByteArray> errors;
    QMap<QByteArray, FakeReply> replies;  // by action ("login", "loadset", "mydisk")
    TModalResult answerWith = TModalResult::mrOk;
};

// A loadset reply: "true|" + suffix, the registration address and the frame
// of the settings record.
QByteArray LoadSetReply(const QByteArray& settingsText, const QByteArray& suffix = "",
                        const QByteArray& registerUrl = "http://127.0.0.1:1/");
// A settings record with a branding record.
QByteArray SettingsText(const QByteArray& branding, const QByteArray& password = "pw",
                        const QByteArray& dir = "/files/", const QByteArray& passive = "1");
