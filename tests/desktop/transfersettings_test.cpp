// The "传输设置" dialog's core: the checks of the fields, and what OK keeps
// where (quellix.ini, the keyring) - never a password in a file.

#include "options/transfersettings.h"
#include "support/fakesecrets.h"
#include "support/testutil.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

TransferSettingsFields socksFields() {
    TransferSettingsFields f = TransferSettings::FieldsOf(TransferOptions{});
    f.proxyMode = ProxyMode::Socks5;
    f.proxyHost = QStringLiteral(" proxy.example ");
    f.proxyPort = QStringLiteral("1080");
    f.proxyUser = QStringLiteral("alice");
    f.proxyPassword = QStringLiteral("s3cret pass");
    f.proxyPasswordEdited = true;
    return f;
}

TEST(TransferSettingsTest, EachFieldInErrorIsNamedAndTheLoginSwitchesPassThrough) {
    TransferOptions current;
    current.rememberPassword = true;
    current.autoLogin = true;
    current.savedAccount = u("张三");
    const auto errorField = [&](const std::function<void(TransferSettingsFields&)>& change) {
        TransferSettingsFields f = socksFields();
        change(f);
        const TransferSettings::Checked checked = TransferSettings::Check(f, current);
        EXPECT_EQ(checked.options.has_value(), checked.field.isEmpty());
        return checked.field;
    };
    EXPECT_EQ(errorField([](auto& f) { f.parallelUploads = 9; }), u("同时上传文件数"));
    EXPECT_EQ(errorField([](auto& f) { f.parallelDownloads = 0; }), u("同时下载文件数"));
    EXPECT_EQ(errorField([](auto& f) { f.downloadConnections = 9; }), u("下载连接数"));
    EXPECT_EQ(errorField([](auto& f) { f.uploadLimit = QStringLiteral("-5"); }), u("上传限速"));
    EXPECT_EQ(errorField([](auto& f) { f.downloadLimit = QStringLiteral("12k"); }), u("下载限速"));
    EXPECT_EQ(errorField([](auto& f) { f.downloadLimit = QStringLiteral("99999999999"); }), u("下载限速"));
    EXPECT_EQ(errorField([](auto& f) { f.proxyHost = QStringLiteral("  "); }), u("代理服务器"));
    EXPECT_EQ(errorField([](auto& f) { f.proxyPort = QStringLiteral("70000"); }), u("端口"));
    EXPECT_EQ(errorField([](auto& f) { f.proxyPort.clear(); }), u("端口"));
    EXPECT_EQ(errorField([](auto& f) { f.proxyUser.clear(); }), u("用户名"));
    // Without a proxy server its fields are not looked at.
    EXPECT_EQ(errorField([](auto& f) {
                  f.proxyMode = ProxyMode::System;
                  f.proxyPort = QStringLiteral("x");
              }),
              QString());

    TransferSettingsFields f = socksFields();
    f.parallelUploads = 8;
    f.downloadConnections = 1;
    f.uploadLimit = QStringLiteral(" 512 ");
    f.downloadLimit.clear();
    f.notifications = false;
    const TransferSettings::Checked checked = TransferSettings::Check(f, current);
    ASSERT_TRUE(checked.options);
    TransferOptions expected = current;
    expected.parallelUploads = 8;
    expected.downloadConnections = 1;
    expected.uploadLimitKBps = 512;
    expected.downloadLimitKBps = 0;
    expected.notifications = false;
    expected.proxy = ProxyOptions{ProxyMode::Socks5, QStringLiteral("proxy.example"), 1080, QStringLiteral("alice")};
    EXPECT_EQ(*checked.options, expected);
}

TEST(TransferSettingsTest, TheProxyPasswordGoesIntoTheKeyringAndFollowsTheProxy) {
    QTemporaryDir dir;
    const LocalFiles files(dir.path());
    FakeSecrets secrets;
    TransferSettings settings(files, &secrets);
    const TransferOptions before;
    TransferSettingsFields f = socksFields();
    const TransferOptions chosen = *TransferSettings::Check(f, before).options;
    QByteArray inForce;
    EXPECT_EQ(settings.Save(before, chosen, f, inForce), QString());
    EXPECT_EQ(inForce, QByteArray("s3cret pass"));
    EXPECT_EQ(ReadTransferOptions(files), chosen);
    EXPECT_FALSE(ReadFileBytes(files.optionsFile()).contains("s3cret"));
    const QString key = ProxyPasswordKey(QStringLiteral("proxy.example"), 1080, QStringLiteral("alice"));
    EXPECT_EQ(secrets.entries, (QMap<QString, QByteArray>{{key, "s3cret pass"}}));
    EXPECT_EQ(settings.ProxyPassword(chosen.proxy), QByteArray("s3cret pass"));

    // OK again without touching the password: it stays, and is in force.
    f.proxyPasswordEdited = false;
    f.proxyPassword.clear();
    secrets.calls.clear();
    EXPECT_EQ(settings.Save(chosen, chosen, f, inForce), QString());
    EXPECT_EQ(inForce, QByteArray("s3cret pass"));
    EXPECT_EQ(secrets.calls, QStringList{QStringLiteral("read ") + key});

    // Another port: the password moves with the proxy.
    f.proxyPort = QStringLiteral("1081");
    const TransferOptions moved = *TransferSettings::Check(f, chosen).options;
    EXPECT_EQ(settings.Save(chosen, moved, f, inForce), QString());
    EXPECT_EQ(secrets.entries.keys(),
              QStringList{ProxyPasswordKey(QStringLiteral("proxy.example"), 1081, QStringLiteral("alice"))});

    // No keyring: the options are kept, the password is not, and the user
    // is told; it applies to this run only.
    secrets.available = false;
    f = socksFields();
    f.proxyPassword = QStringLiteral("other");
    EXPECT_EQ(settings.Save(moved, *TransferSettings::Check(f, moved).options, f, inForce),
              QStringLiteral("no Secret Service in this test") + u("代理密码只在本次运行中使用，不会保存。"));
    EXPECT_EQ(inForce, QByteArray("other"));
    EXPECT_FALSE(ReadFileBytes(files.optionsFile()).contains("other"));
}

}  // namespace
