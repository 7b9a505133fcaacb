#include "core/StationLock.h"

#include <cstdio>
#include <ctime>
#include <thread>

namespace velmor {
namespace {

constexpr std::chrono::milliseconds kPoll{100};

std::string TimeOfDay() {
  const std::time_t now = std::time(nullptr);
  char text[16];
  std::strftime(text, sizeof text, "%H:%M:%S", std::localtime(&now));
  return text;
}

}  // namespace

std::string StateFolderHost() {
  platform::IPlatform& os = platform::Os();
  std::string base = os.GetEnv("XDG_STATE_HOME");
  // A relative value is to be ignored, as for every XDG base folder.
  if (base.empty() || base.front() != '/') base = os.GetEnv("HOME") + "/.local/state";
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/velmor";
}

std::string StationKey(const std::string& normalMaster) {
  platform::IPlatform& os = platform::Os();
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

std::unique_ptr<StationLock> StationLock::Acquire(const std::string& key, const std::string& holder,
                                                  std::chrono::milliseconds wait, std::string& refusal) {
  platform::IPlatform& os = platform::Os();
  const std::string folder = StateFolderHost() + "/locks";
  const std::string path = os.ToWindows(folder + "/station-" + key + ".lock");
  const std::string holderText =
      holder + ", Prozess " + std::to_string(os.ProcessId()) + ", seit " + TimeOfDay();
  if (!os.HostCreateDirectories(folder)) {
    refusal = "Die Sperrdatei " + path + " kann nicht angelegt werden";
    return nullptr;
  }
  const auto deadline = std::chrono::steady_clock::now() + wait;
  while (true) {
    if (std::unique_ptr<platform::IFileLock> lock = os.TryLockFile(path, holderText))
      return std::unique_ptr<StationLock>(new StationLock(std::move(lock)));
    if (os.LastError() != platform::kErrorLockViolation) {
      refusal = "Die Sperrdatei " + path + " kann nicht angelegt werden";
      return nullptr;
    }
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(kPoll);
  }
  std::string other = os.ReadFile(path, 512).value_or("");
  if (const size_t end = other.find_first_of("\r\n"); end != std::string::npos) other.resize(end);
  if (other.empty()) other = "ein anderes Programm";
  refusal = "Auf dieser Station läuft bereits eine Übertragung (" + other +
            "). Bitte warten, bis sie beendet ist, und dann erneut übertragen.";
  return nullptr;
}

}  // namespace velmor
