#include "search/SearchCriteria.h"

#include <cmath>
#include <cstring>
#include <ctime>

#include "platform/Error.h"
#include "search/NameText.h"

namespace velmor {

using search_detail::EndsWithNoCaseAscii;
using search_detail::EqualsNoCaseAscii;
using search_detail::UpperAscii;

namespace {

constexpr platform::FileTime kUnixEpochAsFileTime = 116444736000000000ULL;
// Days from 1899-12-30 (day 0 of TDateTime) to 1970-01-01.
constexpr double kUnixEpochAsDateTime = 25569.0;

// Length of the character starting at text[i]: a well-formed UTF-8 sequence counts as one character,
// any other byte as one character of its own.
size_t CharLength(std::string_view text, size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  size_t n = 1;
  if (lead >= 0xC2 && lead <= 0xDF)
    n = 2;
  else if (lead >= 0xE0 && lead <= 0xEF)
    n = 3;
  else if (lead >= 0xF0 && lead <= 0xF4)
    n = 4;
  if (n == 1 || i + n > text.size()) return 1;
  for (size_t k = 1; k < n; ++k)
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 1;
  return n;
}

// "C:" for "C:\x", "\\server\share" for "\\server\share\x", else empty.
std::string_view DrivePart(std::string_view path) {
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    size_t serverEnd = path.find('\\', 2);
    if (serverEnd == std::string_view::npos) return path;
    size_t shareEnd = path.find('\\', serverEnd + 1);
    return shareEnd == std::string_view::npos ? path : path.substr(0, shareEnd);
  }
  return {};
}

// Lower-case map of the ANSI code page: A-Z, the accented capitals (not the multiplication sign) and
// Š Œ Ž Ÿ. Applied to raw file bytes and to the phrase alike, so UTF-8 text still matches itself.
struct LowerTable {
  unsigned char map[256];
  constexpr LowerTable() : map() {
    for (int i = 0; i < 256; ++i) map[i] = static_cast<unsigned char>(i);
    for (int c = 'A'; c <= 'Z'; ++c) map[c] = static_cast<unsigned char>(c + 0x20);
    for (int c = 0xC0; c <= 0xDE; ++c)
      if (c != 0xD7) map[c] = static_cast<unsigned char>(c + 0x20);
    map[0x8A] = 0x9A;
    map[0x8C] = 0x9C;
    map[0x8E] = 0x9E;
    map[0x9F] = 0xFF;
  }
};
constexpr LowerTable kLower;

// Whether the folded needle occurs in the text when the text is folded too, without writing the
// folded text anywhere. Content searches run this over whole files, so it is hot. When the needle's
// first and last characters are ASCII, a block of 32 positions is first tested for "first character
// here and last character where the needle would end" in a form the compiler turns into vector code;
// such pairs are rare, and only their positions are compared in full. An ASCII letter folds from its
// two cases only (b | 0x20), any other ASCII byte only from itself.
bool ContainsFolded(const unsigned char* text, size_t count, std::string_view needle) {
  const size_t length = needle.size();
  if (length == 0) return true;
  if (count < length) return false;
  const auto first = static_cast<unsigned char>(needle.front());
  const auto last = static_cast<unsigned char>(needle.back());
  const size_t lastStart = count - length;
  auto matchesAt = [&](size_t at) {
    for (size_t k = 0; k < length; ++k)
      if (kLower.map[text[at + k]] != static_cast<unsigned char>(needle[k])) return false;
    return true;
  };
  size_t i = 0;
  if (first < 0x80 && last < 0x80) {
    const auto isLetter = [](unsigned char c) { return c >= 'a' && c <= 'z'; };
    const unsigned char firstOr = isLetter(first) ? 0x20 : 0;
    const unsigned char lastOr = isLetter(last) ? 0x20 : 0;
    const unsigned char* ends = text + length - 1;
    constexpr size_t kBlock = 32;
    for (; i + kBlock <= lastStart + 1; i += kBlock) {
      unsigned char hit = 0;
      for (size_t k = 0; k < kBlock; ++k)
        hit |=
            static_cast<unsigned char>(((text[i + k] | firstOr) == first) & ((ends[i + k] | lastOr) == last));
      if (!hit) continue;
      for (size_t k = 0; k < kBlock; ++k)
        if (matchesAt(i + k)) return true;
    }
  }
  for (; i <= lastStart; ++i)
    if (kLower.map[text[i]] == first && matchesAt(i)) return true;
  return false;
}

void LowerInPlace(char* data, size_t count) {
  auto* p = reinterpret_cast<unsigned char*>(data);
  for (size_t i = 0; i < count; ++i) p[i] = kLower.map[p[i]];
}

// A file time as a local TDateTime.
TDateTime LocalDateTime(platform::FileTime fileTime) {
  const int64_t ticks = static_cast<int64_t>(fileTime) - static_cast<int64_t>(kUnixEpochAsFileTime);
  int64_t seconds = ticks / 10000000;
  int64_t rest = ticks % 10000000;
  if (rest < 0) {
    --seconds;
    rest += 10000000;
  }
  const time_t t = static_cast<time_t>(seconds);
  tm local{};
  if (localtime_r(&t, &local) == nullptr) return 0;
  const double offset = static_cast<double>(local.tm_gmtoff);
  return kUnixEpochAsDateTime + (static_cast<double>(seconds) + offset + rest / 1e7) / 86400.0;
}

// One bound against one time: a bound without fraction compares whole days, a bound below one day
// compares the time of day, any other bound the full value.
double ComparableValue(TDateTime value, TDateTime bound) {
  double whole = 0;
  const double fraction = std::modf(bound, &whole);
  if (fraction == 0) return std::floor(value);
  if (whole == 0) return value - std::floor(value);
  return value;
}

bool WithinBounds(platform::FileTime time, TDateTime before, TDateTime after) {
  if (before == 0 && after == 0) return true;
  const TDateTime value = LocalDateTime(time);
  if (before != 0 && ComparableValue(value, before) > before) return false;
  if (after != 0 && ComparableValue(value, after) < after) return false;
  return true;
}

}  // namespace

