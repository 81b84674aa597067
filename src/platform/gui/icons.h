#pragma once
// File-type icons for names that need not exist on this machine: the icon
// follows from the name's extension and the folder flag alone.

#include <QIcon>
#include <QString>

// Index of the icon for `name` (a name or a path, possibly empty) in the
// system image lists; folderFlag 1 for a folder, 0 for a file.
int GetSystemIconIndexA(const QString& name, int folderFlag);

// One of the two image lists over the same icon indices: small (16 pixels)
// and large (32 pixels). New indices appear as new file types are asked for.
class SystemImageList {
public:
    explicit SystemImageList(int iconSize) : iconSize_(iconSize) {}
    int iconSize() const { return iconSize_; }
    int count() const;
    // The icon at `index`; the plain file icon for an index out of range.
    QIcon icon(int index) const;

private:
    int iconSize_;
};

// sizeFlag 1 gives the small list, 0 the large one. The lists live as long as
// the program.
const SystemImageList* GetSystemImageListHandle(int sizeFlag);
