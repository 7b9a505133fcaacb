#include "tests/common/FaultInjectingPlatform.h"

namespace velmor::platform {
namespace {

bool ContainsNoCase(std::string_view text, std::string_view part) {
  return FoldUpper(text).find(FoldUpper(part)) != std::string::npos;
}

// An open file whose reads and writes go through the rules of its platform.
class FaultInjectingFile final : public IFile {
 public:
  FaultInjectingFile(std::unique_ptr<IFile> inner, FaultInjectingPlatform& owner, std::string path)
      : inner_(std::move(inner)), owner_(owner), path_(std::move(path)) {}

  int64_t Read(void* buffer, size_t count) override {
    if (owner_.ShouldFail(FaultKind::FileRead, path_)) return -1;
    return inner_->Read(buffer, count);
  }
  bool Write(const void* buffer, size_t count) override {
    if (owner_.ShouldFail(FaultKind::FileWrite, path_)) return false;
    return inner_->Write(buffer, count);
  }
  bool Seek(int64_t offset) override { return inner_->Seek(offset); }
  std::optional<uint64_t> Size() override { return inner_->Size(); }
  bool Flush() override { return inner_->Flush(); }

 private:
  std::unique_ptr<IFile> inner_;
  FaultInjectingPlatform& owner_;
  std::string path_;
};

}  // namespace

size_t FaultInjectingPlatform::Calls(FaultKind kind) const {
  const auto it = calls_.find(kind);
  return it == calls_.end() ? 0 : it->second;
}

void FaultInjectingPlatform::Reset() {
  rules_.clear();
  calls_.clear();
  injected_ = 0;
}

bool FaultInjectingPlatform::ShouldFail(FaultKind kind, std::string_view path, std::string_view otherPath) {
  const size_t number = ++calls_[kind];
  for (const Rule& rule : rules_) {
    if (rule.kind != kind || number < rule.first || number > rule.last) continue;
    if (!ContainsNoCase(path, rule.pathPart) && !ContainsNoCase(otherPath, rule.pathPart)) continue;
    inner_.SetLastError(rule.error);
    ++injected_;
    return true;
  }
  return false;
}

std::unique_ptr<IFile> FaultInjectingPlatform::OpenFile(std::string_view path, OpenMode mode) {
  std::unique_ptr<IFile> file = inner_.OpenFile(path, mode);
  if (!file) return nullptr;
  return std::make_unique<FaultInjectingFile>(std::move(file), *this, std::string(path));
}

}  // namespace velmor::platform
