#include "core/TransferJournal.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "core/StationLock.h"
#include "support/PathRoutines.h"

namespace velmor {
namespace {

using platform::FindData;
using platform::IFileSystem;
using platform::ISystem;

constexpr size_t kHeadBytes = 16384;
constexpr size_t kTailBytes = 4096;

// --- fingerprints -------------------------------------------------------------------------------------

// A 64-bit hash over 8-byte words (one multiply and shift per word), finished with the length.
class Hasher {
 public:
  void Add(const char* data, size_t size) {
    size_ += size;
    if (pending_ > 0) {
      const size_t take = std::min(size, 8 - pending_);
      std::memcpy(buffer_ + pending_, data, take);
      pending_ += take;
      data += take;
      size -= take;
      if (pending_ < 8) return;
      Mix(buffer_);
      pending_ = 0;
    }
    for (; size >= 8; data += 8, size -= 8) Mix(data);
    std::memcpy(buffer_, data, size);
    pending_ = size;
  }
  Fingerprint Finish() {
    if (pending_ > 0) {
      std::memset(buffer_ + pending_, 0, 8 - pending_);
      Mix(buffer_);
    }
    uint64_t h = hash_ ^ size_;
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    h ^= h >> 33;
    return {size_, h};
  }

 private:
  void Mix(const char* word) {
    uint64_t w;
    std::memcpy(&w, word, 8);
    hash_ = (hash_ ^ w) * 0x9e3779b97f4a7c15ull;
    hash_ ^= hash_ >> 29;
  }
  uint64_t hash_ = 0x243f6a8885a308d3ull;
  uint64_t size_ = 0;
  char buffer_[8];
  size_t pending_ = 0;
};

// --- log lines ----------------------------------------------------------------------------------------

std::string Escape(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (const char c : field) {
    switch (c) {
      case '%':
        out += "%25";
        break;
      case '\t':
        out += "%09";
        break;
      case '\n':
        out += "%0A";
        break;
      case '\r':
        out += "%0D";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Unescape(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '%' && i + 2 < field.size()) {
      const std::string hex(field.substr(i + 1, 2));
      char* end = nullptr;
      const long value = std::strtol(hex.c_str(), &end, 16);
      if (end == hex.c_str() + 2) {
        out += static_cast<char>(value);
        i += 2;
        continue;
      }
    }
    out += field[i];
  }
  return out;
}

uint32_t Checksum(std::string_view text) {
  uint32_t h = 2166136261u;
  for (const unsigned char c : text) {
    h ^= c;
    h *= 16777619u;
  }
  return h;
}

// Fields of a log line whose checksum holds; nullopt for a damaged or torn line.
std::optional<std::vector<std::string>> ParseLine(std::string_view line) {
  const size_t tab = line.rfind('\t');
  if (tab == std::string_view::npos || line.size() - tab != 9) return std::nullopt;
  char expected[9];
  std::snprintf(expected, sizeof expected, "%08x", Checksum(line.substr(0, tab)));
  if (line.substr(tab + 1) != expected) return std::nullopt;
  std::vector<std::string> fields;
  std::string_view rest = line.substr(0, tab);
  while (true) {
    const size_t next = rest.find('\t');
    fields.push_back(Unescape(rest.substr(0, next)));
    if (next == std::string_view::npos) break;
    rest.remove_prefix(next + 1);
  }
  return fields;
}

std::string SizeText(const Fingerprint& fp) {
  return std::to_string(fp.Size);
}

std::string HashText(const Fingerprint& fp) {
  char hash[17];
  std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(fp.Hash));
  return hash;
}

std::string AttributesText(uint32_t attributes) {
  char text[9];
  std::snprintf(text, sizeof text, "%x", attributes);
  return text;
}

std::optional<uint64_t> ParseNumber(const std::string& text, int base = 10) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, base);
  if (end != text.c_str() + text.size()) return std::nullopt;
  return value;
}

std::optional<Fingerprint> ParseFingerprint(const std::string& size, const std::string& hash) {
  const std::optional<uint64_t> s = ParseNumber(size), h = ParseNumber(hash, 16);
  if (!s || !h) return std::nullopt;
  return Fingerprint{*s, *h};
}

