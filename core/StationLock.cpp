#include "core/StationLock.h"

#include <charconv>
#include <cstdio>
#include <ctime>
#include <map>
#include <thread>

#include "core/FailureReason.h"

namespace velmor {
namespace {

constexpr std::chrono::milliseconds kPoll{100};
constexpr size_t kRecordLimit = 2048;

std::string Now() {
  const std::time_t now = std::time(nullptr);
  char text[32];
  std::strftime(text, sizeof text, "%d.%m.%Y %H:%M:%S", std::localtime(&now));
  return text;
}

// The record a holder writes: one line for people, then the fields a later run checks.
std::string RecordOf(const platform::ProcessIdentity& self, const std::string& holder) {
  return holder + ", Benutzer " + self.user + ", Rechner " + self.host + ", Prozess " +
         std::to_string(self.pid) + ", seit " + Now() + "\nRechner=" + self.host +
         "\nProzess=" + std::to_string(self.pid) + "\nStart=" + std::to_string(self.start) + "\n";
}

struct Record {
  std::string line;  // the first line, as a refusal names the holder
  std::map<std::string, std::string> fields;
  int64_t Number(const std::string& key) const {
    const auto it = fields.find(key);
    int64_t value = 0;
    if (it == fields.end() ||
        std::from_chars(it->second.data(), it->second.data() + it->second.size(), value).ec != std::errc())
      return -1;
    return value;
  }
};

Record ParseRecord(const std::string& text) {
  Record record;
  size_t start = 0;
  for (size_t line = 0; start < text.size(); ++line) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string part = text.substr(start, end - start);
    if (!part.empty() && part.back() == '\r') part.pop_back();
    if (line == 0) {
      record.line = part;
    } else if (const size_t eq = part.find('='); eq != std::string::npos) {
      record.fields[part.substr(0, eq)] = part.substr(eq + 1);
    }
    start = end + 1;
  }
  return record;
}

enum class Holder { None, Running, OtherHost };

// Who the record names, seen from a run that has the file's lock: nobody (a new file, or a holder of
// this host that ended without removing it), a process of this host that still runs (its lock is
// not visible here, say on a file system that does not pass locks on), or one of another host.
Holder HolderOf(platform::ISystem& os, const Record& record, const platform::ProcessIdentity& self) {
  const auto host = record.fields.find("Rechner");
  const int64_t pid = record.Number("Prozess");
  if (host == record.fields.end() || pid <= 0) return record.line.empty() ? Holder::None : Holder::Running;
  if (host->second != self.host) return Holder::OtherHost;
  if (pid == self.pid) return Holder::None;  // written by this very process, which holds no lock now
  const std::optional<uint64_t> start = os.ProcessStartTime(pid);
  // A process of that id that started at another time only got the id of the ended holder.
  if (!start || static_cast<int64_t>(*start) != record.Number("Start")) return Holder::None;
  return Holder::Running;
}

}  // namespace

std::string StateFolderHost(platform::ISystem& os) {
  std::string base = os.GetEnv("XDG_STATE_HOME");
  // A relative value is to be ignored, as for every XDG base folder.
  if (base.empty() || base.front() != '/') base = os.GetEnv("HOME") + "/.local/state";
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/velmor";
}

std::string StationKey(platform::IFileSystem& os, const std::string& normalMaster) {
  std::string text;
  if (const std::optional<std::string> full = os.FullPath(normalMaster)) {
    std::string folder = *full;
    while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
    text = os.ToHost(folder).value_or(folder);
  }
  // FNV-1a over the case-folded path: the same folder named in another case is the same station.
  uint64_t hash = 14695981039346656037ull;
  for (const unsigned char c : platform::FoldUpper(text)) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  char key[17];
  std::snprintf(key, sizeof key, "%016llx", static_cast<unsigned long long>(hash));
  return key;
}

std::string StationLockPath(platform::IFileSystem& os, platform::ISystem& system,
                            const std::string& normalMaster) {
  const std::optional<std::string> full = os.FullPath(normalMaster);
  if (!full)
    return os.ToWindows(StateFolderHost(system) + "/locks/station-" + StationKey(os, normalMaster) + ".lock");
  std::string folder = *full;
  while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  return folder + "\\VELMOR.LCK";
}

std::unique_ptr<StationLock> StationLock::Acquire(platform::IFileSystem& files, platform::ISystem& system,
                                                  const std::string& normalMaster, const std::string& holder,
                                                  std::chrono::milliseconds wait, std::string& refusal) {
  platform::IFileSystem& os = files;
  const std::string path = StationLockPath(files, system, normalMaster);
  const platform::ProcessIdentity self = system.ThisProcess();
  auto cannot = [&] {
    refusal = "Die Sperrdatei " + path + " kann nicht angelegt werden (" +
              FailureReason(platform::LastError()) + ")";
    return nullptr;
  };
  // The folder of the lock is the station's own folder, which the transfer would create anyway.
  const size_t cut = path.rfind('\\');
  if (cut != std::string::npos && !os.DirectoryExists(path.substr(0, cut + 1)) &&
      !os.ForceDirectories(path.substr(0, cut)))
    return cannot();

  const auto deadline = std::chrono::steady_clock::now() + wait;
  Record other;
  Holder otherKind = Holder::Running;
  while (true) {
    std::unique_ptr<platform::IFileLock> file = system.OpenLockFile(path);
    if (!file) return cannot();
    if (!file->TryLock()) {
      if (platform::LastError() != platform::kErrorLockViolation) return cannot();
      other = ParseRecord(file->Read(kRecordLimit).value_or(""));
      otherKind = Holder::Running;
    } else if (!file->StillAtPath()) {
      // Its holder removed it while letting go: the file at the path now is the lock, looked at
      // again after the pause (a file system that never shows the same file twice must not spin).
      other = Record{};
      otherKind = Holder::Running;
    } else {
      other = ParseRecord(file->Read(kRecordLimit).value_or(""));
      otherKind = HolderOf(system, other, self);
      if (otherKind == Holder::None) {
        if (file->Replace(RecordOf(self, holder)))
          return std::unique_ptr<StationLock>(new StationLock(std::move(file)));
        // Another user's file of an ended run, which this user may not write: a new one in its place.
        if (!file->Remove()) return cannot();
        continue;
      }
    }
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(kPoll);
  }
  const std::string named = other.line.empty() ? "ein anderes Programm" : other.line;
  if (otherKind == Holder::OtherHost) {
    refusal = "Die Station ist von einem anderen Rechner aus gesperrt (" + named +
              "). Läuft dort keine Übertragung mehr, die Sperrdatei " + path +
              " löschen und dann erneut übertragen.";
  } else {
    refusal = "Auf dieser Station läuft bereits eine Übertragung (" + named +
              "). Bitte warten, bis sie beendet ist, und dann erneut übertragen.";
  }
  return nullptr;
}

StationLock::~StationLock() {
  // The name goes before the lock: a run that opened the file meanwhile finds it removed once it has
  // the lock, and looks again.
  lock_->Remove();
}

}  // namespace velmor
