// Deleting to the desktop's trash (the freedesktop.org trash layout).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmor::platform {

// Moves a host file or folder into the trash of its file system. False (error in `error`) when no
// trash can take it (kErrorAccessDenied) or the path does not exist (kErrorFileNotFound).
bool MoveHostPathToTrash(const std::string& hostPath, uint32_t& error);

// The trash folders that may take a host path, in the order they are tried: the home trash
// ($XDG_DATA_HOME/Trash, else ~/.local/share/Trash) when it is on the path's file system, then
// $topdir/.Trash/$uid (only when $topdir/.Trash is a sticky folder) and $topdir/.Trash-$uid, where
// $topdir is the mount point of the path's file system.
std::vector<std::string> TrashFoldersFor(const std::string& hostPath);
// Moves a host file or folder into one trash folder (created when missing): a .trashinfo with the
// percent-encoded absolute path and the local deletion time in info/, the item under the same name
// (numbered when taken) in files/. False with kErrorAccessDenied when that trash cannot take it; the
// item is then where it was and no info file is left behind.
bool MoveHostPathToTrashFolder(const std::string& hostPath, const std::string& trashFolder, uint32_t& error);

}  // namespace velmor::platform