void SetHeaderField(JournalInfo& info, const std::string& key, const std::string& value) {
  if (key == "id")
    info.Id = value;
  else if (key == "time")
    info.Time = value;
  else if (key == "sequence")
    info.Sequence = ParseNumber(value).value_or(0);
  else if (key == "started")
    info.Started = static_cast<int64_t>(ParseNumber(value).value_or(0));
  else if (key == "pid")
    info.Pid = static_cast<int64_t>(ParseNumber(value).value_or(0));
  else if (key == "holder")
    info.Holder = value;
  else if (key == "prefix")
    info.Prefix = value;
  else if (key == "customer")
    info.CustomerId = value;
  else if (key == "station")
    info.StationNumber = value;
  else if (key == "stationkey")
    info.StationKey = value;
  else if (key == "project")
    info.ProjectName = value;
  else if (key == "projectfolder")
    info.ProjectFolder = value;
  else if (key == "argv")
    info.ArgvFile = value;
  else if (key == "normalmaster")
    info.NormalMaster = value;
  else if (key == "exf")
    info.ExfDir = value;
  else if (key == "asc")
    info.AscDir = value;
  else if (key == "exp")
    info.ExpDir = value;
}

std::optional<JournalRecord> ParseRecord(const std::vector<std::string>& f) {
  using Kind = JournalRecord::Kind;
  JournalRecord r;
  const std::string& kind = f[0];
  auto fp = [&](size_t at) { return ParseFingerprint(f[at], f[at + 1]); };
  auto attributes = [&](size_t at) { return static_cast<uint32_t>(ParseNumber(f[at], 16).value_or(0)); };
  if (kind == "D" && f.size() == 2) {
    r.Type = Kind::Folder;
    r.Path = f[1];
  } else if (kind == "C" && f.size() == 4 && fp(2)) {
    r.Type = Kind::Created;
    r.Path = f[1];
    r.Now = *fp(2);
  } else if (kind == "R" && (f.size() == 8 || f.size() == 9) && fp(3)) {
    r.Type = Kind::Replaced;
    r.Path = f[1];
    r.Saved = f[2];
    r.Before = *fp(3);
    r.Attributes = attributes(5);
    if (f.size() == 9) r.LastWrite = ParseNumber(f[8]).value_or(0);
    r.Gone = f[6] == "-";
    if (!r.Gone) {
      if (!fp(6)) return std::nullopt;
      r.Now = *fp(6);
    }
  } else if (kind == "O" && f.size() == 4) {
    r.Type = Kind::MayBe;
    r.Path = f[1];
    r.Gone = f[2] == "-";
    if (!r.Gone) {
      if (!fp(2)) return std::nullopt;
      r.Now = *fp(2);
    }
  } else if (kind == "B" && f.size() == 8 && fp(3)) {
    r.Type = Kind::Backup;
    r.Path = f[1];
    r.Target = f[2];
    r.Now = *fp(3);
    r.Attributes = attributes(5);
    r.LastWrite = ParseNumber(f[6]).value_or(0);
    r.Gone = f[7] == "same";
  } else if (kind == "M" && f.size() == 3) {
    r.Type = Kind::Renamed;
    r.Path = f[1];
    r.Target = f[2];
  } else if (kind == "A" && f.size() == 3) {
    r.Type = Kind::Attributes;
    r.Path = f[1];
    r.Attributes = attributes(2);
  } else {
    return std::nullopt;
  }
  return r;
}

std::string JournalFolderWindows(IFileSystem& os, ISystem& system) {
  return os.ToWindows(JournalFolderHost(system));
}

