// Power requests reach the board's power controller, which keeps them in the
// device root for any process on the panel to see.
#include <orlik/windows.h>

#include "tolvex_test.h"

#include <fstream>

namespace {

class PowerTest : public tolvex_test::PanelTest {};

TEST_F(PowerTest, RequestsAreRecordedInOrderAndClearedByReset) {
  EXPECT_EQ(orlik_sim_power_request_count(), 0);
  EXPECT_EQ(SetSystemPowerState(nullptr, POWER_STATE_RESET, POWER_FORCE), ERROR_SUCCESS);
  DWORD returned = 99;
  EXPECT_TRUE(KernelIoControl(IOCTL_HAL_REBOOT, nullptr, 0, nullptr, 0, &returned));
  EXPECT_EQ(returned, 0u);
  EXPECT_FALSE(KernelIoControl(0x12345678, nullptr, 0, nullptr, 0, &returned));
  EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
  EXPECT_EQ(SetSystemPowerState(u"suspend", POWER_STATE_SUSPEND, 0), ERROR_SUCCESS);

  ASSERT_EQ(orlik_sim_power_request_count(), 3);
  char text[80];
  const char* expected[] = {"set-power-state - flags=0x00800000 options=0x00001000", "hal-reboot",
                            "set-power-state suspend flags=0x00200000 options=0x00000000"};
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(orlik_sim_power_request(i, text, sizeof text), 1);
    EXPECT_STREQ(text, expected[i]);
  }
  EXPECT_EQ(orlik_sim_power_request(3, text, sizeof text), 0);
  // Bounded copy.
  char small[5];
  orlik_sim_power_request(1, small, sizeof small);
  EXPECT_STREQ(small, "hal-");

  // Another process sees the same record.
  std::ifstream record(root_.path() + "/.board/power-requests");
  std::string first;
  std::getline(record, first);
  EXPECT_EQ(first, expected[0]);

  orlik_sim_reset();
  EXPECT_EQ(orlik_sim_power_request_count(), 0);
}

}  // namespace
