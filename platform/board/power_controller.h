// The panel's power controller: takes power-state and reboot requests and
// records each one in the device root (".board/power-requests", one line per
// request, appended with O_APPEND), so another process on the same panel (the
// one that started an updater, a test) sees the requests. The simulated panel
// keeps running after a request.
#pragma once

#include <string>
#include <vector>

namespace orlik::board {

class PowerController {
 public:
  static PowerController& Get();
  void RequestPowerState(const std::string& state, unsigned flags, unsigned options);
  void RequestReboot();
  std::vector<std::string> Requests() const;
  void Clear();

 private:
  PowerController();
  void Record(const std::string& line);
};

}  // namespace orlik::board
