// String lists that walk their lines with a cursor and split or join one line of delimited text.
//
// Strings are byte strings (UTF-8 inside the program); an item may hold any byte but NUL. Nothing here
// touches the file system. The only error is an index outside 0..Count()-1, which throws
// std::out_of_range.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmor {

// An ordered, unsorted list of strings (duplicates and empty items kept) with a walking cursor.
class TQxstringlist {
 public:
  TQxstringlist() = default;
  virtual ~TQxstringlist() = default;
  TQxstringlist(const TQxstringlist&) = default;
  TQxstringlist& operator=(const TQxstringlist&) = default;

  // Appends an item; returns its index.
  int Add(std::string item);
  void Clear();
  int Count() const { return static_cast<int>(items_.size()); }
  // The item at index; std::out_of_range outside 0..Count()-1.
  const std::string& Strings(int index) const;
  std::string& Strings(int index);
  const std::string& operator[](int index) const { return Strings(index); }
  std::string& operator[](int index) { return Strings(index); }
  const std::vector<std::string>& Items() const { return items_; }

  // Replaces the items by the lines of text; CR LF, LF and CR each end a line. A line break at the very
  // end adds no empty item; an empty text gives no items.
  void SetText(std::string_view text);
  // Every item followed by CR LF.
  std::string Text() const;

  // Starts a walk: with at least one item, delivers item 0 and index 0, leaves Cursor at 1 and returns
  // true. An empty list returns false and leaves s, index and Cursor as they were.
  bool GetFirst(std::string& s, int& index);
  // Delivers the item at Cursor and its index and moves Cursor on; false (nothing changed) once Cursor
  // is at or past the end. A new list walks from item 0 even without GetFirst.
  bool GetNext(std::string& s, int& index);

  // Index of the item GetNext delivers next. Survives every change of the items; only GetFirst resets
  // it.
  int32_t Cursor = 0;

 protected:
  std::vector<std::string> items_;
};

// A TQxstringlist that splits one line of delimited text into its items and joins them back.
//
//   TPartStringList parts;
//   parts.Delimiter = ',';
//   parts.SetTextToSeparate("\"AB CD\",EF,,\"G,H\"");   // AB CD / EF / (empty) / G,H
//
// Splitting: every Delimiter outside a quoted stretch ends a field, so k of them give k + 1 items.
// FieldDelimiter opens and closes quoted stretches (the quote itself is dropped); two of them outside a
// stretch stand for one literal quote; an unterminated stretch runs to the end of the text. A
// FieldDelimiter of 0 switches quoting off. The text is taken up to its first NUL.
class TPartStringList : public TQxstringlist {
 public:
  char Delimiter = ';';
  char FieldDelimiter = '"';

  // Both setters replace the items by the fields of text, split with the current Delimiter and
  // FieldDelimiter.
  void SetTextToSeparate(std::string_view text) { SplitText(text, Delimiter, FieldDelimiter, *this); }
  void SetCsvText(std::string_view text) { SplitText(text, Delimiter, FieldDelimiter, *this); }
  // The items joined by Delimiter, nothing quoted.
  std::string TextToSeparate() const;
  // The items, each wrapped in FieldDelimiter (nothing inside escaped), joined by Delimiter; equal to
  // TextToSeparate() when FieldDelimiter is 0.
  std::string CsvText() const;

  // Clears list and fills it with the fields of text; returns the number of items (at least 1).
  static int SplitText(std::string_view text, char separator, char quote, TQxstringlist& list);
};

}  // namespace velmor
