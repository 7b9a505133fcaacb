// The one error type of the program: carries the German text the user sees. The window shows it in
// the toolkit's error box; velmorctl prints it and exits non-zero.
#pragma once

#include <stdexcept>
#include <string>

namespace velmor {

class VelmorError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace velmor
