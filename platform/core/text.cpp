#include <orlik/text.h>

#include "core/hot_path.h"
#include "core/names.h"

#include <cstring>
#include <type_traits>

namespace {

// Decodes one code point from UTF-16; lone surrogates become U+FFFD.
char32_t NextFrom16(std::u16string_view s, size_t& i) {
  char16_t c = s[i++];
  if (c >= 0xD800 && c <= 0xDBFF) {
    if (i < s.size() && s[i] >= 0xDC00 && s[i] <= 0xDFFF) {
      char32_t cp = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(s[i]) - 0xDC00);
      ++i;
      return cp;
    }
    return 0xFFFD;
  }
  if (c >= 0xDC00 && c <= 0xDFFF) return 0xFFFD;
  return c;
}

// Decodes one code point from UTF-8; malformed sequences become U+FFFD.
char32_t NextFrom8(std::string_view s, size_t& i) {
  auto b = static_cast<unsigned char>(s[i++]);
  if (b < 0x80) return b;
  int extra = (b >= 0xF0 && b < 0xF8) ? 3 : (b >= 0xE0) ? 2 : (b >= 0xC2 && b < 0xE0) ? 1 : -1;
  if (extra < 0 || b >= 0xF8) return 0xFFFD;
  char32_t cp = b & (0x3F >> extra);
  for (int k = 0; k < extra; ++k) {
    if (i >= s.size()) return 0xFFFD;
    auto n = static_cast<unsigned char>(s[i]);
    if ((n & 0xC0) != 0x80) return 0xFFFD;
    cp = (cp << 6) | (n & 0x3F);
    ++i;
  }
  static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0xFFFD;
  return cp;
}

// Appends one code point as UTF-8: a lead byte, then six bits a byte.
void Append(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += char(cp);
    return;
  }
  int extra = cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;
  out += char(((0xFF << (7 - extra)) & 0xFF) | (cp >> (6 * extra)));
  for (int k = extra - 1; k >= 0; --k) out += char(0x80 | ((cp >> (6 * k)) & 0x3F));
}

// Appends one code point as UTF-16: one unit, or a surrogate pair above the
// basic plane.
void Append(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out += char16_t(cp);
    return;
  }
  cp -= 0x10000;
  out += char16_t(0xD800 + (cp >> 10));
  out += char16_t(0xDC00 + (cp & 0x3FF));
}

template <class Out, class In>
Out Convert(In text, char32_t (*next)(In, size_t&)) {
  using Unit = std::make_unsigned_t<typename In::value_type>;
  Out out;
  // ASCII, the usual case, goes into place unit by unit.
  out.resize(text.size());
  size_t i = 0;
  for (; i < text.size() && Unit(text[i]) < 0x80; ++i) out[i] = typename Out::value_type(text[i]);
  out.resize(i);
  while (i < text.size()) Append(out, next(text, i));
  return out;
}

// Whether a unit continues the code point before it (never the first unit of
// one): a UTF-8 continuation byte, a UTF-16 low surrogate.
bool Continues(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }
bool Continues(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Copies a converted text into a caller's buffer of `capacity` units,
// truncated but never inside a code point and always terminated; returns the
// whole text's length.
template <class Char>
size_t CopyOut(const std::basic_string<Char>& s, Char* dst, size_t capacity) {
  if (dst && capacity > 0) {
    size_t n = s.size() < capacity - 1 ? s.size() : capacity - 1;
    while (n > 0 && n < s.size() && Continues(s[n])) --n;
    std::memcpy(dst, s.data(), n * sizeof(Char));
    dst[n] = 0;
  }
  return s.size();
}

}  // namespace

namespace orlik {

std::string ToUtf8(std::u16string_view text) { return Convert<std::string>(text, NextFrom16); }

std::u16string FromUtf8(std::string_view text) { return Convert<std::u16string>(text, NextFrom8); }

}  // namespace orlik

extern "C" {

ORLIK_HOT_PATH size_t orlik_wcslen(const WCHAR* text) {
  if (!text) return 0;
  size_t n = 0;
  while (text[n]) ++n;
  return n;
}

size_t orlik_wcscpy_bounded(WCHAR* dst, size_t capacity, const WCHAR* src) {
  if (!dst || capacity == 0) return 0;
  size_t n = 0;
  if (src) {
    while (n + 1 < capacity && src[n]) {
      dst[n] = src[n];
      ++n;
    }
  }
  dst[n] = 0;
  return n;
}

size_t orlik_wcscat_bounded(WCHAR* dst, size_t capacity, const WCHAR* src) {
  if (!dst || capacity == 0) return 0;
  size_t used = 0;
  while (used < capacity && dst[used]) ++used;
  if (used == capacity) {  // not terminated inside capacity: terminate, append nothing
    dst[capacity - 1] = 0;
    return 0;
  }
  return orlik_wcscpy_bounded(dst + used, capacity - used, src);
}

size_t orlik_wcs_to_utf8(const WCHAR* text, char* dst, size_t capacity) {
  return CopyOut(orlik::ToUtf8(orlik::View(text)), dst, capacity);
}

size_t orlik_utf8_to_wcs(const char* text, WCHAR* dst, size_t capacity) {
  return CopyOut(orlik::FromUtf8(text ? std::string_view(text) : std::string_view()), dst, capacity);
}

int orlik_wcsicmp(const WCHAR* a, const WCHAR* b) {
  auto va = orlik::View(a), vb = orlik::View(b);
  for (size_t i = 0; i < va.size() && i < vb.size(); ++i) {
    char16_t x = orlik::LowerAscii(va[i]), y = orlik::LowerAscii(vb[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return va.size() == vb.size() ? 0 : (va.size() < vb.size() ? -1 : 1);
}

}  // extern "C"
