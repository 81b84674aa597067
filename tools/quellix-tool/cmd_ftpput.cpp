// ftp-put: stores one local file on an FTP server the way the upload run
// does: a blocking Open, and from inside its wait each completion starts the
// next request (USER, PASS, CWD, TYPE I, optionally SIZE, then one store and
// QUIT). With TLS (--tls auto, the default, or require) the log-in and the
// file are protected when the server offers AUTH TLS; --cacert trusts a PEM
// file's certificates besides the system's. The password comes from
// --password-file, QUELLIX_FTP_PASSWORD or a prompt without echo; --pass
// still works but shows it to every user of the machine (ps, /proc).

#include "command.h"
#include "net_options.h"
#include "site_session.h"
#include "site_terminal.h"
#include "net/ftpclient.h"
#include "net/ftpfailure.h"
#include "text/gbk.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <cstdlib>

namespace {

const char kUsage[] =
    "ftp-put --host H [--port P] --user U [--password-file FILE] --dir D [--passive|--active] [--resume] "
    "[--timeout S] [--retries N] [--retry-wait S] [--tls never|auto|require] [--cacert FILE] [--verbose] "
    "[--proxy URL] [--proxy-password-file FILE] [--limit-rate RATE] LOCAL REMOTE\n"
    "  The password: the first line of FILE, else QUELLIX_FTP_PASSWORD, else asked without echo.\n"
    "  --pass W still works, but every user of the machine can read it in the process list.\n"
    "  A store broken by the network (connection lost, time-out, 421/425/426) is tried again: it logs\n"
    "  in again, asks SIZE and continues with REST from the server's size, at once after a try that\n"
    "  sent bytes, else after S, 2.5 S, 5 S ... seconds (default S = 2); N tries in a row that send\n"
    "  nothing (default 3) end it. A 4xx reply to REST or AUTH TLS is such a break too. 530, 550, 552,\n"
    "  553, TLS and local file errors fail at once. A server that once took TLS never gets the log-in\n"
    "  in plain text again.";

// Retries wait longer each time: 1, 2.5 and 5 times the base wait, then 5.
double RetryDelayFactor(int attempt) {
    static const double factors[] = {1.0, 2.5, 5.0};
    return factors[std::min(attempt, 2)];
}

void SleepProcessingEvents(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

QByteArray rateText(double bytesPerSecond) {
    return QByteArray::number(bytesPerSecond / (1024.0 * 1024.0), 'f', 1) + " MiB/s";
}

class FtpPutRun {
public:
    FtpPutRun(bool resume, qint64 localSize, bool verbose) : resume_(resume), localSize_(localSize) {
        ftp.OnRequestDone = [this](TFtpClient&, TFtpRequest rqType, quint16 errCode) { onDone(rqType, errCode); };
        ftp.OnProgress64 = [this](TFtpClient&, qint64 count, bool&) { onProgress(count); };
        if (verbose) {
            ftp.OnDisplay = [](TFtpClient&, QByteArray& msg) {
                // The password stays off the terminal.
                WriteErr(GbkToTerminal(msg.startsWith("> PASS ") ? QByteArray("> PASS ******") : msg) + "\n");
            };
        }
    }

    // Runs the whole dialogue; true when the file is on the server.
    bool run() {
        const bool opened = ftp.Open();
        // A wait that timed out leaves the aborted request's completion to
        // be delivered.
        QCoreApplication::processEvents();
        if (!opened && !failed_ && !done_) {
            failed_ = true;
            errorText_ = ftp.ErrorMessage();
        }
        return done_ && !failed_;
    }

    // The code and text of the failure that ended the run: a completion's
    // error code, or the client's own code when a wait timed out.
    int failureCode() const { return errCode_ != 0 ? errCode_ : ftp.StatusCode(); }
    // The furthest file offset this try handed to the server beyond where
    // it started, or -1 when it sent nothing.
    qint64 reached() const { return lastCount_ > startOffset_ ? lastCount_ : -1; }
    QByteArray failureText() const { return ftp.LastResponse(); }

    void printResult() const {
        if (ftp.TlsActive())
            WriteOut(QByteArray("TLS: ") + ftp.TlsDescription() +
                     (ftp.DataProtected() ? ", data protected\n" : ", data in plain text\n"));
        else if (!ftp.TlsFailure().isEmpty())
            WriteOut("TLS: failed, " + ftp.TlsFailure() + "\n");
        WriteOut("ErrCode: " + QByteArray::number(errCode_) + "\n");
        WriteOut("StatusCode: " + QByteArray::number(ftp.StatusCode()) + "\n");
        WriteOut("LastResponse: " + GbkToTerminal(ftp.LastResponse()) + "\n");
        if (!errorText_.isEmpty())
            WriteOut("ErrorMessage: " + GbkToTerminal(errorText_) + "\n");
    }

    TFtpClient ftp;

private:
    // A failed request ends the run where it is, as in the upload run.
    void onDone(TFtpRequest rqType, quint16 errCode) {
        // A refused SIZE only means the server holds no such file yet;
        // startStore reads its outcome and sends the file from the start.
        if (errCode != 0 && rqType == ftpSizeAsync)
            return;
        if (errCode != 0) {
            if (!failed_) {
                failed_ = true;
                errCode_ = errCode;
                errorText_ = ftp.ErrorMessage();
            }
            return;
        }
        switch (rqType) {
        case ftpOpenAsync: ftp.User(); break;
        case ftpUserAsync: ftp.Pass(); break;
        case ftpPassAsync: ftp.Cwd(); break;
        case ftpCwdAsync: ftp.TypeSet(); break;
        case ftpTypeSetAsync: startStore(); break;
        case ftpPutAsync:
            finishProgress();
            done_ = true;
            ftp.Quit();
            break;
        default: break;
        }
    }

    // With --resume: a complete remote file is skipped, a partial one
    // continued with REST, anything else sent from the start.
    void startStore() {
        ftp.ResumeAt = 0;
        try {
            if (resume_) {
                const qint64 remote = ftp.Size() ? ftp.SizeResult() : 0;
                if (remote > 0 && remote >= localSize_) {
                    WriteErr("Remote file is complete (" + QByteArray::number(remote) + " bytes); nothing to send\n");
                    done_ = true;
                    ftp.Quit();
                    return;
                }
                if (remote > 0) {
                    WriteErr("Resuming at " + QByteArray::number(remote) + " bytes\n");
                    ftp.ResumeAt = remote;
                    startOffset_ = remote;
                    clock_.start();
                    ftp.RestPutAsync();
                    return;
                }
            }
            clock_.start();
            ftp.PutAsync();
        } catch (const QxError& error) {
            failed_ = true;
            errorText_ = error.message();
            throw;  // the client drops the connection, as in the upload run
        }
    }

    // At most four lines a second, and the last one at the end.
    void onProgress(qint64 count) {
        lastCount_ = count;
        if (lastPrintMs_ >= 0 && clock_.elapsed() - lastPrintMs_ < 250)
            return;
        lastPrintMs_ = clock_.elapsed();
        printProgress(count);
    }

    void finishProgress() {
        if (lastCount_ >= 0 && lastCount_ != lastPrintedCount_)
            printProgress(lastCount_);
    }

    void printProgress(qint64 count) {
        lastPrintedCount_ = count;
        const double percent = localSize_ > 0 ? 100.0 * double(count) / double(localSize_) : 100.0;
        const double seconds = std::max<qint64>(clock_.elapsed(), 1) / 1000.0;
        WriteErr(QByteArray::number(percent, 'f', 1).rightJustified(6) + "%  " + QByteArray::number(count) + " of " +
                 QByteArray::number(localSize_) + " bytes  " + rateText(double(count - startOffset_) / seconds) +
                 "\n");
    }

    bool resume_;
    qint64 localSize_;
    bool done_ = false;
    bool failed_ = false;
    quint16 errCode_ = 0;
    QByteArray errorText_;
    QElapsedTimer clock_;
    qint64 startOffset_ = 0;
    qint64 lastPrintMs_ = -1;
    qint64 lastCount_ = -1;
    qint64 lastPrintedCount_ = -1;
};

int runFtpPut(ToolArgs& args) {
    NetworkOptions network;
    QByteArray error;
    if (!TakeNetworkOptions(args, network, error))
        return UsageError("ftp-put");
    bool missing = false;
    QByteArray host, port = "21", user, pass, dir, timeout = "15", tls = "auto", caFile;
    const bool hasHost = args.takeOption("--host", host, missing);
    args.takeOption("--port", port, missing);
    const bool hasUser = args.takeOption("--user", user, missing);
    const bool hasPass = args.takeOption("--pass", pass, missing);
    QByteArray passwordFile;
    const bool hasPasswordFile = args.takeOption("--password-file", passwordFile, missing);
    const bool hasDir = args.takeOption("--dir", dir, missing);
    args.takeOption("--timeout", timeout, missing);
    args.takeOption("--tls", tls, missing);
    const bool hasCaFile = args.takeOption("--cacert", caFile, missing);
    const bool passive = args.takeFlag("--passive");
    const bool active = args.takeFlag("--active");
    const bool resume = args.takeFlag("--resume");
    const bool verbose = args.takeFlag("--verbose");
    QByteArray retriesText = "3", retryWaitText = "2";
    args.takeOption("--retries", retriesText, missing);
    args.takeOption("--retry-wait", retryWaitText, missing);
    bool timeoutOk = false, retriesOk = false, waitOk = false;
    const int timeoutSeconds = timeout.toInt(&timeoutOk);
    const int retries = retriesText.toInt(&retriesOk);
    const double retryWait = retryWaitText.toDouble(&waitOk);
    const bool tlsOk = tls == "never" || tls == "auto" || tls == "require";
    if (missing || !hasHost || !hasUser || !hasDir || (passive && active) || !timeoutOk || !tlsOk || !retriesOk ||
        retries < 0 || !waitOk || retryWait < 0 || args.raw.size() != 2 || (hasPass && hasPasswordFile))
        return UsageError("ftp-put");
    if (hasPass) {
        WriteErr("ftp-put: warning: --pass shows the password to every user of this machine (ps, /proc); "
                 "use --password-file FILE or QUELLIX_FTP_PASSWORD\n");
    } else if (hasPasswordFile) {
        try {
            pass = ReadPasswordFile(passwordFile);
        } catch (const SiteFailure& failure) {
            WriteErr(QByteArray("ftp-put: ") + failure.what() + "\n");
            return 1;
        }
    } else if (const char* fromEnvironment = std::getenv("QUELLIX_FTP_PASSWORD")) {
        pass = fromEnvironment;
    } else if (!PromptPassword("FTP password for " + TerminalSafe(user) + "@" + TerminalSafe(host) + ": ", pass)) {
        WriteErr("ftp-put: no password: give --password-file FILE or set QUELLIX_FTP_PASSWORD\n");
        return 2;
    }

    // One connector for every try: the limit holds for the whole run.
    const std::unique_ptr<NetConnector> connector = MakeConnector(network, "ftp-put", error);
    if (!connector) {
        WriteErr("ftp-put: " + error + "\n");
        return 2;
    }

    const QString local = QString::fromLocal8Bit(args.raw[0]);
    const QFileInfo info(local);
    if (!info.isFile()) {
        WriteErr("ftp-put: no such file: " + args.raw[0] + "\n");
        return 1;
    }
    // After a broken try the server holds part of the file: every retry
    // asks SIZE and continues from there. Only tries that sent nothing
    // count against the bound and wait before the next one.
    int idleRetries = 0;
    qint64 best = -1;
    // Every try's client shares what it learnt: a server that took TLS once
    // is never logged in to in plain text by a later try.
    FtpTlsServers tlsServers;
    for (int attempt = 0;; ++attempt) {
        FtpPutRun run(resume || attempt > 0, info.size(), verbose);
        TFtpClient& ftp = run.ftp;
        ftp.Connector = connector.get();
        ftp.TlsServers = &tlsServers;
        ftp.TlsMode = tls == "never" ? TFtpTlsMode::Never
                      : tls == "require" ? TFtpTlsMode::Required
                                         : TFtpTlsMode::IfOffered;
        if (hasCaFile && ftp.AddTrustedCertificates(QString::fromLocal8Bit(caFile)) == 0) {
            WriteErr("ftp-put: no PEM certificate in " + caFile + "\n");
            return 1;
        }
        ftp.HostName = TerminalToGbk(host);
        ftp.Port = port;
        ftp.UserName = TerminalToGbk(user);
        ftp.PassWord = TerminalToGbk(pass);
        ftp.HostDirName = TerminalToGbk(dir);
        ftp.HostFileName = TerminalToGbk(args.raw[1]);
        ftp.LocalFileName = local;
        ftp.Passive = !active;
        ftp.Binary = true;
        ftp.Timeout = timeoutSeconds;
        const bool stored = run.run();
        const bool progressed = run.reached() > best;
        best = std::max(best, run.reached());
        if (progressed)
            idleRetries = 0;
        // A TLS failure is never worth another try: the certificate or the
        // server's refusal stays what it is.
        if (stored || idleRetries >= retries || !ftp.TlsFailure().isEmpty() ||
            !IsTransientFtpFailure(run.failureCode(), run.failureText(), ftp.FailedCommand())) {
            run.printResult();
            return stored ? 0 : 1;
        }
        if (progressed) {
            WriteErr("Connection broke (" + GbkToTerminal(run.failureText()) + "); continuing\n");
            continue;
        }
        const double seconds = retryWait * RetryDelayFactor(idleRetries);
        ++idleRetries;
        WriteErr("Connection broke (" + GbkToTerminal(run.failureText()) + "); retry " +
                 QByteArray::number(idleRetries) + " of " + QByteArray::number(retries) + " in " +
                 QByteArray::number(seconds, 'g', 3) + " s\n");
        SleepProcessingEvents(int(seconds * 1000));
    }
}

const ToolCommand ftpPutCommand("ftp-put", kUsage, runFtpPut);

}  // namespace
