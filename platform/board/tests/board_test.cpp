// The memory-window driver and the GPIO model, through the platform's own
// calls and the board API.
#include <orlik/windows.h>

#include "tolvex_test.h"

namespace {

constexpr uint32_t kGpio = 0x7F008000;

class Board : public tolvex_test::PanelTest {
 protected:
  // Maps a window the way the hardware library does; null on failure.
  static void* Map(uint32_t phys, uint32_t size) {
    HANDLE h = CreateFileW(u"HTM1:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    void* window = nullptr;
    if (DeviceIoControl(h, 1, reinterpret_cast<void*>(uintptr_t(phys / 256)), 0, nullptr, 0, nullptr, nullptr)) {
      window = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
      if (window && !DeviceIoControl(h, 2, window, size, nullptr, 0, nullptr, nullptr)) {
        VirtualFree(window, 0, MEM_RELEASE);
        window = nullptr;
      }
    }
    CloseHandle(h);
    return window;
  }
  static volatile uint8_t* At(void* window, uint32_t offset) {
    return static_cast<volatile uint8_t*>(window) + offset;
  }
};

TEST_F(Board, WindowReachesTheRegisterModelsAndStopsAtRelease) {
  void* gpio = Map(kGpio, 0x940);
  ASSERT_NE(gpio, nullptr);
  writel(0x11, At(gpio, 0x800));  // K0 output, K1 input
  writel(0x3, At(gpio, 0x808));
  EXPECT_EQ(orlik_sim_pin_mode('K', 0), 1);
  EXPECT_EQ(orlik_sim_pin_level('K', 0), 1);
  EXPECT_EQ(orlik_sim_peek(kGpio + 0x800), 0x11u);
  orlik_sim_poke(kGpio + 0x808, 0);
  EXPECT_EQ(readl(At(gpio, 0x808)) & 1, 0u);
  ASSERT_TRUE(VirtualFree(gpio, 0, MEM_RELEASE));
  EXPECT_EQ(orlik_sim_peek(kGpio + 0x800), 0x11u);
}

TEST_F(Board, DriverRefusesBadRequests) {
  HANDLE h = CreateFileW(u"htm1:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  void* reserved = VirtualAlloc(nullptr, 0x100, MEM_RESERVE, PAGE_NOACCESS);
  // Request 2 before request 1, an address no block claims, an unreserved range.
  EXPECT_FALSE(DeviceIoControl(h, 2, reserved, 0x100, nullptr, 0, nullptr, nullptr));
  EXPECT_FALSE(DeviceIoControl(h, 1, reinterpret_cast<void*>(uintptr_t(0x100)), 0, nullptr, 0, nullptr, nullptr));
  EXPECT_TRUE(DeviceIoControl(h, 1, reinterpret_cast<void*>(uintptr_t(kGpio / 256)), 0, nullptr, 0, nullptr, nullptr));
  int local = 0;
  EXPECT_FALSE(DeviceIoControl(h, 2, &local, 4, nullptr, 0, nullptr, nullptr));
  EXPECT_FALSE(DeviceIoControl(h, 2, reserved, 0x2000, nullptr, 0, nullptr, nullptr));
  EXPECT_FALSE(DeviceIoControl(h, 7, nullptr, 0, nullptr, 0, nullptr, nullptr));
  VirtualFree(reserved, 0, MEM_RELEASE);
  CloseHandle(h);
}

TEST_F(Board, InjectedFaultsFailEachStep) {
  for (int step = 0; step <= 3; ++step) {
    orlik_sim_fail_device("HTM1:", step);
    EXPECT_EQ(Map(kGpio, 0x940), nullptr) << "step " << step;
  }
  orlik_sim_fail_device("HTM1:", -1);
  void* gpio = Map(kGpio, 0x940);
  EXPECT_NE(gpio, nullptr);
  VirtualFree(gpio, 0, MEM_RELEASE);
}

TEST_F(Board, InputLevelComesFromOutsideThenPullThenBoardResistor) {
  // Q3 as input: pull-down at power-on, pull-up when asked, outside drive wins.
  EXPECT_EQ(orlik_sim_pin_mode('Q', 3), 0);
  EXPECT_EQ(orlik_sim_pin_level('Q', 3), 0);
  orlik_sim_poke(kGpio + 0x188, 2u << 6);
  EXPECT_EQ(orlik_sim_pin_level('Q', 3), 1);
  orlik_sim_drive_pin('Q', 3, 0);
  EXPECT_EQ(orlik_sim_pin_level('Q', 3), 0);
  EXPECT_EQ(orlik_sim_peek(kGpio + 0x184) & (1u << 3), 0u);
  orlik_sim_drive_pin('Q', 3, -1);
  EXPECT_EQ(orlik_sim_pin_level('Q', 3), 1);

  // An output reads back its latch whatever is driven outside.
  orlik_sim_poke(kGpio + 0x180, 1u << 6);
  orlik_sim_drive_pin('Q', 3, 1);
  EXPECT_EQ(orlik_sim_pin_level('Q', 3), 0);

  // The main bus lines float high with the pulls off (board resistors).
  orlik_sim_poke(kGpio + 0x028, 0);
  EXPECT_EQ(orlik_sim_pin_level('B', 5), 1);
  EXPECT_EQ(orlik_sim_pin_level('B', 6), 1);

  EXPECT_EQ(orlik_sim_pin_level('Z', 0), -1);
  EXPECT_EQ(orlik_sim_pin_level('B', 7), -1);  // hardware port B has pins 0-6
}

TEST_F(Board, EveryPortRegisterReachesItsPort) {
  struct PortRegisters {
    char port;
    uint32_t con0, con1, dat, pud;  // con1 0: one configuration register
    unsigned fieldBits;
  };
  const PortRegisters ports[] = {
      {'B', 0x020, 0, 0x024, 0x028, 4}, {'C', 0x040, 0, 0x044, 0x048, 4},
      {'F', 0x0A0, 0, 0x0A4, 0x0A8, 2}, {'K', 0x800, 0x804, 0x808, 0x80C, 4},
      {'L', 0x810, 0x814, 0x818, 0x81C, 4}, {'M', 0x820, 0, 0x824, 0x828, 4},
      {'N', 0x830, 0, 0x834, 0x838, 2}, {'P', 0x160, 0, 0x164, 0x168, 2},
      {'Q', 0x180, 0, 0x184, 0x188, 2},
  };
  for (const auto& p : ports) {
    orlik_sim_reset();
    // Pin 1 an output driven high; pin 0 an input held up by its pull-up.
    orlik_sim_poke(kGpio + p.con0, 1u << p.fieldBits);
    orlik_sim_poke(kGpio + p.dat, 1u << 1);
    orlik_sim_poke(kGpio + p.pud, 2u);
    EXPECT_EQ(orlik_sim_pin_mode(p.port, 1), 1) << p.port;
    EXPECT_EQ(orlik_sim_pin_level(p.port, 1), 1) << p.port;
    EXPECT_EQ(orlik_sim_pin_pull(p.port, 0), 2) << p.port;
    EXPECT_EQ(orlik_sim_peek(kGpio + p.dat) & 3u, 3u) << p.port;
    EXPECT_EQ(orlik_sim_peek(kGpio + p.con0), 1u << p.fieldBits) << p.port;
    EXPECT_EQ(orlik_sim_peek(kGpio + p.pud), 2u) << p.port;
    if (p.con1) {  // pins 8 and up
      orlik_sim_poke(kGpio + p.con1, 1);
      EXPECT_EQ(orlik_sim_pin_mode(p.port, 8), 1) << p.port;
      EXPECT_EQ(orlik_sim_peek(kGpio + p.con1), 1u) << p.port;
    }
  }
  // A register the model does not know reads 0, then what was written to it.
  EXPECT_EQ(orlik_sim_peek(kGpio + 0x0AC), 0u);
  orlik_sim_poke(kGpio + 0x0AC, 0x55);
  EXPECT_EQ(orlik_sim_peek(kGpio + 0x0AC), 0x55u);
}

TEST_F(Board, ChangesAreCountedAndMessageBoxesRecorded) {
  orlik_sim_poke(kGpio + 0x830, 1);  // N0 output
  for (int i = 0; i < 3; ++i) {
    orlik_sim_poke(kGpio + 0x834, 1);
    orlik_sim_poke(kGpio + 0x834, 0);
  }
  EXPECT_EQ(orlik_sim_pin_changes('N', 0), 6);

  EXPECT_EQ(MessageBoxW(nullptr, u"Text \u00e9", u"Caption", MB_OK), IDOK);
  ASSERT_EQ(orlik_sim_message_count(), 1);
  char caption[4], text[32];
  EXPECT_EQ(orlik_sim_message(0, caption, sizeof caption, text, sizeof text), 1);
  EXPECT_STREQ(caption, "Cap");  // bounded by the caller's size
  EXPECT_STREQ(text, "Text \xC3\xA9");
  EXPECT_EQ(orlik_sim_message(1, caption, sizeof caption, text, sizeof text), 0);
  orlik_sim_reset();
  EXPECT_EQ(orlik_sim_message_count(), 0);
  EXPECT_EQ(orlik_sim_pin_changes('N', 0), 0);
}

}  // namespace
