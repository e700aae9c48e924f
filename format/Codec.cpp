#include "Codec.h"

#include "LZO.h"
#include "UTypes.h"

namespace {

// Unchanged pixels a run may carry: a gap of 32 or more closes the run.
const uint32_t MaxGapInRun = 31;

inline uint32_t LoadU32(const uint8_t* p) {
  uint32_t v;
  __builtin_memcpy(&v, p, 4);
  return v;
}

inline void StoreU32(uint8_t* p, uint32_t v) { __builtin_memcpy(p, &v, 4); }

// Appends the run start..last (inclusive) with its codes read from the updated shadow.
inline uint32_t CloseRun(uint8_t* runList, uint32_t fill, const uint8_t* shadow, uint32_t start,
                         uint32_t last) {
  uint32_t length = last - start + 1;
  StoreU32(runList + fill, start);
  StoreU32(runList + fill + 4, length);
  __builtin_memcpy(runList + fill + RunHeaderSize, shadow + start, length);
  return fill + RunHeaderSize + length;
}

}  // namespace

uint32_t RunListBufferSize(uint32_t n) { return n + 4096; }

uint32_t PackedBufferSize(uint32_t n) {
  uint32_t worst = LzoWorstCase(n + RunHeaderSize);
  return worst > n + 4096 ? worst : n + 4096;
}

uint32_t BuildRunList(const uint32_t* pixels, uint8_t* shadow, uint32_t n, uint8_t* runList) {
  // Screens hold long stretches of one colour: the last conversion is cached, so such a stretch
  // costs one comparison per pixel. Pixel 0 quantises to code 0, a valid starting cache.
  uint32_t cachedPixel = 0;
  uint8_t cachedCode = 0;
  uint32_t fill = 0;
  bool open = false;
  uint32_t start = 0, last = 0;
  for (uint32_t i = 0; i < n; i++) {
    uint32_t p = pixels[i];
    if (p != cachedPixel) {
      cachedPixel = p;
      cachedCode = QuantiseRgb332(p);
    }
    if (cachedCode == shadow[i]) continue;
    shadow[i] = cachedCode;
    if (open && i - last > MaxGapInRun + 1) {
      fill = CloseRun(runList, fill, shadow, start, last);
      open = false;
    }
    if (!open) {
      open = true;
      start = i;
    }
    last = i;
  }
  if (open) fill = CloseRun(runList, fill, shadow, start, last);
  return fill;
}

int32_t EncodeFrame(const uint32_t* pixels, uint8_t* shadow, uint32_t n, uint8_t* runList,
                    uint8_t* packed, void* lzoWork) {
  uint32_t length = BuildRunList(pixels, shadow, n, runList);
  if (length == 0) return 0;
  return PackRunList(runList, length, packed, lzoWork);
}

bool RunListFitsFrame(const uint8_t* runList, uint32_t length, uint32_t n) {
  uint32_t q = 0;
  while (q < length) {
    if (length - q < RunHeaderSize) return false;
    uint32_t start = LoadU32(runList + q);
    uint32_t count = LoadU32(runList + q + 4);
    q += RunHeaderSize;
    // Stored as signed 32-bit: a "negative" start or length shows up here as a value above n.
    if (count == 0 || start > n || count > n - start || count > length - q) return false;
    q += count;
  }
  return true;
}

bool RunListFollowsRules(const uint8_t* runList, uint32_t length, uint32_t n) {
  if (!RunListFitsFrame(runList, length, n)) return false;
  uint32_t q = 0;
  bool first = true;
  uint32_t previousEnd = 0;  // index after the previous run's last pixel
  while (q < length) {
    uint32_t start = LoadU32(runList + q);
    uint32_t count = LoadU32(runList + q + 4);
    if (!first && (start < previousEnd || start - (previousEnd - 1) <= MaxGapInRun + 1)) return false;
    first = false;
    previousEnd = start + count;
    q += RunHeaderSize + count;
  }
  return true;
}

bool ApplyRunList(const uint8_t* runList, uint32_t length, uint32_t* frame, uint32_t n) {
  if (!RunListFitsFrame(runList, length, n)) return false;
  uint8_t cachedCode = 0;
  uint32_t cachedColour = 0;
  uint32_t q = 0;
  while (q < length) {
    uint32_t start = LoadU32(runList + q);
    uint32_t count = LoadU32(runList + q + 4);
    const uint8_t* codes = runList + q + RunHeaderSize;
    uint32_t* out = frame + start;
    for (uint32_t k = 0; k < count; k++) {
      if (codes[k] != cachedCode) {
        cachedCode = codes[k];
        cachedColour = DecodeRgb332(cachedCode);
      }
      out[k] = cachedColour;
    }
    q += RunHeaderSize + count;
  }
  return true;
}
