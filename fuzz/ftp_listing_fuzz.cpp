// Fuzz target for the FTP listing parser: whole listings in both forms, and
// every line cut at every offset (what a short read would leave).
#include "wininet/ftp_listing.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

void Check(const std::optional<orlik::ftp::ListingEntry>& e) {
  if (!e) return;
  // An entry always has a name, and a name never spans lines.
  if (e->name.empty() || e->name.find('\n') != std::string::npos) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  const int64_t now = orlik::ftp::UnixTime(2024, 6, 15, 12, 0, 0);
  for (bool mlsd : {false, true})
    for (const auto& e : orlik::ftp::ParseListing(text, mlsd, now)) Check(e);
  std::string_view line = text.substr(0, std::min<size_t>(text.find('\n'), 512));
  for (size_t cut = 0; cut <= line.size(); ++cut) {
    Check(orlik::ftp::ParseListLine(line.substr(0, cut), now));
    Check(orlik::ftp::ParseListLine(line.substr(cut), now));
    Check(orlik::ftp::ParseMlsdLine(line.substr(0, cut)));
    Check(orlik::ftp::ParseMlsdLine(line.substr(cut)));
  }
  return 0;
}
