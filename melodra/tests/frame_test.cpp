// The library as a whole: its export table, and COM entered at load and left
// exactly once however ReleaseEx and Initialization were called.
#include "melodra_fixture.h"

#include "export_map.h"

#include <fstream>

using namespace melodra_test;

namespace {

class MelodraFrame : public tolvex_test::PanelTest {};

TEST_F(MelodraFrame, ExportsAllFifteenCallsAndNothingElse) {
  tolvex_test::Library lib(TOLVEX_LIB_MELODRA);
  const std::set<std::string> notBuiltYet = {};  // every name of the map is built
  tolvex_test::ExpectOnlyTheMap(lib, TOLVEX_LIB_MELODRA, TOLVEX_EXPORTS_MELODRA, 15u, notBuiltYet,
                                {"_ZN7melodra11playerStateE", "_ZN7melodra13stopRequestedE"});
}

// The loading thread is in the multithreaded apartment while the library is
// loaded: asking for the other model is refused until COM is left again.
bool InMultithreadedApartment() {
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (SUCCEEDED(hr)) CoUninitialize();
  return hr == RPC_E_CHANGED_MODE;
}

TEST_F(MelodraFrame, ComIsEnteredAtLoadAndLeftOnce) {
  ASSERT_FALSE(InMultithreadedApartment());
  {
    tolvex_test::Library lib(TOLVEX_LIB_MELODRA);
    EXPECT_TRUE(InMultithreadedApartment());
  }
  EXPECT_FALSE(InMultithreadedApartment()) << "unloading left COM";

  // ReleaseEx leaves COM; Initialization enters it again; unloading leaves
  // what is left, and a second ReleaseEx does nothing.
  tolvex_test::Library lib(TOLVEX_LIB_MELODRA);
  auto initialization = lib.Get<decltype(&::Initialization)>("Initialization");
  auto releaseEx = lib.Get<decltype(&::ReleaseEx)>("ReleaseEx");
  ASSERT_EQ(initialization(), 0);
  releaseEx();
  EXPECT_FALSE(InMultithreadedApartment());
  releaseEx();
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK) << "the thread's own entry";
  ASSERT_EQ(initialization(), 0);
  lib.Close();
  EXPECT_TRUE(InMultithreadedApartment()) << "the thread's own entry stays";
  CoUninitialize();
  EXPECT_FALSE(InMultithreadedApartment());
}

}  // namespace
