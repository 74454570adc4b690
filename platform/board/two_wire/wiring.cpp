// The four buses of the panel and what hangs on them: the converter and the
// camera's video decoder on the main bus (fitted after every reset), a counter
// module slot on each bus (empty until attached).
#include "board/camera/decoder.h"
#include "board/gpio.h"
#include "board/two_wire/devices.h"

#include <array>

namespace orlik::board {

namespace {

struct Slot {
  const char* module;  // counter module name
  const char* bus;
  BusLines lines;
};
constexpr std::array<Slot, 4> kSlots = {{
    {"B2", "main", {'B', 6, 'B', 5}},
    {"A1", "A1", {'K', 2, 'K', 3}},
    {"A2", "A2", {'K', 6, 'K', 7}},
    {"B1", "B1", {'P', 10, 'P', 11}},
}};

struct Wiring {
  std::array<TwoWireBus*, 4> buses{};
  std::shared_ptr<AnalogueOutputConverter> converter = std::make_shared<AnalogueOutputConverter>();
  std::shared_ptr<VideoDecoder> decoder = std::make_shared<VideoDecoder>();
  std::array<std::shared_ptr<CounterModuleModel>, 4> modules{};
};

// Lives as long as the board (which is never destroyed): the GPIO listeners
// point into it.
Wiring* wiring = nullptr;

int SlotOf(std::string_view name, bool byBus) {
  for (size_t i = 0; i < kSlots.size(); ++i) {
    if (name == kSlots[i].module && !byBus) return int(i);
    if (byBus && (name == kSlots[i].bus || name == kSlots[i].module)) return int(i);
  }
  return -1;
}

}  // namespace

void WireTwoWireBuses(Board& board, Gpio& gpio) {
  wiring = new Wiring;
  for (size_t i = 0; i < kSlots.size(); ++i) {
    wiring->buses[i] = new TwoWireBus(kSlots[i].bus, gpio, kSlots[i].lines);
    wiring->modules[i] = std::make_shared<CounterModuleModel>();
  }
  wiring->buses[0]->Attach(wiring->converter);
  wiring->buses[0]->Attach(wiring->decoder);
  board.OnReset([] {
    for (size_t i = 0; i < kSlots.size(); ++i) {
      wiring->buses[i]->Detach(wiring->modules[i].get());
      wiring->modules[i]->Reset();
      wiring->buses[i]->Reset();
    }
    wiring->buses[0]->Attach(wiring->converter);
    wiring->converter->Reset();
    wiring->buses[0]->Attach(wiring->decoder);
    wiring->decoder->Reset();
  });
}

TwoWireBus* FindTwoWireBus(std::string_view name) {
  int slot = SlotOf(name, true);
  return slot < 0 || !wiring ? nullptr : wiring->buses[size_t(slot)];
}

AnalogueOutputConverter& Converter() { return *wiring->converter; }

VideoDecoder& Decoder() { return *wiring->decoder; }

CounterModuleModel* FindCounterModule(std::string_view module) {
  int slot = SlotOf(module, false);
  return slot < 0 || !wiring ? nullptr : wiring->modules[size_t(slot)].get();
}

TwoWireBus* CounterModuleBus(std::string_view module) {
  int slot = SlotOf(module, false);
  return slot < 0 || !wiring ? nullptr : wiring->buses[size_t(slot)];
}

}  // namespace orlik::board
