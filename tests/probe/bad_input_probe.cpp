// The bad-input probe: every export of every library in probe_table.tsv is
// called with null, empty, over-long (100,000 units), path-escaping,
// format-string and malformed texts, with null and real buffers, and with
// extreme numbers, one argument at a time while the others hold ordinary
// values. Each call runs in a child process of its own, forked from a process
// that has loaded the library (and run the table's set-up calls), so every
// call starts from the same state. A call fails the probe when its child dies
// by a signal, exits other than normally (an escaped exception ends in
// std::terminate), hangs, or prints a sanitizer report; a path-escaping text
// that creates anything outside the device root fails it too.
#include "tolvex_test.h"

#include <orlik/text.h>

#include <ffi.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr size_t kBufferBytes = 1 << 20;
constexpr int kParallel = 4;
constexpr auto kCallLimit = 60s;

struct Row {
  std::string library, name, result;
  std::vector<std::string> kinds;
  std::vector<std::string> setup;  // values of a set-up row
  bool isSetup = false;
  int line = 0;
};

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, separator)) parts.push_back(part);
  if (!text.empty() && text.back() == separator) parts.emplace_back();
  return parts;
}

// The table's rows; a line that is no row is reported in *errors.
std::vector<Row> ReadTable(std::vector<std::string>* errors = nullptr) {
  std::vector<Row> rows;
  std::ifstream in(PROBE_TABLE);
  if (!in && errors) errors->push_back(std::string(PROBE_TABLE) + ": cannot be read");
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (line.empty() || line[0] == '#') continue;
    auto columns = Split(line, '\t');
    if (columns.size() < 4) {
      if (errors) errors->push_back("probe_table.tsv:" + std::to_string(number) + ": fewer than four columns");
      continue;
    }
    Row row;
    row.library = columns[0];
    row.name = columns[1];
    row.result = columns[2];
    if (columns[3] != "-") row.kinds = Split(columns[3], ',');
    if (columns.size() > 4) {
      row.isSetup = true;
      row.setup = Split(columns[4], ',');
    }
    row.line = number;
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<std::string> Libraries() {
  std::vector<std::string> names;
  for (const auto& row : ReadTable())
    if (std::find(names.begin(), names.end(), row.library) == names.end()) names.push_back(row.library);
  return names;
}

// One argument as the export receives it.
struct Arg {
  std::string label;
  int32_t i32 = 0;
  uint32_t u32 = 0;
  double f64 = 0;
  float f32 = 0;
  void* pointer = nullptr;  // wstr, ptr, handle
};

// Texts that must not hurt: made once, before the children fork.
struct Texts {
  std::u16string empty;
  std::u16string overlong = std::u16string(100000, u'A');
  std::u16string escaping1, escaping2;
  std::u16string format = u"%s%s%s%n%n%x%x%p%ls%1$s";
  std::u16string surrogates = u"\xD800x\xDFFF\xDC00";
  std::u16string separators = u"a:b|c\\d:e";
  std::u16string folder = u"\\";
  std::u16string ordinary = u"probe.bin";
};

class ArgumentValues {
 public:
  ArgumentValues(Texts& texts, void* buffer) : texts_(texts), buffer_(buffer) {}

  std::vector<Arg> Extremes(const std::string& kind) const {
    std::vector<Arg> v;
    if (kind == "i32" || kind == "n" || kind == "delay") {
      std::vector<std::pair<const char*, int32_t>> numbers = {{"INT32_MIN", INT32_MIN}, {"-1", -1}, {"0", 0}};
      // A count stays within the buffer the export is given; a delay the
      // caller asks for is taken as it is, so a long one would only make the
      // call as long as asked.
      if (kind == "i32") numbers.insert(numbers.end(), {{"256", 256}, {"INT32_MAX", INT32_MAX}});
      if (kind == "n") numbers.push_back({"65536", 65536});
      for (auto [label, n] : numbers) v.push_back(Int(label, n));
    } else if (kind == "u32") {
      for (auto [label, n] : std::vector<std::pair<const char*, uint32_t>>{
               {"0", 0}, {"0x80000000", 0x80000000u}, {"0xFFFFFFFF", 0xFFFFFFFFu}}) {
        Arg a;
        a.label = label;
        a.u32 = n;
        v.push_back(a);
      }
    } else if (kind == "f64" || kind == "f32") {
      const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
      const double big = kind == "f64" ? DBL_MAX : FLT_MAX;
      for (auto [label, d] : std::vector<std::pair<const char*, double>>{
               {"NaN", nan}, {"-inf", -inf}, {"inf", inf}, {"-max", -big}, {"max", big}, {"-0", -0.0},
               {"denormal", 5e-324}}) {
        Arg a;
        a.label = label;
        a.f64 = d;
        a.f32 = float(d);
        v.push_back(a);
      }
    } else if (kind == "wstr") {
      v.push_back(Pointer("null", nullptr));
      v.push_back(Pointer("empty text", texts_.empty.data()));
      v.push_back(Pointer("100000 units", texts_.overlong.data()));
      v.push_back(Pointer("path escaping with ..", texts_.escaping1.data()));
      v.push_back(Pointer("path escaping with /..", texts_.escaping2.data()));
      v.push_back(Pointer("format string", texts_.format.data()));
      v.push_back(Pointer("unpaired surrogates", texts_.surrogates.data()));
      v.push_back(Pointer("separators", texts_.separators.data()));
      v.push_back(Pointer("a folder", texts_.folder.data()));
    } else if (kind == "ptr") {
      v.push_back(Pointer("null", nullptr));
      v.push_back(Pointer("buffer", buffer_));
    } else if (kind == "handle") {
      v.push_back(Pointer("null", nullptr));
      v.push_back(Pointer("INVALID_HANDLE_VALUE", reinterpret_cast<void*>(intptr_t(-1))));
      v.push_back(Pointer("stale 0x1234", reinterpret_cast<void*>(intptr_t(0x1234))));
    }
    return v;
  }

  // What an argument holds while another one is probed.
  Arg Ordinary(const std::string& kind) const {
    if (kind == "wstr") return Pointer("\"probe.bin\"", texts_.ordinary.data());
    if (kind == "ptr") return Pointer("buffer", buffer_);
    if (kind == "handle") return Pointer("null", nullptr);
    Arg a = Int("1", 1);
    a.u32 = 1;
    a.f64 = 1.0;
    a.f32 = 1.0f;
    return a;
  }

  // A set-up value as written in the table.
  Arg Parse(const std::string& kind, const std::string& text, std::vector<std::u16string>* keep) const {
    if (text == "-") return Pointer("null", nullptr);
    if (kind == "wstr") {
      keep->push_back(orlik::FromUtf8(text));
      return Pointer(text.c_str(), keep->back().data());
    }
    Arg a = Int(text.c_str(), int32_t(std::strtol(text.c_str(), nullptr, 0)));
    a.u32 = uint32_t(std::strtoul(text.c_str(), nullptr, 0));
    a.f64 = std::strtod(text.c_str(), nullptr);
    a.f32 = float(a.f64);
    return a;
  }

 private:
  static Arg Int(const char* label, int32_t n) {
    Arg a;
    a.label = label;
    a.i32 = n;
    return a;
  }
  static Arg Pointer(const char* label, void* p) {
    Arg a;
    a.label = label;
    a.pointer = p;
    return a;
  }
  Texts& texts_;
  void* buffer_;
};

ffi_type* FfiType(const std::string& kind) {
  if (kind == "i32" || kind == "n" || kind == "delay") return &ffi_type_sint32;
  if (kind == "u32") return &ffi_type_uint32;
  if (kind == "f64") return &ffi_type_double;
  if (kind == "f32") return &ffi_type_float;
  if (kind == "void") return &ffi_type_void;
  return &ffi_type_pointer;  // wstr, ptr, handle, a pointer result
}

// A prepared call of one export with one set of arguments.
struct Call {
  std::string description;
  void* function = nullptr;
  std::string result;
  std::vector<std::string> kinds;
  std::vector<Arg> args;

  bool Invoke() {
    std::vector<ffi_type*> types;
    std::vector<void*> values;
    for (size_t i = 0; i < kinds.size(); ++i) {
      types.push_back(FfiType(kinds[i]));
      Arg& a = args[i];
      const std::string& k = kinds[i];
      values.push_back(k == "i32" || k == "n" || k == "delay" ? static_cast<void*>(&a.i32)
                       : k == "u32"           ? static_cast<void*>(&a.u32)
                       : k == "f64"           ? static_cast<void*>(&a.f64)
                       : k == "f32"           ? static_cast<void*>(&a.f32)
                                              : static_cast<void*>(&a.pointer));
    }
    ffi_cif cif;
    if (ffi_prep_cif(&cif, FFI_DEFAULT_ABI, unsigned(types.size()), FfiType(result), types.data()) != FFI_OK)
      return false;
    alignas(16) unsigned char returned[16] = {};
    ffi_call(&cif, FFI_FN(function), returned, values.data());
    return true;
  }
};

std::string Describe(const Row& row, const std::vector<Arg>& args, size_t probed) {
  std::string s = row.library + " " + row.name + "(";
  for (size_t i = 0; i < args.size(); ++i) {
    if (i) s += ", ";
    s += row.kinds[i] + (i == probed ? " <" + args[i].label + ">" : " " + args[i].label);
  }
  return s + ")";
}

bool MentionsASanitizer(const std::string& log) {
  for (const char* mark : {"AddressSanitizer", "runtime error:", "LeakSanitizer", "ThreadSanitizer",
                           "UndefinedBehaviorSanitizer", "terminate called"})
    if (log.find(mark) != std::string::npos) return true;
  return false;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::string Ending(int status) {
  if (WIFSIGNALED(status)) return std::string("killed by signal ") + strsignal(WTERMSIG(status));
  if (WIFEXITED(status)) return "exit code " + std::to_string(WEXITSTATUS(status));
  return "status " + std::to_string(status);
}

class BadInputProbe : public tolvex_test::PanelTest, public ::testing::WithParamInterface<std::string> {
 protected:
  // Runs every call in a child, a few at a time; returns the failures.
  std::vector<std::string> RunAll(std::vector<Call>& calls, const std::string& logFolder) {
    struct Running {
      pid_t pid;
      size_t index;
      std::chrono::steady_clock::time_point started;
    };
    std::vector<std::string> failures;
    std::deque<size_t> waiting;
    for (size_t i = 0; i < calls.size(); ++i) waiting.push_back(i);
    std::vector<Running> running;
    auto logOf = [&](size_t i) { return logFolder + "/call-" + std::to_string(i) + ".log"; };
    while (!waiting.empty() || !running.empty()) {
      while (!waiting.empty() && running.size() < kParallel) {
        size_t i = waiting.front();
        waiting.pop_front();
        std::fflush(nullptr);
        pid_t pid = fork();
        if (pid == 0) {
          int log = open(logOf(i).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
          if (log >= 0) {
            dup2(log, STDOUT_FILENO);
            dup2(log, STDERR_FILENO);
          }
          bool called = calls[i].Invoke();
          _exit(called ? 0 : 99);
        }
        if (pid < 0) {
          failures.push_back(calls[i].description + ": fork failed");
          continue;
        }
        running.push_back({pid, i, std::chrono::steady_clock::now()});
      }
      std::this_thread::sleep_for(1ms);
      for (size_t r = 0; r < running.size();) {
        int status = 0;
        pid_t done = waitpid(running[r].pid, &status, WNOHANG);
        bool late = std::chrono::steady_clock::now() - running[r].started > kCallLimit;
        if (done == 0 && !late) {
          ++r;
          continue;
        }
        const Call& call = calls[running[r].index];
        std::string log = Slurp(logOf(running[r].index));
        if (done == 0) {
          kill(running[r].pid, SIGKILL);
          waitpid(running[r].pid, &status, 0);
          failures.push_back(call.description + ": still running after " +
                             std::to_string(kCallLimit.count()) + " s\n" + log.substr(0, 4000));
        } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || MentionsASanitizer(log)) {
          failures.push_back(call.description + ": " + Ending(status) + "\n" + log.substr(0, 4000));
        }
        running.erase(running.begin() + long(r));
      }
    }
    return failures;
  }
};

TEST_P(BadInputProbe, EveryExportSurvivesBadInput) {
  const std::string library = GetParam();
  const std::string path = std::string(TOLVEX_LIB_DIR) + "/lib" + library + ".so";
  std::vector<Row> rows;
  std::vector<std::string> errors;
  for (auto& row : ReadTable(&errors))
    if (row.library == library) rows.push_back(row);
  for (const auto& error : errors) ADD_FAILURE() << error;
  if (!fs::exists(path)) GTEST_SKIP() << "note: " << path << " is not built; " << rows.size() << " rows skipped";

  // Network waits of the FTP calls are bounded; the device root sits one
  // folder down, so an escape would land in a folder that is checked.
  setenv("ORLIK_FTP_TIMEOUT_MS", "2000", 1);
  const std::string marker = "escaped-probe-" + std::to_string(getpid());
  const std::string deviceRoot = root_.path() + "/root";
  fs::create_directories(deviceRoot);
  setenv("ORLIK_ROOT", deviceRoot.c_str(), 1);
  const std::string logFolder = root_.path() + "/logs";
  fs::create_directories(logFolder);

  Texts texts;
  std::string up;
  for (int i = 0; i < 12; ++i) up += "..\\";
  texts.escaping1 = orlik::FromUtf8(up + marker);
  texts.escaping2 = orlik::FromUtf8("/../../../../../../../../" + marker);
  std::vector<unsigned char> buffer(kBufferBytes, 0);
  ArgumentValues values(texts, buffer.data());

  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();

  std::vector<std::u16string> setupTexts;
  std::vector<Call> calls;
  std::vector<std::string> notes;
  for (const Row& row : rows) {
    void* function = dlsym(handle, row.name.c_str());
    if (!function) {
      if (!row.isSetup) notes.push_back(row.name);
      continue;
    }
    if (row.isSetup) {
      ASSERT_EQ(row.setup.size(), row.kinds.size()) << "probe_table.tsv:" << row.line;
      Call setup{row.library + " " + row.name, function, row.result, row.kinds, {}};
      for (size_t i = 0; i < row.kinds.size(); ++i)
        setup.args.push_back(values.Parse(row.kinds[i], row.setup[i], &setupTexts));
      ASSERT_TRUE(setup.Invoke()) << setup.description;
      continue;
    }
    std::vector<Arg> ordinary;
    for (const auto& kind : row.kinds) ordinary.push_back(values.Ordinary(kind));
    if (row.kinds.empty()) calls.push_back({Describe(row, {}, 0), function, row.result, row.kinds, {}});
    for (size_t i = 0; i < row.kinds.size(); ++i) {
      auto extremes = values.Extremes(row.kinds[i]);
      ASSERT_FALSE(extremes.empty()) << "probe_table.tsv:" << row.line << ": unknown kind " << row.kinds[i];
      for (const Arg& extreme : extremes) {
        std::vector<Arg> args = ordinary;
        args[i] = extreme;
        calls.push_back({Describe(row, args, i), function, row.result, row.kinds, args});
      }
    }
  }

  auto started = std::chrono::steady_clock::now();
  std::vector<std::string> failures = RunAll(calls, logFolder);
  auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started);
  std::printf("%s: %zu calls in %lld s, %zu failed\n", library.c_str(), calls.size(),
              static_cast<long long>(seconds.count()), failures.size());
  for (const auto& name : notes)
    std::printf("note: %s does not export %s yet; its row is skipped\n", library.c_str(), name.c_str());
  for (const auto& failure : failures) ADD_FAILURE() << failure;

  for (const fs::path& place : {fs::path(root_.path()), fs::path("/"), fs::temp_directory_path()})
    EXPECT_FALSE(fs::exists(place / marker)) << "a path escaped the device root into " << place;
  dlclose(handle);
  unsetenv("ORLIK_FTP_TIMEOUT_MS");
}

INSTANTIATE_TEST_SUITE_P(Libraries, BadInputProbe, ::testing::ValuesIn(Libraries()),
                         [](const auto& library) { return library.param; });

}  // namespace
