// Starting programs: the command line arrives unchanged.
#include <orlik/windows.h>

#include "tolvex_test.h"

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class ShellTest : public tolvex_test::PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    // A program file as the panel would hold it: written by a program, no
    // execute permission.
    std::ifstream in(TOLVEX_LIB_ORLIK_ECHO_PROGRAM, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), {}};
    HANDLE f = CreateFileW(u"\\Echo.exe", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(f, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(f);
  }
  std::string Echoed() {
    std::ifstream in(root_.path() + "/echo.txt", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
};

TEST_F(ShellTest, ParametersArriveUnchangedAsTheCommandLine) {
  const char16_t* cases[] = {
      u"a|b:\\SD Card\\Up:\\Flash Disk:::255:two  spaces:0: :0:0:e:font",
      u"line\nfeed and \"quotes\" and 'single' and $HOME and *",
      u"Grüße 업데이트",
      u"",
  };
  for (const char16_t* parameters : cases) {
    SHELLEXECUTEINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = u"open";
    info.lpFile = u"echo.EXE";
    info.lpParameters = parameters;
    info.nShow = SW_SHOW;
    ASSERT_TRUE(ShellExecuteEx(&info));
    EXPECT_GT(reinterpret_cast<intptr_t>(info.hInstApp), 32);
    ASSERT_NE(info.hProcess, nullptr);
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 20000), WAIT_OBJECT_0);
    CloseHandle(info.hProcess);
    EXPECT_EQ(Echoed(), orlik::ToUtf8(parameters));
  }
}

TEST_F(ShellTest, MissingProgramsAndUnknownVerbsFail) {
  SHELLEXECUTEINFO info = {};
  info.cbSize = sizeof info;
  info.lpFile = u"\\Windows\\Missing.exe";
  EXPECT_FALSE(ShellExecuteEx(&info));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  info.lpFile = u"\\Echo.exe";
  info.lpVerb = u"print";
  EXPECT_FALSE(ShellExecuteEx(&info));
  int before = orlik_sim_process_count();
  info.lpVerb = nullptr;
  ASSERT_TRUE(ShellExecuteEx(&info));
  EXPECT_EQ(info.hProcess, nullptr) << "no handle unless asked for";
  ASSERT_EQ(orlik_sim_process_count(), before + 1);
  int code = -1;
  EXPECT_EQ(orlik_sim_process_wait(orlik_sim_process_id(before), 20000, &code), 1);
  EXPECT_EQ(code, 0);
}

}  // namespace
