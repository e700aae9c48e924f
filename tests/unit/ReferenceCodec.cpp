#include "ReferenceCodec.h"

#include <string.h>

#include "Codec.h"

namespace {

// Appends the run start..last (inclusive) with its codes read from the updated shadow.
uint32_t CloseRun(uint8_t* runList, uint32_t fill, const uint8_t* shadow, uint32_t start, uint32_t last) {
  uint32_t length = last - start + 1;
  memcpy(runList + fill, &start, 4);
  memcpy(runList + fill + 4, &length, 4);
  memcpy(runList + fill + 8, shadow + start, length);
  return fill + 8 + length;
}

// The same with colours: blue, green and red of each.
uint32_t CloseRun(uint8_t* runList, uint32_t fill, const uint32_t* shadow, uint32_t start, uint32_t last) {
  uint32_t length = last - start + 1;
  memcpy(runList + fill, &start, 4);
  memcpy(runList + fill + 4, &length, 4);
  uint8_t* out = runList + fill + 8;
  for (uint32_t i = start; i <= last; i++) {
    *out++ = uint8_t(shadow[i]);
    *out++ = uint8_t(shadow[i] >> 8);
    *out++ = uint8_t(shadow[i] >> 16);
  }
  return fill + 8 + length * 3;
}

// The run rule over the shadow, one pixel at a time: changed(i) updates shadow[i] and says whether
// pixel i changed.
template <typename Shade, typename Changed>
uint32_t BuildRuns(Shade* shadow, uint32_t n, uint8_t* runList, Changed changed) {
  uint32_t fill = 0;
  bool open = false;
  uint32_t start = 0, last = 0;
  for (uint32_t i = 0; i < n; i++) {
    if (!changed(i)) continue;
    if (open && i - last > 32) {
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

}  // namespace

uint32_t ReferenceBuildRunList(const uint32_t* pixels, uint8_t* shadow, uint32_t n, uint8_t* runList) {
  uint32_t cachedPixel = 0;
  uint8_t cachedCode = 0;
  return BuildRuns(shadow, n, runList, [&](uint32_t i) {
    uint32_t p = pixels[i];
    if (p != cachedPixel) {
      cachedPixel = p;
      cachedCode = QuantiseRgb332(p);
    }
    if (cachedCode == shadow[i]) return false;
    shadow[i] = cachedCode;
    return true;
  });
}

uint32_t ReferenceBuildRunList(const uint32_t* pixels, uint32_t* shadow, uint32_t n, uint8_t* runList) {
  return BuildRuns(shadow, n, runList, [&](uint32_t i) {
    uint32_t colour = pixels[i] & 0x00FFFFFF;
    if (colour == shadow[i]) return false;
    shadow[i] = colour;
    return true;
  });
}

void ReferenceApplyRunList(const uint8_t* runList, uint32_t length, uint32_t* frame, uint32_t pixelBytes) {
  uint8_t cachedCode = 0;
  uint32_t cachedColour = 0;
  uint32_t q = 0;
  while (q < length) {
    uint32_t start, count;
    memcpy(&start, runList + q, 4);
    memcpy(&count, runList + q + 4, 4);
    q += 8;
    if (pixelBytes == 3) {
      for (uint32_t k = 0; k < count; k++, q += 3)
        frame[start + k] = uint32_t(runList[q]) | uint32_t(runList[q + 1]) << 8 | uint32_t(runList[q + 2]) << 16;
      continue;
    }
    for (uint32_t k = 0; k < count; k++) {
      uint8_t c = runList[q + k];
      if (c != cachedCode) {
        cachedCode = c;
        cachedColour = c == 255 ? 0x00FFFFFFu : ExpandRgb332(c);
      }
      frame[start + k] = cachedColour;
    }
    q += count;
  }
}