// --- TSearchRec -------------------------------------------------------------------------------------

TSearchRec::TSearchRec(const platform::FindData& data) : Name(data.name), data_(data) {}

TSearchRec::TSearchRec(const TSearchRec& other) : Name(other.Name), data_(other.FindData()) {
  data_.name = Name;
}

TSearchRec& TSearchRec::operator=(const TSearchRec& other) {
  if (this != &other) {
    data_ = other.FindData();
    Name = other.Name;
    data_.name = Name;
    listing_ = nullptr;
    fromListing_ = false;
    haveAttributes_ = haveDetails_ = true;
  }
  return *this;
}

void TSearchRec::Bind(platform::IFolderListing& listing, size_t index) {
  listing_ = &listing;
  index_ = index;
  fromListing_ = true;
  isDirectory_ = listing.IsDirectory(index);
  haveAttributes_ = haveDetails_ = false;
  Name.assign(listing.Name(index));
}

void TSearchRec::LoadAttributes() const {
  if (haveAttributes_) return;
  data_.attributes = listing_->Attributes(index_);
  haveAttributes_ = true;
}

void TSearchRec::LoadDetails() const {
  if (haveDetails_) return;
  data_ = platform::FindData{};
  if (!listing_->Details(index_, data_)) {
    // The entry vanished since the listing: keep what the listing knew.
    data_ = platform::FindData{};
    data_.attributes = isDirectory_ ? platform::kAttrDirectory : platform::kAttrArchive;
  }
  data_.name = Name;
  haveDetails_ = haveAttributes_ = true;
}

uint32_t TSearchRec::Attr() const {
  LoadAttributes();
  return data_.attributes;
}

uint64_t TSearchRec::Size() const {
  LoadDetails();
  return data_.size;
}

int32_t TSearchRec::Time() const {
  LoadDetails();
  const int64_t ticks =
      static_cast<int64_t>(data_.lastWriteTime) - static_cast<int64_t>(kUnixEpochAsFileTime);
  const time_t t = static_cast<time_t>(ticks / 10000000);
  tm local{};
  if (localtime_r(&t, &local) == nullptr || local.tm_year < 80) return 0;
  const uint32_t date =
      static_cast<uint32_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
  const uint32_t time =
      static_cast<uint32_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
  return static_cast<int32_t>((date << 16) | time);
}

const platform::FindData& TSearchRec::FindData() const {
  LoadDetails();
  return data_;
}

// --- Assign -----------------------------------------------------------------------------------------

void TSearchPersistent::AssignError() {
  throw VelmorError("Suchkriterien einer anderen Art können nicht zugewiesen werden");
}

// The value-only parts copy every field; the object itself stays, as the owner's parts must.
void TFileCriteria::Assign(const TSearchPersistent& Source) {
  *this = *SameClass<TFileCriteria>(Source);
}

void TAttributeCriteria::Assign(const TSearchPersistent& Source) {
  *this = *SameClass<TAttributeCriteria>(Source);
  SetAttributes(AttributeBits);
}

