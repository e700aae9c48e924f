// Frame codec: one captured frame against the shadow frame -> a run list of changed pixels, packed
// with LZO1X-1; and a run list back into 32-bit pixels. Two colour depths (UTypes.h):
//
// 256 colours, RGB332 code (one byte per pixel):
//                 bits 7-5 <- red 23-21, bits 4-2 <- green 15-13, bits 1-0 <- blue 7-6
//   Change run:   +0 RunStart (i32)   +4 RunLength (i32, >= 1)   +8 RunLength codes
//   Shadow:       one code per pixel; a pixel changed when its code did.
//
// True colour, the exact 24-bit colour (three bytes per pixel, blue first):
//   Change run:   +0 RunStart (i32)   +4 RunLength (i32, >= 1)   +8 RunLength x (blue, green, red)
//   Shadow:       one 32-bit colour 0x00RRGGBB per pixel; a pixel changed when any of its 24 bits
//                 did (bits 31-24 carry nothing and are never compared).
//
// The run rules are the same at both depths; "codes" below means a run's pixel bytes at either.
//
// A run list is the runs of one frame in ascending pixel order, with no count or separator. Runs begin
// and end on a changed pixel; up to 31 unchanged pixels are carried inside a run (with their current
// codes), because another 8-byte header costs more than 31 code bytes; so two runs are always more than
// 32 indices apart. Runs ignore row boundaries. The longest run list is one run over the whole frame,
// n + 8 bytes.
#pragma once
#include <stdint.h>

#include "UTypes.h"

inline uint8_t QuantiseRgb332(uint32_t p) {
  return (uint8_t)(((p >> 16) & 0xE0) | ((p >> 11) & 0x1C) | ((p >> 6) & 0x03));
}

inline uint32_t ExpandRgb332(uint8_t c) {
  return ((uint32_t)(c & 0xE0) << 16) | ((uint32_t)(c & 0x1C) << 11) | ((uint32_t)(c & 0x03) << 6);
}

// The decoder's colour for a code: code 255 would expand to 0x00E0E0C0, a grey that makes white
// backgrounds look dirty, so it is shown as pure white (which quantises to 255 as well).
inline uint32_t DecodeRgb332(uint8_t c) { return c == 255 ? 0x00FFFFFFu : ExpandRgb332(c); }

// Sizes of the encoder's per-recording buffers for a frame of n pixels with pixelBytes bytes per pixel
// in a run (CodeBytes or ColourBytes); b = n x pixelBytes.
uint32_t RunListBufferSize(uint32_t n, uint32_t pixelBytes = CodeBytes);  // b + 4096 (a list needs b + 8)
uint32_t PackedBufferSize(uint32_t n, uint32_t pixelBytes = CodeBytes);   // b + 4096, or LZO1X-1's worst
                                                                          // case for b + 8 bytes if larger

// Compares the n pixels with the shadow frame, updates the shadow and writes the run list into
// runList (RunListBufferSize(n) bytes: the encoder stores whole vectors, so bytes past the list's
// end may change). Returns the run list's length in bytes (0 when no code changed).
uint32_t BuildRunList(const uint32_t* pixels, uint8_t* shadow, uint32_t n, uint8_t* runList);

// BuildRunList, then LZO1X-1 packing of a non-empty run list into packed (PackedBufferSize(n) bytes)
// with lzoWork (LzoWorkSize bytes). Returns PayloadLength: the packed length, or 0 when nothing changed.
int32_t EncodeFrame(const uint32_t* pixels, uint8_t* shadow, uint32_t n, uint8_t* runList,
                    uint8_t* packed, void* lzoWork);

// The same two at true colour: the shadow holds n colours (all 0 at the start of a recording), the
// buffers are sized for ColourBytes.
uint32_t BuildRunList(const uint32_t* pixels, uint32_t* shadow, uint32_t n, uint8_t* runList);
int32_t EncodeFrame(const uint32_t* pixels, uint32_t* shadow, uint32_t n, uint8_t* runList,
                    uint8_t* packed, void* lzoWork);

// True when every run of the list lies inside the list and inside a frame of n pixels and has a
// length of at least 1. It does not check the encoder's spacing rules (RunListFollowsRules does).
bool RunListFitsFrame(const uint8_t* runList, uint32_t length, uint32_t n, uint32_t pixelBytes = CodeBytes);

// The run list as the encoder makes it: fits the frame, ascending, runs more than 32 indices apart.
bool RunListFollowsRules(const uint8_t* runList, uint32_t length, uint32_t n,
                         uint32_t pixelBytes = CodeBytes);

// Writes the runs into the frame of n pixels: decoded codes, or the colours as they are. A list that
// does not fit the frame (RunListFitsFrame) changes nothing and gives false, so a damaged record can
// never write outside the frame.
bool ApplyRunList(const uint8_t* runList, uint32_t length, uint32_t* frame, uint32_t n,
                  uint32_t pixelBytes = CodeBytes);
