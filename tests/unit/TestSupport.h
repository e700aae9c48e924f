// Helpers shared by the unit tests: movies in memory, files read whole.
#pragma once
#include <stdint.h>

#include <string>
#include <vector>

#include "Movie.h"

std::vector<uint8_t> ReadWholeFile(const std::string& path);

// A movie file held in memory, readable through a MovieSource.
struct MemoryFile {
  std::vector<uint8_t> Bytes;
  uint32_t Position = 0;
  MovieSource Source();
};

// A movie reader over a MemoryFile with buffers of the sizes it asks for.
struct TestReader {
  MovieReader Reader;
  std::vector<uint32_t> Frame;
  std::vector<uint8_t> Packed, RunList;
  bool Open(MemoryFile* file);
};

// Writes a movie into memory frame by frame with the core's writer.
struct TestWriter {
  explicit TestWriter(int32_t width, int32_t height, const char* title = "");
  void Frame(const std::vector<uint32_t>& pixels, uint8_t button = 0, int32_t x = 0, int32_t y = 0);
  std::vector<uint8_t> Finish();  // end record and trailer; the whole movie file with a zero stub
  MovieWriter Writer;
  MemoryFile File;
  std::vector<uint8_t> Shadow, RunList, Packed, Work;
};
