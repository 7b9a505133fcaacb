// Icons of the folder tree: node icons from the desktop's icon theme (with the style's own pictures
// when the theme has none) and the ten pictures of the context menu, drawn in code.
#pragma once

#include <QIcon>
#include <QString>

#include "platform/Platform.h"

namespace velmor::ui::explorer {

// Makes the icon theme usable without a desktop session (no theme set: Adwaita from /usr/share/icons).
void EnsureIconTheme();

QIcon ComputerIcon();
QIcon DriveIcon(platform::DriveType type);
// Normal mode: the closed folder; selected mode: the open folder.
QIcon FolderIcon();
// The icon of a file type, judged by the file name only (the file is not read).
QIcon FileIcon(const QString& fileName);
// A 16 × 16 picture for the context-menu entry with the given tag (1 to 10).
QIcon MenuIcon(int tag);

}  // namespace velmor::ui::explorer
