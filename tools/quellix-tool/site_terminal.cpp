#include "site_terminal.h"

#include "command.h"
#include "net/nestedwait.h"

#include <QCoreApplication>
#include <QString>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iterator>
#include <termios.h>
#include <unistd.h>

bool StderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

QByteArray TerminalSafe(const QByteArray& utf8, bool keepLineBreaks) {
    QString text = QString::fromUtf8(utf8);
    for (QChar& c : text) {
        const char16_t code = c.unicode();
        const bool lineBreak = code == '\r' || code == '\n';
        if ((code < 0x20 && code != '\t' && !(keepLineBreaks && lineBreak)) || (code >= 0x7f && code <= 0x9f))
            c = QLatin1Char('?');
    }
    return text.toUtf8();
}

namespace {

termios savedTerminal;
termios quietTerminal;
volatile std::sig_atomic_t echoOff = 0;

// The signals that end the program while the prompt hides the typing:
// Ctrl+C, Ctrl+\, a kill, a closed terminal. Each gives the terminal back
// as it was before the program ends.
constexpr int kLeavingSignals[] = {SIGINT, SIGTERM, SIGQUIT, SIGHUP};

void restoreEchoAndLeave(int signal) {
    if (echoOff)
        tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    const char newline = '\n';
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, &newline, 1);
    _exit(128 + signal);
}

// Ctrl+Z: the shell gets the terminal back with echo, the program stops as
// usual, and when it continues the typing is hidden again.
void restoreEchoAndStop(int signal) {
    const int savedErrno = errno;
    if (echoOff)
        tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    struct sigaction byDefault = {};
    byDefault.sa_handler = SIG_DFL;
    sigaction(signal, &byDefault, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    raise(signal);  // stops here until continued
    struct sigaction again = {};
    again.sa_handler = restoreEchoAndStop;
    again.sa_flags = SA_RESTART;
    sigaction(signal, &again, nullptr);
    if (echoOff)
        tcsetattr(STDIN_FILENO, TCSANOW, &quietTerminal);
    errno = savedErrno;
}

std::atomic<bool> interrupted{false};

void noteInterrupt(int) { interrupted = true; }

}  // namespace

bool PromptPassword(const QByteArray& prompt, QByteArray& password) {
    if (isatty(STDIN_FILENO) != 1)
        return false;
    WriteErr(prompt);
    constexpr int kLeaving = int(std::size(kLeavingSignals));
    struct sigaction leave = {}, stop = {}, oldLeaving[kLeaving] = {}, oldStop = {};
    leave.sa_handler = restoreEchoAndLeave;
    stop.sa_handler = restoreEchoAndStop;
    stop.sa_flags = SA_RESTART;
    for (int i = 0; i < kLeaving; ++i)
        sigaction(kLeavingSignals[i], &leave, &oldLeaving[i]);
    sigaction(SIGTSTP, &stop, &oldStop);
    const bool canHide = tcgetattr(STDIN_FILENO, &savedTerminal) == 0;
    if (canHide) {
        quietTerminal = savedTerminal;
        quietTerminal.c_lflag &= ~tcflag_t(ECHO);
        quietTerminal.c_lflag |= ECHONL;
        echoOff = tcsetattr(STDIN_FILENO, TCSANOW, &quietTerminal) == 0;
    }
    QByteArray line;
    for (;;) {
        char c = 0;
        const ssize_t n = read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;  // a stop and a continue in the middle of the typing
        if (n != 1 || c == '\n')
            break;
        line.append(c);
    }
    if (echoOff)
        tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    echoOff = 0;
    for (int i = 0; i < kLeaving; ++i)
        sigaction(kLeavingSignals[i], &oldLeaving[i], nullptr);
    sigaction(SIGTSTP, &oldStop, nullptr);
    if (line.endsWith('\r'))
        line.chop(1);
    password = line;
    return true;
}

