// Small POSIX helpers shared by the platform's source files. Not for use outside platform/.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmor::platform::detail {

// Windows error code for an errno value. Values without a Windows counterpart give `unlisted`
// (each caller picks the code that fits the kind of call it makes).
uint32_t MapErrno(int err, uint32_t unlisted);

// Writes all bytes, resuming after short writes and interrupted calls. On failure errno tells why.
bool WriteAll(int fd, std::string_view bytes);

// Folder part of a host path: "/" for "/x", "." for a bare name.
std::string ParentOf(const std::string& path);

}  // namespace velmor::platform::detail