// The prefix as one spelling: links resolved, no trailing slash.
std::string CanonicalPrefix(IFileSystem& os, const std::string& prefix) {
  std::string path = os.ToHost(os.ToWindows(prefix)).value_or(prefix);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string StoreFolder(const std::string& journalFolder) {
  return FolderOf(journalFolder) + "\\saved";
}

// The folder of the journals of the station of prefix (Windows path).
std::string StationJournalFolder(IFileSystem& os, ISystem& system, const std::string& prefix) {
  uint64_t hash = 14695981039346656037ull;
  for (const unsigned char c : CanonicalPrefix(os, prefix)) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  char name[32];
  std::snprintf(name, sizeof name, "station-%016llx", static_cast<unsigned long long>(hash));
  return JournalFolderWindows(os, system) + "\\" + name;
}

JournalState StateOf(ISystem& os, const JournalInfo& info, std::string_view marks) {
  const size_t undo = marks.find_last_of("UP");
  if (undo != std::string_view::npos)
    return marks[undo] == 'U' ? JournalState::Undone : JournalState::Partial;
  if (marks.find('N') != std::string_view::npos) return JournalState::Refused;
  if (marks.find('X') != std::string_view::npos) return JournalState::Complete;
  const bool running = info.Pid != os.ProcessId() && os.ProcessRunning(info.Pid);
  return running ? JournalState::Running : JournalState::Interrupted;
}

bool IsMark(const std::string& kind) {
  return kind.size() == 1 && std::string_view("XNSUP").find(kind[0]) != std::string_view::npos;
}

// A log read line by line through a small buffer, however long it is.
class LineReader {
 public:
  explicit LineReader(std::unique_ptr<platform::IFile> file) : file_(std::move(file)) {}
  // The next line (without its end) and the offset it starts at; false at the end. A last line
  // without an end is returned too (torn).
  bool Next(std::string& line, uint64_t& offset, bool& ended) {
    line.clear();
    offset = position_;
    while (true) {
      if (at_ == buffer_.size()) {
        buffer_.resize(1 << 16);
        const int64_t n = file_->Read(buffer_.data(), buffer_.size());
        buffer_.resize(n > 0 ? static_cast<size_t>(n) : 0);
        at_ = 0;
        if (buffer_.empty()) {
          ended = false;
          return !line.empty();
        }
      }
      const size_t end = buffer_.find('\n', at_);
      const size_t stop = end == std::string::npos ? buffer_.size() : end;
      line.append(buffer_, at_, stop - at_);
      position_ += stop - at_;
      at_ = stop;
      if (end != std::string::npos) {
        ++at_;
        ++position_;
        ended = true;
        return true;
      }
    }
  }
  bool Seek(uint64_t offset) {
    buffer_.clear();
    at_ = 0;
    position_ = offset;
    return file_->Seek(static_cast<int64_t>(offset));
  }
  std::optional<uint64_t> Size() { return file_->Size(); }

 private:
  std::unique_ptr<platform::IFile> file_;
  std::string buffer_;
  size_t at_ = 0;
  uint64_t position_ = 0;
};

// The "state" file: how many bytes of the log were on the disk at its last flush, and the end marks
// written so far. Nullopt for a journal of an old version (or a state file that is damaged).
struct StateFile {
  uint64_t Committed = 0;
  std::string Marks;
  uint64_t Stored = 0;  // bytes this transfer added to the station's saved contents
};

std::string StateText(uint64_t committed, const std::string& marks, uint64_t stored) {
  const std::string body = std::to_string(committed) + "\t" + marks + "\t" + std::to_string(stored);
  char sum[10];
  std::snprintf(sum, sizeof sum, "\t%08x", Checksum(body));
  return body + sum + "\n";
}

std::optional<StateFile> ReadState(IFileSystem& os, const std::string& folder) {
  std::unique_ptr<platform::IFile> file = os.OpenFile(folder + "\\state", platform::OpenMode::Read);
  if (!file) return std::nullopt;
  char buffer[256];
  const int64_t n = file->Read(buffer, sizeof buffer);
  if (n <= 0 || buffer[n - 1] != '\n') return std::nullopt;
  const std::optional<std::string> text = std::string(buffer, static_cast<size_t>(n - 1));
  const auto fields = ParseLine(*text);
  if (!fields || fields->size() != 3) return std::nullopt;
  const std::optional<uint64_t> committed = ParseNumber((*fields)[0]), stored = ParseNumber((*fields)[2]);
  if (!committed || !stored) return std::nullopt;
  return StateFile{*committed, (*fields)[1], *stored};
}

// The header of a journal and its end marks: the header lines from the start of its log, the marks
// from its state file and from what was written after the state file's last update (a log of an old
// version has no state file: its last few kilobytes are read for them).
std::optional<JournalInfo> ReadSummary(IFileSystem& os, ISystem& system, const std::string& folder) {
  std::unique_ptr<platform::IFile> file = os.OpenFile(folder + "\\log", platform::OpenMode::Read);
  if (!file) return std::nullopt;
  LineReader reader(std::move(file));
  JournalInfo info;
  std::string line;
  uint64_t offset = 0;
  bool ended = false;
  while (offset < kHeadBytes && reader.Next(line, offset, ended)) {
    const auto fields = ParseLine(line);
    if (!fields) continue;
    if ((*fields)[0] != "K") break;
    if (fields->size() == 3) SetHeaderField(info, (*fields)[1], (*fields)[2]);
  }
  if (info.Id.empty()) return std::nullopt;
  info.Folder = folder;
  std::string marks;
  uint64_t from = 0;
  const uint64_t size = reader.Size().value_or(0);
  info.Bytes = size;
  if (const std::optional<StateFile> state = ReadState(os, folder)) {
    marks = state->Marks;
    from = std::min(state->Committed, size);
    info.Bytes += state->Stored;
  } else {
    from = size - std::min<uint64_t>(size, kTailBytes);
  }
  if (reader.Seek(from)) {
    while (reader.Next(line, offset, ended)) {
      const auto fields = ParseLine(line);
      if (fields && IsMark((*fields)[0])) marks += (*fields)[0];
    }
  }
  info.State = StateOf(system, info, marks);
  return info;
}

// The journals in one folder (a station's, or the top folder with journals of old versions).
void ListIn(IFileSystem& os, ISystem& system, const std::string& base, std::vector<JournalInfo>& journals,
            bool stations) {
  for (const FindData& entry : os.FindFiles(base + "\\*")) {
    if (!(entry.attributes & platform::kAttrDirectory) || entry.name == "." || entry.name == "..") continue;
    const std::string folder = base + "\\" + entry.name;
    if (stations && entry.name.rfind("station-", 0) == 0)
      ListIn(os, system, folder, journals, false);
    else if (std::optional<JournalInfo> info = ReadSummary(os, system, folder))
      journals.push_back(std::move(*info));
  }
}

void SortJournals(std::vector<JournalInfo>& journals) {
  std::stable_sort(journals.begin(), journals.end(), [](const JournalInfo& a, const JournalInfo& b) {
    if (a.Prefix != b.Prefix) return a.Prefix < b.Prefix;
    return JournalAfter(b, a);
  });
}

std::string FormatTime(std::time_t time, const char* format) {
  char text[32];
  std::strftime(text, sizeof text, format, std::localtime(&time));
  return text;
}

}  // namespace

