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

}  // namespace

uint32_t ReferenceBuildRunList(const uint32_t* pixels, uint8_t* shadow, uint32_t n, uint8_t* runList) {
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

void ReferenceApplyRunList(const uint8_t* runList, uint32_t length, uint32_t* frame) {
  uint8_t cachedCode = 0;
  uint32_t cachedColour = 0;
  uint32_t q = 0;
  while (q < length) {
    uint32_t start, count;
    memcpy(&start, runList + q, 4);
    memcpy(&count, runList + q + 4, 4);
    q += 8;
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
