// The names in the window's settings file: the file, its section and the texts it keeps between runs.
// The window writes and restores them, `velmorctl transfer` reads them as the defaults of its inputs,
// and the demo station writes a filled-in file. A stored text is kept under its component's name, "_"
// and the property name.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace velmor::settings {

// Handed to the profile calls as it stands, without a folder: the file lies in the Windows folder.
inline constexpr std::string_view kFile = "Velmor.INI";
inline constexpr std::string_view kSection = "VelmorMainFrm";

// The stored texts, as component "." property, in the order they are saved and restored.
inline constexpr std::string_view kEplanDir = "EplanVerz.Text";
inline constexpr std::string_view kProjectName = "ProjektName.Text";
inline constexpr std::string_view kExfDir = "ExfVErz.Text";
inline constexpr std::string_view kExpDir = "ExpVerz.Text";
inline constexpr std::string_view kAscDir = "AscVerz.Text";
inline constexpr std::array<std::string_view, 5> kStoredTexts = {kEplanDir, kProjectName, kExfDir, kExpDir,
                                                                 kAscDir};

// The key a stored text is written under: "ExfVErz.Text" is kept as "ExfVErz_Text".
inline std::string KeyOf(std::string_view storedText) {
  std::string key(storedText);
  if (const size_t dot = key.find('.'); dot != std::string::npos) key[dot] = '_';
  return key;
}

}  // namespace velmor::settings
