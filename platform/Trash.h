// Deleting to the desktop's trash (XDG trash specification).
#pragma once

#include <cstdint>
#include <string>

namespace velmor::platform {

// Moves a host file or folder into the trash of its file system. False (error in `error`) when no
// trash can take it.
bool MoveHostPathToTrash(const std::string& hostPath, uint32_t& error);

}  // namespace velmor::platform
