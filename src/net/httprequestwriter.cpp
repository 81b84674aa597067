#include "net/httprequestwriter.h"

namespace {

QByteArray oneLine(const QByteArray& value) {
    if (!value.contains('\r') && !value.contains('\n'))
        return value;
    QByteArray clean = value;
    clean.replace('\r', QByteArray()).replace('\n', QByteArray());
    return clean;
}

void addLine(QByteArray& out, const char* name, const QByteArray& value) {
    out += name;
    out += oneLine(value);
    out += "\r\n";
}

}  // namespace

QByteArray BuildHttpRequestHeader(const HttpRequestHead& head) {
    QByteArray out;
    out.reserve(256 + head.Target.size() + head.Accept.size() + head.Agent.size());
    out += oneLine(head.Method) + ' ' + oneLine(head.Target) + " HTTP/" + oneLine(head.Version) + "\r\n";
    if (!head.Accept.isEmpty())
        addLine(out, "Accept: ", head.Accept);
    if (!head.ContentType.isEmpty())
        addLine(out, "Content-Type: ", head.ContentType);
    if (!head.Agent.isEmpty())
        addLine(out, "User-Agent: ", head.Agent);
    QByteArray host = head.Host;
    if (!head.Port.isEmpty() && head.Port != "80")
        host += ":" + head.Port;
    addLine(out, "Host: ", host);
    if (head.NoCache)
        out += "Pragma: no-cache\r\n";
    if (head.ContentLength >= 0)
        addLine(out, "Content-Length: ", QByteArray::number(head.ContentLength));
    if (!head.RangeBegin.isEmpty() || !head.RangeEnd.isEmpty())
        addLine(out, "Range: bytes=", head.RangeBegin + "-" + head.RangeEnd);
    out += "\r\n";
    return out;
}
