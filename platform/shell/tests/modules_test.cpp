// Modules by panel name and the resources they carry.
#include <orlik/windows.h>

#include "tolvex_test.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

class ModulesTest : public tolvex_test::PanelTest {};

TEST_F(ModulesTest, PanelLibrariesLoadFromTheWindowsFolderByName) {
  EXPECT_EQ(LoadLibraryW(u"SAMPLE.DLL"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  fs::create_directories(root_.path() + "/Windows");
  fs::copy_file(TOLVEX_LIB_ORLIK_SAMPLE_MODULE, root_.path() + "/Windows/Sample.dll");

  HMODULE module = LoadLibraryW(u"SAMPLE.DLL");
  ASSERT_NE(module, nullptr);
  auto answer = reinterpret_cast<int (*)()>(reinterpret_cast<void*>(GetProcAddressW(module, u"Answer")));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  EXPECT_EQ(GetProcAddressW(module, u"Question"), nullptr);

  // Its resources, by text and by number, types and names ignoring case.
  HRSRC text = FindResourceW(module, u"greeting", RT_RCDATA);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(SizeofResource(module, text), 14u);
  EXPECT_STREQ(static_cast<const char*>(LockResource(LoadResource(module, text))), "resource text");
  EXPECT_EQ(FindResourceW(module, u"Greeting", RT_BITMAP), nullptr);
  EXPECT_NE(FindResourceW(module, u"#7", RT_BITMAP), nullptr);

  HBITMAP bitmap = LoadBitmapW(module, MAKEINTRESOURCE(7));
  ASSERT_NE(bitmap, nullptr);
  BITMAP info{};
  ASSERT_EQ(GetObjectW(bitmap, sizeof info, &info), int(sizeof info));
  EXPECT_EQ(info.bmWidth, 2);
  EXPECT_EQ(info.bmHeight, 2);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bitmap);
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dc, 1, 0), RGB(0, 255, 0));
  EXPECT_EQ(GetPixel(dc, 0, 1), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(dc, 1, 1), RGB(255, 255, 255));
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(bitmap);
  EXPECT_EQ(LoadIconW(module, MAKEINTRESOURCE(7)), nullptr) << "no icon resource 7";

  // Loaded modules are found by their panel name.
  EXPECT_EQ(GetModuleHandleW(u"sample.dll"), module);
  EXPECT_EQ(GetModuleHandleW(u"\\Windows\\Sample.DLL"), module);
  WCHAR name[MAX_PATH];
  EXPECT_GT(GetModuleFileNameW(module, name, MAX_PATH), 0u);
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_EQ(FindResourceW(module, u"greeting", RT_RCDATA), nullptr) << "resources go with the module";
}

TEST_F(ModulesTest, SystemLibrariesAndTheProgramAreFoundByPanelName) {
  HMODULE platform = GetModuleHandleW(u"orlik.dll");
  ASSERT_NE(platform, nullptr);
  EXPECT_NE(GetProcAddressW(platform, u"CreateFileW"), nullptr);
  EXPECT_NE(GetModuleHandleW(nullptr), nullptr);
  EXPECT_NE(GetModuleHandleW(nullptr), platform);
  EXPECT_EQ(GetModuleHandleW(u"Nothing.DLL"), nullptr);
  EXPECT_EQ(FindResourceW(platform, MAKEINTRESOURCE(1), RT_BITMAP), nullptr);
}

}  // namespace
