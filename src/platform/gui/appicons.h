#pragma once
// The tool bar, tab and menu pictures of the windows, by name: "ico_home",
// "ico_back", "ico_upfile", "ico_folder", "ico_disk", "ico_task",
// "ico_upload", "ico_skin". Drawn as vector shapes so they stay crisp at
// every size and need no files.

#include <QIcon>
#include <QString>

QIcon NamedIcon(const QString& name);
