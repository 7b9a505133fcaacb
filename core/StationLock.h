// One transfer per station at a time. Every transfer (and every undo of one) holds an exclusive lock
// on a lock file in the user's state folder, named after the station's normal master data folder,
// for its whole run. A second one waits a moment and then gives up with a message naming the holder.
// The system drops the lock when its process ends, however it ends.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/Platform.h"

namespace velmor {

// The program's folder for state that outlives a run, as a host path: $XDG_STATE_HOME/velmor, else
// ~/.local/state/velmor. Not created here.
std::string StateFolderHost();

// The key of a station: its normal master data folder as the host sees it (drive letter and case of
// the spelling do not matter), folded into a short hexadecimal text for a file name.
std::string StationKey(const std::string& normalMaster);

class StationLock {
 public:
  // Tries to take the lock of the station key for up to wait. holder names the program taking it
  // ("velmorctl", the window's title); the process id and the time are added. nullptr when the
  // lock could not be had: refusal then holds the German text that says why.
  static std::unique_ptr<StationLock> Acquire(const std::string& key, const std::string& holder,
                                              std::chrono::milliseconds wait, std::string& refusal);

 private:
  explicit StationLock(std::unique_ptr<platform::IFileLock> lock) : lock_(std::move(lock)) {}
  std::unique_ptr<platform::IFileLock> lock_;
};

}  // namespace velmor
