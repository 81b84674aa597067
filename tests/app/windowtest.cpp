#include "windowtest.h"

#include "config/siteconfig.h"
#include "text/base64.h"
#include "text/gbk.h"
#include "text/scramble.h"

#include <QTest>

void WindowTest::SetUp() {
    ASSERT_TRUE(dir.isValid());
    site.handler = [this](const FakeRequest& request) { return answer(request); };
    SetErrorReportSink([this](const QByteArray&, const QByteArray& message) { errors.append(message); });
}

void WindowTest::TearDown() {
    program.reset();
    SetErrorReportSink(nullptr);
}

void WindowTest::createProgram(const QByteArray& siteUrl) {
    const QByteArray url = siteUrl.isEmpty() ? site.url() : siteUrl;
    WriteFileBytes(dir.filePath(QStringLiteral("quellix.cfg")), MakeSiteConfigLine(url, "Demo Disk") + "\r\n");
    program = std::make_unique<QuellixProgram>(dir.path(), interceptor());
    program->LoginFrm->Probe().TimeLimitMs = 3000;
    program->MainFrm->Probe().TimeLimitMs = 3000;
    program->VerFrm->Probe().TimeLimitMs = 3000;
    program->Start();
}

void WindowTest::login(const QString& user, const QString& password) {
    loginFrm().ED_User->setText(user);
    loginFrm().ED_Pwd->setText(password);
    QTest::mouseClick(loginFrm().btnLogin, Qt::LeftButton);
}

std::function<TModalResult(const MsgDlgMessage&)> WindowTest::interceptor() {
    return [this](const MsgDlgMessage& message) {
        messages.append(message);
        return answerWith;
    };
}

FakeReply WindowTest::answer(const FakeRequest& request) {
    if (request.method == "HEAD")
        return {};
    const QByteArray action = request.field("action");
    if (replies.contains(action))
        return replies.value(action);
    if (action == "login")
        return {200, "alice\r\nTOKEN42\r\n0\r\n"};
    if (action == "loadset")
        return {200, LoadSetReply(SettingsText("演示网盘|x|http://a/|x|x|Blue|"_gbk))};
    return {};
}

QByteArray SettingsText(const QByteArray& branding, const QByteArray& password, const QByteArray& dir,
                        const QByteArray& passive) {
    return "127.0.0.1|uploader|" + password + "|2121|" + dir + "|" + passive + "|" + Base64Encode(branding);
}

QByteArray LoadSetReply(const QByteArray& settingsText, const QByteArray& suffix, const QByteArray& registerUrl) {
    return "true|" + suffix + "\r\n" + registerUrl + "\r\n" +
           ServerSettingsCodec(settingsText, CodecDirection::Encode) + "\r\n";
}
