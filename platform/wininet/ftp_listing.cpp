#include "wininet/ftp_listing.h"

#include <array>
#include <cctype>

namespace orlik::ftp {
namespace {

bool IsDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// Digits only; saturates instead of overflowing.
uint64_t ToNumber(std::string_view s) {
  uint64_t v = 0;
  for (char c : s) {
    if (v > (UINT64_MAX - 9) / 10) return UINT64_MAX;
    v = v * 10 + uint64_t(c - '0');
  }
  return v;
}

int MonthIndex(std::string_view s) {
  static constexpr std::array<std::string_view, 12> kMonths = {
      "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
  if (s.size() != 3) return 0;
  for (size_t i = 0; i < kMonths.size(); ++i) {
    bool same = true;
    for (size_t k = 0; k < 3; ++k)
      if (std::tolower(static_cast<unsigned char>(s[k])) != kMonths[i][k]) same = false;
    if (same) return int(i) + 1;
  }
  return 0;
}

// Whitespace-separated tokens with their offsets, up to max of them.
struct Token {
  std::string_view text;
  size_t end;  // offset just past the token
};

std::vector<Token> Tokens(std::string_view line, size_t max) {
  std::vector<Token> out;
  size_t i = 0;
  while (i < line.size() && out.size() < max) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) out.push_back({line.substr(start, i - start), i});
  }
  return out;
}

// "12:34" into hour and minute.
bool ParseClock(std::string_view s, int* hour, int* minute) {
  size_t colon = s.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon > 2 || s.size() - colon - 1 != 2)
    return false;
  auto h = s.substr(0, colon), m = s.substr(colon + 1);
  if (!IsDigits(h) || !IsDigits(m)) return false;
  *hour = int(ToNumber(h));
  *minute = int(ToNumber(m));
  return *hour < 24 && *minute < 60;
}

int YearOf(int64_t t) {
  int64_t days = t >= 0 ? t / 86400 : (t - 86399) / 86400;
  // Inverse of the civil-from-days computation in UnixTime.
  days += 719468;
  int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  int64_t doe = days - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t y = yoe + era * 400;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int64_t m = mp + (mp < 10 ? 3 : -9);
  return int(y + (m <= 2));
}

// The name after the date: a Unix listing separates it by one space, and a
// name may itself begin with or hold spaces.
std::string_view NameAfter(std::string_view line, size_t end) {
  if (end < line.size() && line[end] == ' ') ++end;
  return end <= line.size() ? line.substr(end) : std::string_view();
}

std::optional<ListingEntry> ParseUnix(std::string_view line, int64_t now) {
  auto tokens = Tokens(line, 9);
  if (tokens.size() < 6) return std::nullopt;
  char kind = tokens[0].text[0];
  if (kind != '-' && kind != 'd' && kind != 'l' && kind != 'b' && kind != 'c' && kind != 'p' &&
      kind != 's')
    return std::nullopt;
  if (tokens[0].text.size() < 10) return std::nullopt;
  // Find "month day time-or-year"; the size is the token before the month.
  for (size_t m = 2; m + 2 < tokens.size(); ++m) {
    int month = MonthIndex(tokens[m].text);
    if (!month || !IsDigits(tokens[m - 1].text) || !IsDigits(tokens[m + 1].text)) continue;
    uint64_t day = ToNumber(tokens[m + 1].text);
    if (day < 1 || day > 31) continue;
    std::string_view when = tokens[m + 2].text;
    int hour = 0, minute = 0, year = 0;
    if (ParseClock(when, &hour, &minute)) {
      // No year: the latest such date not more than a day ahead of now.
      year = YearOf(now);
      if (UnixTime(year, month, int(day), hour, minute, 0) > now + 86400) --year;
    } else if (when.size() == 4 && IsDigits(when)) {
      year = int(ToNumber(when));
    } else {
      continue;
    }
    std::string_view name = NameAfter(line, tokens[m + 2].end);
    if (kind == 'l') {
      size_t arrow = name.find(" -> ");
      if (arrow != std::string_view::npos) name = name.substr(0, arrow);
    }
    if (name.empty()) return std::nullopt;
    ListingEntry e;
    e.name = std::string(name);
    e.directory = kind == 'd';
    e.size = ToNumber(tokens[m - 1].text);
    e.modified = UnixTime(year, month, int(day), hour, minute, 0);
    return e;
  }
  return std::nullopt;
}

