// The frame encoder: captured pixels against the shadow frame -> run list -> LZO1X-1.
//
// It runs on the user's machine while they work, once per capture tick over the whole area, so it
// is built to cost little more than reading the frame and the shadow from memory once. The frame is
// scanned in blocks of 32 pixels: a block's 32 codes are computed and compared with the shadow's 32
// bytes at once, and a block without change (nearly every block of a still screen) costs no store
// and no branch beyond the compare. Only a changed block stores its codes and updates the open run.
//
// Why the run rule can be applied per block: inside one block two changed pixels are at most 31
// indices apart, so no run ever closes inside a block; a run can close only between the last change
// seen so far and the first change of a later block. The output is therefore exactly that of the
// one-pixel-at-a-time scan, byte for byte.
//
// True colour is scanned the same way, in blocks of 32 colours compared with a shadow of colours.
//
// Three paths compute the block masks: portable C, SSE2 (which every processor able to run the
// recorder has) and AVX2, chosen at run time where the processor and the operating system support it.
// The player never calls the encoder; the linker drops all of this from it.
#include "Codec.h"
#include "CodecRules.h"
#include "EncoderPath.h"
#include "LZO.h"
#include "UTypes.h"

#if defined(__i386__) || defined(__x86_64__)
#define TAVREL_X86 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {

const uint32_t BlockPixels = 32;

inline void StoreU32(uint8_t* p, uint32_t v) { __builtin_memcpy(p, &v, 4); }

// The run being built and the list it goes to. The open run's pixels are appended as the scan goes,
// while they are still in the first-level cache; its header is written when it closes. Shade is the
// shadow's element: a code (256 colours) or a colour (true colour).
template <typename Shade>
struct RunBuilder {
  uint8_t* RunList;
  const Shade* Shadow;
  uint32_t Fill;         // bytes of the list so far, the open run's pixels up to Last included
  uint32_t HeaderAt;     // where the open run's header goes
  uint32_t Start, Last;  // the open run's first and (so far) last changed pixel
  bool Open;
};

template <typename Shade>
inline void CloseRun(RunBuilder<Shade>* b) {
  StoreU32(b->RunList + b->HeaderAt, b->Start);
  StoreU32(b->RunList + b->HeaderAt + 4, b->Last - b->Start + 1);
  b->Open = false;
}

// Appends the pixels from..to (inclusive) as they are in the updated shadow: changed pixels with
// their new codes or colours, unchanged ones inside a run with the ones they already had.
inline void AppendCodes(RunBuilder<uint8_t>* b, uint32_t from, uint32_t to) {
  __builtin_memcpy(b->RunList + b->Fill, b->Shadow + from, to - from + 1);
  b->Fill += to - from + 1;
}

// A colour goes in as four bytes of which the next colour overwrites the last: the list's buffer
// has room past its largest length for that byte.
inline void AppendCodes(RunBuilder<uint32_t>* b, uint32_t from, uint32_t to) {
  uint8_t* out = b->RunList + b->Fill;
  for (uint32_t i = from; i <= to; i++, out += ColourBytes) StoreU32(out, b->Shadow[i]);
  b->Fill += (to - from + 1) * ColourBytes;
}

// Closes the open run, if any, and opens one over the changed pixels first..last of a block.
template <typename Shade>
inline void OpenRun(RunBuilder<Shade>* b, uint32_t first, uint32_t last) {
  if (b->Open) CloseRun(b);
  b->Open = true;
  b->HeaderAt = b->Fill;
  b->Fill += RunHeaderSize;
  b->Start = first;
  b->Last = last;
  AppendCodes(b, first, last);
}

template <typename Shade>
inline bool Continues(const RunBuilder<Shade>* b, uint32_t first) {
  return b->Open && first - b->Last <= MaxGapInRun + 1;
}

// The changed pixels of one block: bit k of mask (not 0) set when pixel base + k changed.
template <typename Shade>
inline void NoteChanges(RunBuilder<Shade>* b, uint32_t base, uint32_t mask) {
  uint32_t first = base + (uint32_t)__builtin_ctz(mask);
  uint32_t last = base + 31 - (uint32_t)__builtin_clz(mask);
  if (Continues(b, first)) {
    AppendCodes(b, b->Last + 1, last);
    b->Last = last;
  } else {
    OpenRun(b, first, last);
  }
}

typedef RunBuilder<uint8_t> CodeRuns;
typedef RunBuilder<uint32_t> ColourRuns;

