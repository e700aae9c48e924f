// One 50-frame screen sequence for the comparison with other codecs (tests/bench/peers.sh):
//   peer_frames [--true-colour] SEQUENCE OUT.raw [MOVIE.exe [FRAMES]]
// makes the frames (1920 x 1080, in the colours the player shows, so every codec sees the same 256
// colours; with --true-colour in the colours they are drawn in, recorded as a true-colour movie), writes them to OUT.raw as 32-bit pixels 0x00RRGGBB (ffmpeg's bgr0), encodes them with
// our encoder and prints "SEQUENCE FRAMES STREAM_BYTES ENCODE_MS": the movie stream's size (header,
// frame records, end record, trailer; the 20480-byte player in front of it is left out) and the
// encoder's total time over the sequence, each frame read from memory as a capture would be.
// With MOVIE.exe it also writes the sequence as a movie, FRAMES frames long (default 50; the sequence
// goes on past its 50th frame), for the sharing figures (tests/bench/sharing.sh); OUT.raw "-" skips
// the raw frames and the timing then.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <string>
#include <vector>

#include "Codec.h"
#include "LZO.h"
#include "Scenes.h"
#include "TestSupport.h"
#include "UTypes.h"

namespace {

const uint32_t Width = 1920, Height = 1080, Frames = 50;

bool TrueColour = false;

bool MakeFrame(const std::string& sequence, uint32_t t, Picture& out) {
  if (sequence == "idle") {
    // Nothing happens but the text caret blinking about twice a second.
    DrawTextWindow(out, Width, Height, 0, 30);
    if (t / 3 % 2 == 0)
      for (uint32_t y = Height / 2 - 8; y < Height / 2 + 8; y++) out[y * Width + 60 + 30 * 9] = 0;
  } else if (sequence == "typing") {
    DrawTextWindow(out, Width, Height, 0, 30 + t);  // one character per frame: 60 words a minute
  } else if (sequence == "scrolling") {
    DrawTextWindow(out, Width, Height, 20 * t, 0);
  } else if (sequence == "motion") {
    DrawMotion(out, Width, Height, t);
  } else {
    return false;
  }
  if (!TrueColour) ToRgb332Colours(out);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--true-colour") {
    TrueColour = true;
    argv++, argc--;
  }
  if (argc < 3 || argc > 5) {
    fprintf(stderr, "usage: peer_frames [--true-colour] idle|typing|scrolling|motion OUT.raw|- [MOVIE.exe [FRAMES]]\n");
    return 2;
  }
  std::string sequence = argv[1];
  if (argc >= 4) {
    // One frame at a time: a minute of 1080p frames would not fit in memory at once.
    TestWriter writer(Width, Height, sequence.c_str(), nullptr, nullptr, TrueColour ? DepthTrueColour : Depth256);
    Picture frame;
    uint32_t count = argc == 5 ? (uint32_t)atoi(argv[4]) : Frames;
    for (uint32_t t = 0; t < count; t++) {
      if (!MakeFrame(sequence, t, frame)) {
        fprintf(stderr, "unknown sequence %s\n", argv[1]);
        return 2;
      }
      writer.Frame(frame, 0, 300 + (int32_t)(t % 50) * 4, 200);
    }
    std::vector<uint8_t> movie = writer.Finish();
    FILE* file = fopen(argv[3], "wb");
    if (!file || fwrite(movie.data(), 1, movie.size(), file) != movie.size() || fclose(file) != 0) return 1;
    if (std::string(argv[2]) == "-") return 0;
  }
  std::vector<Picture> frames(Frames);
  for (uint32_t t = 0; t < Frames; t++)
    if (!MakeFrame(sequence, t, frames[t])) {
      fprintf(stderr, "unknown sequence %s\n", argv[1]);
      return 2;
    }
  FILE* out = fopen(argv[2], "wb");
  if (!out) return 1;
  for (const Picture& frame : frames) fwrite(frame.data(), 4, frame.size(), out);
  if (fclose(out) != 0) return 1;

  uint32_t n = Width * Height, pixelBytes = TrueColour ? ColourBytes : CodeBytes;
  std::vector<uint8_t> shadow(n, 0), list(RunListBufferSize(n, pixelBytes)), packed(PackedBufferSize(n, pixelBytes)),
      work(LzoWorkSize);
  std::vector<uint32_t> colours(n, 0);
  uint64_t bytes = MovieHeaderSize + FrameHeaderSize + TrailerSize;
  double seconds = 0;
  for (const Picture& frame : frames) {
    auto t0 = std::chrono::steady_clock::now();
    int32_t payload = TrueColour ? EncodeFrame(frame.data(), colours.data(), n, list.data(), packed.data(), work.data())
                                 : EncodeFrame(frame.data(), shadow.data(), n, list.data(), packed.data(), work.data());
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    bytes += FrameHeaderSize + (uint32_t)payload;
  }
  printf("%s %u %llu %.3f\n", sequence.c_str(), Frames, (unsigned long long)bytes, seconds * 1000);
  return 0;
}
