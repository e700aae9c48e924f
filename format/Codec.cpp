#include "Codec.h"

#include "CodecRules.h"
#include "LZO.h"
#include "UTypes.h"

#if defined(__i386__) || defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace {

inline uint32_t LoadU32(const uint8_t* p) {
  uint32_t v;
  __builtin_memcpy(&v, p, 4);
  return v;
}

// DecodeRgb332 without a branch: scattered pixels of a page mix white with other colours too
// irregularly for the branch to be guessed. (c + 1) >> 8 is 1 for code 255 only.
inline uint32_t DecodeRgb332Flat(uint32_t c) { return ExpandRgb332((uint8_t)c) | ((0u - ((c + 1) >> 8)) & 0x00FFFFFFu); }

// Writes the colours of count codes to out, count >= 16 (ApplyRunList writes shorter runs itself).
// Runs of text and window edges are long, so 16 codes are expanded at once: each channel byte is
// made for all 16 with byte-wise masks (green and blue come from the code shifted up within 16-bit
// lanes, the mask dropping what crossed a byte), code 255 sets all three channels, and the bytes are
// interleaved into pixels. The run ends with one more group of 16 that overlaps the previous one, so
// no code is left for a slower loop. SSE2 only: the player runs on every x86 that runs Windows and
// stays small without a processor check.
#if defined(__i386__) || defined(__x86_64__)
__attribute__((target("sse2"))) inline void Expand16(const uint8_t* codes, uint32_t* out) {
  const __m128i top3 = _mm_set1_epi8((char)0xE0);
  const __m128i zero = _mm_setzero_si128();
  __m128i c = _mm_loadu_si128((const __m128i*)codes);
  __m128i white = _mm_cmpeq_epi8(c, _mm_set1_epi8((char)0xFF));
  __m128i red = _mm_or_si128(_mm_and_si128(c, top3), white);
  __m128i green = _mm_or_si128(_mm_and_si128(_mm_slli_epi16(c, 3), top3), white);
  __m128i blue = _mm_or_si128(_mm_and_si128(_mm_slli_epi16(c, 6), _mm_set1_epi8((char)0xC0)), white);
  __m128i blueGreen0 = _mm_unpacklo_epi8(blue, green), blueGreen1 = _mm_unpackhi_epi8(blue, green);
  __m128i red0 = _mm_unpacklo_epi8(red, zero), red1 = _mm_unpackhi_epi8(red, zero);
  __m128i* to = (__m128i*)out;
  _mm_storeu_si128(to, _mm_unpacklo_epi16(blueGreen0, red0));
  _mm_storeu_si128(to + 1, _mm_unpackhi_epi16(blueGreen0, red0));
  _mm_storeu_si128(to + 2, _mm_unpacklo_epi16(blueGreen1, red1));
  _mm_storeu_si128(to + 3, _mm_unpackhi_epi16(blueGreen1, red1));
}

__attribute__((target("sse2"))) REALIGN_STACK void ExpandCodes(const uint8_t* codes, uint32_t count, uint32_t* out) {
  for (uint32_t k = 0; k < count - 16; k += 16) Expand16(codes + k, out + k);
  Expand16(codes + count - 16, out + count - 16);
}
#else
void ExpandCodes(const uint8_t* codes, uint32_t count, uint32_t* out) {
  for (uint32_t k = 0; k < count; k++) out[k] = DecodeRgb332Flat(codes[k]);
}
#endif

}  // namespace

uint32_t RunListBufferSize(uint32_t n, uint32_t pixelBytes) { return n * pixelBytes + 4096; }

uint32_t PackedBufferSize(uint32_t n, uint32_t pixelBytes) {
  uint32_t bytes = n * pixelBytes;
  uint32_t worst = LzoWorstCase(bytes + RunHeaderSize);
  return worst > bytes + 4096 ? worst : bytes + 4096;
}

// A walk over a list (this check, then ApplyRunList's writes) that found each header from the length
// just read would wait for that load at every run: on a fine speckle (tens of thousands of one-pixel
// runs) the waiting would be most of the decoder's time. Runs of one length mostly follow each
// other, so while they do the next header's place is known before its length is loaded, and the
// loads overlap instead of queueing behind each other.
bool RunListFitsFrame(const uint8_t* runList, uint32_t length, uint32_t n, uint32_t pixelBytes) {
  const uint8_t* p = runList;
  const uint8_t* end = runList + length;
  while (p != end) {
    uint32_t left = (uint32_t)(end - p);
    if (left < RunHeaderSize) return false;
    uint32_t count = LoadU32(p + 4);
    // Stored as signed 32-bit: a "negative" start or length shows up here as a value above n.
    if (count == 0 || count > n || (uint64_t)count * pixelBytes > left - RunHeaderSize) return false;
    uint32_t step = RunHeaderSize + count * pixelBytes;  // the run lies inside the list: p + step cannot pass end
    uint32_t lastStart = n - count;
    do {
      if (LoadU32(p) > lastStart) return false;
      p += step;
    } while ((uint32_t)(end - p) >= step && LoadU32(p + 4) == count);
  }
  return true;
}

bool RunListFollowsRules(const uint8_t* runList, uint32_t length, uint32_t n, uint32_t pixelBytes) {
  if (!RunListFitsFrame(runList, length, n, pixelBytes)) return false;
  uint32_t q = 0;
  bool first = true;
  uint32_t previousEnd = 0;  // index after the previous run's last pixel
  while (q < length) {
    uint32_t start = LoadU32(runList + q);
    uint32_t count = LoadU32(runList + q + 4);
    if (!first && (start < previousEnd || start - (previousEnd - 1) <= MaxGapInRun + 1)) return false;
    first = false;
    previousEnd = start + count;
    q += RunHeaderSize + count * pixelBytes;
  }
  return true;
}

bool ApplyRunList(const uint8_t* runList, uint32_t length, uint32_t* frame, uint32_t n, uint32_t pixelBytes) {
  if (!RunListFitsFrame(runList, length, n, pixelBytes)) return false;
  const uint8_t* p = runList;
  const uint8_t* end = runList + length;
  if (pixelBytes == ColourBytes) {
    while (p != end) {
      uint32_t count = LoadU32(p + 4);
      uint32_t* out = frame + LoadU32(p);
      p += RunHeaderSize;
      // Each colour is read as four bytes, the fourth being the next colour's blue (masked off), so
      // the last colour of a run, whose fourth byte may lie past the list, is read byte by byte.
      for (uint32_t k = 1; k < count; k++, p += ColourBytes) *out++ = LoadU32(p) & 0x00FFFFFFu;
      *out = p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16;
      p += ColourBytes;
    }
    return true;
  }
  while (p != end) {
    uint32_t count = LoadU32(p + 4);
    uint32_t step = RunHeaderSize + count;
    if (count >= 16) {
      ExpandCodes(p + RunHeaderSize, count, frame + LoadU32(p));
      p += step;
      continue;
    }
    // Short runs are written here rather than through the vector code, and like the check above,
    // runs of the same length are walked without waiting for each one's length.
    do {
      uint32_t* out = frame + LoadU32(p);
      for (uint32_t k = 0; k < count; k++) out[k] = DecodeRgb332Flat(p[RunHeaderSize + k]);
      p += step;
    } while (p != end && LoadU32(p + 4) == count);
  }
  return true;
}
