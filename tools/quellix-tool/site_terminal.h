#pragma once
// The terminal side of the site commands: the password prompt without
// echo, Ctrl+C, and the progress of a transfer (a bar redrawn in place on a
// terminal, plain lines otherwise).

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>

// True when standard error (where progress goes) is a terminal.
bool StderrIsTerminal();
bool StdoutIsTerminal();

// Text from the site (UTF-8) made harmless for a terminal: control
// characters (C0 other than tab, CR and LF when `keepLineBreaks`, DEL, C1)
// become "?", so that a name or message cannot carry escape sequences that
// rewrite the screen or the terminal's settings.
QByteArray TerminalSafe(const QByteArray& utf8, bool keepLineBreaks = false);

// Asks for a password on the terminal without echo; nothing when standard
// input is no terminal. The bytes are terminal text (UTF-8). The terminal
// gets its echo back whatever ends the prompt: Enter, Ctrl+C, Ctrl+\, a
// kill, and for the time the program is stopped by Ctrl+Z.
bool PromptPassword(const QByteArray& prompt, QByteArray& password);

// From this call on, Ctrl+C (SIGINT, also SIGTERM) does not end the process
// at once: SiteInterrupted() becomes true and, from the next pass of the
// event loop, every nested wait gives up, so a transfer stops where it is
// and the command ends cleanly with SiteExit::Interrupted.
void CatchInterrupt();
bool SiteInterrupted();

// "12.3 MB/s" from bytes per second; "00:42" or "1:02:03" from seconds.
QByteArray RateText(double bytesPerSecond);
QByteArray DurationText(qint64 seconds);

// The progress of one transfer of `total` bytes, on standard error. On a
// terminal: one line redrawn in place (at most 10 times a second) with a
// bar, the percentage, the rate, the time elapsed and the time left. Not on a
// terminal: a plain line at most every `plainIntervalMs`.
class TransferProgress {
public:
    TransferProgress(const QByteArray& label, qint64 total, bool terminal = StderrIsTerminal(),
                     int plainIntervalMs = 1000);
    // `done`: the bytes transferred so far.
    void update(qint64 done);
    // The last line: the bar completed (or left where it stopped) and a line
    // break on a terminal, a last plain line otherwise.
    void finish(qint64 done);

    // The line as shown now (without "\r" or line break).
    QByteArray line(qint64 done) const;

private:
    double rate() const;  // bytes per second over the last few seconds

    QByteArray label_;
    qint64 total_;
    bool terminal_;
    int plainIntervalMs_;
    QElapsedTimer clock_;
    qint64 lastShownMs_ = -1;
    bool finished_ = false;
    struct Sample {
        qint64 ms;
        qint64 bytes;
    };
    QList<Sample> samples_;
};