Fingerprint FingerprintOf(std::string_view bytes) {
  Hasher h;
  h.Add(bytes.data(), bytes.size());
  return h.Finish();
}

std::optional<Fingerprint> FingerprintOfFile(IFileSystem& os, const std::string& path) {
  std::unique_ptr<platform::IFile> file = os.OpenFile(path, platform::OpenMode::Read);
  if (!file) return std::nullopt;
  Hasher h;
  char buffer[1 << 16];
  while (true) {
    const int64_t n = file->Read(buffer, sizeof buffer);
    if (n < 0) return std::nullopt;
    if (n == 0) return h.Finish();
    h.Add(buffer, static_cast<size_t>(n));
  }
}

std::string JournalStateText(JournalState state) {
  switch (state) {
    case JournalState::Running:
      return "läuft";
    case JournalState::Complete:
      return "abgeschlossen";
    case JournalState::Interrupted:
      return "unterbrochen";
    case JournalState::Undone:
      return "zurückgenommen";
    case JournalState::Partial:
      return "zum Teil zurückgenommen";
    case JournalState::Refused:
      return "abgelehnt";
  }
  return {};
}

std::string JournalFolderHost(ISystem& system) {
  return StateFolderHost(system) + "/journal";
}

std::string SavedPath(const std::string& journalFolder, const std::string& saved) {
  if (!saved.empty() && saved[0] == '=') return StoreFolder(journalFolder) + "\\" + saved.substr(1);
  return journalFolder + "\\saved\\" + saved;  // journals of old versions kept their own
}

bool SamePrefix(IFileSystem& os, const std::string& a, const std::string& b) {
  return a == b || CanonicalPrefix(os, a) == CanonicalPrefix(os, b);
}

bool JournalAfter(const JournalInfo& a, const JournalInfo& b) {
  if (a.Sequence != b.Sequence) return a.Sequence > b.Sequence;
  // Journals of old versions carry no sequence: their start time is all there is.
  if (a.Started != b.Started) return a.Started > b.Started;
  return a.Id > b.Id;
}

std::vector<JournalInfo> ListJournals(IFileSystem& os, ISystem& system) {
  std::vector<JournalInfo> journals;
  const std::string base = JournalFolderWindows(os, system);
  if (!os.DirectoryExists(base)) return journals;
  ListIn(os, system, base, journals, true);
  SortJournals(journals);
  return journals;
}

std::vector<JournalInfo> ListStationJournals(IFileSystem& os, ISystem& system, const std::string& prefix) {
  std::vector<JournalInfo> journals;
  const std::string folder = StationJournalFolder(os, system, prefix);
  if (os.DirectoryExists(folder)) ListIn(os, system, folder, journals, false);
  SortJournals(journals);
  return journals;
}

