#include "launcher_settings.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace renokit {
namespace {

#if defined(__x86_64__) || defined(__i386__)
// PSADBW adds each group of eight bytes into a 64-bit lane. Two sums in
// flight keep both load ports busy; 32 bytes a step where AVX2 is there.
__attribute__((target("avx2"))) uint64_t SumOfBytesAvx2(const BYTE* bytes, size_t count, size_t* done) {
  const __m256i zero = _mm256_setzero_si256();
  __m256i a = zero, b = zero;
  size_t i = 0;
  for (; i + 64 <= count; i += 64) {
    a = _mm256_add_epi64(a, _mm256_sad_epu8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i)), zero));
    b = _mm256_add_epi64(b, _mm256_sad_epu8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i + 32)), zero));
  }
  a = _mm256_add_epi64(a, b);
  uint64_t lanes[4];
  std::memcpy(lanes, &a, sizeof lanes);
  *done = i;
  return lanes[0] + lanes[1] + lanes[2] + lanes[3];
}

__attribute__((target("sse2"))) uint64_t SumOfBytesSse2(const BYTE* bytes, size_t count, size_t* done) {
  const __m128i zero = _mm_setzero_si128();
  __m128i a = zero, b = zero;
  size_t i = 0;
  for (; i + 32 <= count; i += 32) {
    a = _mm_add_epi64(a, _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i)), zero));
    b = _mm_add_epi64(b, _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 16)), zero));
  }
  a = _mm_add_epi64(a, b);
  uint64_t lanes[2];
  std::memcpy(lanes, &a, sizeof lanes);
  *done = i;
  return lanes[0] + lanes[1];
}

bool HasAvx2() {
  __builtin_cpu_init();  // may run before the library's own constructors
  return __builtin_cpu_supports("avx2");
}
const bool kHasAvx2 = HasAvx2();
#endif

// The sum of a block's bytes, each taken as 0 to 255; the low 32 bits are
// what adding byte by byte with wrap-around gives.
DWORD SumOfBytes(const BYTE* bytes, size_t count) {
  uint64_t sum = 0;
  size_t i = 0;
#if defined(__x86_64__) || defined(__i386__)
  sum = kHasAvx2 ? SumOfBytesAvx2(bytes, count, &i) : SumOfBytesSse2(bytes, count, &i);
#endif
  for (; i < count; ++i) sum += bytes[i];
  return DWORD(sum);
}

}  // namespace

bool OpenedByteSum(LPCWSTR path, DWORD* total) {
  *total = 0;
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
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
  *total = sum;
  return true;
}

DWORD ByteSum(LPCWSTR path) {
  DWORD sum;
  OpenedByteSum(path, &sum);
  return sum;
}

}  // namespace renokit
