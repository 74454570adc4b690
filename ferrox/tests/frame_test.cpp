// Load and unload of the library: windows, object order, restore, failures.
#include "export_map.h"
#include "ferrox_fixture.h"

#include <set>
#include <string>
#include <vector>

using namespace ferrox_test;

// Declared for its type only: no library exports it.
extern "C" int32_t NotAFerroxExport(int32_t);

namespace {

class Frame : public tolvex_test::PanelTest {};

TEST_F(Frame, LoadsWithoutBoxesAndAnswersItsVersion) {
  tolvex_test::Library lib(TOLVEX_LIB_FERROX);
  ASSERT_TRUE(lib.loaded());
  EXPECT_EQ(TOLVEX_GET(lib, GetNativeDllVersion)(), 2009070901);
  EXPECT_EQ(orlik_sim_message_count(), 0);
}

#define FOUND_EXPORTS(X) X(GetNativeDllVersion) X(version, GetNativeDllVersion) X(SetPortACfg)
TOLVEX_EXPORT_TABLE(Found, FOUND_EXPORTS);
#define PARTLY_MISSING_EXPORTS(X) X(NotAFerroxExport) X(GetNativeDllVersion)
TOLVEX_EXPORT_TABLE(PartlyMissing, PARTLY_MISSING_EXPORTS);

TEST_F(Frame, AnExportTableFillsEveryFieldByItsExportsNameAndNamesAMissingOne) {
  tolvex_test::Library lib(TOLVEX_LIB_FERROX);
  Found found;
  ASSERT_TRUE(found.Resolve([&](const char* name) { return lib.Symbol(name); }));
  EXPECT_EQ(reinterpret_cast<void*>(found.GetNativeDllVersion), lib.Symbol("GetNativeDllVersion"));
  EXPECT_EQ(reinterpret_cast<void*>(found.version), lib.Symbol("GetNativeDllVersion"));
  EXPECT_EQ(reinterpret_cast<void*>(found.SetPortACfg), lib.Symbol("SetPortACfg"));
  EXPECT_EQ(found.version(), 2009070901);

  // A missing export leaves its field null and the table incomplete; the
  // fields after it are still filled.
  PartlyMissing partly;
  std::vector<std::string> asked;
  EXPECT_FALSE(partly.Resolve([&](const char* name) {
    asked.push_back(name);
    return lib.Symbol(name);
  }));
  EXPECT_EQ(asked, (std::vector<std::string>{"NotAFerroxExport", "GetNativeDllVersion"}));
  EXPECT_EQ(partly.NotAFerroxExport, nullptr);
  EXPECT_NE(partly.GetNativeDllVersion, nullptr);
}

TEST_F(Frame, ExportsComeFromTheLibraryItselfAndNothingInternalLeaks) {
  tolvex_test::Library lib(TOLVEX_LIB_FERROX);
  const std::set<std::string> notBuiltYet = {};  // every name of the map is built
  tolvex_test::ExpectOnlyTheMap(lib, TOLVEX_LIB_FERROX, TOLVEX_EXPORTS_FERROX, 176u, notBuiltYet,
                                {"_ZN6ferrox8portBankE", "_ZN4regs14RegisterWindow5CloseEv"});
}

TEST_F(Frame, UnloadRestoresConverterAndTimersInReverseOrder) {
  // What was in force before the library loaded.
  orlik_sim_poke(kAdc + 0x00, 0x0001C1C8);
  const uint32_t timerRegs[] = {0x00, 0x04, 0x0C, 0x10, 0x18, 0x1C, 0x08};
  for (uint32_t i = 0; i < 7; ++i) orlik_sim_poke(kTimer + timerRegs[i], 0x100 + i);
  orlik_sim_poke(kGpio + 0xA0, 0xA0000000);  // F14, F15 on their timers

  auto lib = std::make_unique<tolvex_test::Library>(TOLVEX_LIB_FERROX);
  // At load the PWM pins become plain outputs at the idle (low) level.
  EXPECT_EQ(orlik_sim_pin_mode('F', 14), 1);
  EXPECT_EQ(orlik_sim_pin_mode('F', 15), 1);
  EXPECT_EQ(orlik_sim_pin_level('F', 14), 0);
  EXPECT_EQ(orlik_sim_pin_level('F', 15), 0);

  // Someone changes everything while loaded.
  orlik_sim_poke(kAdc + 0x00, 0x3FC4);
  for (uint32_t r : timerRegs) orlik_sim_poke(kTimer + r, 0xDEAD);
  orlik_sim_trace(1);
  lib->Close();
  auto trace = Trace();
  orlik_sim_trace(0);

  EXPECT_EQ(orlik_sim_peek(kAdc + 0x00), 0x0001C1C8u);
  for (uint32_t i = 0; i < 7; ++i) EXPECT_EQ(orlik_sim_peek(kTimer + timerRegs[i]), 0x100 + i);
  EXPECT_EQ(orlik_sim_peek(kGpio + 0xA0), 0xA0000000u);

  // The PWM unit is torn down before the converter (reverse of creation),
  // writing its registers back in the saved order, port F last.
  std::vector<uint32_t> writes;
  for (auto& a : trace)
    if (a.write) writes.push_back(a.phys);
  const std::vector<uint32_t> expected = {kTimer + 0x00, kTimer + 0x04, kTimer + 0x0C, kTimer + 0x10,
                                          kTimer + 0x18, kTimer + 0x1C, kTimer + 0x08, kGpio + 0xA0,
                                          kAdc + 0x00};
  EXPECT_EQ(writes, expected);
}

TEST_F(Frame, PwmRestoreThenUnloadWritesTheSavedValuesTwice) {
  orlik_sim_poke(kTimer + 0x08, 0x0000000B);
  tolvex_test::Library lib(TOLVEX_LIB_FERROX);
  if (!lib.Has("PWMRestore")) GTEST_SKIP() << "PWMRestore is not built yet";
  auto restore = TOLVEX_GET(lib, PWMRestore);
  orlik_sim_trace(1);
  restore();
  lib.Close();
  EXPECT_EQ(WritesTo(kTimer + 0x08), 2);
  EXPECT_EQ(orlik_sim_peek(kTimer + 0x08), 0x0000000Bu);
}

// The PWM unit maps its GPIO window, then its timer window. When only the
// first maps, nothing was saved, and unloading writes nothing back: the port F
// configuration (the PWM pins and the rest of HW-F) stays as it is.
TEST_F(Frame, APartlyLoadedPwmUnitRestoresNothingItDidNotSave) {
  orlik_sim_poke(kGpio + 0xA0, 0xA0000005);
  const uint32_t portF = orlik_sim_peek(kGpio + 0xA0);
  // Windows in creation order: ports, converter (two), main bus, PWM GPIO,
  // PWM timer: the sixth request 1 fails.
  orlik_sim_fail_device_once("HTM1:", 1, 5);
  auto lib = std::make_unique<tolvex_test::Library>(TOLVEX_LIB_FERROX);
  ASSERT_EQ(Boxes(), (std::vector<Box>{{"ERROR", "Device IO Control failed to set pointer \n\r"}}));
  orlik_sim_trace(1);
  lib->Close();
  EXPECT_EQ(WritesTo(kGpio + 0xA0), 0);
  EXPECT_EQ(orlik_sim_peek(kGpio + 0xA0), portF);
  EXPECT_EQ(WritesTo(kTimer + 0x08), 0);
}

struct FailureCase {
  int step;
  std::vector<Box> boxes;
};

const std::string kSet = "Device IO Control failed to set pointer \n\r";
const std::string kMap = "Device IO Control failed to map memory to the application \n\r";
const std::string kVa = "VirtualAlloc failed in Application \r\n";

TEST_F(Frame, WindowFailuresShowTheirBoxesInCreationOrder) {
  const Box open{"ERROR", "Cannot open Memery: \r\n"};
  const Box set{"ERROR", kSet}, map{"ERROR", kMap}, va{"ERROR", kVa};
  const Box adcSet{"ERROR", "Device ADC Control failed to set pointer \n\r"};
  const Box adcMap{"ERROR", "Device ADC Control failed to map memory to the application \n\r"};
  const FailureCase cases[] = {
      // PortBank, AdcUnit, mainBus, PwmUnit, counterBusB1, counterBusA1, counterBusA2
      {0, {open, open, open, open, open, open, open}},
      {1, {set, adcSet, set, set, set, set, set}},
      {2, {va, map, va, adcMap, va, map, va, map, va, map, va, map, va, map}},
      {3, {map, adcMap, map, map, map, map, map}},
  };
  for (const auto& c : cases) {
    orlik_sim_reset();
    orlik_sim_fail_device("HTM1:", c.step);
    tolvex_test::Library lib(TOLVEX_LIB_FERROX);
    ASSERT_TRUE(lib.loaded()) << "the library loads whatever the driver does";
    EXPECT_EQ(Boxes(), c.boxes) << "step " << c.step;

    // Exports on null windows touch nothing and return 0.
    orlik_sim_trace(1);
    EXPECT_EQ(TOLVEX_GET(lib, SetPortACfg)(0xFF), 0);
    TOLVEX_GET(lib, SetPortAData)(0xFF);
    EXPECT_EQ(TOLVEX_GET(lib, GetPortAData)(), 0);
    EXPECT_EQ(orlik_sim_trace_count(), 0);
    EXPECT_EQ(TOLVEX_GET(lib, GetNativeDllVersion)(), 2009070901);
    lib.Close();
    EXPECT_EQ(orlik_sim_trace_count(), 0) << "teardown of null windows writes nothing";
  }
}

TEST_F(Frame, ConverterTimerWindowHasItsOwnMessagesAndOthersStillLoad) {
  // Requests run in creation order: PortBank's GPIO window, the converter's
  // ADC window, then its timer window (the third of each kind).
  const struct {
    int step;
    std::vector<Box> boxes;
  } cases[] = {
      {1, {{"ERROR", "Device ADC1 Control failed to set pointer \n\r"}}},
      {3, {{"ERROR", "Device ADC1 Control failed to map memory to the application \n\r"}}},
      {2, {{"ERROR", kVa}, {"ERROR", "Device ADC1 Control failed to map memory to the application \n\r"}}},
  };
  for (const auto& c : cases) {
    orlik_sim_reset();
    orlik_sim_fail_device_once("HTM1:", c.step, 2);
    tolvex_test::Library lib(TOLVEX_LIB_FERROX);
    EXPECT_EQ(Boxes(), c.boxes) << "step " << c.step;
    // The ports, created before, and the PWM unit, created after, still work.
    TOLVEX_GET(lib, SetPortDCfg)(0xFF);
    TOLVEX_GET(lib, SetPortDData)(0x3C);
    EXPECT_EQ(TOLVEX_GET(lib, GetPortDData)(), 0x3C);
    EXPECT_EQ(orlik_sim_pin_mode('F', 14), 1);
  }
}

}  // namespace
