// ConvertToRgb24. For pixel (i, j) with Y, U, V and L = (Y - 16) * 298,
// D = U - 128, E = V - 128, in 32-bit integers with arithmetic shifts:
//   blue  = (L + 516 * D + 128) >> 8
//   green = (L - 100 * D - 208 * E + 128) >> 8
//   red   = (L + 409 * E + 128) >> 8
// each clamped to 0..255. Chroma for (i, j) sits at n + ((i / 2) * w) / 2
// + j / 2 in the V plane and n / 4 further on in the U plane (n = w * h):
// each chroma sample covers a 2 x 2 block.
//
// Where the processor has AVX2, sixteen pixels go at a time with the same
// 32-bit arithmetic (multiply-add of 16-bit pairs, arithmetic shift, packs
// that saturate exactly like the clamp); the bytes are the same as the
// pixel-by-pixel form's.
#include "color_convert.h"

#include <immintrin.h>

#include <cstddef>

namespace vistrel {

namespace {

inline uint8_t Clamp(int32_t v) { return v <= 0 ? 0 : v >= 256 ? 255 : uint8_t(v); }

inline void Pixel(int32_t y, int32_t blueD, int32_t greenDE, int32_t redE, uint8_t* out) {
  int32_t l = (y - 16) * 298 + 128;
  out[0] = Clamp((l + blueD) >> 8);
  out[1] = Clamp((l + greenDE) >> 8);
  out[2] = Clamp((l + redE) >> 8);
}

// Pixels [from, w) of one row, one at a time.
void RowTail(const uint8_t* yRow, const uint8_t* uRow, const uint8_t* vRow, uint8_t* out, int32_t from,
             int32_t w) {
  for (int32_t j = from; j < w; ++j) {
    int32_t d = int32_t(uRow[j / 2]) - 128;
    int32_t e = int32_t(vRow[j / 2]) - 128;
    Pixel(yRow[j], 516 * d, -100 * d - 208 * e, 409 * e, out + size_t(j) * 3);
  }
}

void RowScalar(const uint8_t* yRow, const uint8_t* uRow, const uint8_t* vRow, uint8_t* out, int32_t w) {
  int32_t j = 0;
  // Two pixels share each chroma sample.
  for (; j + 1 < w; j += 2) {
    int32_t d = int32_t(uRow[j / 2]) - 128;
    int32_t e = int32_t(vRow[j / 2]) - 128;
    int32_t blueD = 516 * d, greenDE = -100 * d - 208 * e, redE = 409 * e;
    Pixel(yRow[j], blueD, greenDE, redE, out + size_t(j) * 3);
    Pixel(yRow[j + 1], blueD, greenDE, redE, out + size_t(j) * 3 + 3);
  }
  RowTail(yRow, uRow, vRow, out, j, w);
}

// The AVX2 form works in 16-bit lanes. With 298 = 256 + 42, 516 = 512 + 4,
// -100 = -256 + 156 and 409 = 256 + 153, each colour is an exact sum of a
// whole part and a quotient whose dividend fits 16 bits:
//   blue  = Y + 2D     + ((42Y + 4D          - 4640) >> 8)
//   green = Y - D - E  + ((42Y + 156D + 48E  - 4640) >> 8)
//   red   = Y + E      + ((42Y + 153E        - 4640) >> 8)
// (4640 = 16 * 298 - 128; the dividends stay within -30752..31978). Packing
// to bytes with unsigned saturation is the clamp. Two rows share each row of
// chroma; 32 pixels of a row go at a time.
struct ChromaTerms {
  __m256i blueWhole, greenWhole, redWhole;  // 2D, -D - E, E
  __m256i blueRest, greenRest, redRest;     // 4D - 4640, 156D + 48E - 4640, 153E - 4640
};

// Sixteen chroma samples less 128 (D or E), in 16-bit lanes.
__attribute__((target("avx2"))) inline __m256i Centred(const uint8_t* samples) {
  __m256i wide = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(samples)));
  return _mm256_sub_epi16(wide, _mm256_set1_epi16(128));
}

// The bytes of blue, green and red each order picks, together.
__attribute__((target("avx2"))) inline __m256i Mix(__m256i blue, __m256i green, __m256i red, __m256i blueOrder,
                                                   __m256i greenOrder, __m256i redOrder) {
  __m256i blueGreen = _mm256_or_si256(_mm256_shuffle_epi8(blue, blueOrder), _mm256_shuffle_epi8(green, greenOrder));
  return _mm256_or_si256(blueGreen, _mm256_shuffle_epi8(red, redOrder));
}

