// Synthetic screens for the benchmark and the comparison with other codecs: a text document in a
// window (typed into and scrolled), and a full-motion picture in which every pixel moves.
#pragma once
#include <stdint.h>

#include <vector>

typedef std::vector<uint32_t> Picture;

// A window showing a text document whose first visible text row is scrollRow (in pixels), with
// typedChars characters typed at the start of the editing line in the middle of the page.
void DrawTextWindow(Picture& out, uint32_t width, uint32_t height, uint32_t scrollRow, uint32_t typedChars);

// Replaces the box (x, y, 200 x 30) with other text: a typing-like change.
void RetypeBox(Picture& out, uint32_t width, uint32_t x, uint32_t y, uint32_t seed);

// A smooth moving picture (video-like) at time step t.
void DrawMotion(Picture& out, uint32_t width, uint32_t height, uint32_t t);

// Every pixel reduced to the colour the player shows for its code.
void ToRgb332Colours(Picture& picture);
