// http: runs one request with the HTTP client and reports its results, for
// operators checking a site and for testing from outside.

#include "command.h"
#include "net_options.h"
#include "net/httpcli.h"
#include "net/siteclient.h"
#include "text/errors.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

namespace {

const char* const usage =
    "http [--head | --post BODY [--blocking]] [--site] [--agent TEXT] [--version 1.0|1.1] [--cacert FILE]\n"
    "                    [--range BEGIN-[END]] [--no-follow] [--max-relocations N] [--timeout SECONDS]\n"
    "                    [-o FILE] [--proxy URL] [--proxy-password-file FILE] [--limit-rate RATE] URL";

struct Options {
    THttpRequest method = httpGET;
    QByteArray postBody;
    bool blocking = false;
    bool site = false;
    bool hasAgent = false;
    QByteArray agent;
    QByteArray version;
    QByteArray caFile;
    QByteArray range;
    bool noFollow = false;
    QByteArray maxRelocations;
    QByteArray timeout;
    QByteArray outputFile;
    QByteArray url;
};

bool parseOptions(ToolArgs& args, Options& o) {
    bool missing = false;
    if (args.takeFlag("--head"))
        o.method = httpHEAD;
    if (args.takeOption("--post", o.postBody, missing))
        o.method = o.method == httpHEAD ? httpABORT : httpPOST;  // both: a usage error
    o.blocking = args.takeFlag("--blocking");
    o.site = args.takeFlag("--site");
    o.hasAgent = args.takeOption("--agent", o.agent, missing);
    args.takeOption("--version", o.version, missing);
    args.takeOption("--cacert", o.caFile, missing);
    args.takeOption("--range", o.range, missing);
    o.noFollow = args.takeFlag("--no-follow");
    args.takeOption("--max-relocations", o.maxRelocations, missing);
    args.takeOption("--timeout", o.timeout, missing);
    args.takeOption("-o", o.outputFile, missing);
    if (missing || args.raw.size() != 1 || o.method == httpABORT || (o.blocking && o.method != httpPOST))
        return false;
    o.url = args.raw[0];
    return !o.url.startsWith('-');
}

bool toNumber(const QByteArray& text, qint64& value) {
    bool ok = false;
    value = text.toLongLong(&ok);
    return ok && value >= 0;
}

void printResults(THttpCli& http, quint16 errCode) {
    QByteArray out;
    out += "ErrCode: " + QByteArray::number(errCode) + "\n";
    out += "StatusCode: " + QByteArray::number(http.StatusCode()) + "\n";
    out += "ReasonPhrase: " + GbkToTerminal(http.ReasonPhrase()) + "\n";
    out += "ContentLength: " + QByteArray::number(http.ContentLength()) + "\n";
    out += "Location: " + GbkToTerminal(http.Location()) + "\n";
    out += "DocName: " + GbkToTerminal(http.DocName()) + "\n";
    out += "LocationChangeCurCount: " + QByteArray::number(http.LocationChangeCurCount()) + "\n";
    out += "AcceptRanges: " + http.AcceptRanges() + "\n";
    out += "ContentRangeBegin: " + http.ContentRangeBegin + "\n";
    out += "ContentRangeEnd: " + http.ContentRangeEnd + "\n";
    WriteErr(out);
}

int runHttp(ToolArgs& args) {
    NetworkOptions network;
    QByteArray error;
    if (!TakeNetworkOptions(args, network, error))
        return UsageError("http");
    Options o;
    if (!parseOptions(args, o))
        return UsageError("http");
    const std::unique_ptr<NetConnector> connector = MakeConnector(network, "http", error);
    if (!connector) {
        WriteErr("quellix-tool http: " + error + "\n");
        return 2;
    }

    THttpCli http("HttpCli1");
    http.Connector = connector.get();
    if (o.site)
        ApplySiteClientSettings(http);
    if (o.hasAgent)
        http.Agent = TerminalToGbk(o.agent);
    if (!o.version.isEmpty())
        http.SetRequestVer(o.version);  // raises "Insupported HTTP version"
    if (!o.caFile.isEmpty() && http.AddTrustedCertificates(QString::fromLocal8Bit(o.caFile)) == 0) {
        WriteErr("quellix-tool http: no certificate in " + o.caFile + "\n");
        return 2;
    }
    if (!o.range.isEmpty()) {
        const qsizetype dash = o.range.indexOf('-');
        qint64 number = 0;
        const QByteArray begin = dash < 0 ? o.range : o.range.left(dash);
        const QByteArray end = dash < 0 ? QByteArray() : o.range.mid(dash + 1);
        if (!toNumber(begin, number) || (!end.isEmpty() && !toNumber(end, number)))
            return UsageError("http");
        http.ContentRangeBegin = begin;
        http.ContentRangeEnd = end;
    }
    if (o.noFollow)
        http.FollowRelocation = false;
    qint64 number = 0;
    if (!o.maxRelocations.isEmpty()) {
        if (!toNumber(o.maxRelocations, number))
            return UsageError("http");
        http.LocationChangeMaxCount = int(number);
    }
    const bool ownTimeout = !o.timeout.isEmpty();
    if (ownTimeout) {
        if (!toNumber(o.timeout, number))
            return UsageError("http");
        http.Timeout = quint32(number);
    }
    http.URL = TerminalToGbk(o.url);

    QFile output;
    if (!o.outputFile.isEmpty()) {
        output.setFileName(QString::fromLocal8Bit(o.outputFile));
        if (!output.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
            WriteErr("quellix-tool http: can't create " + o.outputFile + ": " + output.errorString().toUtf8() + "\n");
            return 2;
        }
        http.ReceiveStream = &output;
    } else {
        // Without a file the body streams to standard output as it arrives.
        http.OnDocData = [](THttpCli&, const char* buffer, int len) { std::fwrite(buffer, 1, size_t(len), stdout); };
    }
    QBuffer body;
    if (o.method == httpPOST) {
        body.setData(o.postBody);
        body.open(QIODevice::ReadOnly);
        http.SendStream = &body;
    }

    bool done = false;
    quint16 result = 0;
    http.OnRequestDone = [&](THttpCli& sender, THttpRequest, quint16 errCode) {
        std::fflush(stdout);
        printResults(sender, errCode);
        result = errCode;
        done = true;
    };

    if (o.method == httpPOST && o.blocking) {
        try {
            http.Post();
        } catch (const EHttpException& error) {
            // A request given up in Post reports its end after Post left.
            QElapsedTimer wait;
            wait.start();
            while (!done && wait.elapsed() < 5000)
                QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 100);
            WriteErr("EHttpException " + QByteArray::number(error.code()) + ": " + GbkToTerminal(error.message()) +
                     "\n");
            return 2;
        }
        return result == 0 ? 0 : 1;
    }

    switch (o.method) {
    case httpHEAD: http.HeadASync(); break;
    case httpPOST: http.PostASync(); break;
    default: http.GetASync(); break;
    }
    // The asynchronous requests have no time-out of their own; with
    // --timeout the tool abandons one that shows no progress for that long.
    QEventLoop loop;
    QTimer idle;
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    // Read by the timer until the request ends: lives as long as the loop.
    qint64 lastReceived = 0;
    if (ownTimeout) {
        // Progress: a state change or body bytes.
        http.OnStateChange = [&](THttpCli&, THttpState) { sinceProgress.restart(); };
        idle.setInterval(250);
        QObject::connect(&idle, &QTimer::timeout, [&] {
            if (http.RcvdCount() != lastReceived) {
                lastReceived = http.RcvdCount();
                sinceProgress.restart();
            } else if (sinceProgress.elapsed() >= qint64(http.Timeout) * 1000 && http.State() != httpReady) {
                http.Abort();
            }
        });
        idle.start();
    }
    while (!done)
        loop.processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return result == 0 ? 0 : 1;
}

const ToolCommand httpCommand("http", usage, runHttp);

}  // namespace
