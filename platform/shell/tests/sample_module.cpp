// Test module: an export and two resources, a text and a 2 x 2 bitmap.
#include <orlik/windows.h>

extern "C" __attribute__((visibility("default"))) int Answer() { return 42; }

namespace {

// 24 bits, bottom-up rows padded to 4 bytes: red green / blue white.
const unsigned char kBitmap[] = {
    40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 16, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0xFF, 0, 0, /**/ 0xFF, 0xFF, 0xFF, /**/ 0, 0,  // bottom row: blue, white
    0, 0, 0xFF, /**/ 0, 0xFF, 0, /**/ 0, 0,        // top row: red, green
};
const char kText[] = "resource text";

const ORLIK_RESOURCE kTable[] = {
    {RT_RCDATA, u"Greeting", kText, sizeof kText},
    {RT_BITMAP, MAKEINTRESOURCE(7), kBitmap, sizeof kBitmap},
};

struct Registration {
  Registration() { orlik_register_resources(this, kTable, 2); }
  ~Registration() { orlik_unregister_resources(this); }
} registration;

}  // namespace
