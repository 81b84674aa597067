// Drives transfers under the program's rate limit for scripts/bench-limits,
// which measures the rate at the server:
//
//   quellix-limit-bench upload --host H --port P --user U --pass W --limit RATE FILE...
//       one FTP session per file (passive), all at once, one shared limit
//   quellix-limit-bench download --parts N --limit RATE URL OUTFILE
//       the multipart downloader with N ranges under the limit (one plain
//       GET for N = 1)
//
// RATE is in bytes per second (K and M suffixes). While the transfers run, a
// 10 ms timer measures how late the event loop serves it. Prints
//
//   bytes B seconds S timer-ticks T late-p99-ms L late-max-ms M
//
// and exits 0 when every transfer completed, 1 otherwise.

#include "net/ftpclient.h"
#include "net/httpcli.h"
#include "net/multipartdownloader.h"
#include "net/netconnector.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

namespace {

std::optional<qint64> parseRate(QByteArray text) {
    double factor = 1;
    if (text.endsWith('K') || text.endsWith('k'))
        factor = 1024, text.chop(1);
    else if (text.endsWith('M') || text.endsWith('m'))
        factor = 1024 * 1024, text.chop(1);
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || value < 0)
        return std::nullopt;
    return qint64(std::llround(value * factor));
}

int usage() {
    std::fprintf(stderr,
                 "usage: quellix-limit-bench upload --host H --port P --user U --pass W --limit RATE FILE...\n"
                 "       quellix-limit-bench download --parts N --limit RATE URL OUTFILE\n");
    return 2;
}

// How late a 10 ms timer runs while the transfers go on.
class LatenessProbe {
public:
    LatenessProbe() {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            lateMs_.push_back(std::max<double>(0, double(clock_.nsecsElapsed()) / 1e6 - 10.0));
            clock_.restart();
        });
        clock_.start();
        timer_.start(10);
    }
    QByteArray report() {
        std::vector<double> late = lateMs_;
        std::sort(late.begin(), late.end());
        const double p99 = late.empty() ? 0 : late[size_t(double(late.size() - 1) * 0.99)];
        const double worst = late.empty() ? 0 : late.back();
        char text[128];
        std::snprintf(text, sizeof text, "timer-ticks %zu late-p99-ms %.1f late-max-ms %.1f", late.size(), p99, worst);
        return text;
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    std::vector<double> lateMs_;
};

QByteArray takeOption(QStringList& args, const QString& name) {
    const qsizetype at = args.indexOf(name);
    if (at < 0 || at + 1 >= args.size())
        return QByteArray();
    const QByteArray value = args.at(at + 1).toLocal8Bit();
    args.remove(at, 2);
    return value;
}

int upload(QStringList args, NetConnector& connector) {
    const QByteArray host = takeOption(args, QStringLiteral("--host"));
    const QByteArray port = takeOption(args, QStringLiteral("--port"));
    const QByteArray user = takeOption(args, QStringLiteral("--user"));
    const QByteArray pass = takeOption(args, QStringLiteral("--pass"));
    if (host.isEmpty() || port.isEmpty() || user.isEmpty() || pass.isEmpty() || args.isEmpty())
        return usage();
    std::vector<std::unique_ptr<TFtpClient>> sessions;
    int done = 0, failed = 0;
    qint64 bytes = 0;
    for (const QString& file : args) {
        auto ftp = std::make_unique<TFtpClient>();
        ftp->HostName = host;
        ftp->Port = port;
        ftp->UserName = user;
        ftp->PassWord = pass;
        ftp->HostDirName = "/";
        ftp->Passive = true;
        ftp->Timeout = 60;
        ftp->Connector = &connector;
        ftp->LocalFileName = file;
        ftp->HostFileName = QFileInfo(file).fileName().toLocal8Bit();
        bytes += QFileInfo(file).size();
        ftp->OnRequestDone = [&](TFtpClient& sender, TFtpRequest rq, quint16 code) {
            if (code != 0) {
                std::fprintf(stderr, "%s: %s\n", sender.HostFileName.constData(), sender.ErrorMessage().constData());
                ++failed;
                return;
            }
            switch (rq) {
            case ftpOpenAsync: sender.UserAsync(); break;
            case ftpUserAsync: sender.PassAsync(); break;
            case ftpPassAsync: sender.TypeSetAsync(); break;
            case ftpTypeSetAsync: sender.PutAsync(); break;
            case ftpPutAsync: sender.QuitAsync(); break;
            case ftpQuitAsync: ++done; break;
            default: break;
            }
        };
        sessions.push_back(std::move(ftp));
    }
    LatenessProbe probe;
    QElapsedTimer clock;
    clock.start();
    for (auto& ftp : sessions)
        ftp->OpenAsync();
    QEventLoop loop;
    while (done + failed < int(sessions.size()))
        loop.processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    std::printf("bytes %lld seconds %.3f %s\n", static_cast<long long>(bytes), double(clock.elapsed()) / 1000.0,
                probe.report().constData());
    return failed == 0 ? 0 : 1;
}

