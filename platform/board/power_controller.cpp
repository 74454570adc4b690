#include "board/power_controller.h"

#include <orlik/sim_power.h>

#include "board/board.h"
#include "board/console/events.h"
#include "core/paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>

namespace orlik::board {
namespace {

std::string RecordFolder() { return DeviceRoot() + "/.board"; }
std::string RecordPath() { return RecordFolder() + "/power-requests"; }

}  // namespace

PowerController& PowerController::Get() {
  static auto* controller = new PowerController;
  return *controller;
}

PowerController::PowerController() {
  Board::Get().OnReset([this] { Clear(); });
}

void PowerController::Record(const std::string& line) {
  mkdir(DeviceRoot().c_str(), 0755);
  mkdir(RecordFolder().c_str(), 0755);
  int fd = open(RecordPath().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) {
    Board::Get().Log("power controller: cannot record \"" + line + "\"");
    return;
  }
  std::string text = line + "\n";
  // One write per line: concurrent writers append whole lines.
  [[maybe_unused]] ssize_t n = write(fd, text.data(), text.size());
  fsync(fd);
  close(fd);
  if (console::Wanted(console::EventKind::kPower)) console::PublishPower(line);
}

void PowerController::RequestPowerState(const std::string& state, unsigned flags, unsigned options) {
  char line[160];
  std::snprintf(line, sizeof line, "set-power-state %s flags=0x%08X options=0x%08X",
                state.empty() ? "-" : state.c_str(), flags, options);
  Record(line);
}

void PowerController::RequestReboot() { Record("hal-reboot"); }

std::vector<std::string> PowerController::Requests() const {
  std::vector<std::string> lines;
  std::ifstream in(RecordPath());
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  return lines;
}

void PowerController::Clear() { unlink(RecordPath().c_str()); }

// Installed when the platform loads, so a reset clears the record from the start.
[[maybe_unused]] const bool kPowerControllerReady = (PowerController::Get(), true);

}  // namespace orlik::board

using orlik::board::PowerController;

extern "C" {

int orlik_sim_power_request_count(void) { return int(PowerController::Get().Requests().size()); }

int orlik_sim_power_request(int i, char* text, int size) {
  auto requests = PowerController::Get().Requests();
  if (i < 0 || size_t(i) >= requests.size()) return 0;
  if (text && size > 0) {
    size_t n = std::min(requests[size_t(i)].size(), size_t(size - 1));
    std::memcpy(text, requests[size_t(i)].data(), n);
    text[n] = 0;
  }
  return 1;
}

}  // extern "C"