// ---- Portable path --------------------------------------------------------------------------------

// Quantises count (at most 32) pixels, stores the codes that differ from the shadow and returns the
// mask of changed pixels. Screens hold long stretches of one colour, so the last conversion is kept
// across calls and such a stretch costs one comparison per pixel.
struct ConversionCache {
  uint32_t Pixel;
  uint8_t Code;
};

inline uint32_t ScalarBlock(const uint32_t* pixels, uint8_t* shadow, uint32_t count,
                            ConversionCache* cache) {
  uint32_t mask = 0;
  for (uint32_t k = 0; k < count; k++) {
    if (pixels[k] != cache->Pixel) {
      cache->Pixel = pixels[k];
      cache->Code = QuantiseRgb332(pixels[k]);
    }
    if (cache->Code != shadow[k]) {
      shadow[k] = cache->Code;
      mask |= 1u << k;
    }
  }
  return mask;
}

// Scans pixels from..n-1 (the tail the vector paths leave, or the whole frame).
void ScanScalar(const uint32_t* pixels, uint8_t* shadow, uint32_t from, uint32_t n, CodeRuns* b) {
  ConversionCache cache = {0, 0};  // pixel 0 quantises to code 0: a valid starting pair
  for (uint32_t i = from; i < n; i += BlockPixels) {
    uint32_t count = n - i < BlockPixels ? n - i : BlockPixels;
    uint32_t mask = ScalarBlock(pixels + i, shadow + i, count, &cache);
    if (mask) NoteChanges(b, i, mask);
  }
}

// True colour: a pixel's colour is its low 24 bits, compared with the shadow's as they are.
void ScanScalar(const uint32_t* pixels, uint32_t* shadow, uint32_t from, uint32_t n, ColourRuns* b) {
  for (uint32_t i = from; i < n; i += BlockPixels) {
    uint32_t count = n - i < BlockPixels ? n - i : BlockPixels;
    uint32_t mask = 0;
    for (uint32_t k = 0; k < count; k++) {
      uint32_t colour = pixels[i + k] & 0x00FFFFFFu;
      if (colour != shadow[i + k]) {
        shadow[i + k] = colour;
        mask |= 1u << k;
      }
    }
    if (mask) NoteChanges(b, i, mask);
  }
}

#if TAVREL_X86

// ---- SSE2 path ------------------------------------------------------------------------------------
//
// For 4 pixels in 32-bit lanes, code << 6 is built without moving each channel on its own:
//   madd(p AND 0x00E000C0, (1, 64)) = blue bits 7-6 at 7-6, plus red bits 7-5 times 64 at 13-11,
//   (p AND 0xE000) >> 5              = green bits 7-5 at 10-8.
// The two are ORed, narrowed to 16 bits (at most 0x3FC0, so no saturation), shifted down by 6 and
// narrowed to bytes.

__attribute__((target("sse2"))) inline __m128i CodesShifted4Sse2(const uint32_t* pixels) {
  __m128i p = _mm_loadu_si128((const __m128i*)pixels);
  __m128i redBlue = _mm_madd_epi16(_mm_and_si128(p, _mm_set1_epi32(0x00E000C0)), _mm_set1_epi32(0x00400001));
  __m128i green = _mm_srli_epi32(_mm_and_si128(p, _mm_set1_epi32(0xE000)), 5);
  return _mm_or_si128(redBlue, green);
}

__attribute__((target("sse2"))) inline __m128i Codes16Sse2(const uint32_t* pixels) {
  __m128i low = _mm_packs_epi32(CodesShifted4Sse2(pixels), CodesShifted4Sse2(pixels + 4));
  __m128i high = _mm_packs_epi32(CodesShifted4Sse2(pixels + 8), CodesShifted4Sse2(pixels + 12));
  return _mm_packus_epi16(_mm_srli_epi16(low, 6), _mm_srli_epi16(high, 6));
}

