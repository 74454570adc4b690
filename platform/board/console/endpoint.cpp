// The console endpoint: a Unix socket server on a thread of its own. One poll
// loop serves every client: requests are answered in the order they arrive,
// events are fanned out to the clients that subscribed to their kind.
#include <orlik/sim_console.h>

#include "board/console/address.h"
#include "board/console/commands.h"
#include "board/console/console.h"
#include "board/console/events.h"

#include "board/board.h"
#include "board/gpio.h"
#include "core/paths.h"
#include "core/resident_thread.h"

#include <nlohmann/json.hpp>

#include <dirent.h>
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

namespace orlik::board::console {

std::atomic<unsigned> gWanted{0};

namespace {

using json = nlohmann::json;

constexpr size_t kMaxLine = 1 << 20;      // longest request accepted, bytes
constexpr size_t kMaxPending = 16 << 20;  // unread replies and events before a client is dropped
constexpr size_t kMaxClients = 64;
constexpr size_t kRingSize = 4096;        // pin changes held between two wake-ups

constexpr std::array<const char*, size_t(EventKind::kCount)> kEventNames = {
    "pin", "message", "power", "present", "bus-error"};

double Now() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

std::string Dump(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace) + "\n"; }

struct Client {
  int fd = -1;
  std::string in;
  std::string out;
  unsigned wants = 0;
  bool skipping = false;  // discarding the rest of an over-long line
  bool closing = false;
};

struct PinChange {
  char port;
  int8_t pin;
  int8_t level;
  double t;
};

class Endpoint {
 public:
  static Endpoint& Get() {
    static auto* endpoint = new Endpoint;  // lives until the process ends
    return *endpoint;
  }

  void Start() {
    // Read at each call, so a process can run without a console for a while.
    if (const char* off = std::getenv("ORLIK_CONSOLE"); off && (!std::strcmp(off, "off") || !std::strcmp(off, "0")))
      return;
    std::call_once(started_, [this] { Open(); });
  }
  std::string Path() {
    std::lock_guard lock(mutex_);
    return running_ ? path_ : std::string();
  }

  // Events from hooks outside the register path.
  void Queue(json event) {
    {
      std::lock_guard lock(mutex_);
      if (queued_.size() >= kRingSize) {
        ++dropped_;
        return;
      }
      queued_.push_back(std::move(event));
    }
    Wake();
  }

  // A GPIO listener, called under the board lock: the lock already orders the
  // producers, so the ring needs no lock of its own. Only a change that finds
  // the ring drained wakes the server; DrainEvents looks again after it has
  // caught up (the head and tail stores and loads are sequentially consistent
  // on both sides, so one of the two always sees the other's store).
  void PinChanged(char port, int pin, int level) {
    size_t head = head_.load(std::memory_order_relaxed);
    if (head - tail_.load(std::memory_order_acquire) >= kRingSize) {
      dropped_pins_.fetch_add(1, std::memory_order_relaxed);
      return;
    }
    ring_[head % kRingSize] = {port, int8_t(pin), int8_t(level), Now()};
    head_.store(head + 1, std::memory_order_seq_cst);
    if (tail_.load(std::memory_order_seq_cst) == head) Wake();
  }

 private:
  void Wake() {
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(wake_, &one, sizeof one);
  }

  void Open();
  void Run();
  void Accept();
  void Read(Client& c);
  void Flush(Client& c);
  void Handle(Client& c, std::string_view line);
  void Reply(Client& c, const json& reply);
  void DrainEvents();
  void UpdateWanted();

