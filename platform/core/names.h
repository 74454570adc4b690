// Names as the panel compares them: file, device and window-class names fold
// ASCII letters to lower case and leave every other unit as it is; find
// patterns take '*' (any run) and '?' (one unit).
#pragma once

#include <string>
#include <string_view>

namespace orlik {

constexpr char16_t LowerAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }
constexpr char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }
constexpr char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }
std::u16string LowerAscii(std::u16string_view text);
std::string LowerAscii(std::string_view text);

enum class LetterCase { kSensitive, kIgnoreAscii };

// True when name matches the whole pattern.
bool WildcardMatch(std::u16string_view pattern, std::u16string_view name, LetterCase letterCase);

// A find pattern over file names: as WildcardMatch, and "*.*" matches every
// name, with a dot or without.
bool FileNameMatch(std::u16string_view pattern, std::u16string_view name, LetterCase letterCase);

}  // namespace orlik