__attribute__((target("avx2"))) inline ChromaTerms Terms(__m256i d, __m256i e) {
  const __m256i offset = _mm256_set1_epi16(-4640);
  ChromaTerms t;
  t.blueWhole = _mm256_add_epi16(d, d);
  t.greenWhole = _mm256_sub_epi16(_mm256_setzero_si256(), _mm256_add_epi16(d, e));
  t.redWhole = e;
  t.blueRest = _mm256_add_epi16(_mm256_slli_epi16(d, 2), offset);
  t.greenRest = _mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(d, _mm256_set1_epi16(156)),
                                                  _mm256_mullo_epi16(e, _mm256_set1_epi16(48))),
                                 offset);
  t.redRest = _mm256_add_epi16(_mm256_mullo_epi16(e, _mm256_set1_epi16(153)), offset);
  return t;
}

__attribute__((target("avx2"))) inline __m256i Colour(__m256i y, __m256i y42, __m256i whole, __m256i rest) {
  return _mm256_add_epi16(_mm256_add_epi16(y, whole), _mm256_srai_epi16(_mm256_add_epi16(y42, rest), 8));
}

// 32 pixels of one row: a holds pixels 0-7 and 16-23, b pixels 8-15 and
// 24-31, in the order the chroma terms were widened.
__attribute__((target("avx2"))) inline void Block32(const uint8_t* yRow, const ChromaTerms& a,
                                                    const ChromaTerms& b, uint8_t* out) {
  const __m256i fortyTwo = _mm256_set1_epi16(42);
  __m128i y0 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(yRow));
  __m128i y8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(yRow + 8));
  __m128i y16 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(yRow + 16));
  __m128i y24 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(yRow + 24));
  __m256i ya = _mm256_cvtepu8_epi16(_mm_unpacklo_epi64(y0, y16));
  __m256i yb = _mm256_cvtepu8_epi16(_mm_unpacklo_epi64(y8, y24));
  __m256i ya42 = _mm256_mullo_epi16(ya, fortyTwo);
  __m256i yb42 = _mm256_mullo_epi16(yb, fortyTwo);
  // Bytes in pixel order: 0-15 in the low lane, 16-31 in the high one.
  __m256i blue = _mm256_packus_epi16(Colour(ya, ya42, a.blueWhole, a.blueRest), Colour(yb, yb42, b.blueWhole, b.blueRest));
  __m256i green =
      _mm256_packus_epi16(Colour(ya, ya42, a.greenWhole, a.greenRest), Colour(yb, yb42, b.greenWhole, b.greenRest));
  __m256i red = _mm256_packus_epi16(Colour(ya, ya42, a.redWhole, a.redRest), Colour(yb, yb42, b.redWhole, b.redRest));

  // Interleave sixteen blue, green and red bytes of each lane into 48.
  const __m256i b0 = _mm256_setr_epi8(0, -1, -1, 1, -1, -1, 2, -1, -1, 3, -1, -1, 4, -1, -1, 5, 0, -1, -1, 1, -1,
                                      -1, 2, -1, -1, 3, -1, -1, 4, -1, -1, 5);
  const __m256i g0 = _mm256_setr_epi8(-1, 0, -1, -1, 1, -1, -1, 2, -1, -1, 3, -1, -1, 4, -1, -1, -1, 0, -1, -1, 1,
                                      -1, -1, 2, -1, -1, 3, -1, -1, 4, -1, -1);
  const __m256i r0 = _mm256_setr_epi8(-1, -1, 0, -1, -1, 1, -1, -1, 2, -1, -1, 3, -1, -1, 4, -1, -1, -1, 0, -1, -1,
                                      1, -1, -1, 2, -1, -1, 3, -1, -1, 4, -1);
  const __m256i b1 = _mm256_setr_epi8(-1, -1, 6, -1, -1, 7, -1, -1, 8, -1, -1, 9, -1, -1, 10, -1, -1, -1, 6, -1,
                                      -1, 7, -1, -1, 8, -1, -1, 9, -1, -1, 10, -1);
  const __m256i g1 = _mm256_setr_epi8(5, -1, -1, 6, -1, -1, 7, -1, -1, 8, -1, -1, 9, -1, -1, 10, 5, -1, -1, 6, -1,
                                      -1, 7, -1, -1, 8, -1, -1, 9, -1, -1, 10);
  const __m256i r1 = _mm256_setr_epi8(-1, 5, -1, -1, 6, -1, -1, 7, -1, -1, 8, -1, -1, 9, -1, -1, -1, 5, -1, -1, 6,
                                      -1, -1, 7, -1, -1, 8, -1, -1, 9, -1, -1);
  const __m256i b2 = _mm256_setr_epi8(-1, 11, -1, -1, 12, -1, -1, 13, -1, -1, 14, -1, -1, 15, -1, -1, -1, 11, -1,
                                      -1, 12, -1, -1, 13, -1, -1, 14, -1, -1, 15, -1, -1);
  const __m256i g2 = _mm256_setr_epi8(-1, -1, 11, -1, -1, 12, -1, -1, 13, -1, -1, 14, -1, -1, 15, -1, -1, -1, 11,
                                      -1, -1, 12, -1, -1, 13, -1, -1, 14, -1, -1, 15, -1);
  const __m256i r2 = _mm256_setr_epi8(10, -1, -1, 11, -1, -1, 12, -1, -1, 13, -1, -1, 14, -1, -1, 15, 10, -1, -1,
                                      11, -1, -1, 12, -1, -1, 13, -1, -1, 14, -1, -1, 15);
  __m256i s0 = Mix(blue, green, red, b0, g0, r0);
  __m256i s1 = Mix(blue, green, red, b1, g1, r1);
  __m256i s2 = Mix(blue, green, red, b2, g2, r2);
  // Pixels 0-15 are the low lanes of s0, s1, s2; pixels 16-31 the high ones.
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute2x128_si256(s0, s1, 0x20));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), _mm256_permute2x128_si256(s2, s0, 0x30));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 64), _mm256_permute2x128_si256(s1, s2, 0x31));
}

