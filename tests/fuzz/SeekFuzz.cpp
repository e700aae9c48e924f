// Fuzz target of seeking: the input (FuzzInput.h) is a list of seeks and a movie stream. A reader that
// plays the movie from the start without snapshots gives the frame after every record; a second
// reader with snapshot memory (UseSnapshotMemory) seeks as the actions say, forwards, backwards and
// past either end, plays on between seeks, and after each must hold the frame after the same number
// of records as the first. A snapshot that changes a picture, is restored for the wrong frame or is
// taken where it should not be is a finding, as is any fault the sanitizers see.
#include <stdint.h>
#include <stdlib.h>

#include <vector>

#include "FuzzInput.h"
#include "Movie.h"

namespace {

uint64_t FrameHash(const MovieReader& reader) { return PixelHash(reader.FramePixels, reader.PixelCount); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  FuzzMovieFile file{input.Stream, input.StreamSize};
  // The first action: whether the reader has a trailer's room past the file (as the tool and the page
  // give it) and how many snapshot slots it has.
  uint8_t setup = input.Action(0);
  uint64_t room = setup & 0x80 ? TrailerSize : 0;
  FuzzReader plain, seeking;
  // Frames up to 64K pixels: larger ones only make each run slower.
  if (!plain.Open(&file, room, 1u << 16) || !seeking.Open(&file, room, 1u << 16)) return 0;

  // The frame after every record, played from the start (a record takes 13 bytes at least: the
  // file bounds their number).
  std::vector<uint64_t> frames{FrameHash(plain.Reader)};
  while (AdvanceMovieReader(&plain.Reader) >= 0) {
    Require(plain.Reader.CurrentFrame == (int32_t)frames.size());
    frames.push_back(FrameHash(plain.Reader));
  }
  int32_t records = (int32_t)frames.size() - 1;

  uint32_t slots = 1 + (setup & 0x3F);
  uint64_t bytes = SnapshotMemorySize(&seeking.Reader, slots);
  if (bytes > (64u << 20)) return 0;
  std::vector<uint64_t> memory((bytes + 7) / 8);
  UseSnapshotMemory(&seeking.Reader, memory.data(), slots);
  Require(seeking.Reader.SnapshotInterval >= MinSnapshotInterval);
  // As the page does, a first pass through the records may fill the snapshots before any seek.
  if (setup & 0x40) SeekMovieReader(&seeking.Reader, records);

  for (uint32_t k = 1; k < input.ActionCount; k++) {
    uint8_t action = input.Action(k);
    int32_t value = action & 0x3F;
    int32_t target = seeking.Reader.CurrentFrame;
    switch (action >> 6) {
      case 0: target = (int32_t)((int64_t)value * (records + 2) / 63) - 1; break;  // anywhere, -1 to records + 1
      case 1: target = records - value; break;                                    // near the end
      case 2: target = value * MinSnapshotInterval / 8; break;                    // around the intervals
      case 3:                                                                      // played on, as a tick does
        for (int32_t n = 0; n < value && AdvanceMovieReader(&seeking.Reader) >= 0; n++) {
        }
        target = -2;
        break;
    }
    if (target != -2) SeekMovieReader(&seeking.Reader, target);
    int32_t expected = target == -2 ? seeking.Reader.CurrentFrame : target < 0 ? 0 : target > records ? records : target;
    Require(seeking.Reader.CurrentFrame == expected && expected <= records);
    Require(FrameHash(seeking.Reader) == frames[(size_t)expected]);
  }
  return 0;
}
