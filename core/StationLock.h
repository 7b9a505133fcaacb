// One transfer per station at a time. Every transfer (and every undo of one) holds the station's lock
// for its whole run: the lock file VELMOR.LCK in the station's normal master data folder, so that
// every user and every workstation that reaches the station's folders (a shared drive) takes the same
// lock. The file holds its holder's record: program, user, host, process and start. A second run
// waits a moment and then gives up with a message naming the holder.
//
// The system drops the lock when its process ends, however it ends. A record left by a process of
// this host that no longer runs is taken over. A record of another host is never broken: whether that
// process still runs cannot be seen from here, so the message names it and the file to remove once
// it is known to be over. The holder removes the file as it lets go; whoever took the lock of a file
// that its holder removed meanwhile looks again, so two runs never hold two files of one name.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/Platform.h"

namespace velmor {

// The program's folder for state that outlives a run, as a host path: $XDG_STATE_HOME/velmor, else
// ~/.local/state/velmor. Not created here.
std::string StateFolderHost(platform::ISystem& system);

// The key of a station: its normal master data folder as the host sees it (drive letter and case of
// the spelling do not matter), folded into a short hexadecimal text for a file name.
std::string StationKey(platform::IFileSystem& files, const std::string& normalMaster);

// The lock file of the station with this normal master data folder text (Windows path): VELMOR.LCK in
// that folder (the name is no symbol file and no backup, so no search of the program takes it up); a
// file in the state folder when the text names no folder at all.
std::string StationLockPath(platform::IFileSystem& files, platform::ISystem& system,
                            const std::string& normalMaster);

class StationLock {
 public:
  // Tries to take the lock of the station for up to wait. holder names the program taking it
  // ("velmorctl", the window's title); user, host, process and time are added. nullptr when the lock
  // could not be had: refusal then holds the German text that says why. The lock file is the system's;
  // files finds its folder and creates it when missing.
  static std::unique_ptr<StationLock> Acquire(platform::IFileSystem& files, platform::ISystem& system,
                                              const std::string& normalMaster, const std::string& holder,
                                              std::chrono::milliseconds wait, std::string& refusal);
  // Removes the lock file, then lets go of the lock.
  ~StationLock();
  StationLock(const StationLock&) = delete;
  StationLock& operator=(const StationLock&) = delete;

 private:
  explicit StationLock(std::unique_ptr<platform::IFileLock> lock) : lock_(std::move(lock)) {}
  std::unique_ptr<platform::IFileLock> lock_;
};

}  // namespace velmor
