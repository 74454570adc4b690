// orlik-panel: the console client. Attaches to a running program's simulated
// panel through its console socket in the device root and runs one command:
// reads and drives pins, sets analogue inputs, reads buses, saves the screen,
// follows events. Exit status: 0 done, 1 the panel refused the command,
// 2 a usage or connection error.
#include "board/console/address.h"

#include <nlohmann/json.hpp>

#include <dirent.h>
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using json = nlohmann::json;
namespace address = orlik::console_address;

constexpr int kOk = 0, kFailed = 1, kUsage = 2;

const char kUsageText[] = R"(usage: orlik-panel [--root DIR] [--pid PID] [--json] COMMAND [ARGS]

Commands:
  list                          panel processes of the device root
  info                          the attached process
  pins [PORT]                   every pin (or a port's): level, mode, pull, outside drive
  get PIN                       a pin's level (PIN as HW-N13 or N13)
  drive PIN=LEVEL               drive an input pin from outside (0 or 1)
  release PIN                   stop driving it
  adc CH [VOLTS]                analogue input 0-7 (0 is the battery)
  battery [VOLTS]               the battery's voltage
  supply [on|off]               the external DC supply
  counter MODULE [attach|detach|set INDEX VALUE|pulse INDEX COUNT]
  pwm                           the PWM outputs
  dac                           the analogue outputs
  bus NAME [clear]              a two-wire bus's transcript and errors (main, A1, A2, B1)
  decoder                       the video decoder's registers
  camera [INPUT FILE|scene|none]  camera input sources
  sound                         volume and what is playing
  screen FILE.png               save the screen
  tap X Y [down|up]             touch the screen at (X, Y): down and up, or one of them
  messages                      message boxes shown
  power                         power requests
  monitor [EVENT...] [--count N] [--timeout SECONDS]
                                follow events: pin, message, power, present, bus-error
  call JSON                     send one request as it is

The device root is --root, else ORLIK_ROOT, else ./orlik-root; the process is
--pid, else the newest panel process of the root.
)";

struct Options {
  std::string root;
  int pid = 0;
  bool json = false;
  int count = -1;
  double timeout = -1;
  std::vector<std::string> args;
};

[[noreturn]] void Usage(const std::string& why) {
  if (!why.empty()) std::fprintf(stderr, "orlik-panel: %s\n", why.c_str());
  std::fputs(kUsageText, stderr);
  std::exit(kUsage);
}

[[noreturn]] void Fail(int status, const std::string& why) {
  std::fprintf(stderr, "orlik-panel: %s\n", why.c_str());
  std::exit(status);
}

bool Alive(int pid) { return kill(pid, 0) == 0 || errno == EPERM; }

// Start time of a process in clock ticks since boot (0 when unknown).
unsigned long long StartTime(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), {});
  size_t paren = stat.rfind(')');
  if (paren == std::string::npos) return 0;
  std::istringstream fields(stat.substr(paren + 2));
  std::string field;
  // Field 22 of the line; the text after ')' starts at field 3.
  for (int i = 3; i <= 22 && fields >> field; ++i)
    if (i == 22) return std::strtoull(field.c_str(), nullptr, 10);
  return 0;
}

std::string Folder(const Options& o) {
  std::string root = o.root;
  if (root.empty()) {
    const char* env = std::getenv("ORLIK_ROOT");
    root = env && *env ? env : "orlik-root";
  }
  return root + "/.board";
}

// Live panel processes of the root, oldest first.
std::vector<int> PanelProcesses(const Options& o) {
  std::vector<std::pair<unsigned long long, int>> found;
  if (DIR* d = opendir(Folder(o).c_str())) {
    while (dirent* e = readdir(d)) {
      int pid = address::PidOf(e->d_name);
      if (pid && Alive(pid)) found.emplace_back(StartTime(pid), pid);  // a dead one's socket is stale
    }
    closedir(d);
  }
  std::sort(found.begin(), found.end());
  std::vector<int> pids;
  for (auto& f : found) pids.push_back(f.second);
  return pids;
}

