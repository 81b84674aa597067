#include "skinserver.h"

#include <algorithm>

namespace {
QByteArray queryField(const QByteArray& path, const QByteArray& name) {
    const QByteArray query = path.mid(path.indexOf('?') + 1);
    for (const QByteArray& pair : query.split('&'))
        if (pair.startsWith(name + "="))
            return pair.mid(name.size() + 1);
    return QByteArray();
}
}  // namespace

FakeSkinServer::FakeSkinServer() {
    server_.script = [this](const RangeRequest& request) -> std::optional<HttpReply> {
        const QByteArray action = queryField(request.path, "action");
        const QByteArray name = queryField(request.path, "skin_id");
        const QMap<QByteArray, QByteArray>& files = action == "downskin" ? packages : previews;
        const bool known = request.path.startsWith("/vendor/plugins/getskin.php?") && files.contains(name);
        const QByteArray document = known ? files.value(name) : QByteArray();
        if (fault)
            if (std::optional<HttpReply> reply = fault(request, document))
                return reply;
        if (!known)
            return HttpReply{"HTTP/1.0 404 Not Found\r\nContent-Length: 14\r\n\r\nskin not found"};
        return HttpReply{RangedReply(document, request)};
    };
}

QList<RangeRequest> FakeSkinServer::requestsFor(const QByteArray& action, const QByteArray& name) const {
    QList<RangeRequest> found;
    for (const RangeRequest& r : server_.requests())
        if (queryField(r.path, "action") == action && (name.isEmpty() || queryField(r.path, "skin_id") == name))
            found.append(r);
    return found;
}

QByteArray FakeSkinServer::RangedReply(const QByteArray& document, const RangeRequest& request, qsizetype bodyBytes) {
    const qint64 size = document.size();
    QByteArray head;
    QByteArray body;
    if (request.begin < 0) {
        head = "HTTP/1.1 200 OK\r\n";
        body = document;
    } else if (request.begin >= size) {
        head = "HTTP/1.1 416 Requested Range Not Satisfiable\r\n";
    } else {
        const qint64 last = request.end < 0 ? size - 1 : std::min(request.end, size - 1);
        head = "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + QByteArray::number(request.begin) + "-" +
               QByteArray::number(last) + "/" + QByteArray::number(size) + "\r\n";
        body = document.mid(request.begin, last - request.begin + 1);
    }
    head += "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n";
    return head + (bodyBytes >= 0 ? body.left(bodyBytes) : body);
}
