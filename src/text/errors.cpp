#include "text/errors.h"

#include <cstdio>

namespace {
ErrorReportSink& sinkSlot() {
    static ErrorReportSink sink;
    return sink;
}
}  // namespace

void SetErrorReportSink(ErrorReportSink sink) { sinkSlot() = std::move(sink); }

void ReportUnhandledError(const std::exception& error) {
    QByteArray className = "Exception";
    QByteArray message = error.what();
    if (auto* own = dynamic_cast<const QxError*>(&error)) {
        className = own->className();
        message = own->message();
    }
    if (sinkSlot()) {
        sinkSlot()(className, message);
        return;
    }
    std::fprintf(stderr, "%s: %s\n", className.constData(), message.constData());
}
