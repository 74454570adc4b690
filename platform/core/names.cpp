#include "core/names.h"

namespace orlik {
namespace {

template <class Char>
std::basic_string<Char> Lowered(std::basic_string_view<Char> text) {
  std::basic_string<Char> out(text);
  for (auto& c : out) c = LowerAscii(c);
  return out;
}

}  // namespace

std::u16string LowerAscii(std::u16string_view text) { return Lowered(text); }
std::string LowerAscii(std::string_view text) { return Lowered(text); }

bool WildcardMatch(std::u16string_view pattern, std::u16string_view name, LetterCase letterCase) {
  auto same = [letterCase](char16_t a, char16_t b) {
    return letterCase == LetterCase::kIgnoreAscii ? LowerAscii(a) == LowerAscii(b) : a == b;
  };
  // Greedy with one step back: on a mismatch, the last '*' takes one unit more.
  size_t p = 0, n = 0, star = std::u16string_view::npos, mark = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == u'?' || same(pattern[p], name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == u'*') {
      star = p++;
      mark = n;
    } else if (star != std::u16string_view::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

bool FileNameMatch(std::u16string_view pattern, std::u16string_view name, LetterCase letterCase) {
  return pattern == u"*.*" || WildcardMatch(pattern, name, letterCase);
}

}  // namespace orlik