void TDateTimeCriteria::Assign(const TSearchPersistent& Source) {
  *this = *SameClass<TDateTimeCriteria>(Source);
}

void TSizeCriteria::Assign(const TSearchPersistent& Source) {
  *this = *SameClass<TSizeCriteria>(Source);
}

void TContentCriteria::Assign(const TSearchPersistent& Source) {
  const auto* s = SameClass<TContentCriteria>(Source);
  SetPhrase(s->phrase_);
  SetIgnoreCase(s->ignoreCase_);
}

void TSearchCriteria::Assign(const TSearchPersistent& Source) {
  const auto* s = SameClass<TSearchCriteria>(Source);
  Files.Assign(s->Files);
  Attribute.Assign(s->Attribute);
  TimeStamp.Assign(s->TimeStamp);
  Size.Assign(s->Size);
  Content.Assign(s->Content);
}

// --- the single tests -------------------------------------------------------------------------------

bool TAttributeCriteria::Matches(uint32_t Attr) const {
  const uint32_t kept = Attr & kKnownBits;
  if (ExactMatch) return kept == AttributeBits;
  return (kept & ~AttributeBits) == 0;
}

bool TAttributeCriteria::OnlyFolderBitMatters() const {
  // Files always carry the archive bit and folders never do, so once read-only, hidden, system and
  // archive are all allowed, the folder bit is the only one that can reject an entry.
  constexpr uint32_t kFileBits = ffArchive | ffReadonly | ffHidden | ffSystem;
  return !ExactMatch && (AttributeBits & kFileBits) == kFileBits;
}

bool TDateTimeCriteria::HasBounds() const {
  return CreatedBefore != 0 || CreatedAfter != 0 || ModifiedBefore != 0 || ModifiedAfter != 0 ||
         AccessedBefore != 0 || AccessedAfter != 0;
}

bool TDateTimeCriteria::Matches(platform::FileTime Created, platform::FileTime Modified,
                                platform::FileTime Accessed) const {
  return WithinBounds(Created, CreatedBefore, CreatedAfter) &&
         WithinBounds(Modified, ModifiedBefore, ModifiedAfter) &&
         WithinBounds(Accessed, AccessedBefore, AccessedAfter);
}

bool TSizeCriteria::Matches(uint64_t Size) const {
  // Sizes compare as unsigned 32-bit values: a file of 4 GiB + 10 bytes counts as 10 bytes.
  const auto size32 = static_cast<uint32_t>(Size);
  if (Min != 0 && size32 < Min) return false;
  if (Max != 0 && size32 > Max) return false;
  return true;
}

// --- content ----------------------------------------------------------------------------------------

void TContentCriteria::SetPhrase(const std::string& value) {
  if (value == phrase_) return;
  phrase_ = value;
  Recompute();
}

void TContentCriteria::SetIgnoreCase(bool value) {
  if (value == ignoreCase_) return;
  ignoreCase_ = value;
  Recompute();
}

void TContentCriteria::Recompute() {
  phraseLength_ = static_cast<int32_t>(phrase_.size());
  searchPhrase_ = phrase_;
  if (ignoreCase_)
    for (char& c : searchPhrase_)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  // The files this tool searches are ANSI; the phrase is UTF-8. Look for the ANSI form, and for the
  // UTF-8 form too when the phrase has characters beyond ASCII. Both are folded with the same map as
  // the file blocks, so "Ä" in the phrase also finds "ä" in an ANSI file.
  needle_ = platform::Utf8ToAnsi(phrase_);
  needleUtf8_ = needle_ == phrase_ ? std::string() : phrase_;
  if (ignoreCase_) {
    LowerInPlace(needle_.data(), needle_.size());
    LowerInPlace(needleUtf8_.data(), needleUtf8_.size());
  }
}

bool TContentCriteria::Contains(const char* data, size_t count, const std::string& needle) const {
  if (!ignoreCase_) return memmem(data, count, needle.data(), needle.size()) != nullptr;
  return ContainsFolded(reinterpret_cast<const unsigned char*>(data), count, needle);
}

bool TContentCriteria::Matches(platform::IFileSystem& files, const std::string& FullPath) const {
  return Matches(files, FullPath, buffer_);
}

