// Writes small movie streams with the core's writer as seeds for the fuzz targets: every kind of
// record (changed, unchanged, each button, payloads that do not unpack or whose runs leave the
// frame), both colour depths, sections with every kind of block, and the damage the unit tests make.
//   movie_fuzz_seeds STREAMS PLAYED [VECTOR.stream ...]
// STREAMS gets the bare streams (movie_fuzz's corpus); PLAYED gets the same movies, and the vector
// streams named, behind a list of actions (FuzzInput.h: seeks, steps, a trim's span), for the targets
// that act on a movie.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "Codec.h"
#include "FuzzInput.h"
#include "Keys.h"
#include "LZO.h"
#include "Section.h"
#include "Sound.h"
#include "TestSupport.h"

namespace {

std::string Streams, Played;

void Write(const std::string& path, const std::vector<uint8_t>& prefix, const uint8_t* data, size_t size) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return;
  fwrite(prefix.data(), 1, prefix.size(), f);
  fwrite(data, 1, size, f);
  fclose(f);
}

// Actions that seek to both ends, across snapshot intervals and past the end, and play on; as a trim
// span, frames 2 to 5.
const std::vector<uint8_t> Actions = {9, 0xC5, 0x02, 0x05, 0x3F, 0x40, 0x81, 0xC3, 0x00, 0x7F};

