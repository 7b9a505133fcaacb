#include "tests/common/TestPlatform.h"

namespace velmor::testing {
namespace {

bool ContainsNoCase(std::string_view text, std::string_view part) {
  return platform::FoldUpper(text).find(platform::FoldUpper(part)) != std::string::npos;
}

// An open file whose writes and flushes are calls of its platform.
class TestFile final : public platform::IFile {
 public:
  TestFile(std::unique_ptr<platform::IFile> inner, TestPlatform& owner, std::string path)
      : inner_(std::move(inner)), owner_(owner), path_(std::move(path)) {}

  int64_t Read(void* buffer, size_t count) override { return inner_->Read(buffer, count); }
  bool Write(const void* buffer, size_t count) override {
    return !owner_.Fails(Call::FileWrite, path_) && inner_->Write(buffer, count);
  }
  bool Seek(int64_t offset) override { return inner_->Seek(offset); }
  std::optional<uint64_t> Size() override { return inner_->Size(); }
  bool Flush() override {
    return !owner_.Fails(Call::FileFlush, path_) && (owner_.SkipFlushes || inner_->Flush());
  }

 private:
  std::unique_ptr<platform::IFile> inner_;
  TestPlatform& owner_;
  std::string path_;
};

}  // namespace

bool TestPlatform::Fails(Call call, std::string_view path, std::string_view other, bool change) {
  if (Watch) Watch(call, path, other);
  std::lock_guard lock(mutex_);
  if (change && ++changes_ == killAt_) {
    while (HoldAtKill) pause();
    _exit(kKilledStatus);
  }
  const size_t number = ++calls_[call];
  for (const Rule& rule : rules_) {
    if (rule.call != call || number < rule.first || number > rule.last) continue;
    if (!ContainsNoCase(path, rule.pathPart) && !ContainsNoCase(other, rule.pathPart)) continue;
    platform::SetLastError(rule.error);
    ++injected_;
    return true;
  }
  return false;
}

std::unique_ptr<platform::IFile> TestPlatform::OpenFile(std::string_view path, platform::OpenMode mode) {
  if (Fails(Call::OpenFile, path, {}, mode != platform::OpenMode::Read)) return nullptr;
  std::unique_ptr<platform::IFile> file = inner_.OpenFile(path, mode);
  if (!file) return nullptr;
  return std::make_unique<TestFile>(std::move(file), *this, std::string(path));
}

}  // namespace velmor::testing
