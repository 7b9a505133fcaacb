// Placeholders so that the layer links while the real implementations are written; the owner of
// Registry, Profile, Trash and ShellOperations deletes this file when they land.
#include "platform/Profile.h"
#include "platform/Registry.h"
#include "platform/ShellOperations.h"
#include "platform/Trash.h"

namespace velmor::platform {

std::string ProfileGetString(const std::string&, std::string_view, std::string_view, std::string_view d, size_t) {
  return std::string(d);
}
bool ProfileWriteString(const std::string&, std::string_view, std::optional<std::string_view>,
                        std::optional<std::string_view>, uint32_t& error) {
  error = kErrorAccessDenied;
  return false;
}
bool MoveHostPathToTrash(const std::string&, uint32_t& error) {
  error = kErrorAccessDenied;
  return false;
}
bool ShellCopyHost(const std::string&, const std::string&, bool, const ShellConfirmReplace&, const ShellProgress&,
                   uint32_t& error) {
  error = kErrorAccessDenied;
  return false;
}
bool ShellRenameHost(const std::string&, const std::string&, uint32_t& error) {
  error = kErrorAccessDenied;
  return false;
}
bool DeleteHostTree(const std::string&, uint32_t& error) {
  error = kErrorAccessDenied;
  return false;
}
bool OpenHostPathWithAssociatedProgram(const std::string&) { return false; }

}  // namespace velmor::platform
