// The panel's Ethernet adapter as the NDIS driver sees it: adapters by
// instance name, and a record of every rebind request.
#pragma once

#include <string>
#include <vector>

namespace orlik::board {

class Network {
 public:
  static Network& Get();
  // Records the request. True when every name is an adapter of the panel
  // (each of those is unbound and bound again).
  bool Rebind(const std::vector<std::u16string>& adapters);
  std::vector<std::vector<std::u16string>> Requests();
  int Rebinds(const std::u16string& adapter);
};

}  // namespace orlik::board
