#include "net/httpurl.h"

#include "text/gbk.h"

#include <algorithm>

namespace {

bool isProtocolChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

}  // namespace

HttpUrlParts ParseHttpUrl(QByteArrayView url) {
    HttpUrlParts parts;
    QByteArrayView rest = url;
    const qsizetype scheme = url.indexOf("://");
    if (scheme > 0) {
        const QByteArray protocol = url.first(scheme).toByteArray().toLower();
        if (std::all_of(protocol.begin(), protocol.end(), isProtocolChar)) {
            parts.Protocol = protocol;
            rest = url.sliced(scheme + 3);
        }
    }
    if (parts.Protocol.isEmpty()) {
        if (rest.startsWith("//")) {
            rest = rest.sliced(2);  // "//host/path": host relative to the protocol
        } else if (rest.startsWith('/')) {
            parts.Path = rest.toByteArray();  // a bare path
            return parts;
        }
    }

    qsizetype hostEnd = rest.size();
    for (qsizetype i = 0; i < rest.size(); ++i) {
        if (rest[i] == '/' || rest[i] == '?') {
            hostEnd = i;
            break;
        }
    }
    QByteArrayView hostPart = rest.first(hostEnd);
    parts.Path = rest.sliced(hostEnd).toByteArray();

    const qsizetype at = hostPart.lastIndexOf('@');
    if (at >= 0) {
        const QByteArrayView userInfo = hostPart.first(at);
        const qsizetype colon = userInfo.indexOf(':');
        parts.User = (colon >= 0 ? userInfo.first(colon) : userInfo).toByteArray();
        if (colon >= 0)
            parts.Password = userInfo.sliced(colon + 1).toByteArray();
        hostPart = hostPart.sliced(at + 1);
    }

    qsizetype portColon = -1;
    if (hostPart.startsWith('[')) {
        const qsizetype close = hostPart.indexOf(']');
        if (close >= 0 && close + 1 < hostPart.size() && hostPart[close + 1] == ':')
            portColon = close + 1;
    } else {
        portColon = hostPart.lastIndexOf(':');
    }
    if (portColon >= 0) {
        parts.Port = hostPart.sliced(portColon + 1).toByteArray();
        hostPart = hostPart.first(portColon);
    }
    parts.Host = hostPart.toByteArray();
    return parts;
}

QByteArray DefaultHttpPort(const QByteArray& protocol) { return protocol == "https" ? "443" : "80"; }

quint16 HttpPortNumber(const QByteArray& portText, const QByteArray& protocol) {
    const QByteArray text = portText.isEmpty() ? DefaultHttpPort(protocol) : portText;
    if (text.isEmpty() || text.size() > 5)
        return 0;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return 0;
        value = value * 10 + (c - '0');
    }
    return value >= 1 && value <= 65535 ? quint16(value) : 0;
}

QByteArray HostForLookup(const QByteArray& host) {
    if (host.size() >= 2 && host.startsWith('[') && host.endsWith(']'))
        return host.mid(1, host.size() - 2);
    return host;
}

QByteArray HttpRequestTarget(const QByteArray& path) {
    QByteArray target = path;
    const qsizetype hash = target.indexOf('#');
    if (hash >= 0)
        target.truncate(hash);
    if (target.isEmpty())
        return "/";
    if (target.contains('\r') || target.contains('\n') || target.contains('\0')) {
        QByteArray safe;
        for (char c : target) {
            if (c == '\r') safe += "%0D";
            else if (c == '\n') safe += "%0A";
            else if (c == '\0') safe += "%00";
            else safe += c;
        }
        target = safe;
    }
    return target;
}

QByteArray HttpDocName(const QByteArray& path) {
    QByteArray name = path;
    for (char stop : {'?', '#'}) {
        const qsizetype at = name.indexOf(stop);
        if (at >= 0)
            name.truncate(at);
    }
    if (name.isEmpty() || name.endsWith('/'))
        return "document.htm";
    name = name.mid(name.lastIndexOf('/') + 1);
    if (name.size() > 255) {
        // Cut at a character boundary: walk the double-byte pairs from the start.
        qsizetype keep = 0;
        while (keep < name.size()) {
            const qsizetype width = IsGbkLeadByte(static_cast<unsigned char>(name[keep])) ? 2 : 1;
            if (keep + width > 255)
                break;
            keep += width;
        }
        name.truncate(keep);
    }
    return name;
}

QByteArray HttpDocNameForContentType(const QByteArray& docName, const QByteArray& contentType) {
    // The media type without parameters: "text/html; charset=gbk" is HTML too.
    QByteArray mediaType = contentType;
    const qsizetype semicolon = mediaType.indexOf(';');
    if (semicolon >= 0)
        mediaType.truncate(semicolon);
    if (mediaType.trimmed().toLower() != "text/html")
        return docName;
    const qsizetype dot = docName.lastIndexOf('.');
    if (dot < 0)
        return docName + ".htm";
    if (docName.mid(dot).toLower() == ".exe")
        return docName.left(dot + 1) + "htm";
    return docName;
}

QByteArray HttpAbsoluteAddress(const QByteArray& protocol, const QByteArray& host, const QByteArray& port,
                               const QByteArray& path) {
    QByteArray address = (protocol.isEmpty() ? QByteArray("http") : protocol) + "://" + host;
    if (!port.isEmpty() && port != DefaultHttpPort(protocol))
        address += ":" + port;
    return address + path;
}
