#include "core/paths.h"

#include <orlik/text.h>

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cstdlib>

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

std::string DeviceRoot() {
  const char* root = std::getenv("ORLIK_ROOT");
  std::string r = (root && *root) ? root : "orlik-root";
  while (r.size() > 1 && r.back() == '/') r.pop_back();
  return r;
}

std::string HostPath(std::u16string_view panelPath) {
  std::string path = ToUtf8(panelPath);
  std::string result = DeviceRoot();
  size_t i = 0;
  while (i <= path.size()) {
    size_t j = path.find_first_of("\\/", i);
    if (j == std::string::npos) j = path.size();
    std::string part = path.substr(i, j - i);
    i = j + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {  // never climb out of the device root
      auto slash = result.rfind('/');
      if (slash != std::string::npos && result.size() > DeviceRoot().size()) result.erase(slash);
      continue;
    }
    result += "/" + MatchEntry(result, part);
  }
  return result;
}

}  // namespace orlik
