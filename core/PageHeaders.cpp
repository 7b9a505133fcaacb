#include "core/PageHeaders.h"

#include <algorithm>

#include "platform/Platform.h"

namespace velmor {
namespace {

constexpr size_t kPageHeaderBytes = 256;

struct Slice {
  size_t from;
  size_t length;
};
// Byte 78 belongs to both SH2 and SH3; bytes 45 to 53 are not copied anywhere.
constexpr Slice kSlices[3] = {{0, 45}, {54, 25}, {78, 178}};

}  // namespace

std::array<std::string, 3> SplitPageHeader(std::string_view source) {
  std::string page(source.substr(0, std::min(source.size(), kPageHeaderBytes)));
  page.resize(kPageHeaderBytes, '\0');
  std::array<std::string, 3> parts;
  for (size_t i = 0; i < parts.size(); ++i) parts[i] = page.substr(kSlices[i].from, kSlices[i].length);
  return parts;
}

HeaderResult BuildHeaders(platform::IFileSystem& os) {
  const auto source = os.ReadFile(kPageSource, kPageHeaderBytes);
  if (!source) return HeaderResult::NoSource;
  const auto parts = SplitPageHeader(*source);
  // Each target is replaced as a whole, so a failing write never leaves a shortened header behind.
  // Only a failing SH1 ends the command; SH2 and SH3 are written whatever happened to the other.
  // The targets are new files with normal attributes: a hidden or system bit of the old file does not
  // carry over to the new content.
  const auto write = [&](size_t i) {
    return os.WriteFile(kPageHeaderTargets[i], parts[i]) &&
           os.SetFileAttributes(kPageHeaderTargets[i], platform::kAttrNormal);
  };
  if (!write(0)) return HeaderResult::TargetFailed;
  bool allWritten = true;
  for (size_t i = 1; i < parts.size(); ++i) allWritten = write(i) && allWritten;
  return allWritten ? HeaderResult::Done : HeaderResult::TargetFailed;
}

}  // namespace velmor
