// The base of a platform wrapper that passes the reading calls on to another platform: the calls that
// only look (drives, paths, folder listings, registry, profiles, processes) and the ones that set the
// process's own state (the last error, the current folder). Every call that changes a file, a folder,
// a drive, a profile or the host is left undecided: a wrapper built on this base does not compile
// until it has decided each of them, so a changing call added to the interface can never slip through
// a wrapper unnoticed.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

namespace velmor::platform {

class ReadForwardingPlatform : public IPlatform {
 public:
  explicit ReadForwardingPlatform(IPlatform& inner) : inner_(inner) {}

  uint32_t LastError() const override { return inner_.LastError(); }
  void SetLastError(uint32_t code) override { inner_.SetLastError(code); }
  std::string GetEnv(std::string_view name) override { return inner_.GetEnv(name); }
  std::string PrefixDirectory() override { return inner_.PrefixDirectory(); }
  std::string CurrentDirectory() override { return inner_.CurrentDirectory(); }
  bool SetCurrentDirectory(std::string_view path) override { return inner_.SetCurrentDirectory(path); }
  std::string ProgramDirectory() override { return inner_.ProgramDirectory(); }
  std::string WindowsDirectory() override { return inner_.WindowsDirectory(); }
  std::optional<std::string> FullPath(std::string_view path) override { return inner_.FullPath(path); }
  std::optional<std::string> ToHost(std::string_view windowsPath) override {
    return inner_.ToHost(windowsPath);
  }
  std::string ToWindows(std::string_view hostPath) override { return inner_.ToWindows(hostPath); }
  uint32_t LogicalDrives() override { return inner_.LogicalDrives(); }
  DriveType GetDriveType(char letter) override { return inner_.GetDriveType(letter); }
  bool DriveReady(char letter) override { return inner_.DriveReady(letter); }
  bool DriveSpace(char letter, uint64_t& total, uint64_t& available) override {
    return inner_.DriveSpace(letter, total, available);
  }
  std::string DriveDisplayName(char letter) override { return inner_.DriveDisplayName(letter); }
  std::string DriveTarget(char letter) override { return inner_.DriveTarget(letter); }
  std::unique_ptr<IFolderListing> ListFolder(std::string_view folder) override {
    return inner_.ListFolder(folder);
  }
  std::vector<FindData> FindFiles(std::string_view pattern,
                                  uint32_t attributeFilter = kAttrAnyEntry) override {
    return inner_.FindFiles(pattern, attributeFilter);
  }
  std::optional<FolderId> GetFolderId(std::string_view folder) override { return inner_.GetFolderId(folder); }
  std::optional<std::string> ReadLink(std::string_view path) override { return inner_.ReadLink(path); }
  bool FileLockedByOther(std::string_view path) override { return inner_.FileLockedByOther(path); }
  FolderMounts MountsBelow(std::string_view folder) override { return inner_.MountsBelow(folder); }
  bool RegKeyExists(std::string_view key) override { return inner_.RegKeyExists(key); }
  std::optional<std::vector<std::string>> RegSubKeys(std::string_view key) override {
    return inner_.RegSubKeys(key);
  }
  std::optional<std::string> RegString(std::string_view key, std::string_view name) override {
    return inner_.RegString(key, name);
  }
  std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                      std::string_view defaultValue, std::string_view file,
                                      size_t bufferSize = 2048) override {
    return inner_.GetPrivateProfileString(section, key, defaultValue, file, bufferSize);
  }
  std::string HostAbsolute(std::string_view hostPath) override { return inner_.HostAbsolute(hostPath); }
  int64_t ProcessId() override { return inner_.ProcessId(); }
  bool ProcessRunning(int64_t pid) override { return inner_.ProcessRunning(pid); }
  std::optional<uint64_t> ProcessStartTime(int64_t pid) override { return inner_.ProcessStartTime(pid); }
  ProcessIdentity ThisProcess() override { return inner_.ThisProcess(); }

 protected:
  IPlatform& inner_;
};

}  // namespace velmor::platform
