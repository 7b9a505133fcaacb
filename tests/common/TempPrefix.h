// A temporary Wine-prefix-shaped folder for one test: dosdevices/c: → drive_c, d: → drive_d,
// z: → /, drive_c/windows, and HOME, XDG_DATA_HOME, XDG_CONFIG_HOME, XDG_STATE_HOME and WINEPREFIX
// pointing into it (restored afterwards, as the process's working folder is). Removed with everything
// in it when the object goes away.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmor::testing {

// Sets (or, with nullopt, unsets) an environment variable for a scope.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, std::optional<std::string> value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> saved_;
};

class TempPrefix {
 public:
  TempPrefix();
  ~TempPrefix();
  TempPrefix(const TempPrefix&) = delete;
  TempPrefix& operator=(const TempPrefix&) = delete;

  const std::string& Root() const { return root_; }  // the prefix (host path)
  std::string DriveC() const { return root_ + "/drive_c"; }
  std::string DriveD() const { return root_ + "/drive_d"; }
  std::string Home() const { return root_ + "/home"; }

  // Writes a host file (relative paths are taken below Root()), creating its folders.
  void WriteFile(const std::string& path, std::string_view content) const;
  std::optional<std::string> ReadFile(const std::string& path) const;
  void MakeDir(const std::string& path) const;
  bool Exists(const std::string& path) const;
  // Adds the drive link dosdevices/<letter>: → target (relative or absolute host path).
  void AddDrive(char letter, const std::string& target) const;
  void RemoveDrive(char letter) const;
  // Writes system.reg with the given body after the standard header lines.
  void WriteRegistry(std::string_view body, bool win64 = false) const;
  std::string Abs(const std::string& path) const;
  // Bind-mounts the host folder source on the folder target (relative paths below Root()), in a mount
  // namespace of the test process's own, so that nothing outside it sees the mount; unmounted when the
  // prefix goes. Empty on success, else why it could not be done (a test skips then).
  std::string BindMount(const std::string& source, const std::string& target);

 private:
  std::string root_;
  std::string workingFolder_;
  std::vector<std::string> mounts_;
  std::deque<ScopedEnv> env_;
};

// A system.reg text: the standard header lines, then body.
std::string RegistryText(std::string_view body, bool win64 = false);

}  // namespace velmor::testing
