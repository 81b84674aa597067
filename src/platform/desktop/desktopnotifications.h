#pragma once
// Desktop notifications through org.freedesktop.Notifications on the
// session bus: the summary and body of a notice, the program's icon
// ("quellix", as the package installs it into the icon theme) and its
// desktop entry. The call is sent without waiting for the answer; a desktop
// without a notification service shows nothing.

#include "platform/desktopnotice.h"

class DesktopNotifications : public NoticeSink {
public:
    void Show(const DesktopNotice& notice) override;

    QString AppName = QStringLiteral("Quellix");
    QString AppIcon = QStringLiteral("quellix");
    // How long the notice stays, ms; -1: the server's choice.
    int ExpireTimeoutMs = -1;
};
