#include "Scenes.h"

#include <math.h>

#include "Codec.h"

namespace {

const uint32_t Background = 0x00FFFFFF;
const uint32_t Ink = 0x00202020;
const uint32_t InkEdge = 0x00A0A0A8;  // the anti-aliased rim of a glyph
const uint32_t LineHeight = 20, CellWidth = 9, TitleHeight = 30, MarginLeft = 60;

uint32_t Hash(uint32_t a, uint32_t b, uint32_t c) {
  uint32_t h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u) * 0x85EBCA77u ^ (c + 0x165667B1u) * 0xC2B2AE3Du;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 13;
  return h;
}

// Glyph g's pixel (x, y) in a 9 x 20 cell: ink, rim or paper. Glyph 0 is a space.
uint32_t GlyphPixel(uint32_t g, uint32_t x, uint32_t y) {
  if (g == 0 || x < 1 || x > 7 || y < 4 || y > 16) return Background;
  uint32_t h = Hash(g, x, y) % 100;
  return h < 30 ? Ink : h < 42 ? InkEdge : Background;
}

// The glyph at character position (column, textLine) of the document: words of 2 to 9 letters.
uint32_t DocumentGlyph(uint32_t column, uint32_t textLine) {
  if (Hash(textLine, 0, 7) % 9 == 0) return 0;  // blank line
  uint32_t lineLength = 40 + Hash(textLine, 1, 3) % 140;
  if (column >= lineLength) return 0;
  return Hash(textLine, column / 6, 11) % 6 == 0 && column % 6 == 5 ? 0 : 1 + Hash(textLine, column, 5) % 90;
}

}  // namespace

void DrawTextWindow(Picture& out, uint32_t width, uint32_t height, uint32_t scrollRow, uint32_t typedChars) {
  out.resize((size_t)width * height);
  uint32_t editLine = (height / 2) / LineHeight;  // visible line index of the line being typed
  for (uint32_t y = 0; y < height; y++) {
    uint32_t* row = &out[(size_t)y * width];
    if (y < TitleHeight) {  // title bar: a gradient from dark to light blue
      for (uint32_t x = 0; x < width; x++) row[x] = 0x00103070 + ((x * 0x60 / width) << 8) + (x * 0x80 / width);
      continue;
    }
    uint32_t docRow = y - TitleHeight + scrollRow;
    uint32_t textLine = docRow / LineHeight, inLine = docRow % LineHeight;
    bool typing = (y - TitleHeight) / LineHeight == editLine;
    for (uint32_t x = 0; x < width; x++) {
      if (x < MarginLeft) {  // line-number gutter
        row[x] = x == MarginLeft - 1 ? 0x00C0C0C0 : 0x00F0F0F0;
        continue;
      }
      uint32_t column = (x - MarginLeft) / CellWidth;
      uint32_t glyph = typing && scrollRow == 0 ? (column < typedChars ? 1 + Hash(column, 99, 1) % 90 : 0)
                                                : DocumentGlyph(column, textLine);
      row[x] = GlyphPixel(glyph, (x - MarginLeft) % CellWidth, inLine);
    }
  }
}

void RetypeBox(Picture& out, uint32_t width, uint32_t x0, uint32_t y0, uint32_t seed) {
  for (uint32_t y = 0; y < 30; y++)
    for (uint32_t x = 0; x < 200; x++) {
      uint32_t glyph = 1 + Hash(x / CellWidth, y / LineHeight, seed) % 90;
      out[(size_t)(y0 + y) * width + x0 + x] = GlyphPixel(glyph, x % CellWidth, y % LineHeight);
    }
}

void DrawMotion(Picture& out, uint32_t width, uint32_t height, uint32_t t) {
  out.resize((size_t)width * height);
  static float wave[1024];
  if (wave[256] == 0)
    for (int i = 0; i < 1024; i++) wave[i] = 0.5f + 0.5f * sinf(float(i) * 6.2831853f / 1024.0f);
  for (uint32_t y = 0; y < height; y++)
    for (uint32_t x = 0; x < width; x++) {
      uint32_t r = uint32_t(255 * wave[(x + 7 * t) & 1023] * wave[(y * 2 + 3 * t) & 1023]);
      uint32_t g = uint32_t(255 * wave[(x + y + 11 * t) & 1023]);
      uint32_t b = uint32_t(255 * wave[(x * 3 - y + 1024 * 4 - 5 * t) & 1023]);
      out[(size_t)y * width + x] = r << 16 | g << 8 | b;
    }
}

void ToRgb332Colours(Picture& picture) {
  for (uint32_t& p : picture) p = DecodeRgb332(QuantiseRgb332(p));
}
