// Windows wildcard matching of enumeration masks.
#include <vector>

#include "platform/Platform.h"
#include "platform/Utf8.h"

namespace velmor::platform {
namespace {

enum class Op : uint8_t {
  Literal,
  Star,              // any run of characters
  DosStar,           // "*" before a ".": any run that does not take the name's last dot
  Question,          // one character
  OptionalQuestion,  // one character or none: a "?" run at the end of the mask or before a "."
  DosDot,            // "." at the end or before a wildcard: a dot, or nothing at the end of the name
};

struct Token {
  Op op;
  char32_t c;
};

void Decode(std::string_view text, std::vector<char32_t>& out) {
  out.clear();
  for (size_t i = 0; i < text.size();) out.push_back(detail::UpperCodePoint(detail::NextCodePoint(text, i)));
}

bool IsDotOrBlank(char c) {
  return c == '.' || c == ' ';
}

// The mask as it is matched: trailing blanks dropped, and a run of dots and blanks at the end turned
// into one final dot ("*.TXT " is "*.TXT", "X.TXT .." is "X.TXT."). A mask of nothing but dots and
// blanks becomes "." or empty.
std::string TrimMaskEnd(std::string_view mask) {
  while (!mask.empty() && mask.back() == ' ') mask.remove_suffix(1);
  if (mask.empty() || mask.back() != '.') return std::string(mask);
  while (!mask.empty() && IsDotOrBlank(mask.back())) mask.remove_suffix(1);
  std::string trimmed(mask);
  trimmed.push_back('.');
  return trimmed;
}

bool HasWildcard(std::string_view mask) {
  return mask.find_first_of("*?") != std::string_view::npos;
}

bool MatchTrimmed(std::string_view name, std::string_view mask);

}  // namespace

bool MaskMatches(std::string_view name, std::string_view mask) {
  if (mask.empty() || mask.back() == ' ' || mask.back() == '.') return MatchTrimmed(name, TrimMaskEnd(mask));
  return MatchTrimmed(name, mask);
}

namespace {

bool MatchTrimmed(std::string_view name, std::string_view mask) {
  // An empty mask, or one that was only dots and blanks, names nothing.
  if (mask.empty() || mask == ".") return false;
  if (mask == "*" || mask == "*.*") return true;

  thread_local std::vector<char32_t> n, m;
  thread_local std::vector<Token> tokens;
  thread_local std::vector<char> next, cur;
  Decode(name, n);
  Decode(mask, m);

  tokens.clear();
  for (size_t i = 0; i < m.size(); ++i) {
    const char32_t c = m[i];
    const char32_t after = i + 1 < m.size() ? m[i + 1] : 0;
    if (c == '*') {
      tokens.push_back({after == '.' ? Op::DosStar : Op::Star, 0});
    } else if (c == '?') {
      size_t end = i;
      while (end < m.size() && m[end] == '?') ++end;
      const bool optional = end == m.size() || m[end] == '.';
      tokens.push_back({optional ? Op::OptionalQuestion : Op::Question, 0});
    } else if (c == '.' && (i + 1 == m.size() || after == '?' || after == '*')) {
      tokens.push_back({Op::DosDot, 0});
    } else {
      tokens.push_back({Op::Literal, c});
    }
  }

  const size_t size = n.size();
  size_t lastDot = size;  // none
  for (size_t i = 0; i < size; ++i)
    if (n[i] == '.') lastDot = i;

  // The mask is walked from its last token to its first: row[ni] tells whether the tokens from t on
  // match the name from ni on, so each row needs only the row after it.
  next.assign(size + 1, 0);
  cur.assign(size + 1, 0);
  next[size] = 1;
  for (size_t t = tokens.size(); t-- > 0;) {
    const Token tok = tokens[t];
    for (size_t ni = size + 1; ni-- > 0;) {
      const bool more = ni < size;
      bool ok = false;
      switch (tok.op) {
        case Op::Literal:
          ok = more && n[ni] == tok.c && next[ni + 1];
          break;
        case Op::Star:
          ok = next[ni] || (more && cur[ni + 1]);
          break;
        case Op::DosStar:
          ok = next[ni] || (more && ni != lastDot && cur[ni + 1]);
          break;
        case Op::Question:
          ok = more && next[ni + 1];
          break;
        case Op::OptionalQuestion:
          ok = (more && next[ni + 1]) || next[ni];
          break;
        case Op::DosDot:
          ok = more ? (n[ni] == '.' && next[ni + 1]) : next[ni];
          break;
      }
      cur[ni] = ok;
    }
    next.swap(cur);
  }
  return next[0] != 0;
}

char UpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Whether the name ends in the upper-cased suffix, its ASCII letters compared without case.
inline bool EndsWithUpper(std::string_view name, std::string_view suffix) {
  if (name.size() < suffix.size()) return false;
  const size_t offset = name.size() - suffix.size();
  for (size_t i = 0; i < suffix.size(); ++i)
    if (UpperAscii(name[offset + i]) != suffix[i]) return false;
  return true;
}

}  // namespace

FolderMask::FolderMask(std::string_view mask) {
  text_ = TrimMaskEnd(mask);
  if (text_.empty() || text_ == ".") return;
  literal_ = !HasWildcard(text_);
  if (literal_) {
    exact_ = text_;
    if (exact_.back() == '.') exact_.pop_back();
  }
  if (text_ == "*" || text_ == "*.*") {
    kind_ = Kind::Everything;
    return;
  }
  kind_ = Kind::General;
  // "*" followed by plain ASCII is a case-insensitive suffix test: "*" runs over dots, and only ASCII
  // letters fold to ASCII letters, so the general matcher would say the same.
  if (text_[0] != '*' || text_.size() < 2 || text_.back() == '.') return;
  for (size_t i = 1; i < text_.size(); ++i) {
    const char c = text_[i];
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '_' || c == '-';
    if (!plain) return;
  }
  kind_ = Kind::Suffix;
  std::string suffix;
  for (size_t i = 1; i < text_.size(); ++i) suffix.push_back(UpperAscii(text_[i]));
  text_ = std::move(suffix);
}

bool FolderMask::Matches(std::string_view name) const {
  switch (kind_) {
    case Kind::Nothing:
      return false;
    case Kind::Everything:
      return true;
    case Kind::Suffix:
      return EndsWithUpper(name, text_);
    case Kind::General:
      return MatchTrimmed(name, text_);
  }
  return false;
}

void FolderMask::Select(const IFolderListing& listing, std::vector<size_t>& out) const {
  if (kind_ == Kind::Nothing) return;
  const size_t count = listing.Count();
  if (kind_ == Kind::Suffix && !literal_) {
    // The common case ("*.ASC"), tested in place for every entry of the folder.
    for (size_t i = 0; i < count; ++i)
      if (EndsWithUpper(listing.Name(i), text_)) out.push_back(i);
    return;
  }
  if (!literal_) {
    for (size_t i = 0; i < count; ++i)
      if (Matches(listing.Name(i))) out.push_back(i);
    return;
  }
  // A plain name stands for one entry, the one that opening that name would find.
  size_t first = count;
  for (size_t i = 0; i < count; ++i) {
    const std::string_view name = listing.Name(i);
    if (name == exact_) {
      out.push_back(i);
      return;
    }
    if (first == count && Matches(name)) first = i;
  }
  if (first != count) out.push_back(first);
}

}  // namespace velmor::platform
