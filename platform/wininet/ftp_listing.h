// Directory listings as FTP servers send them: LIST lines in the Unix
// ("ls -l") or DOS form, and MLSD fact lines. Pure text work, no I/O.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orlik::ftp {

struct ListingEntry {
  std::string name;  // as the server sent it (UTF-8 by convention)
  bool directory = false;
  uint64_t size = 0;
  int64_t modified = -1;  // seconds since 1970 UTC, -1 when not given
};

// One LIST line, Unix or DOS form. Lines that describe no entry ("total 12",
// blank, unknown layouts) give nothing. A symbolic link gives its own name.
std::optional<ListingEntry> ParseListLine(std::string_view line, int64_t now);
// One MLSD line ("type=file;size=3;modify=20240101120000; name"). The current
// and parent directory entries (type=cdir, type=pdir) give nothing.
std::optional<ListingEntry> ParseMlsdLine(std::string_view line);
// A whole listing: lines end in CRLF or LF; entries in the server's order.
std::vector<ListingEntry> ParseListing(std::string_view text, bool mlsd, int64_t now);

// Seconds since 1970 of a UTC calendar time; month 1-12.
int64_t UnixTime(int year, int month, int day, int hour, int minute, int second);

}  // namespace orlik::ftp