__attribute__((target("sse2"))) REALIGN_STACK void ScanSse2(const uint32_t* pixels, uint8_t* shadow, uint32_t n,
                                              CodeRuns* b) {
  uint32_t i = 0;
  for (; n - i >= BlockPixels; i += BlockPixels) {
    __m128i codes0 = Codes16Sse2(pixels + i);
    __m128i codes1 = Codes16Sse2(pixels + i + 16);
    uint32_t same0 = (uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(codes0, _mm_loadu_si128((const __m128i*)(shadow + i))));
    uint32_t same1 = (uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(codes1, _mm_loadu_si128((const __m128i*)(shadow + i + 16))));
    uint32_t changed = ~(same0 | same1 << 16);
    if (!changed) continue;
    // Unchanged codes are rewritten with the value they have: one store per 16 is cheaper than a
    // masked one.
    _mm_storeu_si128((__m128i*)(shadow + i), codes0);
    _mm_storeu_si128((__m128i*)(shadow + i + 16), codes1);
    uint32_t first = i + (uint32_t)__builtin_ctz(changed);
    uint32_t last = i + 31 - (uint32_t)__builtin_clz(changed);
    if (!Continues(b, first)) {
      OpenRun(b, first, last);
      continue;
    }
    // The run goes on: append the unchanged codes since its last change (at most 31, all before
    // this block) and this block's codes with whole-vector stores. What lands past the last
    // changed pixel is overwritten by what follows, and stays within RunListBufferSize.
    uint8_t* to = b->RunList + b->Fill;
    uint32_t carried = i - (b->Last + 1);
    const uint8_t* from = shadow + b->Last + 1;
    _mm_storeu_si128((__m128i*)to, _mm_loadu_si128((const __m128i*)from));
    _mm_storeu_si128((__m128i*)(to + 16), _mm_loadu_si128((const __m128i*)(from + 16)));
    _mm_storeu_si128((__m128i*)(to + carried), codes0);
    _mm_storeu_si128((__m128i*)(to + carried + 16), codes1);
    b->Fill += carried + (last - i + 1);
    b->Last = last;
  }
  ScanScalar(pixels, shadow, i, n, b);
}

// ---- AVX2 path ------------------------------------------------------------------------------------
//
// For 8 pixels: maddubs(p AND 0x00E0E0C0, bytes 1, 8, 64, 0) gives per pixel the 16-bit words
// blue + green*8 (blue bits 7-6 at 7-6, green bits 7-5 at 10-8) and red*64 (red bits 7-5 at 13-11);
// madd with (1, 1) adds the two words: code << 6 in each 32-bit lane.

__attribute__((target("avx2"))) inline __m256i CodesShifted8Avx2(const uint32_t* pixels) {
  __m256i p = _mm256_loadu_si256((const __m256i*)pixels);
  __m256i kept = _mm256_and_si256(p, _mm256_set1_epi32(0x00E0E0C0));
  __m256i words = _mm256_maddubs_epi16(kept, _mm256_set1_epi32(0x00400801));
  return _mm256_madd_epi16(words, _mm256_set1_epi16(1));
}

__attribute__((target("avx2"))) inline __m256i Codes32Avx2(const uint32_t* pixels) {
  __m256i ab = _mm256_packs_epi32(CodesShifted8Avx2(pixels), CodesShifted8Avx2(pixels + 8));
  __m256i cd = _mm256_packs_epi32(CodesShifted8Avx2(pixels + 16), CodesShifted8Avx2(pixels + 24));
  __m256i bytes = _mm256_packus_epi16(_mm256_srli_epi16(ab, 6), _mm256_srli_epi16(cd, 6));
  // The packs work within each 128-bit half: put the four-pixel groups back in pixel order.
  return _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}

// Stores a changed block's codes in the shadow and adds its changed pixels to the run list.
__attribute__((target("avx2"))) inline void TakeBlockAvx2(CodeRuns* b, uint8_t* shadow, uint32_t i, __m256i codes,
                                                          uint32_t changed) {
  _mm256_storeu_si256((__m256i*)(shadow + i), codes);
  uint32_t first = i + (uint32_t)__builtin_ctz(changed);
  uint32_t last = i + 31 - (uint32_t)__builtin_clz(changed);
  if (!Continues(b, first)) {
    OpenRun(b, first, last);
    return;
  }
  // As in ScanSse2: carried codes and this block's codes with whole-vector stores.
  uint8_t* to = b->RunList + b->Fill;
  uint32_t carried = i - (b->Last + 1);
  _mm256_storeu_si256((__m256i*)to, _mm256_loadu_si256((const __m256i*)(shadow + b->Last + 1)));
  _mm256_storeu_si256((__m256i*)(to + carried), codes);
  b->Fill += carried + (last - i + 1);
  b->Last = last;
}

