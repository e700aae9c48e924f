// The picture the scene program animates, shared with the native checker that recognises it in a
// recorded movie. Every colour is exact in RGB332 (red and green in steps of 0x20, blue of 0x40), so a
// recorded frame must reproduce the picture pixel for pixel.
//
// In window coordinates: a checkerboard of 10-pixel cells and a vertical bar BarWidth pixels wide
// whose left edge is at BarLeft(phase). The scene advances the phase every PhaseMs milliseconds.
#pragma once
#include <stdint.h>

const int SceneWidth = 300;
const int SceneHeight = 200;
const int BarWidth = 30;
const int BarStep = 9;
const int PhaseMs = 100;
const int BarPositions = SceneWidth - BarWidth + 1;

inline int BarLeft(int phase) { return (phase * BarStep) % BarPositions; }

// 0x00RRGGBB of the pixel (x, y) with the bar's left edge at barLeft.
inline uint32_t ScenePixel(int x, int y, int barLeft) {
  if (x >= barLeft && x < barLeft + BarWidth) return 0xE02000;
  return ((x / 10 + y / 10) & 1) ? 0x204080 : 0xC0E040;
}