bool TContentCriteria::Matches(platform::IFileSystem& files, const std::string& FullPath, std::string& buffer,
                               const std::atomic<bool>* stop) const {
  if (phraseLength_ < 1) return true;
  if (needle_.empty()) return false;
  try {
    auto file = files.OpenFile(FullPath, platform::OpenMode::Read);
    if (!file) return false;
    const size_t longest = std::max(needle_.size(), needleUtf8_.size());
    const size_t shortest =
        needleUtf8_.empty() ? needle_.size() : std::min(needle_.size(), needleUtf8_.size());
    const std::optional<uint64_t> size = file->Size();
    if (size && *size < shortest) return false;

    constexpr size_t kBlock = 61440;
    const size_t block = std::max(kBlock, longest);
    // The last (longest - 1) bytes of a block are kept in front of the next one, so an occurrence that
    // straddles two blocks is found.
    const size_t keep = longest - 1;
    if (buffer.size() < keep + block) buffer.resize(keep + block);
    size_t carried = 0;
    uint64_t total = 0;
    for (;;) {
      if (stop != nullptr && *stop) return false;
      const int64_t got = file->Read(buffer.data() + carried, block);
      if (got <= 0) return false;
      total += static_cast<uint64_t>(got);
      const size_t filled = carried + static_cast<size_t>(got);
      if (Contains(buffer.data(), filled, needle_)) return true;
      if (!needleUtf8_.empty() && Contains(buffer.data(), filled, needleUtf8_)) return true;
      // A file whose size we know ends here without a further read call.
      if (size && total >= *size) return false;
      carried = std::min(keep, filled);
      std::memmove(buffer.data(), buffer.data() + filled - carried, carried);
    }
  } catch (...) {
    return false;
  }
}

// --- name tests -------------------------------------------------------------------------------------

bool WildcardMatch(std::string_view Text, std::string_view Pattern) {
  size_t t = 0;
  size_t p = 0;
  while (t < Text.size() && p < Pattern.size()) {
    // A "*" accepts whatever follows, in the text and in the pattern alike.
    if (Pattern[p] == '*') return true;
    const size_t textLength = CharLength(Text, t);
    if (Pattern[p] == '?') {
      t += textLength;
      ++p;
      continue;
    }
    const size_t patternLength = CharLength(Pattern, p);
    if (patternLength != textLength) return false;
    for (size_t k = 0; k < textLength; ++k)
      if (UpperAscii(Text[t + k]) != UpperAscii(Pattern[p + k])) return false;
    t += textLength;
    p += patternLength;
  }
  if (t < Text.size()) return false;
  while (p < Pattern.size() && (Pattern[p] == '*' || Pattern[p] == '?')) ++p;
  return p == Pattern.size();
}

bool FileMaskMatch(std::string_view Name, std::string_view Mask) {
  auto split = [](std::string_view s, std::string_view& base, std::string_view& ext) {
    const size_t dot = s.rfind('.');
    base = dot == std::string_view::npos ? s : s.substr(0, dot);
    ext = dot == std::string_view::npos ? std::string_view() : s.substr(dot);
  };
  std::string_view nameBase, nameExt, maskBase, maskExt;
  split(Name, nameBase, nameExt);
  split(Mask, maskBase, maskExt);
  if (maskExt.empty()) return WildcardMatch(nameBase, maskBase);
  if (nameExt.empty()) nameExt = ".";
  return WildcardMatch(nameExt, maskExt) && WildcardMatch(nameBase, maskBase);
}

bool ExcludedEntryMatch(std::string_view Folder, std::string_view Name, std::string_view Entry) {
  const size_t cut = Entry.find_last_of("\\:");
  std::string_view folderPart = cut == std::string_view::npos ? std::string_view() : Entry.substr(0, cut + 1);
  const std::string_view mask = cut == std::string_view::npos ? Entry : Entry.substr(cut + 1);
  if (!folderPart.empty()) {
    const std::string_view entryDrive = DrivePart(folderPart);
    const std::string_view folderDrive = DrivePart(Folder);
    if (!entryDrive.empty()) {
      // "?:" or "*:" stands for any drive.
      if (folderPart[0] != '*' && folderPart[0] != '?') {
        if (folderDrive.empty() || UpperAscii(folderDrive[0]) != UpperAscii(entryDrive[0])) return false;
        // A share is named by server and share: its first character alone would let "\\srv\share\"
        // exclude entries on every other share too.
        if (entryDrive[0] == '\\' && !EqualsNoCaseAscii(folderDrive, entryDrive)) return false;
      }
      folderPart.remove_prefix(entryDrive.size());
    }
    // The folder part is compared with the end of the folder text, not at a folder boundary:
    // "TEMP\" also names C:\XTEMP\.
    if (!folderPart.empty()) {
      if (Folder.size() - folderDrive.size() < folderPart.size()) return false;
      if (!EndsWithNoCaseAscii(Folder, folderPart)) return false;
    }
  }
  if (mask.empty()) return true;
  return FileMaskMatch(Name, mask);
}

}  // namespace velmor
