// Writes a few small movie streams with the core's writer into the folder given, as seeds for the
// fuzz target: every shape of record the reader meets in real movies, and a few damaged ones.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "Codec.h"
#include "TestSupport.h"

namespace {

void Save(const std::string& folder, int number, const std::vector<uint8_t>& movie) {
  std::string path = folder + "/written-" + std::to_string(number);
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return;
  fwrite(movie.data() + StubLength, 1, movie.size() - StubLength, f);  // the stream only
  fclose(f);
}

std::vector<uint8_t> Movie(int32_t width, int32_t height, int frames, uint32_t seed) {
  TestWriter w(width, height, seed & 1 ? "" : "seed");
  std::vector<uint32_t> pixels(size_t(width * height), 0);
  for (int k = 0; k < frames; k++) {
    for (size_t i = 0; i < pixels.size(); i++) {
      seed = seed * 1664525u + 1013904223u;
      if ((seed >> 28) < uint32_t(k % 4)) pixels[i] = seed;
    }
    w.Frame(pixels, uint8_t(k % 3), k, -k);
  }
  return w.Finish();
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int k = 0; k < 4; k++) b[at + size_t(k)] = uint8_t(v >> (8 * k));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::string folder = argv[1];
  Save(folder, 1, Movie(1, 1, 3, 1));
  Save(folder, 2, Movie(7, 5, 8, 2));
  Save(folder, 3, Movie(40, 3, 6, 3));
  Save(folder, 4, Movie(16, 16, 0, 4));
  // A payload length far beyond the packed buffer in the second record.
  std::vector<uint8_t> bad = Movie(7, 5, 4, 5);
  uint32_t first = FirstRecordOffset;
  uint32_t second = first + 13 + (bad[first + 9] | bad[first + 10] << 8);
  Put32(bad, second + 9, 0x7FFFFFF0);
  Save(folder, 5, bad);
  // A frame count larger than the records.
  std::vector<uint8_t> counted = Movie(9, 2, 5, 6);
  Put32(counted, counted.size() - TrailerSize, 50);
  Save(folder, 6, counted);
  return 0;
}