// One or two rows (out1 null for one) sharing a row of chroma.
__attribute__((target("avx2"))) void RowsAvx2(const uint8_t* yRow0, const uint8_t* yRow1, const uint8_t* uRow,
                                              const uint8_t* vRow, uint8_t* out0, uint8_t* out1, int32_t w) {
  int32_t j = 0;
  for (; j + 32 <= w; j += 32) {
    __m256i d = Centred(uRow + j / 2), e = Centred(vRow + j / 2);
    // Each chroma sample twice: pixels 0-7 | 16-23, and 8-15 | 24-31.
    ChromaTerms a = Terms(_mm256_unpacklo_epi16(d, d), _mm256_unpacklo_epi16(e, e));
    ChromaTerms b = Terms(_mm256_unpackhi_epi16(d, d), _mm256_unpackhi_epi16(e, e));
    Block32(yRow0 + j, a, b, out0 + size_t(j) * 3);
    if (out1) Block32(yRow1 + j, a, b, out1 + size_t(j) * 3);
  }
  RowTail(yRow0, uRow, vRow, out0, j, w);
  if (out1) RowTail(yRow1, uRow, vRow, out1, j, w);
}


// The same arithmetic with AVX-512BW: 64 pixels of a row at a time.
__attribute__((target("avx512bw"))) inline void Terms512(__m512i d, __m512i e, __m512i t[6]) {
  const __m512i offset = _mm512_set1_epi16(-4640);
  t[0] = _mm512_add_epi16(d, d);
  t[1] = _mm512_sub_epi16(_mm512_setzero_si512(), _mm512_add_epi16(d, e));
  t[2] = e;
  t[3] = _mm512_add_epi16(_mm512_slli_epi16(d, 2), offset);
  t[4] = _mm512_add_epi16(
      _mm512_add_epi16(_mm512_mullo_epi16(d, _mm512_set1_epi16(156)), _mm512_mullo_epi16(e, _mm512_set1_epi16(48))),
      offset);
  t[5] = _mm512_add_epi16(_mm512_mullo_epi16(e, _mm512_set1_epi16(153)), offset);
}

__attribute__((target("avx512bw"))) inline __m512i Centred512(const uint8_t* samples) {
  __m512i wide = _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(samples)));
  return _mm512_sub_epi16(wide, _mm512_set1_epi16(128));
}

__attribute__((target("avx512bw"))) inline __m512i Mix512(__m512i blue, __m512i green, __m512i red,
                                                          __m512i blueOrder, __m512i greenOrder, __m512i redOrder) {
  __m512i blueGreen = _mm512_or_si512(_mm512_shuffle_epi8(blue, blueOrder), _mm512_shuffle_epi8(green, greenOrder));
  return _mm512_or_si512(blueGreen, _mm512_shuffle_epi8(red, redOrder));
}

