#include "core/TransferJournal.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "core/StationLock.h"

namespace velmor {
namespace {

using platform::FindData;
using platform::IPlatform;

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
  } else if (kind == "R" && f.size() == 8 && fp(3)) {
    r.Type = Kind::Replaced;
    r.Path = f[1];
    r.Saved = f[2];
    r.Before = *fp(3);
    r.Attributes = attributes(5);
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

std::string JournalFolderWindows(IPlatform& os) {
  return os.ToWindows(JournalFolderHost());
}

JournalState StateOf(IPlatform& os, const JournalInfo& info, bool complete, bool undone) {
  if (undone) return JournalState::Undone;
  if (complete) return JournalState::Complete;
  const bool running = info.Pid != os.ProcessId() && os.ProcessRunning(info.Pid);
  return running ? JournalState::Running : JournalState::Interrupted;
}

// The header and the end marks of a journal, read from the start and the end of its log only.
std::optional<JournalInfo> ReadSummary(IPlatform& os, const std::string& folder) {
  const std::string log = folder + "\\log";
  std::unique_ptr<platform::IFile> file = os.OpenFile(log, platform::OpenMode::Read);
  if (!file) return std::nullopt;
  const uint64_t size = file->Size().value_or(0);
  std::string head(static_cast<size_t>(std::min<uint64_t>(size, kHeadBytes)), '\0');
  size_t got = 0;
  while (got < head.size()) {
    const int64_t n = file->Read(head.data() + got, head.size() - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  head.resize(got);
  std::string tail = head;
  if (size > head.size()) {
    const uint64_t from = size - std::min<uint64_t>(size, kTailBytes);
    tail.assign(static_cast<size_t>(size - from), '\0');
    got = 0;
    if (file->Seek(static_cast<int64_t>(from))) {
      while (got < tail.size()) {
        const int64_t n = file->Read(tail.data() + got, tail.size() - got);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
      }
    }
    tail.resize(got);
  }

  JournalInfo info;
  for (size_t start = 0; start < head.size();) {
    const size_t end = head.find('\n', start);
    if (end == std::string::npos) break;
    const auto fields = ParseLine(std::string_view(head).substr(start, end - start));
    start = end + 1;
    if (!fields) continue;
    if ((*fields)[0] != "K") break;
    if (fields->size() == 3) SetHeaderField(info, (*fields)[1], (*fields)[2]);
  }
  if (info.Id.empty()) return std::nullopt;
  bool complete = false, undone = false;
  for (size_t start = 0; start < tail.size();) {
    const size_t end = tail.find('\n', start);
    if (end == std::string::npos) break;
    if (const auto fields = ParseLine(std::string_view(tail).substr(start, end - start))) {
      complete = complete || (*fields)[0] == "X";
      undone = undone || (*fields)[0] == "U";
    }
    start = end + 1;
  }
  info.State = StateOf(os, info, complete, undone);
  return info;
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

std::optional<Fingerprint> FingerprintOfFile(IPlatform& os, const std::string& path) {
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
  }
  return {};
}

std::string JournalFolderHost() {
  return StateFolderHost() + "/journal";
}

std::vector<JournalInfo> ListJournals() {
  IPlatform& os = platform::Os();
  std::vector<JournalInfo> journals;
  if (!os.DirectoryExists(JournalFolderWindows(os))) return journals;
  const std::string base = JournalFolderWindows(os);
  for (const FindData& entry : os.FindFiles(base + "\\*")) {
    if (!(entry.attributes & platform::kAttrDirectory) || entry.name == "." || entry.name == "..") continue;
    if (std::optional<JournalInfo> info = ReadSummary(os, base + "\\" + entry.name))
      journals.push_back(*info);
  }
  std::sort(journals.begin(), journals.end(), [](const JournalInfo& a, const JournalInfo& b) {
    return a.Started != b.Started ? a.Started < b.Started : a.Id < b.Id;
  });
  return journals;
}

std::optional<JournalContent> ReadJournal(IPlatform& os, const std::string& id) {
  if (id.empty() || id.find_first_of("\\/") != std::string::npos || id == "." || id == "..")
    return std::nullopt;
  JournalContent journal;
  journal.Folder = JournalFolderWindows(os) + "\\" + id;
  const std::optional<std::string> text = os.ReadFile(journal.Folder + "\\log");
  if (!text) return std::nullopt;
  // A damaged line (torn by a power cut) is passed over: every record stands on its own.
  for (size_t start = 0; start < text->size();) {
    const size_t end = text->find('\n', start);
    if (end == std::string::npos) break;
    const auto fields = ParseLine(std::string_view(*text).substr(start, end - start));
    start = end + 1;
    if (!fields) continue;
    const std::string& kind = (*fields)[0];
    if (kind == "K") {
      if (fields->size() == 3) SetHeaderField(journal.Info, (*fields)[1], (*fields)[2]);
    } else if (kind == "X") {
      journal.Complete = true;
    } else if (kind == "U") {
      journal.Undone = true;
    } else if (std::optional<JournalRecord> record = ParseRecord(*fields)) {
      journal.Records.push_back(std::move(*record));
    }
  }
  if (journal.Info.Id != id) return std::nullopt;
  journal.Info.State = StateOf(os, journal.Info, journal.Complete, journal.Undone);
  return journal;
}

bool MarkJournalUndone(IPlatform& os, const JournalContent& journal) {
  std::unique_ptr<platform::IFile> log = os.OpenFile(journal.Folder + "\\log", platform::OpenMode::ReadWrite);
  if (!log) return false;
  const std::optional<uint64_t> size = log->Size();
  // A leading line end closes a line that a power cut may have torn.
  const std::string line = "\nU\t" + [] {
    char sum[9];
    std::snprintf(sum, sizeof sum, "%08x", Checksum("U"));
    return std::string(sum);
  }() + "\n";
  return size && log->Seek(static_cast<int64_t>(*size)) && log->Write(line.data(), line.size()) &&
         log->Flush();
}

// --- writing ---------------------------------------------------------------------------------------------

std::unique_ptr<TransferJournal> TransferJournal::Create(IPlatform& os, JournalInfo header,
                                                         std::string& error) {
  const std::string baseHost = JournalFolderHost();
  if (!os.HostCreateDirectories(baseHost)) {
    error = "Das Protokoll der Übertragung kann nicht angelegt werden: " + baseHost;
    return nullptr;
  }
  const std::string base = os.ToWindows(baseHost);
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  header.Started = std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch()).count();
  header.Time = FormatTime(seconds, "%Y-%m-%d %H:%M:%S");
  header.Pid = os.ProcessId();
  const std::string stem = FormatTime(seconds, "%Y%m%d-%H%M%S") + "-" + std::to_string(header.Pid);
  std::string folder;
  for (int n = 1;; ++n) {
    header.Id = n == 1 ? stem : stem + "-" + std::to_string(n);
    folder = base + "\\" + header.Id;
    if (os.CreateDirectory(folder)) break;
    if (os.LastError() != platform::kErrorAlreadyExists || n == 1000) {
      error = "Das Protokoll der Übertragung kann nicht angelegt werden: " + folder;
      return nullptr;
    }
  }
  std::unique_ptr<platform::IFile> log;
  if (os.CreateDirectory(folder + "\\saved"))
    log = os.OpenFile(folder + "\\log", platform::OpenMode::CreateAlways);
  if (!log) {
    error = "Das Protokoll der Übertragung kann nicht angelegt werden: " + folder;
    return nullptr;
  }
  std::unique_ptr<TransferJournal> journal(new TransferJournal(os, header, folder, std::move(log)));
  const JournalInfo& h = journal->info_;
  for (const auto& [key, value] : std::initializer_list<std::pair<const char*, std::string>>{
           {"version", "1"},
           {"id", h.Id},
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

TransferJournal::TransferJournal(IPlatform& os, JournalInfo info, std::string folder,
                                 std::unique_ptr<platform::IFile> log)
    : os_(os), info_(std::move(info)), folder_(std::move(folder)), log_(std::move(log)) {}

TransferJournal::~TransferJournal() = default;

void TransferJournal::Queue(std::initializer_list<std::string_view> fields) {
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

std::optional<std::string> TransferJournal::Save(const std::string& path) {
  const std::string name = std::to_string(++savedCount_);
  if (!os_.CopyFile(path, folder_ + "\\saved\\" + name, true)) {
    Fail("Der alte Inhalt von " + path + " kann nicht im Protokoll gesichert werden");
    return std::nullopt;
  }
  savedSinceFlush_ = true;
  return name;
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
      const std::optional<std::string> saved = Save(target);
      if (!saved) return false;
      Queue({"R", target, *saved, SizeText(*before), HashText(*before), AttributesText(data.attributes),
             SizeText(next), HashText(next)});
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
  const std::optional<std::string> saved = Save(path);
  if (!saved) return false;
  Queue({"R", path, *saved, SizeText(*before), HashText(*before), AttributesText(data.attributes), "-", "-"});
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
  Queue({"D", folder});
}

void TransferJournal::BeforeBackup(const std::string& original, const std::string& backup,
                                   const Fingerprint& content, uint32_t attributes,
                                   platform::FileTime lastWrite, bool backupExists) {
  Queue({"B", original, backup, SizeText(content), HashText(content), AttributesText(attributes),
         std::to_string(lastWrite), backupExists ? "same" : "new"});
}

void TransferJournal::BeforeRename(const std::string& from, const std::string& to) {
  Queue({"M", from, to});
}

bool TransferJournal::Commit(bool durable) {
  if (failed_) return false;
  const std::string failure = "Das Protokoll der Übertragung kann nicht geschrieben werden: " + folder_;
  if (!queue_.empty()) {
    if (!log_->Write(queue_.data(), queue_.size())) return Fail(failure);
    queue_.clear();
    writtenSinceFlush_ = true;
  }
  if (durable && (writtenSinceFlush_ || savedSinceFlush_)) {
    // Saved contents are files of their own: one flush of the file system covers them and the log.
    const bool ok = savedSinceFlush_ ? os_.FlushFileSystem(folder_) : log_->Flush();
    if (!ok) return Fail(failure);
    writtenSinceFlush_ = savedSinceFlush_ = false;
  }
  return true;
}

bool TransferJournal::Complete() {
  if (failed_) return false;
  Queue({"X"});
  return Commit(true);
}

}  // namespace velmor
