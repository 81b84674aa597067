#pragma once
// The error family of the program. Every failure is raised as one of these;
// the message is a GBK byte string, as every text of the system is.

#include <QByteArray>
#include <exception>
#include <functional>

// Base of all errors of the program: a message text and the name of the
// error's class, which some status texts and replies show.
class QxError : public std::exception {
public:
    explicit QxError(QByteArray message) : msg_(std::move(message)) {}
    const char* what() const noexcept override { return msg_.constData(); }
    const QByteArray& message() const noexcept { return msg_; }
    virtual const char* className() const noexcept { return "Exception"; }

private:
    QByteArray msg_;
};

// A text that does not convert to a number or a boolean.
class EConvertError : public QxError {
public:
    using QxError::QxError;
    const char* className() const noexcept override { return "EConvertError"; }
};

// An item index beyond the end of an item list.
class EStringListError : public QxError {
public:
    using QxError::QxError;
    const char* className() const noexcept override { return "EStringListError"; }
};

// A file that cannot be created, opened, written or closed.
class EInOutError : public QxError {
public:
    using QxError::QxError;
    const char* className() const noexcept override { return "EInOutError"; }
};

// A value outside its allowed range (for example a part count below 2).
class ERangeError : public QxError {
public:
    using QxError::QxError;
    const char* className() const noexcept override { return "ERangeError"; }
};

// Raised by the HTTP client: a request that cannot start, or a blocking post
// that ended with an error status. Carries a numeric code.
class EHttpException : public QxError {
public:
    EHttpException(QByteArray message, int code) : QxError(std::move(message)), code_(code) {}
    int code() const noexcept { return code_; }
    const char* className() const noexcept override { return "EHttpException"; }

private:
    int code_;
};

// Raised by the FTP client when a request cannot start.
class FtpException : public QxError {
public:
    using QxError::QxError;
    const char* className() const noexcept override { return "FtpException"; }
};

// The standard error report. An error that escapes an event handler is handed
// to the report sink instead of unwinding through the event loop; the
// application installs a sink that shows a message box, the default one
// prints the message to standard error.
using ErrorReportSink = std::function<void(const QByteArray& className, const QByteArray& message)>;
void SetErrorReportSink(ErrorReportSink sink);
void ReportUnhandledError(const std::exception& error);

// Runs one event handler; an error escaping it goes to the standard error
// report and the program goes on with the state it had reached.
template <class Handler>
void RunGuarded(Handler&& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        ReportUnhandledError(error);
    }
}
