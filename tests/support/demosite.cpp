#include "support/demosite.h"

#include "support/testutil.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <csignal>
#include <sys/prctl.h>

namespace {

constexpr int kStopTimeoutMs = 15000;

QByteArray hexField(const QJsonObject& o, const char* key) {
    return QByteArray::fromHex(o.value(QLatin1String(key)).toString().toLatin1());
}

}  // namespace

QByteArray LoggedRequest::header(const QByteArray& name) const {
    for (const auto& [key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return QByteArray();
}

DemoSite::DemoSite(const QStringList& options, int readyTimeoutMs) : process_(std::make_unique<QProcess>()) {
    if (!tmp_.isValid()) {
        error_ = QStringLiteral("no temporary folder");
        return;
    }
    QStringList arguments = {SourceDir() + QStringLiteral("/demo/demo_site.py"), QStringLiteral("--data"),
                             tmp_.path() + QStringLiteral("/data")};
    arguments += options;
    EndWithThisProcess(*process_);
    process_->start(QStringLiteral("/usr/bin/python3"), arguments);
    if (!process_->waitForStarted(readyTimeoutMs)) {
        error_ = QStringLiteral("cannot start /usr/bin/python3: ") + process_->errorString();
        return;
    }
    if (!readReadyLine(readyTimeoutMs))
        stop();
}

DemoSite::~DemoSite() { stop(); }

bool DemoSite::readReadyLine(int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!process_->canReadLine()) {
        if (process_->state() == QProcess::NotRunning || deadline.hasExpired() ||
            !process_->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) {
            if (process_->canReadLine())
                break;
            error_ = QStringLiteral("the demo site did not report ready: ") +
                     QString::fromUtf8(process_->readAllStandardError());
            return false;
        }
    }
    const QJsonObject ready = QJsonDocument::fromJson(process_->readLine()).object();
    if (ready.value(QStringLiteral("event")).toString() != QStringLiteral("ready")) {
        error_ = QStringLiteral("unexpected first line from the demo site");
        return false;
    }
    const auto text = [&](const char* key) { return ready.value(QLatin1String(key)).toString(); };
    siteUrl_ = text("site_url").toUtf8();
    skinServerUrl_ = text("skin_url").toUtf8();
    registerUrl_ = text("register_url").toUtf8();
    ftpDir_ = text("ftp_dir").toUtf8();
    siteName_ = text("site_name");
    dataDir_ = text("data_dir");
    skinsDir_ = text("skins_dir");
    requestLogPath_ = text("request_log");
    ftpLogPath_ = text("ftp_log");
    httpPort_ = ready.value(QStringLiteral("http_port")).toInt();
    ftpPort_ = ready.value(QStringLiteral("ftp_port")).toInt();
    for (const QJsonValue& value : ready.value(QStringLiteral("accounts")).toArray()) {
        const QJsonObject a = value.toObject();
        const auto field = [&](const char* key) { return a.value(QLatin1String(key)).toString(); };
        accounts_.append({field("name"), field("password"), field("debug"), field("ftp_user"), field("ftp_password")});
    }
    return true;
}

bool DemoSite::isRunning() const { return error_.isEmpty() && process_->state() == QProcess::Running; }

DemoAccount DemoSite::account(const QString& name) const {
    for (const DemoAccount& a : accounts_)
        if (a.name == name)
            return a;
    return DemoAccount();
}

QList<LoggedRequest> DemoSite::requests() const {
    QList<LoggedRequest> result;
    QFile file(requestLogPath_);
    if (requestLogPath_.isEmpty() || !file.open(QIODevice::ReadOnly))
        return result;
    while (!file.atEnd()) {
        const QJsonObject o = QJsonDocument::fromJson(file.readLine()).object();
        if (o.isEmpty())
            continue;
        LoggedRequest request;
        request.method = o.value(QStringLiteral("method")).toString().toLatin1();
        request.target = hexField(o, "target_hex");
        request.path = request.target.left(request.target.indexOf('?') < 0 ? request.target.size()
                                                                             : request.target.indexOf('?'));
        request.body = hexField(o, "body_hex");
        for (const QJsonValue& pair : o.value(QStringLiteral("headers")).toArray()) {
            const QJsonArray nameValue = pair.toArray();
            request.headers.append({nameValue.at(0).toString().toLatin1(), nameValue.at(1).toString().toLatin1()});
        }
        request.status = o.value(QStringLiteral("status")).toInt();
        result.append(request);
    }
    return result;
}

bool DemoSite::writeSiteConfig(const QString& programDir) const {
    const ProcessResult r = RunProcess(ProgramDir() + QStringLiteral("/quellix-tool"),
                                       {QStringLiteral("site-config"), QString::fromUtf8(siteUrl_), siteName_,
                                        QString::fromUtf8(skinServerUrl_), QStringLiteral("-o"),
                                        programDir + QStringLiteral("/quellix.cfg")});
    return r.finished && r.exitCode == 0;
}

bool DemoSite::stop() {
    if (!process_ || process_->state() == QProcess::NotRunning)
        return process_ && process_->exitStatus() == QProcess::NormalExit && process_->exitCode() == 0;
    process_->terminate();
    if (process_->waitForFinished(kStopTimeoutMs))
        return process_->exitStatus() == QProcess::NormalExit && process_->exitCode() == 0;
    process_->kill();
    process_->waitForFinished(kStopTimeoutMs);
    return false;
}
