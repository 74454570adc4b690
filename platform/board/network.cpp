// The Ethernet adapter model: one adapter, instance "CS89001". A rebind takes
// it down and up again; the model counts that and records each request.
#include "board/network.h"

#include <orlik/sim.h>
#include <orlik/text.h>

#include "board/board.h"

#include <cstring>
#include <map>

namespace orlik::board {
namespace {

struct State {
  std::vector<std::vector<std::u16string>> requests;
  std::map<std::u16string, int> rebinds = {{u"CS89001", 0}};
  State() {
    Board::Get().OnReset([this] {
      requests.clear();
      for (auto& [name, count] : rebinds) count = 0;
    });
  }
};

State& TheState() { return ModelState<State>(); }

[[maybe_unused]] const bool kInstalled = (TheState(), true);

}  // namespace

Network& Network::Get() {
  static Network network;
  return network;
}

bool Network::Rebind(const std::vector<std::u16string>& adapters) {
  std::lock_guard lock(Board::Get().Lock());
  auto& s = TheState();
  s.requests.push_back(adapters);
  bool all = !adapters.empty();
  for (auto& name : adapters) {
    auto it = s.rebinds.find(name);
    if (it == s.rebinds.end())
      all = false;
    else
      ++it->second;
  }
  return all;
}

std::vector<std::vector<std::u16string>> Network::Requests() {
  std::lock_guard lock(Board::Get().Lock());
  return TheState().requests;
}

int Network::Rebinds(const std::u16string& adapter) {
  std::lock_guard lock(Board::Get().Lock());
  auto& s = TheState();
  auto it = s.rebinds.find(adapter);
  return it == s.rebinds.end() ? 0 : it->second;
}

}  // namespace orlik::board

extern "C" {

int orlik_sim_rebind_count(void) { return int(orlik::board::Network::Get().Requests().size()); }

int orlik_sim_last_rebind(char* names, int size) {
  auto requests = orlik::board::Network::Get().Requests();
  if (requests.empty()) {
    if (names && size > 0) names[0] = 0;
    return 0;
  }
  std::string joined;
  for (auto& name : requests.back()) {
    if (!joined.empty()) joined += ',';
    joined += orlik::ToUtf8(name);
  }
  if (names && size > 0) {
    size_t n = std::min(joined.size(), size_t(size - 1));
    std::memcpy(names, joined.data(), n);
    names[n] = 0;
  }
  return int(requests.back().size());
}

int orlik_sim_adapter_rebinds(const char* adapter) {
  if (!adapter) return 0;
  return orlik::board::Network::Get().Rebinds(orlik::FromUtf8(adapter));
}

}  // extern "C"
