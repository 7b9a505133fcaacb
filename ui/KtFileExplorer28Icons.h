// Icons of the folder tree's nodes and files, from the desktop's icon theme (with the style's own
// pictures when the theme has none). The context menu's pictures are drawn in ui/Glyphs.
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

}  // namespace velmor::ui::explorer
