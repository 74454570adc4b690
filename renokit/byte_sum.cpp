#include "launcher_settings.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace renokit {
namespace {

#if defined(__x86_64__) || defined(__i386__)
// PSADBW adds each group of eight bytes into a 64-bit lane. Four sums in
// flight keep the loads and adds busy with few loop steps: 256 bytes a step
// where AVX-512 is there, 128 where AVX2 is.
__attribute__((hot, target("avx512f,avx512bw"))) uint64_t SumOfBytesAvx512(const BYTE* bytes, size_t count,
                                                                             size_t* done) {
  const __m512i zero = _mm512_setzero_si512();
  __m512i a = zero, b = zero, c = zero, d = zero;
  size_t i = 0;
  for (; i + 256 <= count; i += 256) {
    a = _mm512_add_epi64(a, _mm512_sad_epu8(_mm512_loadu_si512(bytes + i), zero));
    b = _mm512_add_epi64(b, _mm512_sad_epu8(_mm512_loadu_si512(bytes + i + 64), zero));
    c = _mm512_add_epi64(c, _mm512_sad_epu8(_mm512_loadu_si512(bytes + i + 128), zero));
    d = _mm512_add_epi64(d, _mm512_sad_epu8(_mm512_loadu_si512(bytes + i + 192), zero));
  }
  for (; i + 64 <= count; i += 64) a = _mm512_add_epi64(a, _mm512_sad_epu8(_mm512_loadu_si512(bytes + i), zero));
  a = _mm512_add_epi64(_mm512_add_epi64(a, b), _mm512_add_epi64(c, d));
  uint64_t lanes[8];
  std::memcpy(lanes, &a, sizeof lanes);
  *done = i;
  return lanes[0] + lanes[1] + lanes[2] + lanes[3] + lanes[4] + lanes[5] + lanes[6] + lanes[7];
}

__attribute__((hot, target("avx2"))) uint64_t SumOfBytesAvx2(const BYTE* bytes, size_t count, size_t* done) {
  const __m256i zero = _mm256_setzero_si256();
  __m256i a = zero, b = zero, c = zero, d = zero;
  size_t i = 0;
  const auto* blocks = reinterpret_cast<const __m256i*>(bytes);
  for (; i + 128 <= count; i += 128, blocks += 4) {
    a = _mm256_add_epi64(a, _mm256_sad_epu8(_mm256_loadu_si256(blocks), zero));
    b = _mm256_add_epi64(b, _mm256_sad_epu8(_mm256_loadu_si256(blocks + 1), zero));
    c = _mm256_add_epi64(c, _mm256_sad_epu8(_mm256_loadu_si256(blocks + 2), zero));
    d = _mm256_add_epi64(d, _mm256_sad_epu8(_mm256_loadu_si256(blocks + 3), zero));
  }
  for (; i + 32 <= count; i += 32, ++blocks) a = _mm256_add_epi64(a, _mm256_sad_epu8(_mm256_loadu_si256(blocks), zero));
  a = _mm256_add_epi64(_mm256_add_epi64(a, b), _mm256_add_epi64(c, d));
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

SumWay Widest() {
  __builtin_cpu_init();  // may run before the library's own constructors
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")) return SumWay::kAvx512;
  return __builtin_cpu_supports("avx2") ? SumWay::kAvx2 : SumWay::kSse2;
}
#else
SumWay Widest() { return SumWay::kBytes; }
#endif

const SumWay kWidest = Widest();

// The sum of a block's bytes, each taken as 0 to 255; the low 32 bits are
// what adding byte by byte with wrap-around gives.
DWORD SumOfBytes(const BYTE* bytes, size_t count) { return SumOfBytesUsing(kWidest, bytes, count); }

}  // namespace

bool SumWayAvailable(SumWay way) { return way <= kWidest; }

__attribute__((hot)) DWORD SumOfBytesUsing(SumWay way, const BYTE* bytes, size_t count) {
  uint64_t sum = 0;
  size_t i = 0;
#if defined(__x86_64__) || defined(__i386__)
  switch (SumWayAvailable(way) ? way : SumWay::kBytes) {
    case SumWay::kAvx512: sum = SumOfBytesAvx512(bytes, count, &i); break;
    case SumWay::kAvx2: sum = SumOfBytesAvx2(bytes, count, &i); break;
    case SumWay::kSse2: sum = SumOfBytesSse2(bytes, count, &i); break;
    case SumWay::kBytes: break;
  }
#endif
  for (; i < count; ++i) sum += bytes[i];
  return DWORD(sum);
}

// Every file's sum runs through the functions marked hot here, which the
// compiler places together: each call then touches few pages of code.
__attribute__((hot)) bool ByteSummer::Opened(LPCWSTR path, DWORD* total) {
  *total = 0;
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD sum = 0;
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file, block_.get(), kBlock, &read, nullptr) || read == 0) break;
    sum += SumOfBytes(block_.get(), read);  // wraps at 32 bits, as byte by byte
    // ReadFile fills the block unless the file ends: a short block is the
    // last, and the read that would deliver no bytes is not needed.
    if (read < kBlock) break;
  }
  CloseHandle(file);
  *total = sum;
  return true;
}

}  // namespace renokit