__attribute__((target("avx512bw"))) inline __m512i Colour512(__m512i y, __m512i y42, __m512i whole, __m512i rest) {
  return _mm512_add_epi16(_mm512_add_epi16(y, whole), _mm512_srai_epi16(_mm512_add_epi16(y42, rest), 8));
}

// A byte order for every 128-bit lane. (The zero-masking forms of the
// intrinsics here avoid GCC's headers' self-initialised undefined vectors,
// which its warnings flag.)
__attribute__((target("avx512bw"))) inline __m512i EveryLane(__m128i order) { return _mm512_maskz_broadcast_i32x4(0xFFFF, order); }

// a: pixels 0-7, 16-23, 32-39, 48-55; b: 8-15, 24-31, 40-47, 56-63.
__attribute__((target("avx512bw"))) inline void Block64(const uint8_t* yRow, const __m512i a[6], const __m512i b[6],
                                                        uint8_t* out) {
  // Y in the chroma terms' order: even quadwords, then odd ones.
  __m512i y = _mm512_maskz_permutexvar_epi64(0xFF, _mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7), _mm512_loadu_si512(yRow));
  __m512i ya = _mm512_cvtepu8_epi16(_mm512_maskz_extracti64x4_epi64(0xF, y, 0));
  __m512i yb = _mm512_cvtepu8_epi16(_mm512_maskz_extracti64x4_epi64(0xF, y, 1));
  const __m512i fortyTwo = _mm512_set1_epi16(42);
  __m512i ya42 = _mm512_mullo_epi16(ya, fortyTwo);
  __m512i yb42 = _mm512_mullo_epi16(yb, fortyTwo);
  // Each lane: sixteen bytes of one colour, pixels in order.
  __m512i blue = _mm512_packus_epi16(Colour512(ya, ya42, a[0], a[3]), Colour512(yb, yb42, b[0], b[3]));
  __m512i green = _mm512_packus_epi16(Colour512(ya, ya42, a[1], a[4]), Colour512(yb, yb42, b[1], b[4]));
  __m512i red = _mm512_packus_epi16(Colour512(ya, ya42, a[2], a[5]), Colour512(yb, yb42, b[2], b[5]));

  const __m512i b0 = EveryLane(_mm_setr_epi8(0, -1, -1, 1, -1, -1, 2, -1, -1, 3, -1, -1, 4, -1, -1, 5));
  const __m512i g0 = EveryLane(_mm_setr_epi8(-1, 0, -1, -1, 1, -1, -1, 2, -1, -1, 3, -1, -1, 4, -1, -1));
  const __m512i r0 = EveryLane(_mm_setr_epi8(-1, -1, 0, -1, -1, 1, -1, -1, 2, -1, -1, 3, -1, -1, 4, -1));
  const __m512i b1 = EveryLane(_mm_setr_epi8(-1, -1, 6, -1, -1, 7, -1, -1, 8, -1, -1, 9, -1, -1, 10, -1));
  const __m512i g1 = EveryLane(_mm_setr_epi8(5, -1, -1, 6, -1, -1, 7, -1, -1, 8, -1, -1, 9, -1, -1, 10));
  const __m512i r1 = EveryLane(_mm_setr_epi8(-1, 5, -1, -1, 6, -1, -1, 7, -1, -1, 8, -1, -1, 9, -1, -1));
  const __m512i b2 = EveryLane(_mm_setr_epi8(-1, 11, -1, -1, 12, -1, -1, 13, -1, -1, 14, -1, -1, 15, -1, -1));
  const __m512i g2 = EveryLane(_mm_setr_epi8(-1, -1, 11, -1, -1, 12, -1, -1, 13, -1, -1, 14, -1, -1, 15, -1));
  const __m512i r2 = EveryLane(_mm_setr_epi8(10, -1, -1, 11, -1, -1, 12, -1, -1, 13, -1, -1, 14, -1, -1, 15));
  __m512i s0 = Mix512(blue, green, red, b0, g0, r0);
  __m512i s1 = Mix512(blue, green, red, b1, g1, r1);
  __m512i s2 = Mix512(blue, green, red, b2, g2, r2);
  // Lane k of s0, s1, s2 holds bytes 0-15, 16-31, 32-47 of pixels 16k to
  // 16k + 15; the 192 bytes go out lane by lane in that order.
  __m512i o0 = _mm512_inserti32x4(_mm512_permutex2var_epi64(s0, _mm512_setr_epi64(0, 1, 8, 9, 0, 0, 2, 3), s1),
                                  _mm512_maskz_extracti32x4_epi32(0xF, s2, 0), 2);
  __m512i o1 = _mm512_inserti32x4(_mm512_permutex2var_epi64(s1, _mm512_setr_epi64(2, 3, 0, 0, 12, 13, 4, 5), s0),
                                  _mm512_maskz_extracti32x4_epi32(0xF, s2, 1), 1);
  __m512i o2 = _mm512_inserti32x4(_mm512_permutex2var_epi64(s2, _mm512_setr_epi64(4, 5, 14, 15, 0, 0, 6, 7), s0),
                                  _mm512_maskz_extracti32x4_epi32(0xF, s1, 3), 2);
  _mm512_storeu_si512(out, o0);
  _mm512_storeu_si512(out + 64, o1);
  _mm512_storeu_si512(out + 128, o2);
}

