// Placeholders so that the layer links while the real implementations are written; the owner of
// Registry, Profile, Trash and ShellOperations deletes this file when they land.
#include "platform/Profile.h"
#include "platform/Registry.h"
#include "platform/ShellOperations.h"
#include "platform/Trash.h"

namespace velmor::platform {

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
