// The settings of a search: where to look and which names (TFileCriteria), which attributes, time
// stamps, sizes and contents a reported entry must have, and the pure name tests behind exclusions.
//
// Error policy: no criterion reports an error. An entry that fails a test is simply not reported; the
// content test swallows every open and read failure. The one exception is Assign from an object of
// another class, which throws VelmorError (a programming error, like the toolkit's assignment error).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

namespace velmor {

// A date-time as days since 1899-12-30; the fraction is the time of day.
using TDateTime = double;

// Attribute bits of a search (Windows file attribute values).
enum TFileAttribute : uint32_t {
  ffReadonly = platform::kAttrReadOnly,
  ffHidden = platform::kAttrHidden,
  ffSystem = platform::kAttrSystem,
  ffDirectory = platform::kAttrDirectory,
  ffArchive = platform::kAttrArchive,
};
// A set of TFileAttribute values, held as the OR of their bits.
using TFileAttributes = uint32_t;

// One directory entry found by the folder enumeration.
//
// Name is always there. The other fields are fetched from the host only when something asks for them
// (a stat for the read-only bit, size and times, the extended attribute for hidden/system), because a
// search that needs only names must not pay for a stat per entry. A record that came from a listing is
// valid only while the event that hands it over runs; a copy of it is complete and independent.
class TSearchRec {
 public:
  TSearchRec() = default;
  // A complete record (FindFiles results, tests).
  explicit TSearchRec(const platform::FindData& data);
  TSearchRec(const TSearchRec& other);
  TSearchRec& operator=(const TSearchRec& other);

  std::string Name;

  // Windows attribute bits (archive for files, folder bit for folders, ...).
  uint32_t Attr() const;
  // The folder bit alone, known from the listing without any host call.
  bool IsDirectory() const { return fromListing_ ? isDirectory_ : (data_.attributes & ffDirectory) != 0; }
  uint64_t Size() const;
  // The last-write time as a packed local DOS date and time (date in the high word).
  int32_t Time() const;
  // The complete find data (times as UTC file times). Empty details when the entry vanished.
  const platform::FindData& FindData() const;

  // Points the record at entry index of a listing (the walk reuses one record for every entry).
  void Bind(platform::IFolderListing& listing, size_t index);

 private:
  void LoadAttributes() const;
  void LoadDetails() const;

  platform::IFolderListing* listing_ = nullptr;
  size_t index_ = 0;
  bool fromListing_ = false;
  bool isDirectory_ = false;
  mutable bool haveAttributes_ = true;
  mutable bool haveDetails_ = true;
  mutable platform::FindData data_;
};

// Common base of the criteria classes: Assign copies the values of an object of the same class.
class TSearchPersistent {
 public:
  virtual ~TSearchPersistent() = default;
  // Copies Source's values into this object; VelmorError when Source is of another class.
  virtual void Assign(const TSearchPersistent& Source) = 0;

 protected:
  TSearchPersistent() = default;
  TSearchPersistent(const TSearchPersistent&) = default;
  TSearchPersistent& operator=(const TSearchPersistent&) = default;
  // Source as an object of this class T, or VelmorError.
  template <class T>
  static const T* SameClass(const TSearchPersistent& Source) {
    const auto* s = dynamic_cast<const T*>(&Source);
    if (s == nullptr) AssignError();
    return s;
  }

 private:
  [[noreturn]] static void AssignError();
};

// Where to look and which names.
class TFileCriteria : public TSearchPersistent {
 public:
  void Assign(const TSearchPersistent& Source) override;

  std::string FileName;  // masks separated by ";"; empty: walk the locations, look for nothing
  std::string Location;  // folders separated by ";", each may begin with "<" (no sub-folders) or ">"
  std::vector<std::string> Included;  // "folder\mask" lines, each may begin with "<" or ">"
  std::vector<std::string> Excluded;  // "[folder\]mask" lines: entries never reported
  bool Subfolders = true;
  uint16_t MinLevel = 0;  // report only from this depth on (named folder = 1); 0 and 1 alike
  uint16_t MaxLevel = 0;  // do not descend below this depth; 0 = no limit
};

class TAttributeCriteria : public TSearchPersistent {
 public:
  void Assign(const TSearchPersistent& Source) override;

  TFileAttributes Attributes() const { return AttributeBits; }
  // Only the five TFileAttribute bits are kept.
  void SetAttributes(TFileAttributes value) { AttributeBits = value & kKnownBits; }