__attribute__((target("avx512bw"))) void RowsAvx512(const uint8_t* yRow0, const uint8_t* yRow1, const uint8_t* uRow,
                                                    const uint8_t* vRow, uint8_t* out0, uint8_t* out1, int32_t w) {
  int32_t j = 0;
  for (; j + 64 <= w; j += 64) {
    __m512i d = Centred512(uRow + j / 2), e = Centred512(vRow + j / 2);
    __m512i a[6], b[6];
    Terms512(_mm512_unpacklo_epi16(d, d), _mm512_unpacklo_epi16(e, e), a);
    Terms512(_mm512_unpackhi_epi16(d, d), _mm512_unpackhi_epi16(e, e), b);
    Block64(yRow0 + j, a, b, out0 + size_t(j) * 3);
    if (out1) Block64(yRow1 + j, a, b, out1 + size_t(j) * 3);
  }
  RowTail(yRow0, uRow, vRow, out0, j, w);
  if (out1) RowTail(yRow1, uRow, vRow, out1, j, w);
}

using RowsConverter = void (*)(const uint8_t*, const uint8_t*, const uint8_t*, const uint8_t*, uint8_t*, uint8_t*,
                               int32_t);

void RowsScalar(const uint8_t* yRow0, const uint8_t* yRow1, const uint8_t* uRow, const uint8_t* vRow, uint8_t* out0,
                uint8_t* out1, int32_t w) {
  RowScalar(yRow0, uRow, vRow, out0, w);
  if (out1) RowScalar(yRow1, uRow, vRow, out1, w);
}

RowsConverter RowsFor(ConvertPath path) {
  switch (path) {
    case ConvertPath::kAvx512: return &RowsAvx512;
    case ConvertPath::kAvx2: return &RowsAvx2;
    default: return &RowsScalar;
  }
}

}  // namespace

bool Supports(ConvertPath path) {
  switch (path) {
    case ConvertPath::kAvx512: return __builtin_cpu_supports("avx512bw");
    case ConvertPath::kAvx2: return __builtin_cpu_supports("avx2");
    default: return true;
  }
}

void ConvertToRgb24(ConvertPath path, const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, bool bottomUp) {
  if (!src || !dst || w <= 0 || h <= 0) return;
  RowsConverter convertRows = RowsFor(path);
  const size_t n = size_t(w) * size_t(h);
  const uint8_t* vPlane = src + n;
  const uint8_t* uPlane = src + n + n / 4;
  auto rowOut = [&](int32_t i) { return dst + size_t(bottomUp ? h - 1 - i : i) * size_t(w) * 3; };
  for (int32_t i = 0; i < h; i += 2) {
    // Rows i and i + 1 share the chroma row i / 2.
    size_t chromaRow = (size_t(i / 2) * size_t(w)) / 2;
    const uint8_t* y0 = src + size_t(i) * size_t(w);
    convertRows(y0, y0 + w, uPlane + chromaRow, vPlane + chromaRow, rowOut(i), i + 1 < h ? rowOut(i + 1) : nullptr, w);
  }
}

void ConvertToRgb24(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, bool bottomUp) {
  static const ConvertPath best = Supports(ConvertPath::kAvx512) ? ConvertPath::kAvx512
                                  : Supports(ConvertPath::kAvx2) ? ConvertPath::kAvx2
                                                                 : ConvertPath::kScalar;
  ConvertToRgb24(best, src, dst, w, h, bottomUp);
}

}  // namespace vistrel