  std::once_flag started_;
  std::mutex mutex_;
  bool running_ = false;
  std::string path_;
  pid_t owner_ = 0;
  int listen_ = -1;
  int wake_ = -1;
  std::vector<Client> clients_;
  std::deque<json> queued_;
  size_t dropped_ = 0;
  std::array<PinChange, kRingSize> ring_{};
  std::atomic<size_t> head_{0}, tail_{0};
  std::atomic<size_t> dropped_pins_{0};
  int pinListener_ = 0;
};

// Sockets of processes that are gone: left by a kill or a crash.
void RemoveStaleSockets(const std::string& folder) {
  DIR* d = opendir(folder.c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    int pid = console_address::PidOf(e->d_name);
    if (pid == 0) continue;
    if (pid == getpid() || (kill(pid, 0) != 0 && errno == ESRCH)) unlink((folder + "/" + e->d_name).c_str());
  }
  closedir(d);
}

void RemoveSocketAtExit() {
  // A child forked without exec inherits the handler: only the owner removes.
  std::string path = Endpoint::Get().Path();
  if (!path.empty() && console_address::PidOf(std::filesystem::path(path).filename().c_str()) == getpid())
    unlink(path.c_str());
}

void Endpoint::Open() {
  std::error_code ec;
  std::string root = std::filesystem::absolute(DeviceRoot(), ec).lexically_normal().string();
  if (ec) return;
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  std::string folder = root + "/.board";
  mkdir(root.c_str(), 0755);
  mkdir(folder.c_str(), 0755);
  RemoveStaleSockets(folder);
  std::string path = folder + "/console-" + std::to_string(getpid()) + ".sock";

  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  // The socket file takes the socket's mode at bind: never readable by others,
  // not even for a moment before the chmod below.
  fchmod(fd, 0600);
  sockaddr_un addr;
  int dir = -1;
  bool bound = console_address::Make(path, &addr, &dir) &&
               bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  if (dir >= 0) close(dir);
  if (!bound || chmod(path.c_str(), 0600) != 0 || listen(fd, 16) != 0) {
    Board::Get().Log("console: no endpoint at " + path + ": " + std::strerror(errno));
    if (bound) unlink(path.c_str());
    close(fd);
    return;
  }
  wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wake_ < 0) {
    unlink(path.c_str());
    close(fd);
    return;
  }
  listen_ = fd;
  owner_ = getpid();
  {
    std::lock_guard lock(mutex_);
    path_ = path;
    running_ = true;
  }
  StartResidentThread([this] { Run(); }, RemoveSocketAtExit);
}

void Endpoint::Run() {
  std::vector<pollfd> fds;
  for (;;) {
    fds.clear();
    fds.push_back({listen_, POLLIN, 0});
    fds.push_back({wake_, POLLIN, 0});
    for (auto& c : clients_) fds.push_back({c.fd, short(POLLIN | (c.out.empty() ? 0 : POLLOUT)), 0});
    if (poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      Board::Get().Log(std::string("console: poll failed: ") + std::strerror(errno));
      return;
    }
    // Clients before new ones: fds[2 + i] belongs to clients_[i].
    for (size_t i = 0; i < clients_.size(); ++i) {
      Client& c = clients_[i];
      short ev = fds[2 + i].revents;
      if (ev & POLLIN) Read(c);
      else if (ev & (POLLHUP | POLLERR)) c.closing = true;
      if (!c.closing && !c.out.empty()) Flush(c);
    }
    if (fds[1].revents & POLLIN) {
      uint64_t count;
      [[maybe_unused]] ssize_t n = read(wake_, &count, sizeof count);
      DrainEvents();
    }
    if (fds[0].revents & POLLIN) Accept();
    bool removed = false;
    for (auto& c : clients_) {
      if (c.closing) {
        close(c.fd);
        removed = true;
      }
    }
    if (removed) {
      std::erase_if(clients_, [](const Client& c) { return c.closing; });
      UpdateWanted();
    }
  }
}

