// Compile-time check that a row of probe_table.tsv describes its export as the
// library's public header declares it: the probe calls through libffi with the
// table's kinds, so a kind that disagrees with the declaration would call the
// export wrongly without any compiler seeing it.
#pragma once

#include <cstdint>
#include <string_view>
#include <type_traits>

namespace probe {

// What a non-void type is to the probe.
template <class U>
consteval bool IsValueKind(std::string_view kind) {
  constexpr bool integral = std::is_integral_v<U> && !std::is_same_v<U, bool>;
  if (kind == "i32") return integral && sizeof(U) == 4 && std::is_signed_v<U>;
  if (kind == "u32") return integral && sizeof(U) == 4 && std::is_unsigned_v<U>;
  if (kind == "n" || kind == "delay") return integral && sizeof(U) == 4;
  if (kind == "f64") return std::is_same_v<U, double>;
  if (kind == "f32") return std::is_same_v<U, float>;
  if (kind == "ptr") return std::is_pointer_v<U>;
  if (kind == "handle") return std::is_pointer_v<U> || (integral && sizeof(U) == sizeof(void*));
  if (kind == "wstr") {
    if constexpr (std::is_pointer_v<U>)
      return std::is_same_v<std::remove_cv_t<std::remove_pointer_t<U>>, char16_t>;
    return false;
  }
  return false;
}

template <class T>
consteval bool IsKind(std::string_view kind) {
  using U = std::remove_cv_t<T>;
  if constexpr (std::is_void_v<U>) {
    return kind == "void";
  } else {
    return IsValueKind<U>(kind);
  }
}

// The i-th comma-separated field of `list` ("-" is an empty list).
consteval std::string_view Field(std::string_view list, size_t i) {
  for (; i > 0; --i) {
    size_t comma = list.find(',');
    if (comma == std::string_view::npos) return {};
    list.remove_prefix(comma + 1);
  }
  return list.substr(0, list.find(','));
}

consteval size_t Count(std::string_view list) {
  if (list == "-" || list.empty()) return 0;
  size_t n = 1;
  for (char c : list) n += c == ',';
  return n;
}

template <class... A, size_t... I>
consteval bool ArgumentsMatch([[maybe_unused]] std::string_view kinds, std::index_sequence<I...>) {
  return (IsKind<A>(Field(kinds, I)) && ...);
}

// True when an export of type R(A...) returns `result` and takes `kinds`.
template <class R, class... A>
consteval bool Matches(R (*)(A...), std::string_view result, std::string_view kinds) {
  return IsKind<R>(result) && Count(kinds) == sizeof...(A) &&
         ArgumentsMatch<A...>(kinds, std::index_sequence_for<A...>{});
}

}  // namespace probe
