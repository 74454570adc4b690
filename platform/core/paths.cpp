#include "core/paths.h"

#include <orlik/text.h>

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string_view>
#include <vector>

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

}  // namespace

namespace {

// ORLIK_ROOT without trailing slashes, or "orlik-root"; valid until the
// environment changes.
std::string_view DeviceRootView() {
  const char* root = std::getenv("ORLIK_ROOT");
  std::string_view r = (root && *root) ? std::string_view(root) : std::string_view("orlik-root");
  while (r.size() > 1 && r.back() == '/') r.remove_suffix(1);
  return r;
}

// The device root with room for a panel path behind it.
std::string RootFor(std::u16string_view panelPath) {
  std::string_view root = DeviceRootView();
  std::string host;
  host.reserve(root.size() + panelPath.size() + 8);
  host.append(root);
  return host;
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

}  // namespace

std::string DirectHostPath(std::u16string_view panelPath) {
  std::string host = RootFor(panelPath);
  AppendNames(&host, panelPath);
  return host;
}

bool StatHostPath(std::u16string_view panelPath, std::string* host, struct stat* st) {
  std::string direct = RootFor(panelPath);
  AppendNames(&direct, panelPath);
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
