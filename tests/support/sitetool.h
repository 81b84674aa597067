#pragma once
// Runs "quellix-tool site ..." as a user runs it: its own environment (the
// password in QUELLIX_PASSWORD or none), no terminal, a working folder.

#include "support/testutil.h"

#include <QByteArray>
#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

struct SiteToolRun {
    QString program;          // default: the build's quellix-tool
    QString workDir;          // default: the test's working folder
    QByteArray password;      // QUELLIX_PASSWORD; not set when `noPassword`
    bool noPassword = false;
    // The environment to start from; empty: this process's.
    QProcessEnvironment environment;
    int timeoutMs = 60000;
};

// `args` follow "site" (for example {"ls", "--site", url, "--user", name}).
ProcessResult RunSiteTool(const QStringList& args, const SiteToolRun& how = {});

// A request body or target with the account token (32 hexadecimal digits
// after "password=", fresh at every login) replaced by "TOKEN", so that the
// requests of two sessions compare byte for byte. A login's own body, whose
// "password=" is the digest of the password, stays as it is.
QByteArray WithoutToken(const QByteArray& bytes);