  // Entry attributes pass: with ExactMatch their kKnownBits equal AttributeBits, else none of them lies
  // outside AttributeBits.
  bool Matches(uint32_t Attr) const;
  // True when only the folder bit of an entry can decide Matches (the default criteria): then the
  // search need not fetch the entry's other attributes.
  bool OnlyFolderBitMatters() const;

  static constexpr uint32_t kKnownBits = platform::kAttrAnyEntry;
  uint32_t AttributeBits = ffArchive | ffReadonly | ffHidden | ffSystem;
  bool ExactMatch = false;
};

class TDateTimeCriteria : public TSearchPersistent {
 public:
  void Assign(const TSearchPersistent& Source) override;

  // Times are UTC file times; they are compared as local time. A bound of 0 is no bound.
  bool Matches(platform::FileTime Created, platform::FileTime Modified, platform::FileTime Accessed) const;
  bool HasBounds() const;

  TDateTime CreatedBefore = 0;
  TDateTime CreatedAfter = 0;
  TDateTime ModifiedBefore = 0;
  TDateTime ModifiedAfter = 0;
  TDateTime AccessedBefore = 0;
  TDateTime AccessedAfter = 0;
};

class TSizeCriteria : public TSearchPersistent {
 public:
  void Assign(const TSearchPersistent& Source) override;

  // Inclusive bounds compared with the low 32 bits of the size; 0 is no bound.
  bool Matches(uint64_t Size) const;
  bool HasBounds() const { return Min != 0 || Max != 0; }

  uint32_t Min = 0;
  uint32_t Max = 0;
};

class TContentCriteria : public TSearchPersistent {
 public:
  void Assign(const TSearchPersistent& Source) override;

  const std::string& Phrase() const { return phrase_; }
  void SetPhrase(const std::string& value);
  bool IgnoreCase() const { return ignoreCase_; }
  void SetIgnoreCase(bool value);
  int32_t PhraseLength() const { return phraseLength_; }
  // The text searched for: Phrase, with A to Z lower-cased when IgnoreCase.
  const std::string& SearchPhrase() const { return searchPhrase_; }

  // True when PhraseLength < 1 or the file (opened through files) contains the phrase anywhere. Never
  // throws: a file that cannot be opened or read does not match.
  bool Matches(platform::IFileSystem& files, const std::string& FullPath) const;
  // The same with a read buffer of the caller's, so that several threads can test files at once; a
  // test that sees *stop become true gives up and answers false.
  bool Matches(platform::IFileSystem& files, const std::string& FullPath, std::string& buffer,
               const std::atomic<bool>* stop = nullptr) const;

 private:
  void Recompute();
  // Whether needle occurs in the bytes, folded like the needle when IgnoreCase.
  bool Contains(const char* data, size_t count, const std::string& needle) const;

  std::string phrase_;
  bool ignoreCase_ = true;
  int32_t phraseLength_ = 0;
  std::string searchPhrase_;
  // What the file bytes are compared with (ANSI form, folded like the blocks when IgnoreCase).
  std::string needle_;
  std::string needleUtf8_;      // second form for files in UTF-8, empty when it equals needle_
  mutable std::string buffer_;  // reused read buffer
};

// The complete criteria of a search; owns its five parts.
class TSearchCriteria : public TSearchPersistent {
 public:
  void Assign(const TSearchPersistent& Source) override;

  TFileCriteria Files;
  TAttributeCriteria Attribute;
  TDateTimeCriteria TimeStamp;
  TSizeCriteria Size;
  TContentCriteria Content;
};

// True when the exclusion line Entry ("[drive][folder\]mask") names the entry Name found in Folder
// (an absolute folder text with trailing backslash). The folder part is matched against the end of
// Folder, case-insensitively for a to z; an empty mask part matches every name.
bool ExcludedEntryMatch(std::string_view Folder, std::string_view Name, std::string_view Entry);
// Name against a mask, base and extension (after the last ".") separately; a mask without extension
// ignores the name's extension ("SH1" matches "SH1.TXT").
bool FileMaskMatch(std::string_view Name, std::string_view Mask);
// The search's own matcher: "?" is any one character (a UTF-8 sequence counts as one), "*" ends the
// comparison with success, other characters compare with a to z folded; trailing "?" and "*" of the
// pattern match nothing.
bool WildcardMatch(std::string_view Text, std::string_view Pattern);

}  // namespace velmor
