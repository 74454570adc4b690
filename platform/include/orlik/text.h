// UTF-16 texts: length, bounded copies, comparison and UTF-8 conversion.
#pragma once

#include <orlik/types.h>

ORLIK_BEGIN_C

// Length in UTF-16 units, not counting the terminator; a null text has length 0.
ORLIK_API size_t orlik_wcslen(const WCHAR* text);

// Copies at most capacity-1 units of src and always terminates dst (when
// capacity > 0). A null src copies an empty text. Returns the units copied.
ORLIK_API size_t orlik_wcscpy_bounded(WCHAR* dst, size_t capacity, const WCHAR* src);

// Appends like strlcat: the result stays terminated inside capacity.
ORLIK_API size_t orlik_wcscat_bounded(WCHAR* dst, size_t capacity, const WCHAR* src);

// Converts to UTF-8 into dst (capacity bytes, always terminated). Returns the
// bytes the whole conversion needs, not counting the terminator.
ORLIK_API size_t orlik_wcs_to_utf8(const WCHAR* text, char* dst, size_t capacity);

// Converts UTF-8 into UTF-16 (capacity units, always terminated). Returns the
// units the whole conversion needs, not counting the terminator.
ORLIK_API size_t orlik_utf8_to_wcs(const char* text, WCHAR* dst, size_t capacity);

// Compares two texts; case-insensitive for ASCII letters as on the panel's
// file systems and device names.
ORLIK_API int orlik_wcsicmp(const WCHAR* a, const WCHAR* b);

ORLIK_END_C

#ifdef __cplusplus
#include <string>
#include <string_view>

namespace orlik {

__attribute__((visibility("default"))) std::string ToUtf8(std::u16string_view text);
__attribute__((visibility("default"))) std::u16string FromUtf8(std::string_view text);

// A null pointer reads as the empty text.
inline std::u16string_view View(const WCHAR* text) {
  return text ? std::u16string_view(text, orlik_wcslen(text)) : std::u16string_view();
}

}  // namespace orlik
#endif
