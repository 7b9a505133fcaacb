#include "support/TovrelUtil.h"

#include <stdexcept>

namespace velmor {

int TQxstringlist::Add(std::string item) {
  items_.push_back(std::move(item));
  return Count() - 1;
}

void TQxstringlist::Clear() {
  items_.clear();
}

const std::string& TQxstringlist::Strings(int index) const {
  if (index < 0 || index >= Count())
    throw std::out_of_range("Listenindex außerhalb des gültigen Bereichs (" + std::to_string(index) + ")");
  return items_[static_cast<size_t>(index)];
}

std::string& TQxstringlist::Strings(int index) {
  return const_cast<std::string&>(static_cast<const TQxstringlist&>(*this).Strings(index));
}

void TQxstringlist::SetText(std::string_view text) {
  items_.clear();
  size_t start = 0;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c != '\r' && c != '\n') {
      ++i;
      continue;
    }
    items_.emplace_back(text.substr(start, i - start));
    i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
    start = i;
  }
  // A last line without a line break still counts; a break at the very end opens no new line.
  if (start < text.size()) items_.emplace_back(text.substr(start));
}

std::string TQxstringlist::Text() const {
  std::string out;
  for (const std::string& item : items_) {
    out += item;
    out += "\r\n";
  }
  return out;
}

bool TQxstringlist::GetFirst(std::string& s, int& index) {
  if (items_.empty()) return false;
  Cursor = 0;
  return GetNext(s, index);
}

bool TQxstringlist::GetNext(std::string& s, int& index) {
  // The cursor may point anywhere after items were removed, or below 0 if a caller set it so.
  if (Cursor < 0 || Cursor >= Count()) return false;
  s = items_[static_cast<size_t>(Cursor)];
  index = Cursor;
  ++Cursor;
  return true;
}

std::string TPartStringList::TextToSeparate() const {
  std::string out;
  for (size_t i = 0; i < items_.size(); ++i) {
    if (i != 0) out += Delimiter;
    out += items_[i];
  }
  return out;
}

std::string TPartStringList::CsvText() const {
  if (FieldDelimiter == '\0') return TextToSeparate();
  std::string out;
  for (size_t i = 0; i < items_.size(); ++i) {
    if (i != 0) out += Delimiter;
    out += FieldDelimiter;
    out += items_[i];
    out += FieldDelimiter;
  }
  return out;
}

int TPartStringList::SplitText(std::string_view text, char separator, char quote, TQxstringlist& list) {
  if (const size_t nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
  const size_t n = text.size();
  list.Clear();
  std::string field;
  field.reserve(n + 1);
  bool quoted = false;
  size_t i = 0;
  while (i < n) {
    const char c = text[i];
    if (quoted) {
      ++i;
      if (c == quote)
        quoted = false;
      else
        field += c;
    } else if (c == quote && quote != '\0') {
      // Checked before the separator: a quote character equal to the separator acts as a quote.
      if (i + 1 < n && text[i + 1] == quote) {
        field += quote;
        i += 2;
      } else {
        quoted = true;
        ++i;
      }
    } else if (c == separator) {
      ++i;
      list.Add(field);
      field.clear();
    } else {
      field += c;
      ++i;
    }
  }
  // The end of the text ends the last field, also inside an unterminated quoted stretch.
  list.Add(std::move(field));
  return list.Count();
}

}  // namespace velmor
