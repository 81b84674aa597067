#include "net/httprelocation.h"

#include "net/httpurl.h"

HttpTarget HttpTargetFromUrl(QByteArrayView url) {
    const HttpUrlParts parts = ParseHttpUrl(url);
    HttpTarget target;
    target.Protocol = parts.Protocol.isEmpty() ? QByteArray("http") : parts.Protocol;
    target.Host = parts.Host;
    target.Port = parts.Port.isEmpty() ? DefaultHttpPort(target.Protocol) : parts.Port;
    target.Path = parts.Path;
    return target;
}

HttpRelocationTarget ResolveHttpRelocation(const HttpTarget& current, QByteArrayView value) {
    HttpRelocationTarget result;
    if (value.isEmpty())
        return result;
    const QByteArray lower = value.toByteArray().toLower();
    const bool absolute = lower.startsWith("http://") || lower.startsWith("https://");

    if (absolute || value.startsWith("//")) {
        const QByteArray address = absolute ? value.toByteArray() : current.Protocol + ":" + value.toByteArray();
        const HttpUrlParts parts = ParseHttpUrl(address);
        if (parts.Host.isEmpty())
            return result;
        result.Target.Protocol = parts.Protocol;
        result.Target.Host = parts.Host;
        result.Target.Port = parts.Port.isEmpty() ? DefaultHttpPort(parts.Protocol) : parts.Port;
        result.Target.Path = parts.Path.isEmpty() ? QByteArray("/") : parts.Path;
        result.Location = HttpAbsoluteAddress(result.Target.Protocol, result.Target.Host, result.Target.Port,
                                              parts.Path);
        result.Valid = true;
        return result;
    }

    result.Target = current;
    if (value.startsWith('/')) {
        result.Target.Path = value.toByteArray();
    } else {
        QByteArray folder = current.Path;
        const qsizetype query = folder.indexOf('?');
        if (query >= 0)
            folder.truncate(query);
        const qsizetype cut = std::max(folder.lastIndexOf('/'), folder.lastIndexOf(':'));
        folder.truncate(cut + 1);
        if (folder.isEmpty())
            folder = "/";  // the current path was empty: the server's root
        result.Target.Path = folder + value.toByteArray();
    }
    result.Location = HttpAbsoluteAddress(result.Target.Protocol, result.Target.Host, result.Target.Port,
                                          result.Target.Path);
    result.Valid = true;
    return result;
}
