#include "core/paths.h"

#include <orlik/text.h>

#include "core/hot_path.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cstring>
#include <string_view>
#include <vector>

extern char** environ;

namespace orlik {
namespace {

// The entry of dir whose name equals name ignoring ASCII case, or name itself.
std::string MatchEntry(const std::string& dir, const std::string& name) {
  struct stat st;
  if (stat((dir + "/" + name).c_str(), &st) == 0) return name;
  DIR* d = opendir(dir.c_str());
  if (!d) return name;
  std::string found = name;
  while (dirent* e = readdir(d)) {
    if (strcasecmp(e->d_name, name.c_str()) == 0) {
      found = e->d_name;
      break;
    }
  }
  closedir(d);
  return found;
}

constexpr std::string_view kRootEntry = "ORLIK_ROOT=";

// Whether the environment entry is ORLIK_ROOT's; most differ at once.
ORLIK_HOT_PATH bool IsRootEntry(const char* entry) {
  return entry[0] == kRootEntry[0] && std::strncmp(entry, kRootEntry.data(), kRootEntry.size()) == 0;
}

// ORLIK_ROOT's value, or null. Every file call asks, and getenv walks the
// whole environment: each thread keeps the entry it found, and trusts it while
// the environment array and the entry's slot in it are unchanged. setenv and
// unsetenv put another pointer in the slot or another array in place, and a
// slot of the same array stays readable after entries are removed.
ORLIK_HOT_PATH const char* RootVariable() {
  struct Found {
    char** environment = nullptr;
    size_t slot = 0;
    const char* entry = nullptr;
  };
  __attribute__((tls_model("initial-exec"))) thread_local Found found;  // as the last error
  char** environment = environ;
  if (found.entry && environment == found.environment && environment[found.slot] == found.entry &&
      IsRootEntry(found.entry))
    return found.entry + kRootEntry.size();
  found = {};
  for (size_t i = 0; environment && environment[i]; ++i) {
    if (IsRootEntry(environment[i])) {
      found = {environment, i, environment[i]};
      return environment[i] + kRootEntry.size();
    }
  }
  return nullptr;
}

// ORLIK_ROOT without trailing slashes, or "orlik-root"; valid until the
// environment changes.
ORLIK_HOT_PATH std::string_view DeviceRootView() {
  const char* root = RootVariable();
  std::string_view r = (root && *root) ? std::string_view(root) : std::string_view("orlik-root");
  while (r.size() > 1 && r.back() == '/') r.remove_suffix(1);
  return r;
}

}  // namespace

std::string DeviceRoot() { return std::string(DeviceRootView()); }

namespace {

// Appends the names of a panel path to a host folder as they are given:
// either separator, "." dropped, ".." never climbing above the folder.
void AppendNames(std::string* host, std::u16string_view panelPath, std::vector<size_t>* starts = nullptr) {
  const size_t base = host->size();
  size_t i = 0;
  while (i <= panelPath.size()) {
    // One pass finds where the name ends and whether it is ASCII, the usual
    // case, which then goes over unit by unit.
    size_t j = i;
    bool ascii = true;
    for (; j < panelPath.size(); ++j) {
      char16_t c = panelPath[j];
      if (c == u'\\' || c == u'/') break;
      ascii &= c < 0x80;
    }
    std::u16string_view part = panelPath.substr(i, j - i);
    i = j + 1;
    if (part.empty() || part == u".") continue;
    if (part == u"..") {
      size_t slash = host->rfind('/');
      if (host->size() > base && slash != std::string::npos && slash >= base) host->erase(slash);
      if (starts && !starts->empty()) starts->pop_back();
      continue;
    }
    if (starts) starts->push_back(host->size() + 1);
    *host += '/';
    if (ascii) {
      size_t at = host->size();
      host->resize(at + part.size());
      char* out = host->data() + at;
      for (size_t n = 0; n < part.size(); ++n) out[n] = char(part[n]);
    } else {
      host->append(ToUtf8(part));
    }
  }
}

// Narrows n (below 64) panel path units into out, backslashes becoming
// slashes; false when a unit is NUL or not ASCII. Bit i of *slashes and *dots
// tells whether out[i] is one.
ORLIK_HOT_PATH bool NarrowAscii(const char16_t* in, size_t n, char* out, uint64_t* slashes, uint64_t* dots) {
  size_t i = 0;
  *slashes = *dots = 0;
#if defined(__SSE2__)
  // Eight units at a time: the same tests, then the low bytes packed.
  const __m128i zero = _mm_setzero_si128();
  const __m128i high = _mm_set1_epi16(int16_t(0xFF80));
  const __m128i backslash = _mm_set1_epi16(u'\\');
  const __m128i toSlash = _mm_set1_epi16(u'\\' ^ u'/');
  const __m128i slash = _mm_set1_epi8('/'), dot = _mm_set1_epi8('.');
  for (; i + 8 <= n; i += 8) {
    __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    __m128i bad = _mm_or_si128(_mm_and_si128(units, high), _mm_cmpeq_epi16(units, zero));
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(bad, zero)) != 0xFFFF) return false;
    units = _mm_xor_si128(units, _mm_and_si128(_mm_cmpeq_epi16(units, backslash), toSlash));
    __m128i bytes = _mm_packus_epi16(units, units);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), bytes);
    *slashes |= uint64_t(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, slash)) & 0xFF) << i;
    *dots |= uint64_t(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, dot)) & 0xFF) << i;
  }