__attribute__((target("avx2"))) REALIGN_STACK void ScanAvx2(const uint32_t* pixels, uint8_t* shadow, uint32_t n,
                                              CodeRuns* b) {
  uint32_t i = 0;
  // Two blocks per step: more loads in flight, and one test for a pair of unchanged blocks.
  for (; n - i >= 2 * BlockPixels; i += 2 * BlockPixels) {
    __m256i codes0 = Codes32Avx2(pixels + i), codes1 = Codes32Avx2(pixels + i + BlockPixels);
    __m256i same0 = _mm256_cmpeq_epi8(codes0, _mm256_loadu_si256((const __m256i*)(shadow + i)));
    __m256i same1 = _mm256_cmpeq_epi8(codes1, _mm256_loadu_si256((const __m256i*)(shadow + i + BlockPixels)));
    uint32_t changed0 = ~(uint32_t)_mm256_movemask_epi8(same0);
    uint32_t changed1 = ~(uint32_t)_mm256_movemask_epi8(same1);
    if (!(changed0 | changed1)) continue;
    if (changed0) TakeBlockAvx2(b, shadow, i, codes0, changed0);
    if (changed1) TakeBlockAvx2(b, shadow, i + BlockPixels, codes1, changed1);
  }
  for (; n - i >= BlockPixels; i += BlockPixels) {
    __m256i codes = Codes32Avx2(pixels + i);
    uint32_t changed = ~(uint32_t)_mm256_movemask_epi8(_mm256_cmpeq_epi8(codes, _mm256_loadu_si256((const __m256i*)(shadow + i))));
    if (changed) TakeBlockAvx2(b, shadow, i, codes, changed);
  }
  ScanScalar(pixels, shadow, i, n, b);
}

// ---- True colour, SSE2 and AVX2 ------------------------------------------------------------------
//
// There is no conversion to make: a block is 8 (SSE2) or 4 (AVX2) vectors of colours, masked to 24
// bits and compared with the shadow's colours lane by lane. An unchanged block costs the two loads
// and the compare; a changed one stores all its colours (unchanged ones with the value they have)
// and goes through NoteChanges, whose appends are the only per-pixel work.

__attribute__((target("sse2"))) REALIGN_STACK void ScanSse2(const uint32_t* pixels, uint32_t* shadow, uint32_t n,
                                                            ColourRuns* b) {
  const __m128i colourBits = _mm_set1_epi32(0x00FFFFFF);
  uint32_t i = 0;
  for (; n - i >= BlockPixels; i += BlockPixels) {
    uint32_t same = 0;
    for (uint32_t g = 0; g < BlockPixels; g += 4) {
      __m128i colours = _mm_and_si128(_mm_loadu_si128((const __m128i*)(pixels + i + g)), colourBits);
      __m128i equal = _mm_cmpeq_epi32(colours, _mm_loadu_si128((const __m128i*)(shadow + i + g)));
      same |= (uint32_t)_mm_movemask_ps(_mm_castsi128_ps(equal)) << g;
    }
    if (same == 0xFFFFFFFFu) continue;
    for (uint32_t g = 0; g < BlockPixels; g += 4)
      _mm_storeu_si128((__m128i*)(shadow + i + g),
                       _mm_and_si128(_mm_loadu_si128((const __m128i*)(pixels + i + g)), colourBits));
    NoteChanges(b, i, ~same);
  }
  ScanScalar(pixels, shadow, i, n, b);
}

__attribute__((target("avx2"))) REALIGN_STACK void ScanAvx2(const uint32_t* pixels, uint32_t* shadow, uint32_t n,
                                                            ColourRuns* b) {
  const __m256i colourBits = _mm256_set1_epi32(0x00FFFFFF);
  uint32_t i = 0;
  for (; n - i >= BlockPixels; i += BlockPixels) {
    uint32_t same = 0;
    for (uint32_t g = 0; g < BlockPixels; g += 8) {
      __m256i colours = _mm256_and_si256(_mm256_loadu_si256((const __m256i*)(pixels + i + g)), colourBits);
      __m256i equal = _mm256_cmpeq_epi32(colours, _mm256_loadu_si256((const __m256i*)(shadow + i + g)));
      same |= (uint32_t)_mm256_movemask_ps(_mm256_castsi256_ps(equal)) << g;
    }
    if (same == 0xFFFFFFFFu) continue;
    for (uint32_t g = 0; g < BlockPixels; g += 8)
      _mm256_storeu_si256((__m256i*)(shadow + i + g),
                          _mm256_and_si256(_mm256_loadu_si256((const __m256i*)(pixels + i + g)), colourBits));
    NoteChanges(b, i, ~same);
  }
  ScanScalar(pixels, shadow, i, n, b);
}

