#include "board/storage.h"

#include <orlik/sim_files.h>

#include "board/board.h"
#include "core/hot_path.h"
#include "core/names.h"
#include "core/paths.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string_view>
#include <vector>

namespace orlik::board {
namespace {

using Names = std::vector<std::string>;

// The names of a path split at its separators, lower case, "." dropped and
// ".." resolved without climbing above the first name.
Names SplitNames(std::string_view path, std::string_view separators) {
  Names names;
  size_t i = 0;
  while (i <= path.size()) {
    size_t j = path.find_first_of(separators, i);
    if (j == std::string_view::npos) j = path.size();
    std::string part(path.substr(i, j - i));
    i = j + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!names.empty()) names.pop_back();
      continue;
    }
    names.push_back(LowerAscii(part));
  }
  return names;
}

// The names of a host path below the device root; false when it lies outside.
bool NamesBelowRoot(std::string_view hostPath, Names* names) {
  std::string root = DeviceRoot();
  if (hostPath.compare(0, root.size(), root) != 0) return false;
  if (hostPath.size() > root.size() && hostPath[root.size()] != '/') return false;
  *names = SplitNames(hostPath.substr(root.size()), "/");
  return true;
}

bool Covers(const Names& base, const Names& names) {
  return base.size() <= names.size() && std::equal(base.begin(), base.end(), names.begin());
}

int ErrnoOf(int fault) {
  switch (fault) {
    case ORLIK_SIM_DISK_FULL: return ENOSPC;
    case ORLIK_SIM_ACCESS_DENIED: return EACCES;
    default: return EIO;
  }
}

struct Fault {
  int id;
  std::string path;
  Names names;
  int ops;
  int fault;
  int skip;
  int count;  // -1: without end
  int hits = 0;
};

struct FreeSetting {
  std::string path;
  Names names;
  uint64_t bytes;
};

class Storage {
 public:
  static Storage& Get() {
    static auto* storage = Create();  // file calls may come after static destruction
    return *storage;
  }

  static bool Active() { return active_.load(std::memory_order_acquire); }

  int AddFault(const char* path, int ops, int fault, int skip, int count) {
    std::lock_guard lock(mutex_);
    int id = nextId_++;
    faults_.push_back({id, path, SplitNames(path, "\\/"), ops, fault, std::max(skip, 0), count < 0 ? -1 : count});
    Update();
    return id;
  }

  int Hits(int id) {
    std::lock_guard lock(mutex_);
    for (auto& f : faults_)
      if (f.id == id) return f.hits;
    return retiredHits_.count(id) ? retiredHits_[id] : 0;
  }

