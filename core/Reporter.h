// How a core service talks to the person at the other end without knowing whether that is a window,
// a terminal or a test. The window answers with message boxes, velmorctl with stderr and prompts,
// tests with scripted answers.
#pragma once

#include <string>

namespace velmor {

class IReporter {
 public:
  virtual ~IReporter() = default;
  // A plain message: the text and one "OK".
  virtual void ShowMessage(const std::string& text) = 0;
  // A confirmation ("Bestätigung", buttons "OK" and "Abbrechen"); true for "OK".
  virtual bool Confirm(const std::string& text) = 0;
};

}  // namespace velmor
