// Images: PNG and animated GIF output of decoded frames (libpng, giflib), and the player's cursor
// images drawn over a frame.
#pragma once
#include <stdint.h>

#include <string>
#include <vector>

#include "UTypes.h"

// A cursor image as the player draws it: its top-left corner at the recorded position, transparent
// pixels left alone. The hot spot plays no part in drawing.
struct CursorImage {
  int32_t Width = 0, Height = 0;
  std::vector<uint32_t> Pixels;  // 0x00RRGGBB
  std::vector<uint8_t> Opaque;
};

// The three cursor images "cur0", "cur1", "cur2" (no button, left, right), built into the tool from
// the same pixel art as the player's resources. False with a message when none are built in.
bool LoadButtonCursors(std::vector<CursorImage>* cursors, std::string* error);

// Parses the pixel-art text of one cursor (size, hotspot, rows of colour letters, "." transparent).
bool ParseCursorArt(const std::string& text, CursorImage* image, std::string* error);

// Draws the cursor for a frame header into a width x height frame; a Button without an image draws
// nothing.
void DrawCursor(uint32_t* frame, int32_t width, int32_t height, const std::vector<CursorImage>& cursors,
                const FrameHeader& record);

// True when this build can write PNG and GIF files.
bool ImagesAvailable();

bool WritePng(const std::string& path, const uint32_t* frame, int32_t width, int32_t height, std::string* error);
// The same PNG in memory.
bool EncodePng(const uint32_t* frame, int32_t width, int32_t height, std::vector<uint8_t>* png, std::string* error);

// An animated GIF with one image per frame record, each shown for the frame period. For a 256-colour
// movie the 256 RGB332 colours are the GIF's palette, so a decoded frame goes in without loss. For a
// true-colour movie each image (the rectangle that changed) carries a palette of its own: its colours
// when it has at most 256, else the 256 that giflib's quantiser (GifQuantizeBuffer) makes for them.
struct GifOutput;
GifOutput* BeginGif(const std::string& path, int32_t width, int32_t height, bool trueColour, std::string* error);
bool AddGifFrame(GifOutput* gif, const uint32_t* frame, std::string* error);
bool FinishGif(GifOutput* gif, std::string* error);  // commits the file; frees gif either way
void AbandonGif(GifOutput* gif);