class Connection {
 public:
  // False with *why set when the socket cannot be reached.
  bool Open(const std::string& path, std::string* why) {
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr;
    int dir = -1;
    if (fd_ < 0 || !address::Make(path, &addr, &dir)) {
      *why = "cannot address " + path;
      return false;
    }
    int rc = connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    int err = errno;
    if (dir >= 0) close(dir);
    if (rc != 0) {
      *why = "cannot connect to " + path + ": " + std::strerror(err);
      return false;
    }
    return true;
  }
  ~Connection() {
    if (fd_ >= 0) close(fd_);
  }

  bool Send(const json& request) {
    std::string line = request.dump() + "\n";
    for (size_t done = 0; done < line.size();) {
      ssize_t n = send(fd_, line.data() + done, line.size() - done, MSG_NOSIGNAL);
      if (n <= 0) return false;
      done += size_t(n);
    }
    return true;
  }

  // The next line as JSON; nullopt on time-out (timeoutMs < 0: none) or end.
  std::optional<json> Next(int timeoutMs) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      size_t nl = buffer_.find('\n');
      if (nl != std::string::npos) {
        json j = json::parse(buffer_.substr(0, nl), nullptr, false);
        buffer_.erase(0, nl + 1);
        if (j.is_discarded()) continue;
        return j;
      }
      int wait = -1;
      if (timeoutMs >= 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return std::nullopt;
        wait = int(left.count());
      }
      pollfd p{fd_, POLLIN, 0};
      int r = poll(&p, 1, wait);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) return std::nullopt;
      char chunk[65536];
      ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
      if (n <= 0) {
        closed_ = true;
        return std::nullopt;
      }
      buffer_.append(chunk, size_t(n));
    }
  }
  bool closed() const { return closed_; }

  // Sends a request and waits for its reply (events before it are skipped).
  std::optional<json> Call(json request, int timeoutMs = 60000) {
    request["id"] = ++id_;
    if (!Send(request)) return std::nullopt;
    for (;;) {
      auto reply = Next(timeoutMs);
      if (!reply) return std::nullopt;
      if (reply->contains("event")) continue;
      return reply;
    }
  }

 private:
  int fd_ = -1;
  int id_ = 0;
  bool closed_ = false;
  std::string buffer_;
};

std::string SocketOf(const std::string& folder, int pid) {
  return folder + "/console-" + std::to_string(pid) + ".sock";
}

void Attach(const Options& o, Connection* c) {
  int pid = o.pid;
  if (!pid) {
    auto pids = PanelProcesses(o);
    if (pids.empty()) Fail(kUsage, "no panel process in " + Folder(o));
    pid = pids.back();
  }
  std::string why;
  if (!c->Open(SocketOf(Folder(o), pid), &why)) Fail(kUsage, why);
}

std::string Text(const json& v) { return v.is_string() ? v.get<std::string>() : v.dump(); }

// Prints a result for a person: one line per scalar, one line per element of
// a list of objects ("key=value ...").
void PrintGeneric(const json& result) {
  for (auto& [key, value] : result.items()) {
    if (value.is_array() && !value.empty() && value[0].is_object()) {
      for (auto& element : value) {
        std::string line;
        for (auto& [k, v] : element.items()) line += (line.empty() ? "" : " ") + k + "=" + Text(v);
        std::puts(line.c_str());
      }
    } else if (value.is_array() && !value.empty() && value[0].is_string()) {
      for (auto& element : value) std::printf("%s: %s\n", key.c_str(), Text(element).c_str());
    } else {
      std::printf("%s: %s\n", key.c_str(), Text(value).c_str());
    }
  }
}

void Print(const std::string& command, const json& result) {
  if (command == "get") {
    std::printf("%d\n", result.value("level", -1));
  } else if (command == "pins") {
    for (auto& p : result["pins"])
      std::printf("%-7s %d %-10s pull=%-4s driven=%s\n", Text(p["pin"]).c_str(), p.value("level", -1),
                  Text(p["mode"]).c_str(), Text(p["pull"]).c_str(),
                  p.value("driven", -1) < 0 ? "-" : std::to_string(p.value("driven", -1)).c_str());
  } else if (command == "messages") {
    for (auto& m : result["messages"]) std::printf("%s: %s\n", Text(m["caption"]).c_str(), Text(m["text"]).c_str());
  } else if (command == "power") {
    for (auto& r : result["requests"]) std::puts(Text(r).c_str());
    std::printf("powered off: %s (%d times)\n", result.value("powered_off", false) ? "yes" : "no",
                result.value("power_off_count", 0));
  } else if (command == "bus") {
    std::puts(Text(result["transcript"]).c_str());
    for (auto& e : result["errors"]) std::printf("error: %s\n", Text(e).c_str());
  } else if (command == "decoder") {
    auto& regs = result["registers"];
    for (int row = 0; row < 256; row += 16) {
      std::printf("%02X:", row);
      for (int i = row; i < row + 16; ++i) std::printf(" %02X", regs[size_t(i)].get<int>() & 0xFF);
      std::printf("\n");
    }
    std::printf("writes: %d, input shown: %d\n", result.value("writes", 0), result.value("input", 0));
  } else {
    PrintGeneric(result);
  }
}

