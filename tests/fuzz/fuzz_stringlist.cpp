// Splits arbitrary text with arbitrary separator and quote characters and checks what every split must
// keep: at least one item, never more bytes than the text, and without quoting the text itself.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "support/TovrelUtil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const char separator = static_cast<char>(data[0]);
  const char quote = static_cast<char>(data[1]);
  const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);
  const std::string_view used = text.substr(0, text.find('\0'));

  velmor::TPartStringList list;
  list.Delimiter = separator;
  list.FieldDelimiter = quote;
  list.SetTextToSeparate(text);
  if (list.Count() < 1) __builtin_trap();
  size_t bytes = 0;
  for (const std::string& item : list.Items()) bytes += item.size();
  if (bytes > used.size()) __builtin_trap();
  // Without quoting the split loses nothing but the separators.
  if (quote == '\0' && list.TextToSeparate() != used) __builtin_trap();
  (void)list.CsvText();

  // Lines: every item comes back once per walk, in order, and the text holds no stray line breaks.
  velmor::TQxstringlist lines;
  lines.SetText(text);
  std::string s;
  int index = -1;
  int walked = 0;
  for (bool ok = lines.GetFirst(s, index); ok; ok = lines.GetNext(s, index)) {
    if (index != walked || s != lines[walked] || s.find_first_of("\r\n") != std::string::npos)
      __builtin_trap();
    ++walked;
  }
  if (walked != lines.Count()) __builtin_trap();
  velmor::TQxstringlist again;
  again.SetText(lines.Text());
  if (again.Items() != lines.Items()) __builtin_trap();
  return 0;
}