#endif
  for (; i < n; ++i) {
    if (in[i] - 1u >= 0x7Fu) return false;
    out[i] = in[i] == u'\\' ? '/' : char(in[i]);
    *slashes |= uint64_t(out[i] == '/') << i;
    *dots |= uint64_t(out[i] == '.') << i;
  }
  return true;
}

// The host path of a plain panel path (ASCII names, each after one
// separator, none "." or "..", up to 62 units) written into buffer with its
// NUL; its length, or 0 for any other path or when it does not fit.
ORLIK_HOT_PATH size_t PlainHostPath(std::u16string_view panelPath, char* buffer, size_t size) {
  std::string_view root = DeviceRootView();
  const size_t n = panelPath.size();
  // The root, a slash, and a byte per unit of the panel path; names taken
  // apart by the masks below.
  if (root.size() + 1 + n >= size || n > 62) return 0;
  char* names = buffer + root.copy(buffer, root.size());
  char* end = names;
  if (n != 0) {
    // The names begin with a slash: the path's own or one put before it.
    bool leading = panelPath[0] == u'\\' || panelPath[0] == u'/';
    size_t shift = leading ? 0 : 1;
    uint64_t slashes, dots;
    if (!NarrowAscii(panelPath.data(), n, names + shift, &slashes, &dots)) return 0;
    *names = '/';
    slashes = slashes << shift | 1;
    dots <<= shift;
    size_t length = n + shift;
    end = names + length;
    // Names as given, one slash before each: anything else ("//", a slash at
    // the end, a "." or ".." name) is no plain path.
    const uint64_t ends = slashes | uint64_t(1) << length;  // a slash or the end follows
    if (slashes & (ends >> 1)) return 0;
    if (slashes & (dots >> 1) & ((ends >> 2) | ((dots >> 2) & (ends >> 3)))) return 0;
  }
  *end = 0;
  return size_t(end - buffer);
}

// The host path with every name as given.
std::string NamesAsGiven(std::u16string_view panelPath) {
  std::string_view root = DeviceRootView();
  std::string host;
  host.reserve(root.size() + panelPath.size() + 8);
  host.append(root);
  AppendNames(&host, panelPath);
  return host;
}

}  // namespace

ORLIK_HOT_PATH size_t DirectHostPath(std::u16string_view panelPath, char* buffer, size_t size) {
  if (size_t length = PlainHostPath(panelPath, buffer, size)) return length;
  std::string host = NamesAsGiven(panelPath);
  if (host.size() >= size) return 0;
  std::memcpy(buffer, host.c_str(), host.size() + 1);
  return host.size();
}

bool StatHostPath(std::u16string_view panelPath, std::string* host, struct stat* st) {
  std::string direct = NamesAsGiven(panelPath);
  if (stat(direct.c_str(), st) == 0) {
    *host = std::move(direct);
    return true;
  }
  // A name in another case than it is stored in, or a path that does not
  // exist (yet): match name by name.
  std::string given = DeviceRoot();
  std::vector<size_t> starts;  // where each name begins in given
  AppendNames(&given, panelPath, &starts);
  std::string result = DeviceRoot();
  for (size_t k = 0; k < starts.size(); ++k) {
    size_t end = k + 1 < starts.size() ? starts[k + 1] - 1 : given.size();
    result += "/" + MatchEntry(result, given.substr(starts[k], end - starts[k]));
  }
  bool exists = result != given && stat(result.c_str(), st) == 0;
  *host = std::move(result);
  return exists;
}

std::string HostPath(std::u16string_view panelPath) {
  std::string host;
  struct stat st;
  StatHostPath(panelPath, &host, &st);
  return host;
}

}  // namespace orlik
