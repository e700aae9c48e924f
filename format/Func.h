// Func: the text, number and rectangle routines of both programs, portable so that they are tested
// natively exactly as the programs run them.
#pragma once
#include <stdint.h>

#include "UTypes.h"

// Buffers for the texts below, each large enough for any input.
const uint32_t ShortTextSize = 24;     // FormatElapsed, FormatSize, IntToText
const uint32_t PlayTimeTextSize = 32;  // FormatPlayTime: "mm:ss/mm:ss " with minutes of any size

// "mm:ss" with at least two digits each; minutes are not folded into hours ("75:00").
void FormatElapsed(char* buffer, int32_t milliseconds);

// "N KB" with N = bytes / 1024 + 1 (0 bytes show 1 KB, 1024 bytes 2 KB), for files of any length.
void FormatSize(char* buffer, uint64_t bytes);

// "mm:ss/mm:ss " (current/total, with a trailing blank that keeps the text off the window's edge).
void FormatPlayTime(char* buffer, int32_t currentMs, int32_t totalMs);

// Decimal text of a signed 32-bit value: minus sign, no leading zeros, no grouping.
void IntToText(char* buffer, int32_t value);

// Leading blanks skipped; "$", "x", "X", "0x" or "0X" start hexadecimal digits, otherwise an optional
// sign and decimal digits. Conversion stops at the first character that fits neither; the minus sign
// only counts when the digits run to the end of the text. Never fails: no digits give 0.
int32_t TextToInt(const char* text);

// The length of text cut to at most maxBytes bytes without splitting a GBK character: a lead byte
// (0x81-0xFE) and the byte after it stay together, and a lead byte with no byte after it is dropped.
uint32_t GbkCutLength(const char* text, uint32_t maxBytes);

// The frame a mouse press belongs to: the first frame captured at or after it. times[frame % slots]
// holds the capture time, on a wrapping millisecond clock, of the frames last - slots + 1 ... last
// (frames count from 1; those below 1 do not exist). Gives that frame, and in *lead the milliseconds
// from the press to its capture, at most one frame period: the time of a pause or of a late tick is no
// time in the movie. 0 when the press came after frame last was captured (the next frame will be
// its own); a press older than every frame remembered gets the oldest.
int32_t StepFrame(const uint32_t* times, uint32_t slots, int32_t last, uint32_t pressed, uint16_t* lead);

// Orders the corners so that left <= right and top <= bottom.
void NormaliseRect(Rect* rect);

// Moves every side one pixel inwards.
void ShrinkRect(Rect* rect);

// The virtual screen: the bounding rectangle of all monitors, as GetSystemMetrics gives it
// (SM_XVIRTUALSCREEN, SM_YVIRTUALSCREEN, SM_CXVIRTUALSCREEN, SM_CYVIRTUALSCREEN). Screen coordinates
// start at the primary monitor's top-left corner, so the origin is negative when a monitor lies left
// of or above the primary one.
Rect VirtualScreenRect(int32_t x, int32_t y, int32_t width, int32_t height);

// The selection window covers the virtual screen, so its client point 0, 0 is the virtual screen's
// top-left corner: a rectangle in its client coordinates, moved to screen coordinates.
Rect SelectionToScreen(const Rect* client, const Rect* virtualScreen);

// The part of a rectangle inside the virtual screen (a window picked for recording may reach past its
// edges): false, and the rectangle unchanged, when nothing of it is inside.
bool ClipToScreen(Rect* rect, const Rect* virtualScreen);

// A capture area that follows a window: the same size, its top-left corner at (left, top), moved back
// inside the virtual screen where it would leave it. An area wider or taller than the screen starts at
// the screen's left or top edge.
Rect MoveAreaTo(const Rect* area, int32_t left, int32_t top, const Rect* virtualScreen);