void Endpoint::Accept() {
  for (;;) {
    int fd = accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      // Out of descriptors: the connection waits in the backlog; pause rather
      // than spin on a listening socket that stays readable.
      if (errno == EMFILE || errno == ENFILE) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      return;
    }
    ucred peer{};
    socklen_t len = sizeof peer;
    std::string refusal;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &len) != 0)
      refusal = "cannot identify the peer";
    else if (peer.uid != geteuid())
      refusal = "permission denied: the panel belongs to another user";
    else if (clients_.size() >= kMaxClients)
      refusal = "too many clients";
    if (!refusal.empty()) {
      std::string line = Dump({{"ok", false}, {"error", refusal}});
      [[maybe_unused]] ssize_t n = send(fd, line.data(), line.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      close(fd);
      continue;
    }
    Client c;
    c.fd = fd;
    clients_.push_back(std::move(c));
  }
}

void Endpoint::Read(Client& c) {
  char chunk[65536];
  // A bounded number of reads per turn, so one busy client cannot starve the others.
  for (int turn = 0; turn < 16 && !c.closing; ++turn) {
    ssize_t n = recv(c.fd, chunk, sizeof chunk, 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
      c.closing = true;
      return;
    }
    if (n < 0) return;
    c.in.append(chunk, size_t(n));
    size_t start = 0;
    for (size_t nl; (nl = c.in.find('\n', start)) != std::string::npos; start = nl + 1) {
      if (c.skipping) {
        c.skipping = false;
        continue;
      }
      Handle(c, std::string_view(c.in).substr(start, nl - start));
    }
    c.in.erase(0, start);
    if (c.in.size() > kMaxLine) {
      if (!c.skipping) Reply(c, {{"ok", false}, {"error", "request line too long"}});
      c.skipping = true;
      c.in.clear();
    }
  }
}

void Endpoint::Flush(Client& c) {
  while (!c.out.empty()) {
    ssize_t n = send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      c.out.erase(0, size_t(n));
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) break;
    c.closing = true;  // the client went away, perhaps in the middle of a reply
    return;
  }
  if (c.out.size() > kMaxPending) c.closing = true;  // it stopped reading
}

void Endpoint::Reply(Client& c, const json& reply) {
  if (!c.closing) c.out += Dump(reply);
}

void Endpoint::Handle(Client& c, std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.find_first_not_of(" \t") == std::string_view::npos) return;
  json request = json::parse(line, nullptr, false);
  if (request.is_discarded()) return Reply(c, {{"ok", false}, {"error", "malformed JSON"}});
  if (!request.is_object()) return Reply(c, {{"ok", false}, {"error", "a request is a JSON object"}});
  json reply = json::object();
  if (request.contains("id")) reply["id"] = request["id"];
  auto cmd = request.find("cmd");
  if (cmd == request.end() || !cmd->is_string()) {
    reply["ok"] = false;
    reply["error"] = "a request names its command in \"cmd\"";
    return Reply(c, reply);
  }
  std::string name = cmd->get<std::string>();
  json result = json::object();
  std::string error;
  bool ok = false;
  try {
    if (name == "subscribe" || name == "unsubscribe") {
      unsigned mask = 0;
      json events = request.value("events", json::array({"all"}));
      if (events.is_string()) events = json::array({events});
      ok = events.is_array();
      for (auto& e : events) {
        std::string kind = e.is_string() ? e.get<std::string>() : "";
        unsigned bit = 0;
        for (size_t i = 0; i < kEventNames.size(); ++i)
          if (kind == kEventNames[i]) bit = 1u << i;
        if (kind == "all") bit = (1u << kEventNames.size()) - 1;
        if (!bit) {
          ok = false;
          error = "unknown event \"" + kind + "\"";
          break;
        }
        mask |= bit;
      }
      if (ok) {
        c.wants = name == "subscribe" ? (c.wants | mask) : (c.wants & ~mask);
        UpdateWanted();
        json list = json::array();
        for (size_t i = 0; i < kEventNames.size(); ++i)
          if (c.wants & (1u << i)) list.push_back(kEventNames[i]);
        result["events"] = list;
      } else if (error.empty()) {
        error = "\"events\" is a list of event names";
      }
    } else if (name == "help") {
      result["commands"] = CommandNames();
      result["events"] = kEventNames;
      ok = true;
    } else {
      ok = RunCommand(name, request, &result, &error);
    }
  } catch (const std::exception& e) {
    ok = false;
    error = std::string("bad argument: ") + e.what();
  }
  reply["ok"] = ok;
  if (ok)
    reply["result"] = std::move(result);
  else
    reply["error"] = error;
  Reply(c, reply);
}

