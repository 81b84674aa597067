// get: downloads one document with the multipart downloader, for operators
// checking a site's downloads and for measuring the downloader.

#include "command.h"
#include "net_options.h"
#include "net/multipartdownloader.h"
#include "text/errors.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <cstdio>

namespace {

const char* const usage =
    "get URL OUTFILE [--parts N] [--agent TEXT] [--proxy URL] [--proxy-password-file FILE] [--limit-rate RATE]";

// "812.4 Mbit/s" from kilobits per second.
QByteArray rateText(double kilobitsPerSecond) {
    char text[64];
    if (kilobitsPerSecond >= 1e6)
        std::snprintf(text, sizeof text, "%.2f Gbit/s", kilobitsPerSecond / 1e6);
    else if (kilobitsPerSecond >= 1e3)
        std::snprintf(text, sizeof text, "%.1f Mbit/s", kilobitsPerSecond / 1e3);
    else
        std::snprintf(text, sizeof text, "%.1f kbit/s", kilobitsPerSecond);
    return text;
}

QByteArray progressLine(const TMultipartHttpDownloader& down) {
    char text[160];
    std::snprintf(text, sizeof text, "%6.1f%%  %s  %.1f s\n", down.PercentDone(), rateText(down.CurSpeed()).constData(),
                  down.ElapsedTime() * 86400.0);
    return text;
}

int runGet(ToolArgs& args) {
    NetworkOptions network;
    QByteArray error;
    if (!TakeNetworkOptions(args, network, error))
        return UsageError("get");
    bool missing = false;
    QByteArray partsText = "2";
    QByteArray agent;
    args.takeOption("--parts", partsText, missing);
    const bool hasAgent = args.takeOption("--agent", agent, missing);
    if (missing || args.raw.size() != 2 || args.raw[0].startsWith('-') || args.raw[1].startsWith('-'))
        return UsageError("get");
    bool ok = false;
    const int parts = partsText.toInt(&ok);
    if (!ok)
        return UsageError("get");

    const std::unique_ptr<NetConnector> connector = MakeConnector(network, "get", error);
    if (!connector) {
        WriteErr("quellix-tool get: " + error + "\n");
        return 2;
    }

    QFile output(QString::fromLocal8Bit(args.raw[1]));
    // Unbuffered: every block goes from the receive buffer to the file at
    // once, at its own position.
    if (!output.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        WriteErr("quellix-tool get: can't create " + args.raw[1] + ": " + output.errorString().toUtf8() + "\n");
        return 2;
    }

    TMultipartHttpDownloader down;
    down.URL = TerminalToGbk(args.raw[0]);
    down.PartCount = parts;
    down.FileStream = &output;
    down.Connector = connector.get();
    if (hasAgent)
        down.Agent = TerminalToGbk(agent);

    // Progress at the statistics ticks (once a second) while the ranges run;
    // the final tick's figures are printed once, at the end.
    QElapsedTimer sincePrinted;
    down.OnShowStats = [&](TMultipartHttpDownloader& d) {
        if (d.state() != TMultipartHttpDownloader::State::RangesRunning || d.PercentDone() >= 100.0)
            return;
        if (sincePrinted.isValid() && sincePrinted.elapsed() < 250)
            return;
        sincePrinted.start();
        WriteErr(progressLine(d));
    };
    bool done = false;
    int errorCode = 0;
    QByteArray reason;
    down.OnRequestDone = [&](TMultipartHttpDownloader& d, int code, const QByteArray& text) {
        if (d.FileStream) {  // a failed transfer leaves the file to us
            d.FileStream->close();
            d.FileStream = nullptr;
        }
        errorCode = code;
        reason = text;
        done = true;
    };

    down.Start();  // raises "PartCount must be positive" for fewer than 2 parts
    QEventLoop loop;
    while (!done)
        loop.processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);

    if (errorCode == 200 && reason == "OK")
        WriteErr(progressLine(down));
    WriteErr("ErrorCode: " + QByteArray::number(errorCode) + "\nReason: " + GbkToTerminal(reason) + "\n");
    return errorCode == 200 && reason == "OK" ? 0 : 1;
}

const ToolCommand getCommand("get", usage, runGet);

}  // namespace
