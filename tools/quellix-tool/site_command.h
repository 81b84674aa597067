#pragma once
// quellix-tool site COMMAND: the site from the command line, on the same
// classes as the windows, so that every request carries the same bytes.
//
// A site command registers itself from its own source file with a static
// SiteCommand object. It gets the arguments after its name, with the
// options every site command shares already taken out (they may stand
// before or after the command's name):
//   --site URL            the site (else the program folder's quellix.cfg)
//   --user NAME           the account
//   --password-file FILE  the password (else QUELLIX_PASSWORD, else the
//                         keyring's saved login of the site and account,
//                         else a prompt without echo on a terminal; never
//                         an argument)
//   --proxy URL, --proxy-password-file FILE, --limit-rate RATE (net_options.h)
// A command reports a failure by raising SiteFailure: its text becomes one
// line on standard error and its code the exit status.

#include "command.h"
#include "net_options.h"

#include <QByteArray>
#include <functional>
#include <stdexcept>

namespace SiteExit {
constexpr int Ok = 0;
constexpr int Failed = 1;       // the site refused, a transfer failed, a file is missing...
constexpr int Usage = 2;        // wrong arguments
constexpr int Interrupted = 130;  // Ctrl+C
}  // namespace SiteExit

// A failure of a site command. `message` is terminal text (UTF-8).
class SiteFailure : public std::runtime_error {
public:
    explicit SiteFailure(const QByteArray& message, int exitCode = SiteExit::Failed)
        : std::runtime_error(message.toStdString()), exitCode_(exitCode) {}
    int exitCode() const noexcept { return exitCode_; }

private:
    int exitCode_;
};

struct SiteOptions {
    QByteArray site;          // --site, as typed (terminal text)
    QByteArray user;          // --user, as typed
    QByteArray passwordFile;  // --password-file
    bool hasSite = false;
    bool hasUser = false;
    bool hasPasswordFile = false;
    NetworkOptions network;
    // The run's connections (proxy, rate limit); every request goes through it.
    NetConnector* connector = nullptr;
};

// What a site command runs with.
struct SiteArgs : ToolArgs {
    QByteArray command;  // "ls", "get", ...
    SiteOptions options;

    // The next positional argument that is not an option; false when none.
    bool takeArgument(QByteArray& value);
    // Raises the usage error of this command (exit 2) when arguments are left.
    void expectNoMore() const;
    // Raises the usage error of this command.
    [[noreturn]] void usageError(const QByteArray& why = QByteArray()) const;
};

using SiteCommandFunction = std::function<int(SiteArgs&)>;

struct SiteCommand {
    // `usage`: the arguments after "site", such as "ls [FOLDER_ID] [--json]".
    SiteCommand(const char* name, const char* usage, SiteCommandFunction run);
};
