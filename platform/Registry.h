// The HKEY_LOCAL_MACHINE view of a Wine prefix, read from its system.reg. Every lookup reads the
// file afresh (Wine rewrites it while EPLAN runs); the parse of the last file is reused only while the
// file is provably unchanged. A missing, unreadable or malformed file is an
// empty registry; a malformed line is skipped. In a 64-bit prefix keys under Software\ are looked up in
// the 32-bit view (Software\Wow6432Node\) first.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmor::platform {

// One parsed system.reg. Key paths are given relative to HKEY_LOCAL_MACHINE with "\" between the
// names ("Software\EPLAN\EPLAN 5"); leading, trailing and doubled backslashes are ignored. Names of
// keys and values match case-insensitively. All texts are UTF-8.
class RegistryFile {
 public:
  // True when the file declared a 64-bit prefix ("#arch=win64").
  bool Win64() const { return win64_; }
  // Number of key sections read from the file.
  size_t SectionCount() const { return keys_.size(); }

  // The lookups below apply the 32-bit view.
  bool KeyExists(std::string_view key) const;
  // Sub-key names as spelled in the file, sorted as Wine lists them; nullopt when the key is missing.
  std::optional<std::vector<std::string>> SubKeys(std::string_view key) const;
  // A REG_SZ or REG_EXPAND_SZ value up to its first NUL; nullopt when the key or the value is
  // missing or holds another type. The empty name is the key's default value ("@").
  std::optional<std::string> String(std::string_view key, std::string_view name) const;

 private:
  friend RegistryFile ParseRegistry(std::string_view text);

  struct Key {
    std::string path;  // as spelled in the file, decoded
    size_t order = 0;  // position of its first section in the file
    // Byte ranges of the value lines of each section of this key (normally one).
    std::vector<std::pair<size_t, size_t>> bodies;
  };

  // Exact (view-less) lookups on a folded path.
  bool HasKey(const std::string& folded) const;
  const Key* FindKey(const std::string& folded) const;
  std::optional<std::vector<std::string>> ChildrenOf(const std::string& folded) const;
  // The folded path to use for a caller's key: the 32-bit view's when it has the key.
  std::string ViewPath(std::string_view key) const;

  bool win64_ = false;
  std::string text_;                 // the file, kept for reading values on demand
  std::map<std::string, Key> keys_;  // by folded path
};

// Parses the text of a system.reg. Never fails: what cannot be read is left out.
RegistryFile ParseRegistry(std::string_view text);

bool RegistryKeyExists(const std::string& systemRegHostPath, std::string_view key);
// Sub-key names sorted as Wine lists them; nullopt when the key does not exist.
std::optional<std::vector<std::string>> RegistrySubKeys(const std::string& systemRegHostPath,
                                                        std::string_view key);
// A string value; nullopt when the key or the value is missing or not a string.
std::optional<std::string> RegistryString(const std::string& systemRegHostPath, std::string_view key,
                                          std::string_view name);

}  // namespace velmor::platform
