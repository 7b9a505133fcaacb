// Other processes for the tests: one that holds a byte-range lock on a file, and the id of one that
// has ended.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace velmor::testing {

// The id of a process that has ended and been reaped.
inline pid_t EndedProcess() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  return child;
}

// A byte-range lock that another process holds on a file, as Wine holds the LockFile of a Windows
// program: a child process takes it with fcntl(F_SETLK) and keeps it until the object goes.
class LockedByAnotherProcess {
 public:
  explicit LockedByAnotherProcess(const std::string& hostPath) {
    int ready[2];
    if (pipe(ready) != 0 || pipe(release_) != 0) return;
    child_ = fork();
    if (child_ == 0) {
      close(release_[1]);  // the parent's closing of its end is what ends the wait below
      const int fd = open(hostPath.c_str(), O_RDWR);
      // A range inside the file, not at its start: Windows programs lock records.
      struct flock range {};
      range.l_type = F_WRLCK;
      range.l_whence = SEEK_SET;
      range.l_start = 2;
      range.l_len = 1;
      char answer = fd >= 0 && fcntl(fd, F_SETLK, &range) == 0 ? 'j' : 'n';
      if (write(ready[1], &answer, 1) != 1 || read(release_[0], &answer, 1) < 0) _exit(1);
      _exit(0);
    }
    char answer = 'n';
    locked_ = read(ready[0], &answer, 1) == 1 && answer == 'j';
    close(ready[0]);
    close(ready[1]);
    close(release_[0]);
  }
  ~LockedByAnotherProcess() {
    close(release_[1]);
    if (child_ > 0) waitpid(child_, nullptr, 0);
  }
  LockedByAnotherProcess(const LockedByAnotherProcess&) = delete;
  LockedByAnotherProcess& operator=(const LockedByAnotherProcess&) = delete;

  // The child holds the lock.
  bool Locked() const { return locked_; }

 private:
  int release_[2] = {-1, -1};
  pid_t child_ = -1;
  bool locked_ = false;
};

}  // namespace velmor::testing
