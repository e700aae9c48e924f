// The pictures the capture test window shows, shared by the Win32 test program (which paints them)
// and the native checker (which compares the recorded frames with them). Portable: no Windows headers.
#pragma once
#include <stdint.h>

const int32_t PictureWidth = 160;
const int32_t PictureHeight = 120;

enum : int {
  PictureBars,      // eight vertical colour bars
  PictureChecker,   // 8 x 8 checkerboard
  PictureSquare,    // the checkerboard with one 10 x 10 square recoloured: a small change
  PictureNoise,     // a different colour at every pixel: hardly compresses
  PictureBlack,     // all code 0: every pixel of the frame before changes
  PictureGradient,  // red across, green down
  PictureNoise2,    // other noise, so that two noise frames in a row still change everywhere
  PictureCount
};

inline uint32_t NoiseAt(uint32_t seed, int32_t x, int32_t y) {
  uint32_t h = seed ^ ((uint32_t)x * 0x9E3779B1u) ^ ((uint32_t)y * 0x85EBCA77u);
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  return h & 0x00FFFFFFu;
}

// The 0x00RRGGBB pixel of picture k at (x, y).
inline uint32_t PicturePixel(int k, int32_t x, int32_t y) {
  static const uint32_t bars[8] = {0xFFFFFF, 0xE0E000, 0x00E0E0, 0x00E000,
                                   0xE000E0, 0xE00000, 0x0000C0, 0x202020};
  bool dark = ((x / 8) + (y / 8)) % 2 != 0;
  switch (k) {
    case PictureBars: return bars[x * 8 / PictureWidth];
    case PictureChecker: return dark ? 0x204080 : 0xC0E0A0;
    case PictureSquare:
      if (x >= 50 && x < 60 && y >= 40 && y < 50) return 0xE02000;
      return dark ? 0x204080 : 0xC0E0A0;
    case PictureNoise: return NoiseAt(1, x, y);
    case PictureBlack: return 0;
    case PictureGradient: return ((uint32_t)(x * 255 / PictureWidth) << 16) | ((uint32_t)(y * 255 / PictureHeight) << 8) | 0x40;
    case PictureNoise2: return NoiseAt(7, x, y);
  }
  return 0;
}