std::optional<JournalContent> ReadJournal(IFileSystem& os, ISystem& system, const std::string& folder) {
  std::unique_ptr<platform::IFile> file = os.OpenFile(folder + "\\log", platform::OpenMode::Read);
  if (!file) return std::nullopt;
  LineReader reader(std::move(file));
  JournalContent journal;
  journal.Folder = folder;
  const std::optional<StateFile> state = ReadState(os, folder);
  // What was on the disk at the last flush must read back whole; after it, a power cut may have torn
  // or garbled what was not flushed yet.
  const uint64_t committed = state ? state->Committed : 0;
  std::string line, marks;
  uint64_t offset = 0, lineNumber = 0;
  bool ended = false, afterEnd = false;
  size_t ignored = 0;
  while (reader.Next(line, offset, ended)) {
    ++lineNumber;
    if (line.empty() && ended) continue;  // a mark's leading line end
    std::optional<std::vector<std::string>> fields;
    if (ended) fields = ParseLine(line);
    if (!fields) {
      if (offset < committed)
        journal.Damage.push_back("Zeile " + std::to_string(lineNumber) + " ist beschädigt");
      else if (afterEnd)
        ++ignored;
      continue;
    }
    const std::string& kind = (*fields)[0];
    if (kind == "K") {
      if (fields->size() == 3) SetHeaderField(journal.Info, (*fields)[1], (*fields)[2]);
    } else if (IsMark(kind)) {
      marks += kind;
      afterEnd = afterEnd || kind == "X" || kind == "N";
    } else if (afterEnd) {
      ++ignored;
    } else if (std::optional<JournalRecord> record = ParseRecord(*fields)) {
      journal.Records.push_back(std::move(*record));
    } else if (offset < committed) {
      journal.Damage.push_back("Zeile " + std::to_string(lineNumber) + " ist unbekannt");
    }
  }
  if (journal.Info.Id.empty()) return std::nullopt;
  if (const uint64_t size = reader.Size().value_or(0); state && size < committed) {
    journal.Damage.push_back("das Protokoll ist kürzer (" + std::to_string(size) +
                             " Bytes) als geschrieben (" + std::to_string(committed) + " Bytes)");
  }
  if (ignored > 0) {
    journal.Warnings.push_back(std::to_string(ignored) +
                               " Zeilen nach dem Endvermerk des Protokolls werden übergangen");
  }
  if (state) marks = state->Marks + marks;
  journal.Complete = marks.find('X') != std::string::npos;
  journal.Refused = marks.find('N') != std::string::npos;
  journal.UndoBegun = marks.find('S') != std::string::npos;
  journal.Info.Folder = folder;
  journal.Info.State = StateOf(system, journal.Info, marks);
  journal.Undone = journal.Info.State == JournalState::Undone;
  return journal;
}

bool MarkJournal(IFileSystem& os, const std::string& folder, char mark) {
  std::unique_ptr<platform::IFile> log = os.OpenFile(folder + "\\log", platform::OpenMode::ReadWrite);
  if (!log) return false;
  const std::optional<uint64_t> size = log->Size();
  // A leading line end closes a line that a power cut may have torn.
  const std::string kind(1, mark);
  char sum[9];
  std::snprintf(sum, sizeof sum, "%08x", Checksum(kind));
  const std::string line = "\n" + kind + "\t" + sum + "\n";
  if (!size || !log->Seek(static_cast<int64_t>(*size)) || !log->Write(line.data(), line.size()) ||
      !log->Flush())
    return false;
  // The state file follows; a journal of an old version gets none (its marks are read from its end).
  // What it says was on the disk stays as it was: a line that a kill tore before the mark was never
  // part of the journal, and must not count as damage now.
  const std::optional<StateFile> state = ReadState(os, folder);
  return !state ||
         os.WriteFile(folder + "\\state", StateText(state->Committed, state->Marks + kind, state->Stored));
}

namespace {

uint64_t FolderBytes(IFileSystem& os, const std::string& top) {
  uint64_t bytes = 0;
  std::vector<std::string> folders{top};
  while (!folders.empty()) {
    const std::string folder = std::move(folders.back());
    folders.pop_back();
    for (const FindData& entry : os.FindFiles(folder + "\\*")) {
      if (entry.name == "." || entry.name == "..") continue;
      if (entry.attributes & platform::kAttrDirectory)
        folders.push_back(folder + "\\" + entry.name);
      else
        bytes += entry.size;
    }
  }
  return bytes;
}

}  // namespace

uint64_t JournalFolderBytes(IFileSystem& os, ISystem& system) {
  return FolderBytes(os, JournalFolderWindows(os, system));
}

namespace {

bool Prunable(const JournalInfo& info) {
  return info.State == JournalState::Complete || info.State == JournalState::Undone ||
         info.State == JournalState::Refused;
}

void PruneStation(IFileSystem& os, ISystem& system, const std::string& stationFolder,
                  const PrunePolicy& policy, PruneResult& result) {
  std::vector<JournalInfo> journals;
  ListIn(os, system, stationFolder, journals, false);
  SortJournals(journals);
  const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
  std::vector<JournalInfo> kept;
  for (size_t i = 0; i < journals.size(); ++i) {
    const JournalInfo& info = journals[i];
    const bool keptByCount = policy.Keep && journals.size() - i <= *policy.Keep;
    const bool keptByAge =
        policy.Days && now - info.Started < static_cast<int64_t>(*policy.Days) * 86400 * 1000000000ll;
    const bool keep = !Prunable(info) || (!policy.Keep && !policy.Days) || keptByCount || keptByAge;
    if (keep) {
      kept.push_back(info);
    } else if (os.DeleteTree(info.Folder)) {
      ++result.Removed;
    } else {
      result.Failures.push_back("Das Protokoll " + info.Folder + " kann nicht entfernt werden");
      kept.push_back(info);
    }
  }
  if (result.Removed == 0) return;
  // The saved contents that no journal left refers to. Not while a transfer of the station runs: it
  // may have saved a content that its log does not name yet.
  std::set<std::string> used;
  for (const JournalInfo& info : kept) {
    if (info.State == JournalState::Running) return;
    const std::optional<JournalContent> journal = ReadJournal(os, system, info.Folder);
    if (!journal) return;  // unreadable now: what it needs is not known, so everything stays
    for (const JournalRecord& r : journal->Records)
      if (r.Type == JournalRecord::Kind::Replaced && !r.Saved.empty() && r.Saved[0] == '=')
        used.insert(r.Saved.substr(1));
  }
  const std::string store = stationFolder + "\\saved";
  for (const FindData& entry : os.FindFiles(store + "\\*")) {
    if ((entry.attributes & platform::kAttrDirectory) || used.count(entry.name)) continue;
    os.DeleteFile(store + "\\" + entry.name);
  }
}

}  // namespace

