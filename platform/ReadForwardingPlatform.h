// The base of a wrapper of the file role that passes the calls which only look on to another file
// role: paths, folder listings, and the process's own current folder. The calls that read a file, and
// every call that changes a file or a folder, are left undecided: a wrapper built on this base does
// not compile until it has decided each of them, so a changing call added to the role can never slip
// through a wrapper unnoticed. (The last error needs no passing on: it is the thread's.)
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

namespace velmor::platform {

class ReadForwardingPlatform : public IFileSystem {
 public:
  explicit ReadForwardingPlatform(IFileSystem& inner) : inner_(inner) {}

  std::string CurrentDirectory() override { return inner_.CurrentDirectory(); }
  bool SetCurrentDirectory(std::string_view path) override { return inner_.SetCurrentDirectory(path); }
  std::optional<std::string> FullPath(std::string_view path) override { return inner_.FullPath(path); }
  std::optional<std::string> ToHost(std::string_view windowsPath) override {
    return inner_.ToHost(windowsPath);
  }
  std::string ToWindows(std::string_view hostPath) override { return inner_.ToWindows(hostPath); }
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

 protected:
  IFileSystem& inner_;
};

}  // namespace velmor::platform
