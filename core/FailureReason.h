// Why a file could not be copied, saved or written, in the user's words: the German text of the
// Windows error code the platform reported.
#pragma once

#include <cstdint>
#include <string>

namespace velmor {

// "Zugriff verweigert", "Datenträger voll", "Name zu lang", "von einem anderen Programm gesperrt", ...;
// the code itself for one without a text of its own ("Fehler 1234").
std::string FailureReason(uint32_t windowsError);

}  // namespace velmor
