// Helpers shared by the native test programs (unit tests, the tool's tests, the Wine tests' checkers):
// movies in memory, written and read with the core's own writer and reader, and files read whole.
#pragma once
#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "Movie.h"

// The whole file; empty when it cannot be read (opened, if given, tells that apart from an empty file).
std::vector<uint8_t> ReadWholeFile(const std::string& path, bool* opened = nullptr);

// The screen format the recorder stores for a 32-bit desktop: BI_BITFIELDS with the usual RGB masks.
BitmapInfo32 ScreenFormat32();

// A movie file held in memory: read and seek through Source(), append through Sink().
struct MemoryFile {
  std::vector<uint8_t> Bytes;
  uint64_t Position = 0;
  MovieSource Source();  // FileSize is the size at the time of the call
  MovieSink Sink();
};

// A movie reader over a MemoryFile with buffers of the sizes it asks for.
struct TestReader {
  MovieReader Reader{};
  std::vector<uint32_t> Frame;
  std::vector<uint8_t> Packed, RunList;
  bool Open(MemoryFile* file);
};

// Writes a movie into memory frame by frame with the core's writer. The writer points into this
// object's buffers, so it must stay where it was made.
struct TestWriter {
  // Without a stub the movie starts with StubLength zero bytes. With a sink the movie goes there
  // instead of into File. depth: Depth256 or DepthTrueColour.
  TestWriter(int32_t width, int32_t height, const char* title = "", const std::vector<uint8_t>* stub = nullptr,
             const MovieSink* sink = nullptr, uint16_t depth = Depth256);
  TestWriter(const TestWriter&) = delete;
  TestWriter& operator=(const TestWriter&) = delete;
  void Frame(const std::vector<uint32_t>& pixels, uint8_t button = 0, int32_t x = 0, int32_t y = 0);
  // A record as it stands in the file, whatever its content (damage the writer never makes);
  // counted like a frame, so the trailer and the end record follow it as usual.
  void RawRecord(uint8_t button, int32_t x, int32_t y, int32_t length, const std::vector<uint8_t>& payload);
  // Writes the end record and trailer and gives the whole movie file. A frameCount >= 0 replaces the
  // trailer's FrameCount, for movies whose trailer disagrees with their records.
  std::vector<uint8_t> Finish(int32_t frameCount = -1);
  // The same with a section of these blocks (tag, data) between the end record and the trailer.
  std::vector<uint8_t> FinishWithSection(const std::vector<std::pair<uint32_t, std::vector<uint8_t>>>& blocks);
  // The same with the sound of a sound file as the recorder writes it (format/Sound.h) as its section.
  std::vector<uint8_t> FinishWithSound(MemoryFile* soundFile);
  MovieWriter Writer;
  MemoryFile File;
  std::vector<uint8_t> Shadow, RunList, Packed, Work;
  std::vector<uint32_t> Colours;  // the shadow of a true-colour movie
};

// A movie whose records run past `beyond` bytes (past 4 GiB, say) in a sparse file that takes a few
// MB of disk. The frame is the largest a reader takes (8192 x 8192); white frames, which pack small,
// alternate with black ones whose payload is their run list stored as one LZO literal run: almost all
// zero bytes, left as holes in the file. The last two frames lie behind `beyond`: one paints the first
// HugeRedPixels pixels of the top row red (code 0xE0), the last changes nothing (so that the go-to
// dialog, which takes frames below FrameCount, reaches the red one). Every record puts the cursor at
// (4000, 4000). Returns the FrameCount, or 0 when the file could not be written.
const int32_t HugeWidth = 8192, HugeHeight = 8192;
const uint32_t HugeRedPixels = 100;
int32_t WriteHugeSparseMovie(const std::string& path, const std::vector<uint8_t>& stub, const char* title,
                             uint64_t beyond);
