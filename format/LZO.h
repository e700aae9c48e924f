// LZO: the only calls into liblzo2. Runs are packed with LZO1X-1 while recording, or with LZO1X-999
// when a finished movie is packed again (smaller, many times slower, same format); payloads are
// unpacked with the bounds-checked decompressor, because a damaged or hostile movie must never make
// the player write outside its run list buffer.
#pragma once
#include <stdint.h>

// Size of the work memory lzo1x_1_compress needs: 64 KiB with 32-bit pointers, 128 KiB with 64-bit ones.
extern const uint32_t LzoWorkSize;

// LZO1X-1's worst-case output for m input bytes.
inline uint32_t LzoWorstCase(uint32_t m) { return m + m / 16 + 64 + 3; }

// Packs length bytes into out (at least LzoWorstCase(length) bytes); returns the packed length.
int32_t PackRunList(const uint8_t* runList, uint32_t length, uint8_t* out, void* lzoWork);

// PackRunList with LZO1X-999 (at level 7) and LzoBestWorkSize bytes of work memory. Its output never exceeds
// LZO1X-1's worst case, so it fits the same buffers.
extern const uint32_t LzoBestWorkSize;
int32_t PackRunListBest(const uint8_t* runList, uint32_t length, uint8_t* out, void* lzoWork);

// Unpacks a payload into out (capacity bytes). Returns the unpacked length, or -1 when the payload is
// damaged or would unpack to more than capacity.
int32_t UnpackPayload(const uint8_t* payload, uint32_t length, uint8_t* out, uint32_t capacity);