void Endpoint::DrainEvents() {
  std::vector<std::pair<EventKind, std::string>> lines;
  size_t tail = tail_.load(std::memory_order_relaxed);
  size_t taken = 0;
  for (size_t head; (head = head_.load(std::memory_order_seq_cst)) != tail;) {
    if (taken >= kRingSize) {
      Wake();  // a pin that never rests: serve the clients, then come back
      break;
    }
    for (; tail != head; ++tail, ++taken) {
      const PinChange& p = ring_[tail % kRingSize];
      char name[16];
      std::snprintf(name, sizeof name, "HW-%c%d", p.port, p.pin);
      lines.emplace_back(EventKind::kPin, Dump({{"event", "pin"}, {"pin", name}, {"level", p.level}, {"t", p.t}}));
    }
    tail_.store(tail, std::memory_order_seq_cst);
  }
  size_t droppedPins = dropped_pins_.exchange(0, std::memory_order_relaxed);
  std::deque<json> queued;
  size_t dropped;
  {
    std::lock_guard lock(mutex_);
    queued.swap(queued_);
    dropped = dropped_;
    dropped_ = 0;
  }
  for (auto& e : queued) {
    std::string kind = e.value("event", "");
    for (size_t i = 0; i < kEventNames.size(); ++i)
      if (kind == kEventNames[i]) lines.emplace_back(EventKind(i), Dump(e));
  }
  std::string overflow;
  if (droppedPins + dropped) overflow = Dump({{"event", "overflow"}, {"dropped", droppedPins + dropped}});
  for (auto& c : clients_) {
    if (!c.wants) continue;
    for (auto& [kind, line] : lines)
      if (c.wants & (1u << unsigned(kind))) c.out += line;
    c.out += overflow;
    if (!c.closing && !c.out.empty()) Flush(c);
  }
}

void Endpoint::UpdateWanted() {
  unsigned mask = 0;
  for (auto& c : clients_) mask |= c.wants;
  gWanted.store(mask, std::memory_order_relaxed);
  bool pins = mask & (1u << unsigned(EventKind::kPin));
  if (pins == (pinListener_ != 0)) return;
  auto& board = Board::Get();
  std::lock_guard lock(board.Lock());
  if (pins) {
    pinListener_ = board.gpio().AddListener([this](char port, int pin, int level) { PinChanged(port, pin, level); });
  } else {
    board.gpio().RemoveListener(pinListener_);
    pinListener_ = 0;
  }
}

}  // namespace

void Start() { Endpoint::Get().Start(); }

std::string SocketPath() { return Endpoint::Get().Path(); }

void PublishMessage(const std::string& caption, const std::string& text, unsigned type) {
  Endpoint::Get().Queue({{"event", "message"}, {"caption", caption}, {"text", text}, {"type", type}, {"t", Now()}});
}

void PublishPower(const std::string& request) {
  Endpoint::Get().Queue({{"event", "power"}, {"request", request}, {"t", Now()}});
}

void PublishPresent(int count) {
  Endpoint::Get().Queue({{"event", "present"}, {"presents", count}, {"t", Now()}});
}

void PublishBusError(const std::string& bus, const std::string& what) {
  Endpoint::Get().Queue({{"event", "bus-error"}, {"bus", bus}, {"error", what}, {"t", Now()}});
}

}  // namespace orlik::board::console

extern "C" int orlik_sim_console_path(char* path, int size) {
  orlik::board::console::Start();
  std::string p = orlik::board::console::SocketPath();
  if (path && size > 0) {
    size_t n = std::min(p.size(), size_t(size - 1));
    std::memcpy(path, p.data(), n);
    path[n] = 0;
  }
  return int(p.size());
}
