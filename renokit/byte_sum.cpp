#include "launcher_settings.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace renokit {
namespace {

// The sum of a block's bytes, each taken as 0 to 255. On x86 sixteen bytes at
// a time: PSADBW adds each half of a 16-byte load into a 64-bit lane.
DWORD SumOfBytes(const BYTE* bytes, size_t count) {
  uint64_t sum = 0;
  size_t i = 0;
#if defined(__SSE2__)
  __m128i lanes = _mm_setzero_si128();
  const __m128i zero = _mm_setzero_si128();
  for (; i + 16 <= count; i += 16) {
    __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
    lanes = _mm_add_epi64(lanes, _mm_sad_epu8(chunk, zero));
  }
  uint64_t halves[2];
  std::memcpy(halves, &lanes, sizeof halves);
  sum = halves[0] + halves[1];
#endif
  for (; i < count; ++i) sum += bytes[i];
  return DWORD(sum);
}

}  // namespace

DWORD ByteSum(LPCWSTR path) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  static constexpr DWORD kBlock = 10240;
  BYTE buffer[kBlock];
  DWORD sum = 0;
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file, buffer, kBlock, &read, nullptr) || read == 0) break;
    sum += SumOfBytes(buffer, read);  // wraps at 32 bits, as byte by byte
    // ReadFile fills the block unless the file ends: a short block is the
    // last, and the read that would deliver no bytes is not needed.
    if (read < kBlock) break;
  }
  CloseHandle(file);
  return sum;
}

}  // namespace renokit