  void ClearFaults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
    Update();
  }

  void SetFree(const char* volume, uint64_t bytes) {
    std::lock_guard lock(mutex_);
    Names names = SplitNames(volume, "\\/");
    std::erase_if(free_, [&](const FreeSetting& s) { return s.names == names; });
    if (bytes != UINT64_MAX) free_.push_back({volume, std::move(names), bytes});
    Update();
  }

  ORLIK_RARE_PATH int Check(FileOp op, std::string_view hostPath) {
    Names names;
    if (!NamesBelowRoot(hostPath, &names)) return 0;
    std::lock_guard lock(mutex_);
    int error = 0;
    for (auto& f : faults_) {
      if (!(f.ops & op) || !Covers(f.names, names)) continue;
      if (f.skip > 0) {
        --f.skip;
        continue;
      }
      if (f.count == 0 || error) continue;
      if (f.count > 0) --f.count;
      ++f.hits;
      error = ErrnoOf(f.fault);
    }
    // Spent faults keep their hit count for orlik_sim_file_fault_hits.
    for (auto& f : faults_)
      if (f.count == 0) retiredHits_[f.id] = f.hits;
    std::erase_if(faults_, [](const Fault& f) { return f.count == 0; });
    Update();
    return error;
  }

  std::optional<uint64_t> Free(const std::string& hostPath) {
    Names names;
    if (!NamesBelowRoot(hostPath, &names)) return std::nullopt;
    std::lock_guard lock(mutex_);
    const FreeSetting* best = nullptr;
    for (auto& s : free_)
      if (Covers(s.names, names) && (!best || s.names.size() > best->names.size())) best = &s;
    if (!best) return std::nullopt;
    return best->bytes;
  }

  std::string ForChild() {
    std::lock_guard lock(mutex_);
    if (faults_.empty() && free_.empty()) return {};
    std::string value;
    for (auto& f : faults_) {
      value += "F " + std::to_string(f.ops) + " " + std::to_string(f.fault) + " " + std::to_string(f.skip) +
               " " + std::to_string(f.count) + " " + f.path + "\n";
    }
    for (auto& s : free_) value += "S " + std::to_string(s.bytes) + " " + s.path + "\n";
    return std::string(kStorageSettingsVariable) + "=" + value;
  }

  void Reset() {
    std::lock_guard lock(mutex_);
    faults_.clear();
    free_.clear();
    retiredHits_.clear();
    Update();
  }

 private:
  ORLIK_RARE_PATH static Storage* Create() { return new Storage; }

  Storage() {
    LoadInherited();
    Board::Get().OnReset([this] { Reset(); });
  }

  void Update() { active_.store(!faults_.empty() || !free_.empty(), std::memory_order_release); }

  // The settings of the process that started this one. Lines:
  //   "F <ops> <fault> <skip> <count> <path>"   "S <bytes> <path>"
  void LoadInherited() {
    const char* text = std::getenv(kStorageSettingsVariable);
    if (!text) return;
    std::string_view all(text);
    while (!all.empty()) {
      size_t nl = all.find('\n');
      std::string line(all.substr(0, nl));
      all = nl == std::string_view::npos ? std::string_view() : all.substr(nl + 1);
      const char* p = line.c_str();
      char* end = nullptr;
      auto number = [&]() -> long long {
        long long v = std::strtoll(p, &end, 10);
        p = (end && *end == ' ') ? end + 1 : end;
        return v;
      };
      if (line.size() > 2 && line[0] == 'F' && line[1] == ' ') {
        p += 2;
        int ops = int(number()), fault = int(number()), skip = int(number()), count = int(number());
        if (p && *p) faults_.push_back({nextId_++, p, SplitNames(p, "\\/"), ops, fault, skip, count});
      } else if (line.size() > 2 && line[0] == 'S' && line[1] == ' ') {
        p += 2;
        auto bytes = uint64_t(std::strtoull(p, &end, 10));
        p = (end && *end == ' ') ? end + 1 : end;
        if (p && *p) free_.push_back({p, SplitNames(p, "\\/"), bytes});
      }
    }
    Update();
  }

  std::mutex mutex_;
  // Whether any fault or free space is set. Every read and write asks, so it
  // lies beside the library's other statics rather than on a page of its own.
  static inline std::atomic<bool> active_{false};
  std::vector<Fault> faults_;
  std::vector<FreeSetting> free_;
  std::map<int, int> retiredHits_;
  int nextId_ = 0;
};

}  // namespace

ORLIK_HOT_PATH int StorageFault(FileOp op, std::string_view hostPath) {
  Storage& storage = Storage::Get();
  return storage.Active() ? storage.Check(op, hostPath) : 0;
}

std::optional<uint64_t> StorageFree(const std::string& hostPath) {
  Storage& storage = Storage::Get();
  return storage.Active() ? storage.Free(hostPath) : std::nullopt;
}

std::string StorageSettingsForChild() { return Storage::Get().ForChild(); }

}  // namespace orlik::board

using orlik::board::Storage;

extern "C" {

int orlik_sim_fail_files(const char* path, int ops, int fault, int skip, int count) {
  if (!path || ops <= 0 || fault < ORLIK_SIM_DISK_FULL || fault > ORLIK_SIM_IO_ERROR) return -1;
  return Storage::Get().AddFault(path, ops, fault, skip, count);
}

int orlik_sim_file_fault_hits(int id) { return Storage::Get().Hits(id); }

void orlik_sim_clear_file_faults(void) { Storage::Get().ClearFaults(); }

void orlik_sim_set_storage_free(const char* volume, uint64_t bytes) {
  if (volume) Storage::Get().SetFree(volume, bytes);
}

}  // extern "C"
