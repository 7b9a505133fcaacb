// Host implementation of IPlatform: the Windows world read from the Wine prefix.
// (Skeleton: every call fails until its implementation lands.)
#include "platform/Platform.h"

namespace velmor::platform {
namespace {

class HostPlatformImpl final : public IPlatform {
 public:
  uint32_t LastError() const override { return 0; }
  void SetLastError(uint32_t /*code*/) override { }
  std::string GetEnv(std::string_view /*name*/) override { return {}; }
  std::string PrefixDirectory() override { return {}; }
  std::string CurrentDirectory() override { return {}; }
  bool SetCurrentDirectory(std::string_view /*path*/) override { return false; }
  std::string ProgramDirectory() override { return {}; }
  std::string WindowsDirectory() override { return {}; }
  std::optional<std::string> FullPath(std::string_view /*path*/) override { return {}; }
  std::optional<std::string> ToHost(std::string_view /*windowsPath*/) override { return {}; }
  std::string ToWindows(std::string_view /*hostPath*/) override { return {}; }
  uint32_t LogicalDrives() override { return 0; }
  DriveType GetDriveType(char /*letter*/) override { return DriveType::NoRootDir; }
  bool DriveReady(char /*letter*/) override { return false; }
  bool DriveSpace(char /*letter*/, uint64_t& /*total*/, uint64_t& /*available*/) override { return false; }
  std::string DriveDisplayName(char /*letter*/) override { return {}; }
  std::string DriveTarget(char /*letter*/) override { return {}; }
  bool ConnectNetworkDrive(char /*letter*/, std::string_view /*hostFolder*/) override { return false; }
  bool DisconnectNetworkDrive(char /*letter*/) override { return false; }
  bool FileExists(std::string_view /*path*/) override { return false; }
  bool DirectoryExists(std::string_view /*path*/) override { return false; }
  uint32_t GetFileAttributes(std::string_view /*path*/) override { return 0; }
  bool SetFileAttributes(std::string_view /*path*/, uint32_t /*attributes*/) override { return false; }
  bool GetFileData(std::string_view /*path*/, FindData& /*out*/) override { return false; }
  bool CopyFile(std::string_view /*source*/, std::string_view /*target*/, bool /*failIfExists*/) override { return false; }
  bool DeleteFile(std::string_view /*path*/) override { return false; }
  bool CreateDirectory(std::string_view /*path*/) override { return false; }
  bool ForceDirectories(std::string_view /*path*/) override { return false; }
  bool RemoveDirectory(std::string_view /*path*/) override { return false; }
  bool MoveFile(std::string_view /*source*/, std::string_view /*target*/) override { return false; }
  std::unique_ptr<IFile> OpenFile(std::string_view /*path*/, OpenMode /*mode*/) override { return {}; }
  std::optional<std::string> ReadFile(std::string_view /*path*/, size_t /*maxBytes*/) override { return {}; }
  bool WriteFile(std::string_view /*path*/, std::string_view /*bytes*/) override { return false; }
  std::unique_ptr<IFolderListing> ListFolder(std::string_view /*folder*/) override { return {}; }
  std::vector<FindData> FindFiles(std::string_view /*pattern*/, uint32_t /*attributeFilter*/) override { return {}; }
  bool RegKeyExists(std::string_view /*key*/) override { return false; }
  std::optional<std::vector<std::string>> RegSubKeys(std::string_view /*key*/) override { return {}; }
  std::optional<std::string> RegString(std::string_view /*key*/, std::string_view /*name*/) override { return {}; }
  std::string GetPrivateProfileString(std::string_view /*section*/, std::string_view /*key*/, std::string_view /*defaultValue*/, std::string_view /*file*/, size_t /*bufferSize*/) override { return {}; }
  bool WritePrivateProfileString(std::string_view /*section*/, std::optional<std::string_view> /*key*/, std::optional<std::string_view> /*value*/, std::string_view /*file*/) override { return false; }
  bool ShellCopy(std::string_view /*source*/, std::string_view /*targetFolder*/, const ShellConfirmReplace& /*confirm*/, const ShellProgress& /*progress*/) override { return false; }
  bool ShellMove(std::string_view /*source*/, std::string_view /*targetFolder*/, const ShellConfirmReplace& /*confirm*/, const ShellProgress& /*progress*/) override { return false; }
  bool ShellRename(std::string_view /*source*/, std::string_view /*newPath*/) override { return false; }
  bool MoveToTrash(std::string_view /*path*/) override { return false; }
  bool DeleteTree(std::string_view /*path*/) override { return false; }
  bool OpenWithAssociatedProgram(std::string_view /*path*/) override { return false; }
  bool HostCreateDirectories(std::string_view /*hostPath*/) override { return false; }
  bool HostWriteFile(std::string_view /*hostPath*/, std::string_view /*bytes*/) override { return false; }
  bool HostSymlink(std::string_view /*target*/, std::string_view /*linkPath*/) override { return false; }
  std::string HostAbsolute(std::string_view /*hostPath*/) override { return {}; }
};

}  // namespace

IPlatform& HostPlatform() {
  static HostPlatformImpl instance;
  return instance;
}

}  // namespace velmor::platform
