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

}  // namespace

bool MaskMatches(std::string_view name, std::string_view mask) {
  if (mask.empty()) return false;
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

}  // namespace velmor::platform