// "01-15-20  10:30AM  <DIR>  logs" or "01-15-2020  10:30PM  1234 a.txt".
std::optional<ListingEntry> ParseDos(std::string_view line) {
  auto tokens = Tokens(line, 3);
  if (tokens.size() < 3) return std::nullopt;
  std::string_view date = tokens[0].text, time = tokens[1].text;
  if (date.size() != 8 && date.size() != 10) return std::nullopt;
  if (date[2] != '-' || date[5] != '-') return std::nullopt;
  auto mm = date.substr(0, 2), dd = date.substr(3, 2), yy = date.substr(6);
  if (!IsDigits(mm) || !IsDigits(dd) || !IsDigits(yy)) return std::nullopt;
  int month = int(ToNumber(mm)), day = int(ToNumber(dd)), year = int(ToNumber(yy));
  if (month < 1 || month > 12 || day < 1 || day > 31) return std::nullopt;
  if (yy.size() == 2) year += year < 70 ? 2000 : 1900;
  if (time.size() < 7) return std::nullopt;
  std::string_view half = time.substr(time.size() - 2);
  int hour = 0, minute = 0;
  if (!ParseClock(time.substr(0, time.size() - 2), &hour, &minute) || hour < 1 || hour > 12)
    return std::nullopt;
  bool pm = half == "PM" || half == "pm";
  if (!pm && half != "AM" && half != "am") return std::nullopt;
  hour = hour % 12 + (pm ? 12 : 0);
  std::string_view rest = line.substr(tokens[1].end);
  size_t i = rest.find_first_not_of(" \t");
  if (i == std::string_view::npos) return std::nullopt;
  rest = rest.substr(i);
  size_t sep = rest.find_first_of(" \t");
  if (sep == std::string_view::npos) return std::nullopt;
  std::string_view what = rest.substr(0, sep);
  size_t nameStart = rest.find_first_not_of(" \t", sep);
  if (nameStart == std::string_view::npos) return std::nullopt;
  ListingEntry e;
  if (what == "<DIR>") {
    e.directory = true;
  } else if (IsDigits(what)) {
    e.size = ToNumber(what);
  } else {
    return std::nullopt;
  }
  e.name = std::string(rest.substr(nameStart));
  e.modified = UnixTime(year, month, day, hour, minute, 0);
  return e;
}

}  // namespace

int64_t UnixTime(int year, int month, int day, int hour, int minute, int second) {
  int64_t y = int64_t(year) - (month <= 2);
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t mp = month + (month > 2 ? -3 : 9);
  int64_t doy = (153 * mp + 2) / 5 + day - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  int64_t days = era * 146097 + doe - 719468;
  return days * 86400 + hour * 3600 + minute * 60 + second;
}

std::optional<ListingEntry> ParseListLine(std::string_view line, int64_t now) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  if (line.empty()) return std::nullopt;
  if (line[0] >= '0' && line[0] <= '9') return ParseDos(line);
  return ParseUnix(line, now);
}

std::optional<ListingEntry> ParseMlsdLine(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  size_t space = line.find(' ');
  if (space == std::string_view::npos || space + 1 >= line.size()) return std::nullopt;
  std::string_view facts = line.substr(0, space), name = line.substr(space + 1);
  ListingEntry e;
  e.name = std::string(name);
  bool typed = false;
  while (!facts.empty()) {
    size_t semi = facts.find(';');
    std::string_view fact = facts.substr(0, semi);
    facts = semi == std::string_view::npos ? std::string_view() : facts.substr(semi + 1);
    size_t eq = fact.find('=');
    if (eq == std::string_view::npos) continue;
    std::string key(fact.substr(0, eq));
    for (char& c : key) c = char(std::tolower(static_cast<unsigned char>(c)));
    std::string value(fact.substr(eq + 1));
    for (char& c : value) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (key == "type") {
      typed = true;
      if (value == "cdir" || value == "pdir") return std::nullopt;
      e.directory = value == "dir";
    } else if (key == "size" && IsDigits(value)) {
      e.size = ToNumber(value);
    } else if (key == "modify" && value.size() >= 14 && IsDigits(value.substr(0, 14))) {
      auto num = [&](size_t at, size_t n) { return int(ToNumber(std::string_view(value).substr(at, n))); };
      int month = num(4, 2), day = num(6, 2);
      if (month >= 1 && month <= 12 && day >= 1 && day <= 31)
        e.modified = UnixTime(num(0, 4), month, day, num(8, 2), num(10, 2), num(12, 2));
    }
  }
  if (!typed) return std::nullopt;
  return e;
}

std::vector<ListingEntry> ParseListing(std::string_view text, bool mlsd, int64_t now) {
  std::vector<ListingEntry> out;
  while (!text.empty()) {
    size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    auto e = mlsd ? ParseMlsdLine(line) : ParseListLine(line, now);
    if (e) out.push_back(std::move(*e));
  }
  return out;
}

}  // namespace orlik::ftp