int download(QStringList args, NetConnector& connector) {
    bool ok = false;
    const int parts = takeOption(args, QStringLiteral("--parts")).toInt(&ok);
    if (!ok || args.size() != 2)
        return usage();
    QFile output(args.at(1));
    if (!output.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return usage();
    if (parts == 1) {
        THttpCli http;
        http.URL = args.at(0).toLocal8Bit();
        http.ReceiveStream = &output;
        http.Connector = &connector;
        bool done = false;
        quint16 errCode = 0;
        http.OnRequestDone = [&](THttpCli&, THttpRequest, quint16 code) {
            errCode = code;
            done = true;
        };
        LatenessProbe probe;
        QElapsedTimer clock;
        clock.start();
        http.GetASync();
        QEventLoop loop;
        while (!done)
            loop.processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        const bool ok = errCode == 0 && http.StatusCode() == 200;
        if (!ok)
            std::fprintf(stderr, "download failed: %d %d\n", errCode, http.StatusCode());
        std::printf("bytes %lld seconds %.3f %s\n", static_cast<long long>(http.RcvdCount()),
                    double(clock.elapsed()) / 1000.0, probe.report().constData());
        return ok ? 0 : 1;
    }
    TMultipartHttpDownloader down;
    down.URL = args.at(0).toLocal8Bit();
    down.PartCount = parts;
    down.FileStream = &output;
    down.Connector = &connector;
    if (qEnvironmentVariableIsSet("LIMIT_BENCH_VERBOSE")) {
        QElapsedTimer since;
        since.start();
        down.OnDisplay = [since](TMultipartHttpDownloader&, const QByteArray& msg) {
            std::fprintf(stderr, "%7.3f %s\n", double(since.elapsed()) / 1000.0, msg.constData());
        };
    }
    int code = 0;
    QByteArray reason;
    down.OnRequestDone = [&](TMultipartHttpDownloader& d, int errorCode, const QByteArray& text) {
        if (d.FileStream)
            d.FileStream->close();
        code = errorCode;
        reason = text;
    };
    LatenessProbe probe;
    QElapsedTimer clock;
    clock.start();
    down.Start();
    QEventLoop loop;
    while (code == 0)
        loop.processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    if (code != 200)
        std::fprintf(stderr, "download failed: %d %s\n", code, reason.constData());
    std::printf("bytes %lld seconds %.3f %s\n", static_cast<long long>(down.ContentLength()),
                double(clock.elapsed()) / 1000.0, probe.report().constData());
    return code == 200 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString mode = args.takeFirst();
    const std::optional<qint64> rate = parseRate(takeOption(args, QStringLiteral("--limit")));
    if (!rate)
        return usage();
    NetConnectorSettings settings;
    settings.uploadBytesPerSecond = *rate;
    settings.downloadBytesPerSecond = *rate;
    NetConnector connector(settings);
    if (mode == QStringLiteral("upload"))
        return upload(args, connector);
    if (mode == QStringLiteral("download"))
        return download(args, connector);
    return usage();
}
