#include "sitestandin.h"

#include "text/base64.h"
#include "text/scramble.h"

namespace {

// A query's field ("file_id" of "...?action=download&file_id=7&...").
QByteArray queryField(const QByteArray& path, const QByteArray& name) {
    const QByteArray query = path.mid(path.indexOf('?') + 1);
    for (const QByteArray& piece : query.split('&'))
        if (piece.startsWith(name + "="))
            return piece.mid(name.size() + 1);
    return {};
}

}  // namespace

SiteStandIn::SiteStandIn() {
    site.handler = [this](const FakeRequest& request) { return answer(request); };
}

FakeReply SiteStandIn::answer(const FakeRequest& request) {
    if (request.method == "HEAD")
        return {};
    if (request.method == "GET" && queryField(request.path, "action") == "download") {
        const QByteArray id = queryField(request.path, "file_id");
        return files.contains(id) ? DocumentReply(request, files.value(id)) : FakeReply{404, "not found"};
    }
    const QByteArray action = request.field("action");
    if (replies.contains(action))
        return replies.value(action);
    if (action == "login")
        return {200, "alice\r\nTOKEN42\r\n0\r\n"};
    if (action == "loadset") {
        const QByteArray settings = "127.0.0.1|uploader|pw|" + QByteArray::number(ftp.port()) + "|/up/|1|" +
                                    Base64Encode("Stand-in|x|http://127.0.0.1:1/|x|x|Blue|");
        return {200, "true|\r\n" + site.url() + "\r\n" + ServerSettingsCodec(settings, CodecDirection::Encode) +
                         "\r\n"};
    }
    if (action == "mydisk")
        return {200, folders.value(request.field("folder_id").toInt()).join("\r\n") + "\r\n"};
    if (action == "resume")
        return {200, "resume\r\n"};
    return {200, action + "\r\n"};
}

ProcessResult SiteStandIn::run(const QStringList& args, const QString& workDir) {
    SiteToolRun how;
    how.password = "secret";
    how.workDir = workDir;
    return RunSiteTool(args + QStringList{QStringLiteral("--site"), QString::fromUtf8(site.url()),
                                          QStringLiteral("--user"), QStringLiteral("alice")},
                       how);
}
