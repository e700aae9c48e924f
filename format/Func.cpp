#include "Func.h"

namespace {

// Appends magnitude in decimal with at least minDigits digits and returns the new end.
char* AppendDecimal(char* out, uint32_t magnitude, int minDigits) {
  char digits[10];
  int count = 0;
  do {
    digits[count++] = (char)('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  for (int i = count; i < minDigits; i++) *out++ = '0';
  while (count) *out++ = digits[--count];
  *out = 0;
  return out;
}

// The same for a signed 32-bit value, with its minus sign.
char* AppendInt(char* out, int32_t value, int minDigits) {
  uint32_t magnitude = (uint32_t)value;
  if (value < 0) {
    *out++ = '-';
    magnitude = 0u - magnitude;
  }
  return AppendDecimal(out, magnitude, minDigits);
}

// "mm:ss", minutes and seconds by truncating division.
char* AppendTime(char* out, int32_t ms) {
  int32_t minutes = ms / 60000;
  out = AppendInt(out, minutes, 2);
  *out++ = ':';
  return AppendInt(out, (ms - minutes * 60000) / 1000, 2);
}

int DigitValue(char c, bool hex) {
  if (c >= '0' && c <= '9') return c - '0';
  if (hex && c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (hex && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

void FormatElapsed(char* buffer, int32_t milliseconds) { AppendTime(buffer, milliseconds); }

void FormatSize(char* buffer, uint64_t bytes) {
  // Nine digits at a time, the upper ones split off by subtraction: a 64-bit division would link a
  // runtime routine into the 32-bit player, which shares this unit. Kilobytes stay below 2^54, so the
  // upper part fits 32 bits.
  uint64_t kilobytes = (bytes >> 10) + 1;
  const uint64_t billion = 1000000000u;
  uint32_t high = 0;
  for (uint64_t step = billion << 24; step >= billion; step >>= 1) {
    high <<= 1;
    if (kilobytes >= step) {
      kilobytes -= step;
      high |= 1;
    }
  }
  uint32_t low = (uint32_t)kilobytes;
  char* end = high ? AppendDecimal(AppendDecimal(buffer, high, 1), low, 9) : AppendDecimal(buffer, low, 1);
  end[0] = ' ';
  end[1] = 'K';
  end[2] = 'B';
  end[3] = 0;
}

void FormatPlayTime(char* buffer, int32_t currentMs, int32_t totalMs) {
  char* end = AppendTime(buffer, currentMs);
  *end++ = '/';
  end = AppendTime(end, totalMs);
  end[0] = ' ';
  end[1] = 0;
}

void IntToText(char* buffer, int32_t value) { AppendInt(buffer, value, 1); }

int32_t TextToInt(const char* text) {
  const char* p = text;
  while (*p == ' ') p++;
  bool hex = false, negative = false;
  if (*p == '$' || *p == 'x' || *p == 'X') {
    hex = true;
    p++;
  } else if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    hex = true;
    p += 2;
  } else if (*p == '-' || *p == '+') {
    negative = *p == '-';
    p++;
  }
  uint32_t value = 0;  // unsigned: a long text wraps instead of overflowing
  int digit;
  while ((digit = DigitValue(*p, hex)) >= 0) {
    value = value * (hex ? 16u : 10u) + (uint32_t)digit;
    p++;
  }
  if (negative && *p == 0) value = 0u - value;
  return (int32_t)value;
}

uint32_t GbkCutLength(const char* text, uint32_t maxBytes) {
  uint32_t i = 0;
  while (i < maxBytes && text[i]) {
    uint8_t c = (uint8_t)text[i];
    uint32_t width = c >= 0x81 && c <= 0xFE ? 2 : 1;
    if (width == 2 && (i + 2 > maxBytes || !text[i + 1])) break;
    i += width;
  }
  return i;
}

int32_t StepFrame(const uint32_t* times, uint32_t slots, int32_t last, uint32_t pressed, uint16_t* lead) {
  // Differences of the wrapping clock taken signed: a press may straddle the clock's wrap.
  auto since = [&](int32_t frame) { return (int32_t)(times[(uint32_t)frame % slots] - pressed); };
  if (last < 1 || since(last) < 0) return 0;
  int32_t oldest = last - (int32_t)slots + 1 > 1 ? last - (int32_t)slots + 1 : 1;
  int32_t frame = last;
  while (frame > oldest && since(frame - 1) >= 0) frame--;
  uint32_t ms = (uint32_t)since(frame);
  *lead = (uint16_t)(ms < FramePeriodMs ? ms : FramePeriodMs);
  return frame;
}

void NormaliseRect(Rect* rect) {
  if (rect->left > rect->right) {
    int32_t t = rect->left;
    rect->left = rect->right;
    rect->right = t;
  }
  if (rect->top > rect->bottom) {
    int32_t t = rect->top;
    rect->top = rect->bottom;
    rect->bottom = t;
  }
}

void ShrinkRect(Rect* rect) {
  rect->left++;
  rect->top++;
  rect->right--;
  rect->bottom--;
}

Rect VirtualScreenRect(int32_t x, int32_t y, int32_t width, int32_t height) {
  return Rect{x, y, x + width, y + height};
}

Rect SelectionToScreen(const Rect* client, const Rect* virtualScreen) {
  return Rect{client->left + virtualScreen->left, client->top + virtualScreen->top,
              client->right + virtualScreen->left, client->bottom + virtualScreen->top};
}

bool ClipToScreen(Rect* rect, const Rect* virtualScreen) {
  Rect clipped{rect->left > virtualScreen->left ? rect->left : virtualScreen->left,
               rect->top > virtualScreen->top ? rect->top : virtualScreen->top,
               rect->right < virtualScreen->right ? rect->right : virtualScreen->right,
               rect->bottom < virtualScreen->bottom ? rect->bottom : virtualScreen->bottom};
  if (clipped.left >= clipped.right || clipped.top >= clipped.bottom) return false;
  *rect = clipped;
  return true;
}

// The corner is clamped in 64 bits: a window may be anywhere in the 32-bit plane, and the far
// corner of an area there must not wrap before the comparison.
static int32_t ClampStart(int32_t start, int32_t length, int32_t low, int32_t high) {
  int64_t far = (int64_t)start + length;
  if (far > high) start = (int32_t)((int64_t)high - length);
  return start < low ? low : start;
}

Rect MoveAreaTo(const Rect* area, int32_t left, int32_t top, const Rect* virtualScreen) {
  int32_t width = area->right - area->left, height = area->bottom - area->top;
  left = ClampStart(left, width, virtualScreen->left, virtualScreen->right);
  top = ClampStart(top, height, virtualScreen->top, virtualScreen->bottom);
  return Rect{left, top, left + width, top + height};
}