PruneResult PruneJournals(IFileSystem& os, ISystem& system, const std::string& prefix,
                          const PrunePolicy& policy) {
  PruneResult result;
  const std::string base = JournalFolderWindows(os, system);
  std::vector<std::string> stations;
  if (!prefix.empty()) {
    stations.push_back(StationJournalFolder(os, system, prefix));
  } else {
    for (const FindData& entry : os.FindFiles(base + "\\station-*"))
      if (entry.attributes & platform::kAttrDirectory) stations.push_back(base + "\\" + entry.name);
  }
  for (const std::string& folder : stations) {
    if (!os.DirectoryExists(folder)) continue;
    const uint64_t before = FolderBytes(os, folder);
    PruneStation(os, system, folder, policy, result);
    const uint64_t after = FolderBytes(os, folder);
    result.Bytes += before > after ? before - after : 0;
  }
  return result;
}

// --- writing ---------------------------------------------------------------------------------------------

std::unique_ptr<TransferJournal> TransferJournal::Create(IFileSystem& os, ISystem& system, JournalInfo header,
                                                         uint64_t room, std::string& error) {
  const std::string baseHost = JournalFolderHost(system);
  if (!system.HostCreateDirectories(baseHost)) {
    error = "Der Ordner für das Protokoll der Übertragung kann nicht angelegt werden: " + baseHost +
            ". Ohne dieses Protokoll lässt sich die Übertragung nicht zurücknehmen; bitte den Ordner "
            "beschreibbar machen oder XDG_STATE_HOME auf einen beschreibbaren Ordner setzen.";
    return nullptr;
  }
  if (const std::optional<uint64_t> free = system.HostFreeSpace(baseHost); free && *free < room) {
    // Whole MiB: what is needed rounded up, what is free rounded down.
    auto mib = [](uint64_t bytes) { return std::to_string(bytes >> 20) + " MiB"; };
    error = "Im Ordner für das Protokoll der Übertragung (" + baseHost +
            ") ist nicht genug Platz frei: " + mib(room + (1 << 20) - 1) + " nötig, " + mib(*free) +
            " frei. Ohne dieses Protokoll lässt sich die Übertragung nicht zurücknehmen; bitte Platz "
            "schaffen oder XDG_STATE_HOME auf einen Ordner mit mehr Platz setzen.";
    return nullptr;
  }
  const std::string base = StationJournalFolder(os, system, header.Prefix);
  if (!os.DirectoryExists(base) && !os.CreateDirectory(base) && !os.DirectoryExists(base)) {
    error = "Das Protokoll der Übertragung kann nicht angelegt werden: " + base;
    return nullptr;
  }
  // The caller holds the station's lock: no other transfer of the station takes a number meanwhile.
  header.Sequence = 1;
  for (const JournalInfo& other : ListStationJournals(os, system, header.Prefix))
    header.Sequence = std::max(header.Sequence, other.Sequence + 1);
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  header.Started = std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch()).count();
  header.Time = FormatTime(seconds, "%Y-%m-%d %H:%M:%S");
  header.Pid = system.ProcessId();
  const std::string stem = FormatTime(seconds, "%Y%m%d-%H%M%S") + "-" + std::to_string(header.Pid);
  std::string folder;
  for (int n = 1;; ++n) {
    header.Id = n == 1 ? stem : stem + "-" + std::to_string(n);
    folder = base + "\\" + header.Id;
    if (os.CreateDirectory(folder)) break;
    if (platform::LastError() != platform::kErrorAlreadyExists || n == 1000) {
      error = "Das Protokoll der Übertragung kann nicht angelegt werden: " + folder;
      return nullptr;
    }
  }
  header.Folder = folder;
  std::unique_ptr<platform::IFile> log;
  const std::string store = base + "\\saved";
  if (os.DirectoryExists(store) || os.CreateDirectory(store) || os.DirectoryExists(store))
    log = os.OpenFile(folder + "\\log", platform::OpenMode::CreateAlways);
  if (!log) {
    error = "Das Protokoll der Übertragung kann nicht angelegt werden: " + folder;
    return nullptr;
  }
  std::unique_ptr<TransferJournal> journal(new TransferJournal(os, header, folder, std::move(log)));
  const JournalInfo& h = journal->info_;
  for (const auto& [key, value] : std::initializer_list<std::pair<const char*, std::string>>{
           {"version", "2"},
           {"id", h.Id},
           {"sequence", std::to_string(h.Sequence)},
           {"time", h.Time},
           {"started", std::to_string(h.Started)},
           {"pid", std::to_string(h.Pid)},
           {"holder", h.Holder},
           {"prefix", h.Prefix},
           {"customer", h.CustomerId},
           {"station", h.StationNumber},
           {"stationkey", h.StationKey},
           {"project", h.ProjectName},
           {"projectfolder", h.ProjectFolder},
           {"argv", h.ArgvFile},
           {"normalmaster", h.NormalMaster},
           {"exf", h.ExfDir},
           {"asc", h.AscDir},
           {"exp", h.ExpDir},
       })
    journal->Queue({"K", key, value});
  // The folder and the log are new: the first flush covers the whole file system they are on.
  journal->savedSinceFlush_ = true;
  if (!journal->Commit(true)) {
    error = journal->Error();
    return nullptr;
  }
  return journal;
}

