#pragma once
// A stand-in for the site and its FTP server, for the site commands run as
// a user runs them: the scripted site answers the probe, the login,
// "loadset" (naming the scripted FTP server), the folder listings and file
// downloads from tables the test fills, and the registration requests with
// their own word unless the test scripts another reply. The tool runs as a
// process of its own while this process's event loop serves both.

#include "support/fakesite.h"
#include "support/scriptedftp.h"
#include "support/sitetool.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QStringList>

class SiteStandIn {
public:
    SiteStandIn();

    // "quellix-tool site ARGS --site URL --user alice" with the password.
    ProcessResult run(const QStringList& args, const QString& workDir);

    FakeSite site;
    ScriptedFtpServer ftp;
    // Listing lines by folder id (Name|Size|Type|IsFolder|Id|Created|Views|Downloads).
    QMap<int, QList<QByteArray>> folders;
    // File contents by file id.
    QMap<QByteArray, QByteArray> files;
    // Replies by action, instead of the defaults.
    QMap<QByteArray, FakeReply> replies;

private:
    FakeReply answer(const FakeRequest& request);
};
