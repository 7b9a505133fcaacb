// Folder operations of the shell on host paths: copy or move into a folder, rename, delete a tree,
// open with the associated program.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Platform.h"

namespace velmor::platform {

// Copies (or moves) a file or folder into targetFolder under its own name; missing target folders are
// created; a folder into itself or one of its sub-folders is refused. Existing files are replaced only
// when confirm says so. False with `error` set when not done completely or cancelled.
bool ShellCopyHost(const std::string& source, const std::string& targetFolder, bool move,
                   const ShellConfirmReplace& confirm, const ShellProgress& progress, uint32_t& error);
// Fails when the new name exists or the source is missing.
bool ShellRenameHost(const std::string& source, const std::string& target, uint32_t& error);
bool DeleteHostTree(const std::string& path, uint32_t& error);
bool OpenHostPathWithAssociatedProgram(const std::string& path);

}  // namespace velmor::platform
