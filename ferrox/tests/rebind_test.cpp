// Network adapter rebind through the NDIS driver "NDS0:".
#include "ferrox_fixture.h"

#include <orlik/windows.h>

#include <filesystem>

using namespace ferrox_test;

namespace {

class Rebind : public FerroxTest {};

TEST_F(Rebind, RequestReachesTheEthernetAdapter) {
  auto rebind = FERROX_FN(NDISDriverReBind);
  rebind();
  EXPECT_EQ(orlik_sim_rebind_count(), 1);
  char names[64];
  EXPECT_EQ(orlik_sim_last_rebind(names, sizeof names), 1);
  EXPECT_STREQ(names, "CS89001");
  EXPECT_EQ(orlik_sim_adapter_rebinds("CS89001"), 1);
  rebind();
  EXPECT_EQ(orlik_sim_adapter_rebinds("CS89001"), 2);
}

TEST_F(Rebind, WithoutTheDriverNothingHappens) {
  orlik_sim_fail_device("NDS0:", 0);
  FERROX_FN(NDISDriverReBind)();
  EXPECT_EQ(orlik_sim_rebind_count(), 0);
  EXPECT_EQ(orlik_sim_adapter_rebinds("CS89001"), 0);
  // Opening with "open always" made no file of that name either.
  EXPECT_EQ(tolvex_test::PanelFiles(root_.path()), std::vector<std::string>{});
}

TEST_F(Rebind, DriverReadsTheNameListOnlyWithinTheCallersSize) {
  HANDLE ndis = CreateFileW(u"NDS0:", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, 0, nullptr);
  ASSERT_NE(ndis, INVALID_HANDLE_VALUE);
  struct Case {
    std::u16string buffer;  // as passed, zeros included
    DWORD size;             // bytes
    BOOL ok;
    int recorded;           // requests recorded after the call
  };
  const std::u16string good(u"CS89001\0\0\0", 10);
  const Case cases[] = {
      {good, 20, TRUE, 1},
      {std::u16string(u"CS89001\0X\0\0", 11), 22, FALSE, 2},  // an unknown adapter is no adapter
      {good, 8, FALSE, 2},                                       // name cut off by the size
      {good, 0, FALSE, 2},
      {std::u16string(u"\0\0", 2), 4, FALSE, 2},                 // empty list
  };
  for (const auto& c : cases) {
    std::u16string copy = c.buffer;
    EXPECT_EQ(DeviceIoControl(ndis, IOCTL_NDIS_REBIND_ADAPTER, copy.data(), c.size, nullptr, 0,
                              nullptr, nullptr),
              c.ok);
    EXPECT_EQ(orlik_sim_rebind_count(), c.recorded);
  }
  EXPECT_FALSE(DeviceIoControl(ndis, 0x170030, nullptr, 0, nullptr, 0, nullptr, nullptr));
  CloseHandle(ndis);
}

}  // namespace
