// Small routines on Windows paths and on text read from files. They never touch the file system and
// work on bytes; positions and field numbers follow the program's conventions (fields count from 0).
#pragma once

#include <string>

namespace velmor {

// path + "\" unless path is empty or already ends in "\".
std::string AppendBackslash(const std::string& path);
// path without one trailing "\" (only one); otherwise unchanged.
std::string StripBackslash(const std::string& path);
// The name after the last "\" of a path ("C:\A\B.TXT" gives "B.TXT"); the whole path without one.
std::string NameOf(const std::string& path);
// The folder before the last "\" of a path, without that "\" ("C:\A\B.TXT" gives "C:\A"); empty
// without one.
std::string FolderOf(const std::string& path);
// A part of a path split at "\" (empty parts for leading, doubled and trailing backslashes).
// With n parts, idx = offset + n - 1. Mode 0: part idx. Mode 1: parts 0..idx, each followed by "\".
// The whole path comes back when idx < 0, in mode 1 when idx <= 0, and for any other mode.
// An offset past the last part gives an empty part in mode 0 and all parts in mode 1.
// PathPart("C:\EPLAN5\BIN", -1, 1) == "C:\EPLAN5\"; PathPart("C:\EPLAN5", -1, 1) == "C:\EPLAN5".
std::string PathPart(const std::string& path, int offset, int mode);
// Field number index (from 0) of text split at separator; empty past the last field or for an empty
// text. Field 0 of a text without separator is the whole text.
std::string FieldAt(char separator, const std::string& text, int index);
// text cut after its last byte of code 32 or more (bytes are unsigned); empty when it has none.
std::string TrimControlTail(const std::string& text);

}  // namespace velmor
