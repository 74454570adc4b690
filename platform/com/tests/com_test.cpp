// The COM runtime: apartments per thread, creation rules, BSTR and VARIANT.
#include <orlik/objbase.h>

#include <gtest/gtest.h>

#include <thread>

namespace {

ORLIK_DEFINE_GUID(CLSID_Nothing, 0x12345678, 0x1234, 0x5678, 1, 2, 3, 4, 5, 6, 7, 8);

TEST(Com, ApartmentEntriesCountAndKeepTheirModel) {
  std::thread([] {
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
    CoUninitialize();
    CoUninitialize();
    // Left completely: the next entry may choose the other model.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    CoUninitialize();
    CoUninitialize();  // unmatched: harmless
  }).join();
}

TEST(Com, CreationNeedsAnApartmentAndARegisteredClass) {
  std::thread([] {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_Nothing, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(CoCreateInstance(CLSID_Nothing, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoCreateInstance(CLSID_Nothing, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr),
              E_POINTER);
    CoUninitialize();
  }).join();
}

TEST(Com, GuidTextRoundTrips) {
  WCHAR text[39];
  ASSERT_EQ(StringFromGUID2(CLSID_Nothing, text, 39), 39);
  EXPECT_EQ(std::u16string(text), u"{12345678-1234-5678-0102-030405060708}");
  CLSID back{};
  EXPECT_EQ(CLSIDFromString(text, &back), S_OK);
  EXPECT_TRUE(IsEqualGUID(back, CLSID_Nothing));
  EXPECT_EQ(StringFromGUID2(CLSID_Nothing, text, 38), 0);
  EXPECT_EQ(CLSIDFromString(u"{12345678-1234-5678-0102-03040506070}", &back), E_INVALIDARG);
  EXPECT_EQ(CLSIDFromString(u"not a guid", &back), E_INVALIDARG);
}

TEST(Com, BstrKeepsLengthAndEmbeddedNulls) {
  const WCHAR units[] = {u'a', 0, u'b'};
  BSTR s = SysAllocStringLen(units, 3);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 3u);
  EXPECT_EQ(SysStringByteLen(s), 6u);
  EXPECT_EQ(s[2], u'b');
  EXPECT_EQ(s[3], 0);
  SysFreeString(s);
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);
}

TEST(Com, VariantCopyDuplicatesTheStringAndClearFreesIt) {
  VARIANT a, b;
  VariantInit(&a);
  VariantInit(&b);
  a.vt = VT_BSTR;
  a.bstrVal = SysAllocString(u"Lettra");
  ASSERT_EQ(VariantCopy(&b, &a), S_OK);
  EXPECT_NE(b.bstrVal, a.bstrVal);
  EXPECT_EQ(std::u16string(b.bstrVal), u"Lettra");
  EXPECT_EQ(VariantClear(&a), S_OK);
  EXPECT_EQ(a.vt, VT_EMPTY);
  EXPECT_EQ(std::u16string(b.bstrVal), u"Lettra");
  VariantClear(&b);
}

}  // namespace