std::string Absolute(const std::string& path) {
  std::error_code ec;
  auto p = std::filesystem::absolute(path, ec);
  return ec ? path : p.lexically_normal().string();
}

int Number(const std::string& text, const char* what) {
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 0);
  if (text.empty() || *end) Usage(std::string("not a number for ") + what + ": " + text);
  return int(v);
}

double Volts(const std::string& text) {
  char* end = nullptr;
  double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end) Usage("not a voltage: " + text);
  return v;
}

// The request for a command line; exits with a usage error for a bad one.
json Request(const std::vector<std::string>& a) {
  const std::string& cmd = a[0];
  size_t n = a.size() - 1;
  auto need = [&](size_t lo, size_t hi) {
    if (n < lo || n > hi) Usage("wrong number of arguments for " + cmd);
  };
  json r = {{"cmd", cmd}};
  if (cmd == "info" || cmd == "pwm" || cmd == "dac" || cmd == "decoder" || cmd == "sound" || cmd == "messages" ||
      cmd == "power") {
    need(0, 0);
  } else if (cmd == "pins") {
    need(0, 1);
    if (n) r["port"] = a[1];
  } else if (cmd == "get" || cmd == "release") {
    need(1, 1);
    r["pin"] = a[1];
  } else if (cmd == "drive") {
    need(1, 2);
    std::string pin = a[1], level = n == 2 ? a[2] : "";
    if (n == 1) {
      size_t eq = pin.find('=');
      if (eq == std::string::npos) Usage("drive PIN=LEVEL");
      level = pin.substr(eq + 1);
      pin = pin.substr(0, eq);
    }
    r["pin"] = pin;
    r["level"] = Number(level, "the level");
  } else if (cmd == "adc") {
    need(1, 2);
    r["channel"] = Number(a[1], "the channel");
    if (n == 2) r["volts"] = Volts(a[2]);
  } else if (cmd == "battery") {
    need(0, 1);
    if (n) r["volts"] = Volts(a[1]);
  } else if (cmd == "supply") {
    need(0, 1);
    if (n) {
      if (a[1] != "on" && a[1] != "off") Usage("supply on|off");
      r["on"] = a[1] == "on";
    }
  } else if (cmd == "counter") {
    need(1, 4);
    r["module"] = a[1];
    if (n >= 2) r["action"] = a[2];
    if (n >= 2 && (a[2] == "set" || a[2] == "pulse")) {
      need(4, 4);
      r["index"] = Number(a[3], "the counter");
      char* end = nullptr;
      unsigned long long v = std::strtoull(a[4].c_str(), &end, 0);
      if (a[4].empty() || *end) Usage("not a count: " + a[4]);
      r[a[2] == "set" ? "value" : "pulses"] = v;
    } else {
      need(1, 2);
    }
  } else if (cmd == "bus") {
    need(1, 2);
    r["bus"] = a[1];
    if (n == 2) {
      if (a[2] != "clear") Usage("bus NAME [clear]");
      r["clear"] = true;
    }
  } else if (cmd == "camera") {
    if (n != 0 && n != 2) Usage("camera [INPUT FILE|scene|none]");
    if (n == 2) {
      r["input"] = Number(a[1], "the input");
      bool named = a[2] == "scene" || a[2] == "none" || a[2].find("://") != std::string::npos;
      r["source"] = named ? a[2] : Absolute(a[2]);
    }
  } else if (cmd == "screen") {
    need(0, 1);
    if (n) r["path"] = Absolute(a[1]);
  } else if (cmd == "tap") {
    need(2, 3);
    r["x"] = Number(a[1], "x");
    r["y"] = Number(a[2], "y");
    if (n == 3) {
      if (a[3] != "down" && a[3] != "up") Usage("tap X Y [down|up]");
      r["action"] = a[3];
    }
  } else if (cmd == "call") {
    need(1, 1);
    r = json::parse(a[1], nullptr, false);
    if (!r.is_object()) Usage("call takes one JSON object");
  } else {
    Usage("unknown command " + cmd);
  }
  return r;
}

