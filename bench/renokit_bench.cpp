// Start's folder comparison (a directory search and two byte sums per file)
// against cmp-like reading of the same file pairs: open both, read both in
// blocks, compare. Both read every byte of both folders; the reference shows
// what the comparison costs beyond reading.
// A third run makes the system calls Start cannot do without, directly: a
// search that takes every entry's details, then for each file open, its
// details (a folder must not open), one read of a short file, close. It
// shows how near the comparison can come to cmp-like reading at all.
//   build/default/bin/renokit_bench
#include <tolvex/renokit.h>

#include <benchmark/benchmark.h>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kFiles = 1000;

// 1,000 equal file pairs of the given size under a private device root.
class Folders {
 public:
  explicit Folders(size_t fileSize) {
    std::string pattern = (fs::temp_directory_path() / "renokit-bench-XXXXXX").string();
    root_ = mkdtemp(pattern.data());
    setenv("ORLIK_ROOT", root_.c_str(), 1);
    fs::create_directories(root_ + "/Src");
    fs::create_directories(root_ + "/Dst");
    std::string bytes(fileSize, '\0');
    for (int i = 0; i < kFiles; ++i) {
      for (size_t k = 0; k < fileSize; ++k) bytes[k] = char((k * 31 + size_t(i)) & 0xFF);
      std::string name = "/file" + std::to_string(i) + ".bin";
      std::ofstream(root_ + "/Src" + name, std::ios::binary) << bytes;
      std::ofstream(root_ + "/Dst" + name, std::ios::binary) << bytes;
      names_.push_back(name);
    }
  }
  ~Folders() { fs::remove_all(root_); }
  const std::string& root() const { return root_; }
  const std::vector<std::string>& names() const { return names_; }

 private:
  std::string root_;
  std::vector<std::string> names_;
};

void BM_StartComparison(benchmark::State& state) {
  Folders folders(size_t(state.range(0)));
  void* lib = dlopen(TOLVEX_LIB_DIR "/libRenokit.so", RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    state.SkipWithError("libRenokit.so not loaded");
    return;
  }
  auto setPath = reinterpret_cast<decltype(&::SetPath)>(dlsym(lib, "SetPath"));
  auto start = reinterpret_cast<decltype(&::Start)>(dlsym(lib, "Start"));
  setPath(u"\\Src", u"\\Dst");
  for (auto _ : state) {
    int started = start();
    if (started != 0) state.SkipWithError("folders differ");
    benchmark::DoNotOptimize(started);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * 2 * kFiles * state.range(0));
  state.SetItemsProcessed(int64_t(state.iterations()) * kFiles);
  dlclose(lib);
}

void BM_CmpReading(benchmark::State& state) {
  Folders folders(size_t(state.range(0)));
  std::vector<char> a(10240), b(10240);
  for (auto _ : state) {
    int differing = 0;
    for (auto& name : folders.names()) {
      int fa = open((folders.root() + "/Src" + name).c_str(), O_RDONLY);
      int fb = open((folders.root() + "/Dst" + name).c_str(), O_RDONLY);
      for (;;) {
        ssize_t na = read(fa, a.data(), a.size());
        ssize_t nb = read(fb, b.data(), b.size());
        if (na != nb || (na > 0 && std::memcmp(a.data(), b.data(), size_t(na)) != 0)) {
          ++differing;
          break;
        }
        if (na <= 0) break;
      }
      close(fa);
      close(fb);
    }
    benchmark::DoNotOptimize(differing);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * 2 * kFiles * state.range(0));
  state.SetItemsProcessed(int64_t(state.iterations()) * kFiles);
}

void BM_SameCallsDirect(benchmark::State& state) {
  Folders folders(size_t(state.range(0)));
  std::vector<char> a(10240), b(10240);
  // Open, details, reads until a short block, close; the bytes land in block.
  auto readFile = [](const std::string& path, std::vector<char>& block) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) std::abort();
    size_t total = 0;
    for (;;) {
      if (total + 10240 > block.size()) block.resize(total + 10240);
      ssize_t n = read(fd, block.data() + total, 10240);
      if (n > 0) total += size_t(n);
      if (n < 10240) break;
    }
    close(fd);
    return total;
  };
  for (auto _ : state) {
    std::vector<std::string> names;
    DIR* dir = opendir((folders.root() + "/Src").c_str());
    while (dirent* e = readdir(dir)) {
      struct stat st;
      if (e->d_name[0] == '.' || fstatat(dirfd(dir), e->d_name, &st, 0) != 0) continue;
      names.emplace_back(e->d_name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    int differing = 0;
    for (auto& name : names) {
      size_t na = readFile(folders.root() + "/Src/" + name, a);
      size_t nb = readFile(folders.root() + "/Dst/" + name, b);
      differing += na != nb || std::memcmp(a.data(), b.data(), na) != 0;
    }
    benchmark::DoNotOptimize(differing);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * 2 * kFiles * state.range(0));
  state.SetItemsProcessed(int64_t(state.iterations()) * kFiles);
}

// File system timings wander from run to run: each is taken five times and
// compared by its median.
BENCHMARK(BM_StartComparison)->Arg(4 << 10)->Arg(64 << 10)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(BM_CmpReading)->Arg(4 << 10)->Arg(64 << 10)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(BM_SameCallsDirect)->Arg(4 << 10)->Arg(64 << 10)->Unit(benchmark::kMillisecond)->Repetitions(5);

}  // namespace

BENCHMARK_MAIN();