void CatchInterrupt() {
    struct sigaction note = {};
    note.sa_handler = noteInterrupt;
    sigaction(SIGINT, &note, nullptr);
    sigaction(SIGTERM, &note, nullptr);
    // A signal handler may only set a flag; the event loop turns it into
    // the end of every wait.
    auto* watch = new QTimer(QCoreApplication::instance());
    QObject::connect(watch, &QTimer::timeout, [] {
        if (interrupted)
            SetApplicationTerminating(true);
    });
    watch->start(50);
}

bool SiteInterrupted() { return interrupted; }

QByteArray RateText(double bytesPerSecond) {
    char text[32];
    if (bytesPerSecond >= 1e9)
        std::snprintf(text, sizeof text, "%.2f GB/s", bytesPerSecond / 1e9);
    else if (bytesPerSecond >= 1e6)
        std::snprintf(text, sizeof text, "%.1f MB/s", bytesPerSecond / 1e6);
    else if (bytesPerSecond >= 1e3)
        std::snprintf(text, sizeof text, "%.1f kB/s", bytesPerSecond / 1e3);
    else
        std::snprintf(text, sizeof text, "%.0f B/s", bytesPerSecond);
    return text;
}

QByteArray DurationText(qint64 seconds) {
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    else
        std::snprintf(text, sizeof text, "%02lld:%02lld", seconds / 60, seconds % 60);
    return text;
}

TransferProgress::TransferProgress(const QByteArray& label, qint64 total, bool terminal, int plainIntervalMs)
    : label_(label), total_(total), terminal_(terminal), plainIntervalMs_(plainIntervalMs) {
    clock_.start();
    samples_.append({0, 0});
}

double TransferProgress::rate() const {
    if (samples_.size() < 2)
        return 0;
    const Sample& first = samples_.first();
    const Sample& last = samples_.last();
    const qint64 ms = last.ms - first.ms;
    // A range that starts over reports fewer bytes than before: no rate
    // below zero.
    return ms > 0 ? std::max(0.0, double(last.bytes - first.bytes) * 1000.0 / double(ms)) : 0;
}

QByteArray TransferProgress::line(qint64 done) const {
    const int percent = total_ > 0 ? int(std::min<qint64>(done * 100 / total_, 100)) : 0;
    const double bytesPerSecond = rate();
    const qint64 elapsed = clock_.elapsed() / 1000;
    QByteArray left = "--:--";
    if (bytesPerSecond > 0 && total_ > done)
        left = DurationText(qint64(double(total_ - done) / bytesPerSecond + 0.5));
    else if (total_ > 0 && done >= total_)
        left = DurationText(0);
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, "%3d%%", percent);
    if (terminal_) {
        constexpr int width = 24;
        const int filled = percent * width / 100;
        return label_ + "  [" + QByteArray(filled, '#') + QByteArray(width - filled, '.') + "] " + numbers + "  " +
               RateText(bytesPerSecond) + "  " + DurationText(elapsed) + "  left " + left;
    }
    return label_ + ": " + numbers + "  " + RateText(bytesPerSecond) + "  elapsed " + DurationText(elapsed) +
           "  left " + left;
}

void TransferProgress::update(qint64 done) {
    const qint64 now = clock_.elapsed();
    if (samples_.last().ms != now)
        samples_.append({now, done});
    else
        samples_.last().bytes = done;
    // The rate over the last five seconds.
    while (samples_.size() > 2 && now - samples_[1].ms >= 5000)
        samples_.removeFirst();
    const int interval = terminal_ ? 100 : plainIntervalMs_;
    if (lastShownMs_ >= 0 && now - lastShownMs_ < interval)
        return;
    lastShownMs_ = now;
    WriteErr(terminal_ ? "\r" + line(done) + "\033[K" : line(done) + "\n");
}

void TransferProgress::finish(qint64 done) {
    if (finished_)
        return;
    finished_ = true;
    const qint64 now = clock_.elapsed();
    if (samples_.last().ms != now)
        samples_.append({now, done});
    WriteErr(terminal_ ? "\r" + line(done) + "\033[K\n" : line(done) + "\n");
}
