// Every picture of the window that is drawn in code instead of coming from the desktop's icon theme:
// the folder glyphs of the edit buttons, painted from rows of letters one pixel each, and the ten
// pictures of the folder tree's context menu. Each is drawn once and then shared.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace velmor::ui {

// The 14 x 12 picture of an opened folder on the buttons of the EXF folder fields.
QPixmap OpenFolderGlyph();
// The 14 x 12 picture of an open folder with a small bent arrow above it, on the directory edit's
// button.
QPixmap DirectoryEditGlyph();
// The 16 x 16 picture of the folder tree's context-menu entry with the given tag (1 to 10).
QIcon TreeMenuIcon(int tag);

}  // namespace velmor::ui
