// keys_check MOVIE [--strip X Y]: reads a movie the recorder wrote under Wine with the core's reader
// and prints its frame count, then its key presses, one line each, in the order of the keys block:
//   frames=N
//   key frame=F lead=MS key=0xVK mods=M char=0xCCCC
// (mods: format/Keys.h's KeyCtrl 1, KeyAlt 2, KeyShift 4, KeyWin 8; char 0 for a shortcut). A movie
// without a keys block prints no key line. Checks what holds for every press the recorder keeps: its
// frame is one of the movie's, frames never go back, the lead is at most one frame period, and the
// block holds whole records only. With --strip, the pixel (X, Y) of the frame shows the key counter of
// the keys program (tests/win/probe/KeysDialog.cpp): every press's frame must be the first to show a
// press. Exit code 1 and one "FAIL:" line per broken check.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "Codec.h"
#include "Keys.h"
#include "TestSupport.h"

namespace {

int Failures = 0;

void Fail(const std::string& what) {
  printf("FAIL: %s\n", what.c_str());
  Failures++;
}

// The press's time stamp and the capture's come from a clock of 10 to 16 ms steps, and the counter is
// repainted only once the recorder's hook, called first, has returned and the keys program's own hook
// has run (under Wine, each in its program's message loop: 23 ms after the press was seen on a busy
// machine). A press that close to a capture may show first in the next frame.
const uint32_t ClockSlackMs = 50;

}  // namespace

int main(int argc, char** argv) {
  bool strip = argc == 5 && !strcmp(argv[2], "--strip");
  if (argc != 2 && !strip) {
    fprintf(stderr, "usage: keys_check MOVIE [--strip X Y]\n");
    return 2;
  }
  MemoryFile file;
  file.Bytes = ReadWholeFile(argv[1]);
  TestReader reader;
  if (!reader.Open(&file)) {
    printf("FAIL: %s is no movie\n", argv[1]);
    return 1;
  }
  int32_t stripX = strip ? atoi(argv[3]) : 0, stripY = strip ? atoi(argv[4]) : 0;
  if (strip && (stripX < 0 || stripX >= reader.Reader.FrameWidth || stripY < 0 || stripY >= reader.Reader.FrameHeight)) {
    printf("FAIL: the strip lies outside the frame\n");
    return 1;
  }
  // The strip's colour in every frame; [0] is the black picture before the first.
  std::vector<uint32_t> counter(1, 0);
  while (AdvanceMovieReader(&reader.Reader) >= 0) {
    counter.resize((size_t)reader.Reader.CurrentFrame + 1);
    counter.back() = reader.Frame[(size_t)stripY * reader.Reader.FrameWidth + stripX];
  }
  uint32_t frames = (uint32_t)reader.Reader.CurrentFrame;
  printf("frames=%u\n", frames);

  MovieSource source = file.Source();
  SectionBlock block;
  if (!FindSectionBlock(&source, &reader.Reader.Section, TagKeys, &block)) return Failures ? 1 : 0;
  std::vector<uint8_t> data(block.Length);
  if (!ReadSectionBlock(&source, &block, data.data())) {
    printf("FAIL: the keys block cannot be read\n");
    return 1;
  }
  uint32_t at = 0, last = 0;
  KeyRecord key;
  while (NextKey(data.data(), block.Length, &at, &key)) {
    printf("key frame=%u lead=%u key=0x%02X mods=%u char=0x%04X\n", key.Frame, key.Lead, key.Key, key.Modifiers,
           key.Char);
    char which[64];
    snprintf(which, sizeof which, "the press of key 0x%02X at frame %u", key.Key, key.Frame);
    if (key.Frame < 1 || key.Frame > frames) Fail(std::string(which) + ": no frame of the movie's " + std::to_string(frames));
    else if (key.Frame < last) Fail(std::string(which) + ": earlier than the press before it (frame " + std::to_string(last) + ")");
    else if (strip && counter[key.Frame - 1] == counter[key.Frame] &&
             !(key.Lead <= ClockSlackMs && key.Frame < frames && counter[key.Frame] != counter[key.Frame + 1]))
      Fail(std::string(which) + ": the frame shows the key counter of the frame before");
    if (key.Lead > FramePeriodMs) Fail(std::string(which) + ": lead " + std::to_string(key.Lead) + " ms is more than a frame");
    if (key.Reserved) Fail(std::string(which) + ": reserved byte " + std::to_string(key.Reserved));
    last = key.Frame;
  }
  if (at != block.Length) Fail("the keys block has " + std::to_string(block.Length - at) + " bytes after its last press");
  return Failures ? 1 : 0;
}
