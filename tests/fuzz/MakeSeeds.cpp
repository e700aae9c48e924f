// Writes a few small movie streams with the core's writer into the folder given, as seeds for the
// fuzz target: every shape of record the reader meets in real movies, a section with steps, and a
// few damaged ones.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "Codec.h"
#include "Keys.h"
#include "Section.h"
#include "Sound.h"
#include "TestSupport.h"

namespace {

void Save(const std::string& folder, int number, const std::vector<uint8_t>& movie) {
  std::string path = folder + "/written-" + std::to_string(number);
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return;
  fwrite(movie.data() + StubLength, 1, movie.size() - StubLength, f);  // the stream only
  fclose(f);
}

std::vector<uint8_t> Movie(int32_t width, int32_t height, int frames, uint32_t seed, uint16_t depth = Depth256) {
  TestWriter w(width, height, seed & 1 ? "" : "seed", nullptr, nullptr, depth);
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
  // True colour: the same shapes with three bytes a pixel, one pixel to an odd width, and damage.
  Save(folder, 7, Movie(1, 1, 3, 7, DepthTrueColour));
  Save(folder, 8, Movie(7, 5, 8, 8, DepthTrueColour));
  Save(folder, 9, Movie(33, 3, 6, 9, DepthTrueColour));
  std::vector<uint8_t> badColours = Movie(7, 5, 4, 10, DepthTrueColour);
  second = first + 13 + (badColours[first + 9] | badColours[first + 10] << 8);
  Put32(badColours, second + 9, 0x7FFFFFF0);
  Save(folder, 10, badColours);
  // Sections: steps, keys and a block of a kind no reader knows; and the same with the footer's length
  // off.
  TestWriter w(12, 9, "steps");
  std::vector<uint32_t> pixels(12 * 9, 0xFFFFFF);
  for (int k = 0; k < 4; k++) w.Frame(pixels, 1, k, k);
  std::vector<uint8_t> steps;
  StepRecord records[] = {{1, 30, StepLeft, 0, 3, 4, 0}, {3, 0, StepRight, StepDouble, -2, 20, 0}};
  for (const StepRecord& record : records) {
    size_t at = steps.size();
    steps.resize(at + StepSize(6));
    steps.resize(at + PutStep(steps.data() + at, &record, "\xB1\xA3\xB4\xE6ok", 6));
  }
  KeyRecord keys[] = {{1, 20, 'S', KeyCtrl, 0, 0}, {2, 0, 'Z', KeyCtrl, 0, 0}, {2, 0, 'Z', KeyCtrl, 0, 0},
                      {3, 50, 'A', 0, 0, 'a'}, {3, 10, 'B', KeyShift, 0, 'B'}, {4, 0, 0x25, 0, 0, 0}};
  std::vector<uint8_t> keyBytes((const uint8_t*)keys, (const uint8_t*)keys + sizeof keys);
  std::vector<uint8_t> sectioned = w.FinishWithSection(
      {{SectionTag('X', 'T', 'R', 'A'), {1, 2, 3}}, {TagKeys, keyBytes}, {TagSteps, steps}});
  Save(folder, 11, sectioned);
  sectioned[sectioned.size() - TrailerSize - SectionFooterSize] += 2;
  Save(folder, 12, sectioned);
  // A narrated movie: a sound block of two frames from the second frame on.
  TestWriter narrated(6, 4, "sound");
  for (int k = 0; k < 3; k++) narrated.Frame(std::vector<uint32_t>(24, 0x102030u * (uint32_t)k));
  MemoryFile side;
  SoundFileWriter sound{};
  sound.Sink = side.Sink();
  StartSoundFile(&sound, 2);
  std::vector<int16_t> pcm(2 * RecordedSampleRate / FramesPerSecond);
  for (size_t i = 0; i < pcm.size(); i++) pcm[i] = int16_t((i * 997) % 20000 - 10000);
  AddSound(&sound, pcm.data(), (uint32_t)pcm.size());
  Save(folder, 13, narrated.FinishWithSound(&side));
  return 0;
}
