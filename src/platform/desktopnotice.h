#pragma once
// A desktop notification as the program means it, and where it goes. The
// notification decisions (src/notify) fill it; the D-Bus adapter
// (platform/desktop/desktopnotifications.h) shows it, tests record it.

#include <QString>

struct DesktopNotice {
    QString summary;  // one line: what happened ("上传完成：12 个文件")
    QString body;     // more, or empty
};

class NoticeSink {
public:
    virtual ~NoticeSink() = default;
    virtual void Show(const DesktopNotice& notice) = 0;
};
