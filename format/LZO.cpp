#include "LZO.h"

#include <lzo/lzo1x.h>

const uint32_t LzoWorkSize = LZO1X_1_MEM_COMPRESS;
const uint32_t LzoBestWorkSize = LZO1X_999_MEM_COMPRESS;

int32_t PackRunList(const uint8_t* runList, uint32_t length, uint8_t* out, void* lzoWork) {
  lzo_uint packed = 0;
  lzo1x_1_compress(runList, length, out, &packed, lzoWork);
  return (int32_t)packed;
}

int32_t PackRunListBest(const uint8_t* runList, uint32_t length, uint8_t* out, void* lzoWork) {
  lzo_uint packed = 0;
  // Level 7 rather than LZO1X-999's default 8: on scrolled full-HD frames 8 takes ten times as long
  // (over a second a frame) for 6 % fewer bytes.
  lzo1x_999_compress_level(runList, length, out, &packed, lzoWork, nullptr, 0, nullptr, 7);
  return (int32_t)packed;
}

int32_t UnpackPayload(const uint8_t* payload, uint32_t length, uint8_t* out, uint32_t capacity) {
  lzo_uint unpacked = capacity;
  if (lzo1x_decompress_safe(payload, length, out, &unpacked, nullptr) != LZO_E_OK) return -1;
  return (int32_t)unpacked;
}
