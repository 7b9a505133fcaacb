// An owning POSIX file descriptor: closed when it goes out of scope, so that no early return of the
// platform's file code can leak one. Movable, not copyable. Not for use outside platform/.
//
// Where the result of close() matters (a file that was written: the last write error may only show
// there), call Close() and check it; the destructor closes quietly and keeps errno as it was, so that
// an error code read after a scope ends still tells about the call that failed.
#pragma once

#include <unistd.h>

#include <cerrno>

namespace velmor::platform::detail {

class FileDescriptor {
 public:
  FileDescriptor() noexcept = default;
  explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
  ~FileDescriptor() { Reset(); }

  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.Release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int Get() const noexcept { return fd_; }
  bool IsOpen() const noexcept { return fd_ >= 0; }
  explicit operator bool() const noexcept { return IsOpen(); }

  // Hands the descriptor over to the caller, who closes it from now on.
  int Release() noexcept {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

  // Closes the descriptor held (errno kept) and takes `fd` instead.
  void Reset(int fd = -1) noexcept {
    if (fd_ >= 0) {
      const int saved = errno;
      ::close(fd_);  // no retry on EINTR: on Linux the descriptor is gone either way
      errno = saved;
    }
    fd_ = fd;
  }

  // Closes now; false with errno set when the kernel reported an error (a write that failed late).
  // Closing a descriptor that is not open succeeds.
  bool Close() noexcept {
    const int fd = Release();
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_ = -1;
};

}  // namespace velmor::platform::detail