int List(const Options& o) {
  json list = json::array();
  for (int pid : PanelProcesses(o)) {
    Connection c;
    std::string why;
    json entry = {{"pid", pid}, {"socket", SocketOf(Folder(o), pid)}};
    std::optional<json> reply;
    if (c.Open(SocketOf(Folder(o), pid), &why)) reply = c.Call({{"cmd", "info"}}, 5000);
    if (reply && reply->value("ok", false))
      entry["program"] = (*reply)["result"].value("program", "");
    else
      entry["error"] = reply ? reply->value("error", "refused") : why;
    list.push_back(entry);
  }
  if (o.json) {
    std::puts(list.dump().c_str());
  } else {
    for (auto& e : list)
      std::printf("%d %s\n", e["pid"].get<int>(),
                  e.contains("program") ? Text(e["program"]).c_str() : ("(" + Text(e["error"]) + ")").c_str());
  }
  return kOk;
}

int Monitor(const Options& o, const std::vector<std::string>& events) {
  Connection c;
  Attach(o, &c);
  json names = json::array();
  for (size_t i = 1; i < events.size(); ++i) names.push_back(events[i]);
  if (names.empty()) names.push_back("all");
  auto reply = c.Call({{"cmd", "subscribe"}, {"events", names}});
  if (!reply) Fail(kUsage, "no reply from the panel");
  if (!reply->value("ok", false)) Fail(kFailed, reply->value("error", "refused"));
  // Tells a script that the subscription is in place.
  if (!o.json) std::fprintf(stderr, "monitoring %s\n", Text((*reply)["result"]["events"]).c_str());
  std::fflush(stderr);
  auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(o.timeout < 0 ? 0 : o.timeout);
  int seen = 0;
  while (o.count < 0 || seen < o.count) {
    int wait = -1;
    if (o.timeout >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
      if (left.count() <= 0) return o.count < 0 ? kOk : kFailed;
      wait = int(left.count());
    }
    auto e = c.Next(wait);
    if (!e) {
      if (c.closed()) Fail(kUsage, "the panel process went away");
      continue;
    }
    if (!e->contains("event")) continue;
    ++seen;
    if (o.json) {
      std::puts(e->dump().c_str());
    } else {
      std::string kind = e->value("event", "");
      std::string line = kind;
      for (auto& [k, v] : e->items())
        if (k != "event") line += " " + k + "=" + Text(v);
      std::puts(line.c_str());
    }
    std::fflush(stdout);
  }
  return kOk;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](const char* name) -> std::string {
      if (i + 1 >= argc) Usage(std::string(name) + " needs a value");
      return argv[++i];
    };
    if (a == "--root") o.root = value("--root");
    else if (a == "--pid") o.pid = Number(value("--pid"), "--pid");
    else if (a == "--json") o.json = true;
    else if (a == "--count") o.count = Number(value("--count"), "--count");
    else if (a == "--timeout") o.timeout = Volts(value("--timeout"));
    else if (a == "--help" || a == "-h") Usage("");
    else if (a.size() > 2 && a.rfind("--", 0) == 0) Usage("unknown option " + a);
    else o.args.push_back(a);
  }
  if (o.args.empty()) Usage("");
  if (o.args[0] == "list") return List(o);
  if (o.args[0] == "monitor") return Monitor(o, o.args);
  json request = Request(o.args);
  Connection c;
  Attach(o, &c);
  auto reply = c.Call(request);
  if (!reply) Fail(kUsage, "no reply from the panel");
  if (o.json) std::puts(reply->dump().c_str());
  if (!reply->value("ok", false)) {
    if (!o.json) std::fprintf(stderr, "orlik-panel: %s\n", reply->value("error", "refused").c_str());
    return kFailed;
  }
  if (!o.json) Print(o.args[0] == "call" ? "" : o.args[0], (*reply)["result"]);
  return kOk;
}
