// UTypes: the records and constants of the movie executable, shared by the recorder, the player,
// the tests and the tools. Portable: no Windows headers here.
//
// A movie executable is the player program followed by the movie stream:
//
//   file offset   length   content
//   0             20480    player stub (the player's own .exe, padded to StubLength)
//   20480         14       BitmapFileHeader   "BM", bfSize = 66 + biSizeImage, bfReserved1 = colour depth,
//                                             bfOffBits = 66
//   20494         52       BitmapInfo32       40-byte header (biHeight < 0: top-down) + 3 colour masks
//   20546         ...      frame records      FrameHeader (13 bytes) + PayloadLength bytes of LZO data
//   ...           13       end record         FrameHeader with PayloadLength -1
//   size - 132    132      MovieTrailer       FrameCount, MovieTitle[128] (GBK, NUL-terminated)
//
//   FrameHeader, packed:  +0 Button (u8)  +1 CursorX (i32)  +5 CursorY (i32)  +9 PayloadLength (i32)
//
// Colour depth: bfReserved1 of the file header says what a change run carries per pixel.
//
//   bfReserved1   depth          a change run (Codec.h)
//   0             256 colours    +0 RunStart (i32)  +4 RunLength (i32)  +8 RunLength RGB332 codes, 1 byte each
//   24            true colour    +0 RunStart (i32)  +4 RunLength (i32)  +8 RunLength colours, 3 bytes each:
//                                                   blue, green, red (the pixel 0x00RRGGBB, little-endian)
//
// Why bfReserved1: the writer sets it itself (it is not copied from the screen format query, as the
// BITMAPINFO fields are, which a display driver may fill as it likes) and always wrote 0, so every
// 256-colour movie ever made keeps its bytes; and it lies outside the BITMAPINFO that the player hands
// to the system for painting, so the depth changes nothing there. The frame stays 32 bits per pixel
// (biBitCount 32, biSizeImage 4 bytes per pixel) at both depths. Any other value is a header no
// reader plays.
//
// All integers are little-endian. The records below are declared packed so that they are exactly the
// file's bytes; both targets (i686 Windows and the native x86-64 build) are little-endian, which the
// static_assert below makes a build requirement rather than an assumption.
#pragma once
#include <stddef.h>
#include <stdint.h>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the movie records are stored little-endian");

// The stub length is the player's file size; the build pads Player.exe to it (and fails if the player
// grows beyond it), and both programs seek to it. CMake reads the value from this line.
#define TAVREL_STUB_LENGTH 20480
const uint32_t StubLength = TAVREL_STUB_LENGTH;

const uint32_t FramePeriodMs = 200;      // every frame record stands for 200 ms
const uint32_t FileHeaderSize = 14;
const uint32_t BitmapInfoSize = 52;
const uint32_t MovieHeaderSize = FileHeaderSize + BitmapInfoSize;  // bfOffBits, always 66
const uint32_t FirstRecordOffset = StubLength + MovieHeaderSize;   // 20546
const uint32_t FrameHeaderSize = 13;
const uint32_t TitleSize = 128;
const uint32_t TrailerSize = 4 + TitleSize;                        // 132
const uint16_t BitmapType = 0x4D42;                                // "BM"
const int32_t EndRecordLength = -1;                                // PayloadLength of the end record
const uint32_t RunHeaderSize = 8;                                  // RunStart, RunLength
const uint16_t Depth256 = 0;                                       // bfReserved1: RGB332 codes
const uint16_t DepthTrueColour = 24;                               // bfReserved1: 24-bit colours
const uint32_t CodeBytes = 1;                                      // bytes per pixel in a run, 256 colours
const uint32_t ColourBytes = 3;                                    // bytes per pixel in a run, true colour

// "无标题" (untitled) in GBK, the title of a recording made with an empty title field.
#define TAVREL_UNTITLED_GBK "\xCE\xDE\xB1\xEA\xCC\xE2"

#pragma pack(push, 1)
struct BitmapFileHeader {
  uint16_t bfType;
  uint32_t bfSize;
  uint16_t bfReserved1;
  uint16_t bfReserved2;
  uint32_t bfOffBits;
};

struct BitmapInfoHeader {
  uint32_t biSize;
  int32_t biWidth;
  int32_t biHeight;
  uint16_t biPlanes;
  uint16_t biBitCount;
  uint32_t biCompression;
  uint32_t biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;
  uint32_t biClrImportant;
};

// BITMAPINFO as the movie stores it: the header followed by three colour masks (red, green, blue).
struct BitmapInfo32 {
  BitmapInfoHeader Header;
  uint32_t Masks[3];
};

struct MovieHeader {
  BitmapFileHeader File;
  BitmapInfo32 Info;
};

struct FrameHeader {
  uint8_t Button;         // 0 no button, 1 left, 2 right (right wins when both are down)
  int32_t CursorX;        // top-left corner of the cursor image, relative to the area's top-left
  int32_t CursorY;
  int32_t PayloadLength;  // 0: nothing changed; -1: end record
};

struct MovieTrailer {
  int32_t FrameCount;     // frame records written, the end record not counted
  char MovieTitle[TitleSize];
};
#pragma pack(pop)

// Bytes per pixel in the header's change runs (the header is checked: bfReserved1 is 0 or 24).
inline uint32_t RunPixelBytes(const MovieHeader* header) {
  return header->File.bfReserved1 == DepthTrueColour ? ColourBytes : CodeBytes;
}

static_assert(sizeof(BitmapFileHeader) == FileHeaderSize, "file header is 14 bytes");
static_assert(offsetof(BitmapFileHeader, bfOffBits) == 10, "bfOffBits at 10");
static_assert(sizeof(BitmapInfoHeader) == 40, "bitmap info header is 40 bytes");
static_assert(sizeof(BitmapInfo32) == BitmapInfoSize, "BITMAPINFO with masks is 52 bytes");
static_assert(offsetof(MovieHeader, Info) == 14 && sizeof(MovieHeader) == 66, "movie header is 66 bytes");
static_assert(offsetof(FrameHeader, CursorX) == 1 && offsetof(FrameHeader, CursorY) == 5 &&
                  offsetof(FrameHeader, PayloadLength) == 9 && sizeof(FrameHeader) == FrameHeaderSize,
              "frame header is packed: fields at 0, 1, 5, 9");
static_assert(offsetof(MovieTrailer, MovieTitle) == 4 && sizeof(MovieTrailer) == TrailerSize,
              "trailer is 132 bytes");
static_assert(FirstRecordOffset == 20546, "first frame record at file offset 20546");

// Rectangles: left, top, right, bottom in pixels; right and bottom exclusive. Same layout as RECT.
struct Rect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};