// AVX2 needs the processor's feature bit and an operating system that saves the 256-bit registers
// on a thread switch (XCR0 bits 1 and 2, read with XGETBV once the OSXSAVE bit says it may be).
// Asked of the processor directly rather than through libgcc's processor model, whose start-up
// constructor would otherwise be linked into the player along with the movie code.
bool Avx2Usable() {
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
  const unsigned osxsave = 1u << 27, avx = 1u << 28;
  if ((c & (osxsave | avx)) != (osxsave | avx)) return false;
  unsigned xcr0, xcr0High;
  __asm__ volatile("xgetbv" : "=a"(xcr0), "=d"(xcr0High) : "c"(0));
  if ((xcr0 & 6) != 6) return false;
  if (__get_cpuid_max(0, nullptr) < 7) return false;
  __cpuid_count(7, 0, a, b, c, d);
  return (b & (1u << 5)) != 0;
}

bool MachineRuns(EncoderPath path) { return path != EncoderPathAvx2 || Avx2Usable(); }

#else

bool MachineRuns(EncoderPath path) { return path == EncoderPathScalar; }

#endif

// The chosen path, 0 until the first frame. Two recordings may overlap for a moment, so it is read
// and written whole.
int ChosenPath = 0;

EncoderPath BestPath() {
  if (MachineRuns(EncoderPathAvx2)) return EncoderPathAvx2;
  if (MachineRuns(EncoderPathSse2)) return EncoderPathSse2;
  return EncoderPathScalar;
}

}  // namespace

bool SetEncoderPath(EncoderPath path) {
  if (path == EncoderPathAuto) path = BestPath();
  if (!MachineRuns(path)) return false;
  __atomic_store_n(&ChosenPath, (int)path, __ATOMIC_RELAXED);
  return true;
}

EncoderPath ActiveEncoderPath() {
  int path = __atomic_load_n(&ChosenPath, __ATOMIC_RELAXED);
  if (path == 0) {
    path = BestPath();
    __atomic_store_n(&ChosenPath, path, __ATOMIC_RELAXED);
  }
  return (EncoderPath)path;
}

namespace {

// The scan on the chosen path, then the last run closed: one frame's run list at either depth.
template <typename Shade>
uint32_t ScanFrame(const uint32_t* pixels, Shade* shadow, uint32_t n, uint8_t* runList) {
  RunBuilder<Shade> b = {runList, shadow, 0, 0, 0, 0, false};
  switch (ActiveEncoderPath()) {
#if TAVREL_X86
    case EncoderPathAvx2:
      ScanAvx2(pixels, shadow, n, &b);
      break;
    case EncoderPathSse2:
      ScanSse2(pixels, shadow, n, &b);
      break;
#endif
    default:
      ScanScalar(pixels, shadow, 0, n, &b);
      break;
  }
  if (b.Open) CloseRun(&b);
  return b.Fill;
}

template <typename Shade>
int32_t EncodeWith(const uint32_t* pixels, Shade* shadow, uint32_t n, uint8_t* runList, uint8_t* packed,
                   void* lzoWork) {
  uint32_t length = ScanFrame(pixels, shadow, n, runList);
  if (length == 0) return 0;
  return PackRunList(runList, length, packed, lzoWork);
}

}  // namespace

uint32_t BuildRunList(const uint32_t* pixels, uint8_t* shadow, uint32_t n, uint8_t* runList) {
  return ScanFrame(pixels, shadow, n, runList);
}

uint32_t BuildRunList(const uint32_t* pixels, uint32_t* shadow, uint32_t n, uint8_t* runList) {
  return ScanFrame(pixels, shadow, n, runList);
}

int32_t EncodeFrame(const uint32_t* pixels, uint8_t* shadow, uint32_t n, uint8_t* runList,
                    uint8_t* packed, void* lzoWork) {
  return EncodeWith(pixels, shadow, n, runList, packed, lzoWork);
}

int32_t EncodeFrame(const uint32_t* pixels, uint32_t* shadow, uint32_t n, uint8_t* runList,
                    uint8_t* packed, void* lzoWork) {
  return EncodeWith(pixels, shadow, n, runList, packed, lzoWork);
}
