// Board API of the two-wire buses and the parts on them.
#include <orlik/sim_bus.h>

#include "board/two_wire/devices.h"

#include <cstring>

using namespace orlik::board;

namespace {

std::lock_guard<std::recursive_mutex> Locked() { return std::lock_guard(Board::Get().Lock()); }

void CopyOut(const std::string& s, char* dst, int size) {
  if (!dst || size <= 0) return;
  size_t n = std::min(s.size(), size_t(size - 1));
  std::memcpy(dst, s.data(), n);
  dst[n] = 0;
}

TwoWireBus* Bus(const char* name) { return name ? FindTwoWireBus(name) : nullptr; }
CounterModuleModel* Module(const char* name) { return name ? FindCounterModule(name) : nullptr; }

// Copies one of a bus's records (bounded, terminated); its full length, -1
// for a bus the panel does not have.
int CopyRecord(const char* bus, std::string (TwoWireBus::*record)() const, char* text, int size) {
  auto lock = Locked();
  TwoWireBus* b = Bus(bus);
  if (!b) return -1;
  std::string t = (b->*record)();
  CopyOut(t, text, size);
  return int(t.size());
}

}  // namespace

extern "C" {

int orlik_sim_bus_transcript(const char* bus, char* text, int size) {
  return CopyRecord(bus, &TwoWireBus::Transcript, text, size);
}

int orlik_sim_bus_levels(const char* bus, char* text, int size) {
  return CopyRecord(bus, &TwoWireBus::Levels, text, size);
}

int orlik_sim_bus_error_count(const char* bus) {
  auto lock = Locked();
  TwoWireBus* b = Bus(bus);
  return b ? int(b->Errors().size()) : 0;
}

int orlik_sim_bus_error(const char* bus, int i, char* text, int size) {
  auto lock = Locked();
  TwoWireBus* b = Bus(bus);
  if (!b) return 0;
  auto errors = b->Errors();
  if (i < 0 || size_t(i) >= errors.size()) return 0;
  CopyOut(errors[size_t(i)], text, size);
  return 1;
}

void orlik_sim_bus_clear(const char* bus) {
  auto lock = Locked();
  if (TwoWireBus* b = Bus(bus)) b->Clear();
}

int orlik_sim_dac_value(int address) {
  auto lock = Locked();
  return Converter().Value(address);
}

int orlik_sim_dac_updates(int address) {
  auto lock = Locked();
  return Converter().Updates(address);
}

void orlik_sim_dac_attach(int present) {
  auto lock = Locked();
  TwoWireBus* main = FindTwoWireBus("main");
  // The board owns the converter for good; the bus holds it without owning.
  if (!present) {
    main->Detach(&Converter());
  } else if (!main->IsAttached(&Converter())) {
    main->Attach(std::shared_ptr<AnalogueOutputConverter>(&Converter(), [](auto*) {}));
  }
}

int orlik_sim_counter_attach(const char* module, int present) {
  auto lock = Locked();
  CounterModuleModel* m = Module(module);
  TwoWireBus* bus = module ? CounterModuleBus(module) : nullptr;
  if (!m || !bus) return 0;
  if (!present)
    bus->Detach(m);
  else if (!bus->IsAttached(m))
    bus->Attach(std::shared_ptr<CounterModuleModel>(m, [](auto*) {}));
  return 1;
}

int orlik_sim_counter_set(const char* module, int index, uint64_t value) {
  auto lock = Locked();
  CounterModuleModel* m = Module(module);
  return m && m->SetCount(index, value) ? 1 : 0;
}

int orlik_sim_counter_get(const char* module, int index, uint64_t* value) {
  auto lock = Locked();
  CounterModuleModel* m = Module(module);
  uint64_t v = 0;
  if (!m || !m->Count(index, &v)) return 0;
  if (value) *value = v;
  return 1;
}

int orlik_sim_counter_pulses(const char* module, int counter, uint64_t pulses) {
  auto lock = Locked();
  CounterModuleModel* m = Module(module);
  return m && m->Pulse(counter, pulses) ? 1 : 0;
}

int orlik_sim_counter_state(const char* module, int* mode, int* width, int* paused) {
  auto lock = Locked();
  CounterModuleModel* m = Module(module);
  if (!m) return 0;
  if (mode) *mode = m->mode();
  if (width) *width = m->width();
  if (paused) *paused = m->pausedMask();
  return 1;
}

int orlik_sim_counter_set_pin_status(const char* module, int pin, int status) {
  auto lock = Locked();
  CounterModuleModel* m = Module(module);
  return m && m->SetPinStatus(pin, uint8_t(status)) ? 1 : 0;
}

int orlik_sim_counter_set_firmware(const char* module, int version) {
  auto lock = Locked();
  CounterModuleModel* m = Module(module);
  if (!m) return 0;
  m->SetFirmware(uint8_t(version));
  return 1;
}

int orlik_sim_counter_commands(const char* module) {
  auto lock = Locked();
  CounterModuleModel* m = Module(module);
  return m ? m->commands() : 0;
}

int orlik_sim_counter_fault(const char* module, int fault, int value) {
  auto lock = Locked();
  CounterModuleModel* m = Module(module);
  if (!m) return 0;
  switch (fault) {
    case ORLIK_SIM_COUNTER_CHECK_BYTE:
      m->ForceCheckByte(value < 0 ? -1 : value & 0xFF);
      return 1;
    case ORLIK_SIM_COUNTER_IDENTITY:
      if (value < 0)
        m->SetIdentity(0x4D, 0x21);
      else if (value > 0xFF)
        m->SetIdentity(uint8_t(value >> 8), uint8_t(value));
      else
        m->SetIdentity(0x4D, uint8_t(value));
      return 1;
    case ORLIK_SIM_COUNTER_DROP_SETTINGS:
      m->DropSettings(value);
      return 1;
    default:
      return 0;
  }
}

}  // extern "C"