TransferJournal::TransferJournal(IFileSystem& os, JournalInfo info, std::string folder,
                                 std::unique_ptr<platform::IFile> log)
    : os_(os), info_(std::move(info)), folder_(std::move(folder)), log_(std::move(log)) {}

TransferJournal::~TransferJournal() = default;

void TransferJournal::Queue(std::initializer_list<std::string_view> fields) {
  const std::string_view kind = *fields.begin();
  if (kind.size() == 1 && std::string_view("KDXN").find(kind) == std::string_view::npos) ++fileRecords_;
  std::string line;
  for (const std::string_view field : fields) {
    if (!line.empty()) line += '\t';
    line += Escape(field);
  }
  char sum[10];
  std::snprintf(sum, sizeof sum, "\t%08x", Checksum(line));
  queue_ += line;
  queue_ += sum;
  queue_ += '\n';
}

bool TransferJournal::WriteState() {
  return os_.WriteFile(folder_ + "\\state", StateText(logSize_, marks_, stored_));
}

std::string TransferJournal::Key(const std::string& path) {
  std::string full = os_.FullPath(path).value_or(path);
  for (char& c : full)
    if (c == '/') c = '\\';
  while (full.size() > 3 && full.back() == '\\') full.pop_back();
  return platform::FoldUpper(full);
}

bool TransferJournal::Fail(std::string text) {
  if (!failed_) error_ = std::move(text);
  failed_ = true;
  return false;
}

std::optional<std::string> TransferJournal::Save(const std::string& path, const Fingerprint& content) {
  // Kept once per content for all transfers of the station: a content saved before (by this or an
  // earlier transfer) is used again when it still holds what its name says.
  const std::string name = SizeText(content) + "-" + HashText(content);
  const std::string stored = StoreFolder(folder_) + "\\" + name;
  if (FingerprintOfFile(os_, stored) != content) {
    if (!os_.CopyFile(path, stored, false)) {
      Fail("Der alte Inhalt von " + path + " kann nicht im Protokoll gesichert werden");
      return std::nullopt;
    }
    // Its own attributes and time are the record's; the stored copy stays plain and replaceable.
    os_.SetFileAttributes(stored, platform::kAttrNormal);
    stored_ += content.Size;
    savedSinceFlush_ = true;
  }
  return "=" + name;
}

bool TransferJournal::BeforeWrite(const std::string& target, const Fingerprint& next,
                                  std::optional<bool> exists) {
  if (failed_) return false;
  const std::string key = Key(target);
  auto it = entries_.find(key);
  FindData data;
  if (it == entries_.end() || (!it->second.existed && !it->second.written)) {
    // A file there that this transfer did not write: recorded absent but made by another program
    // since, or met for the first time. Its content is kept before it is replaced.
    const bool found = exists.value_or(true) && os_.GetFileData(target, data);
    // A folder of that name is never replaced by a file: the write fails and changes nothing.
    if (found && (data.attributes & platform::kAttrDirectory)) return true;
    if (found) {
      const std::optional<Fingerprint> before = FingerprintOfFile(os_, target);
      if (!before) return Fail("Der alte Inhalt von " + target + " kann nicht gelesen werden");
      const std::optional<std::string> saved = Save(target, *before);
      if (!saved) return false;
      Queue({"R", target, *saved, SizeText(*before), HashText(*before), AttributesText(data.attributes),
             SizeText(next), HashText(next), std::to_string(data.lastWriteTime)});
      Entry& entry = entries_[key];
      entry.existed = true;
      entry.states.push_back(next);
      return true;
    }
    if (it == entries_.end()) {
      Queue({"C", target, SizeText(next), HashText(next)});
      entries_[key].states.push_back(next);
      return true;
    }
  }
  Entry& entry = it->second;
  if (std::find(entry.states.begin(), entry.states.end(), next) == entry.states.end()) {
    Queue({"O", target, SizeText(next), HashText(next)});
    entry.states.push_back(next);
  }
  return true;
}

