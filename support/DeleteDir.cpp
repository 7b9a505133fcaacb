#include "support/DeleteDir.h"

#include "platform/Error.h"
#include "platform/Platform.h"

namespace velmor {

TCopyTree::TCopyTree(platform::IFileSystem& files) : Search(files), files_(files) {
  Search.OnFileMatch = [this](TFindFileEx&, const std::string& Folder, const TSearchRec& FileInfo) {
    FoundFiles.push_back(Folder + FileInfo.Name);
  };
}

void TCopyTree::CopyFiles() {
  platform::IFileSystem& os = files_;
  if (SourceFolder.empty() || !os.DirectoryExists(SourceFolder)) return;
  Search.Criteria().Files.Location = SourceFolder;
  Search.Criteria().Files.FileName = Masks;
  FoundFiles.clear();
  Search.Execute();
  if (FoundFiles.empty()) return;

  if (!TargetFolder.empty() && TargetFolder.back() != '\\') TargetFolder.push_back('\\');
  if (!os.DirectoryExists(TargetFolder)) {
    if (TargetFolder.empty()) throw VelmorError("Das Verzeichnis kann nicht erstellt werden");
    // A folder that cannot be created shows up as failing copies, which are passed over.
    os.ForceDirectories(TargetFolder);
  }

  // 128 means an ordinary file: the platform's "normal" clears read-only, hidden and system, which
  // makes the copy writable for the next run that overwrites it.
  const size_t total = FoundFiles.size();
  std::string target = TargetFolder;
  // The files that copies replace are freed in the background; all are gone when this returns.
  const platform::DeferredFrees frees;
  for (size_t i = 0; i < total; ++i) {
    const std::string& source = FoundFiles[i];
    if (OnProgress) OnProgress(i, total, source);
    const size_t slash = source.rfind('\\');
    target.resize(TargetFolder.size());
    target.append(slash == std::string::npos ? source : source.substr(slash + 1));
    // Every file lands flat in the target; a later file of the same name replaces an earlier one.
    os.CopyFile(source, target, false);
    os.SetFileAttributes(target, Attributes);
  }
  if (OnProgress) OnProgress(total, total, std::string());
}

}  // namespace velmor