void Save(int number, const std::vector<uint8_t>& movie) {
  std::string name = "/written-" + std::to_string(number);
  Write(Streams + name, {}, movie.data() + StubLength, movie.size() - StubLength);  // the stream only
  Write(Played + name, Actions, movie.data() + StubLength, movie.size() - StubLength);
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

void Append32(std::vector<uint8_t>& b, uint32_t v) {
  for (int k = 0; k < 4; k++) b.push_back(uint8_t(v >> (8 * k)));
}

std::vector<uint8_t> Steps(const std::vector<StepRecord>& records, const char* text, uint32_t textLength) {
  std::vector<uint8_t> steps;
  for (const StepRecord& record : records) {
    size_t at = steps.size();
    steps.resize(at + StepSize(textLength));
    steps.resize(at + PutStep(steps.data() + at, &record, text, textLength));
  }
  return steps;
}

// Two seconds of narration as the recorder writes it, in a sound file of its own.
void RecordSound(MemoryFile* side, uint32_t startFrame) {
  SoundFileWriter sound{};
  sound.Sink = side->Sink();
  StartSoundFile(&sound, startFrame);
  std::vector<int16_t> pcm(2 * RecordedSampleRate / FramesPerSecond);
  for (size_t i = 0; i < pcm.size(); i++) pcm[i] = int16_t((i * 997) % 20000 - 10000);
  AddSound(&sound, pcm.data(), (uint32_t)pcm.size());
}

// Every kind of frame record: changed and unchanged, each button, a payload that does not unpack and
// run lists that leave the frame or the list; at both depths.
std::vector<uint8_t> EveryRecord(uint16_t depth) {
  TestWriter w(8, 4, "records", nullptr, nullptr, depth);
  std::vector<uint32_t> pixels(32, 0);
  w.Frame(pixels, 0, 1, 1);
  pixels[3] = 0xFF0000;
  w.Frame(pixels, 1, 2, 2);
  w.Frame(pixels, 2, 3, 3);  // unchanged
  w.RawRecord(0, 4, 4, 5, {1, 2, 3, 4, 5});  // no LZO stream
  uint32_t pixelBytes = depth == DepthTrueColour ? ColourBytes : CodeBytes;
  for (uint32_t start : {30u, 0xFFFFFFF0u}) {
    std::vector<uint8_t> runs;
    Append32(runs, start);
    Append32(runs, 4);
    runs.resize(runs.size() + 4 * pixelBytes, 0xE0);
    std::vector<uint8_t> packed(LzoWorstCase(uint32_t(runs.size())) + 16), work(LzoWorkSize);
    int32_t length = PackRunList(runs.data(), uint32_t(runs.size()), packed.data(), work.data());
    packed.resize(size_t(length));
    w.RawRecord(1, 5, 5, length, packed);
  }
  pixels[9] = 0x00FF00;
  w.Frame(pixels, 0, 6, 6);
  return w.Finish();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  Streams = argv[1];
  Played = argv[2];
  for (int k = 3; k < argc; k++) {
    FILE* f = fopen(argv[k], "rb");
    if (!f) return 1;
    std::vector<uint8_t> stream;
    for (int c; (c = fgetc(f)) != EOF;) stream.push_back(uint8_t(c));
    fclose(f);
    std::string name = argv[k];
    Write(Played + name.substr(name.find_last_of('/')), Actions, stream.data(), stream.size());
  }
  Save(1, Movie(1, 1, 3, 1));
  Save(2, Movie(7, 5, 8, 2));
  Save(3, Movie(40, 3, 6, 3));
  Save(4, Movie(16, 16, 0, 4));
  // A payload length far beyond the packed buffer in the second record.
  std::vector<uint8_t> bad = Movie(7, 5, 4, 5);
  uint32_t first = FirstRecordOffset;
  uint32_t second = first + 13 + (bad[first + 9] | bad[first + 10] << 8);
  Put32(bad, second + 9, 0x7FFFFFF0);
  Save(5, bad);
  // A frame count larger than the records.
  std::vector<uint8_t> counted = Movie(9, 2, 5, 6);
  Put32(counted, counted.size() - TrailerSize, 50);
  Save(6, counted);
  // True colour: the same shapes with three bytes a pixel, one pixel to an odd width, and damage.
  Save(7, Movie(1, 1, 3, 7, DepthTrueColour));
  Save(8, Movie(7, 5, 8, 8, DepthTrueColour));
  Save(9, Movie(33, 3, 6, 9, DepthTrueColour));
  std::vector<uint8_t> badColours = Movie(7, 5, 4, 10, DepthTrueColour);
  second = first + 13 + (badColours[first + 9] | badColours[first + 10] << 8);
  Put32(badColours, second + 9, 0x7FFFFFF0);
  Save(10, badColours);
  // Sections: steps, keys and a block of a kind no reader knows; and the same with the footer's length
  // off.
  TestWriter w(12, 9, "steps");
  std::vector<uint32_t> pixels(12 * 9, 0xFFFFFF);
  for (int k = 0; k < 4; k++) w.Frame(pixels, 1, k, k);
  std::vector<uint8_t> steps =
      Steps({{1, 30, StepLeft, 0, 3, 4, 0}, {3, 0, StepRight, StepDouble, -2, 20, 0}}, "\xB1\xA3\xB4\xE6ok", 6);
  KeyRecord keys[] = {{1, 20, 'S', KeyCtrl, 0, 0}, {2, 0, 'Z', KeyCtrl, 0, 0}, {2, 0, 'Z', KeyCtrl, 0, 0},
                      {3, 50, 'A', 0, 0, 'a'}, {3, 10, 'B', KeyShift, 0, 'B'}, {4, 0, 0x25, 0, 0, 0}};
  std::vector<uint8_t> keyBytes((const uint8_t*)keys, (const uint8_t*)keys + sizeof keys);
  std::vector<uint8_t> sectioned = w.FinishWithSection(
      {{SectionTag('X', 'T', 'R', 'A'), {1, 2, 3}}, {TagKeys, keyBytes}, {TagSteps, steps}});
  Save(11, sectioned);
  sectioned[sectioned.size() - TrailerSize - SectionFooterSize] += 2;
  Save(12, sectioned);
  // A narrated movie: a sound block of two frames from the second frame on.
  TestWriter narrated(6, 4, "sound");
  for (int k = 0; k < 3; k++) narrated.Frame(std::vector<uint32_t>(24, 0x102030u * (uint32_t)k));
  MemoryFile side;
  RecordSound(&side, 2);
  Save(13, narrated.FinishWithSound(&side));
  // Every kind of record, at both depths.
  Save(14, EveryRecord(Depth256));
  Save(15, EveryRecord(DepthTrueColour));
  // A section with every kind of block, at both depths: steps, sound and keys, as the recorder
  // writes them; then the same with the last step and the last key cut short.
  for (uint16_t depth : {Depth256, DepthTrueColour}) {
    TestWriter full(10, 6, "\xC8\xAB\xB2\xBF", nullptr, nullptr, depth);  // GBK
    std::vector<uint32_t> frame(60, 0);
    for (int k = 0; k < 6; k++) {
      frame[size_t(k * 7)] = 0xFF8000u >> k;
      full.Frame(frame, uint8_t(k % 3), k, k + 1);
    }
    WriteMovieEndRecord(&full.Writer);
    steps = Steps({{2, 10, StepLeft, 0, 1, 1, 0}, {5, 190, StepMiddle, StepDouble, 9, 5, 0}}, "\xB2\xBD", 2);
    WriteSectionBlock(&full.Writer, TagSteps, steps.data(), uint32_t(steps.size()));
    MemoryFile sound;
    RecordSound(&sound, 3);
    MovieSource source = sound.Source();
    SoundHeader header;
    uint8_t buffer[4096];
    if (OpenSoundFile(&source, &header))
      WriteSoundBlock(&full.Writer, &header, &source, SoundHeaderSize, buffer, sizeof buffer);
    KeyRecord keys[] = {{1, 20, 0x41, KeyCtrl, 0, 0}, {3, 0, 0x0D, 0, 0, 0}, {6, 199, 0x5A, KeyCtrl | KeyShift, 0, 0}};
    WriteKeys(&full.Writer, keys, 3);
    WriteMovieTrailer(&full.Writer);
    Save(depth == Depth256 ? 16 : 17, full.File.Bytes);
  }
  // Damage the tool's tests meet: a record cut off, the trailer missing or behind extra bytes, a
  // title without its terminator or ending in half a GBK character, a header whose size field or
  // masks disagree, a steps block whose last step is cut.
  std::vector<uint8_t> base = Movie(5, 3, 4, 11);
  std::vector<uint8_t> cut(base.begin(), base.end() - TrailerSize - 7);
  Save(18, cut);
  std::vector<uint8_t> noTrailer(base.begin(), base.end() - TrailerSize);
  Save(19, noTrailer);
  std::vector<uint8_t> extra = base;
  extra.insert(extra.end() - TrailerSize, {7, 7, 7});
  Save(20, extra);
  std::vector<uint8_t> unterminated = base;
  memset(unterminated.data() + unterminated.size() - TitleSize, 'a', TitleSize);
  Save(21, unterminated);
  std::vector<uint8_t> lone = base;  // "ab" and a GBK lead byte without its second byte
  memset(lone.data() + lone.size() - TitleSize, 0, TitleSize);
  memcpy(lone.data() + lone.size() - TitleSize, "ab\xB1", 3);
  Save(22, lone);
  std::vector<uint8_t> sized = base;
  Put32(sized, StubLength + 2, 1234);  // bfSize
  Save(23, sized);
  std::vector<uint8_t> masked = base;
  Put32(masked, StubLength + 30, 3);  // BI_BITFIELDS with masks of zero
  Save(24, masked);
  TestWriter cutSteps(4, 4, "cut");
  cutSteps.Frame(std::vector<uint32_t>(16, 0xFF));
  cutSteps.Frame(std::vector<uint32_t>(16, 0xFF00));
  steps = Steps({{1, 5, StepLeft, 0, 1, 1, 0}, {2, 5, StepRight, 0, 2, 2, 0}}, "x", 1);
  steps.resize(steps.size() - 3);
  Save(25, cutSteps.FinishWithSection({{TagSteps, steps}}));
  return 0;
}