void TransferJournal::Written(const std::string& target) {
  entries_[Key(target)].written = true;
}

bool TransferJournal::RecordedAbsent(const std::string& target) {
  const auto it = entries_.find(Key(target));
  return it != entries_.end() && !it->second.existed && !it->second.written;
}

bool TransferJournal::BeforeDelete(const std::string& path) {
  if (failed_) return false;
  const std::string key = Key(path);
  if (entries_.count(key)) {
    Queue({"O", path, "-", "-"});
    return true;
  }
  FindData data;
  if (!os_.GetFileData(path, data)) return true;  // nothing there to delete
  const std::optional<Fingerprint> before = FingerprintOfFile(os_, path);
  if (!before) return Fail("Der alte Inhalt von " + path + " kann nicht gelesen werden");
  const std::optional<std::string> saved = Save(path, *before);
  if (!saved) return false;
  Queue({"R", path, *saved, SizeText(*before), HashText(*before), AttributesText(data.attributes), "-", "-",
         std::to_string(data.lastWriteTime)});
  entries_[key].existed = true;
  return true;
}

bool TransferJournal::BeforeAttributes(const std::string& path) {
  if (failed_) return false;
  const std::string key = Key(path);
  // A file this transfer saved or created is restored or removed whole, its attributes included.
  if (entries_.count(key) || !attributesKept_.insert(key).second) return true;
  const uint32_t attributes = os_.GetFileAttributes(path);
  if (attributes == platform::kInvalidAttributes) return true;
  Queue({"A", path, AttributesText(attributes)});
  return true;
}

void TransferJournal::BeforeFolder(const std::string& folder) {
  folders_.push_back(folder);
  Queue({"D", folder});
}

void TransferJournal::BeforeBackup(const std::string& original, const std::string& backup,
                                   const Fingerprint& content, uint32_t attributes,
                                   platform::FileTime lastWrite, bool backupExists) {
  Queue({"B", original, backup, SizeText(content), HashText(content), AttributesText(attributes),
         std::to_string(lastWrite), backupExists ? "same" : "new"});
}

void TransferJournal::BeforeRename(const std::string& from, const std::string& to) {
  // The name as it is on the disk: undo gives it back in that spelling, whatever the caller wrote.
  FindData data;
  const size_t slash = from.rfind('\\');
  if (slash != std::string::npos && os_.GetFileData(from, data) && !data.name.empty())
    Queue({"M", from.substr(0, slash + 1) + data.name, to});
  else
    Queue({"M", from, to});
}

bool TransferJournal::Commit(bool durable) {
  if (failed_) return false;
  const std::string failure = "Das Protokoll der Übertragung kann nicht geschrieben werden: " + folder_;
  if (!queue_.empty()) {
    if (!log_->Write(queue_.data(), queue_.size())) return Fail(failure);
    logSize_ += queue_.size();
    queue_.clear();
    writtenSinceFlush_ = true;
  }
  if (durable && (writtenSinceFlush_ || savedSinceFlush_)) {
    // Saved contents are files of their own: one flush of the file system covers them and the log.
    const bool ok = savedSinceFlush_ ? os_.FlushFileSystem(folder_) : log_->Flush();
    // Only then the state file says the log is on the disk this far.
    if (!ok || !WriteState()) return Fail(failure);
    writtenSinceFlush_ = savedSinceFlush_ = false;
  }
  return true;
}

bool TransferJournal::Complete() {
  if (failed_) return false;
  Queue({"X"});
  marks_ += 'X';
  writtenSinceFlush_ = true;
  return Commit(true);
}

bool TransferJournal::Refused() {
  if (failed_) return false;
  bool changed = fileRecords_ > 0;
  for (const std::string& folder : folders_) changed = changed || os_.DirectoryExists(folder);
  if (changed) return Complete();
  Queue({"N"});
  marks_ += 'N';
  writtenSinceFlush_ = true;
  return Commit(true);
}

}  // namespace velmor
