// The codec written the plain way, one pixel at a time, exactly as the format describes it. The fast
// encoder and decoder in format/ are checked against it byte for byte, and the benchmark measures how
// much faster they are.
#pragma once
#include <stdint.h>

// Compares the n pixels with the shadow frame, updates the shadow and writes the run list; returns
// its length in bytes.
uint32_t ReferenceBuildRunList(const uint32_t* pixels, uint8_t* shadow, uint32_t n, uint8_t* runList);

// The same at true colour: a shadow of colours, three bytes (blue, green, red) per pixel in a run.
uint32_t ReferenceBuildRunList(const uint32_t* pixels, uint32_t* shadow, uint32_t n, uint8_t* runList);

// Writes a well-formed run list into the frame of n pixels (no checks: the caller made the list);
// pixelBytes 1 for codes, 3 for colours.
void ReferenceApplyRunList(const uint8_t* runList, uint32_t length, uint32_t* frame, uint32_t pixelBytes = 1);
