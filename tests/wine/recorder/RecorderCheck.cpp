// recorder_check MOVIE [checks...]: reads a movie executable the recorder wrote under Wine with the
// core's reader and checks it against what the test did. Prints one summary line; exit code 1 and
// one "FAIL:" line per broken check otherwise.
//
//   --size W H              the frame is W x H pixels
//   --title TEXT            the trailer's title is TEXT (bytes as given); --untitled: "无标题"
//   --min-frames N          at least N frame records
//   --scene SX SY AX AY     the scene program ran at screen (SX, SY) and the area's top-left is at
//                           (AX, AY): every frame must be one of the scene's pictures, pixel for
//                           pixel, and the bar must be seen in at least three positions, in order
//   --cursor AX AY X1 Y1 X2 Y2
//                           the pointer rested at screen (X1, Y1), then (X2, Y2), during the
//                           recording: the cursor records show both, one hotspot apart
//   --pause MIN_MS MAX_MS   after --scene: the recording was paused once for MIN_MS to MAX_MS, at the
//                           scene's clock: the bar's one long jump between two frames shows the
//                           pause, every other step is shorter, and the frames are as many as the
//                           scene's time from the first frame to the last, less the pause, gives
//   --stop SIZE_TEXT TIME_TEXT
//                           the dialog's size and time texts after the stop: exactly what
//                           FormatSize and FormatElapsed give for the finished file's size and
//                           FrameCount
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Codec.h"
#include "Func.h"
#include "Movie.h"
#include "ScenePicture.h"
#include "TestSupport.h"

namespace {

int Failures = 0;

void Fail(const std::string& what) {
  printf("FAIL: %s\n", what.c_str());
  Failures++;
}

struct Frame {
  std::vector<uint32_t> Pixels;
  FrameHeader Record;
};

// Bar position whose picture the frame shows exactly, -1 for none; -2: the bar is out of the area
// (the checkerboard alone matches several positions).
int MatchScene(const Frame& frame, int width, int height, int offsetX, int offsetY) {
  int found = -1;
  for (int bar = 0; bar < BarPositions; bar++) {
    bool same = true;
    for (int y = 0; y < height && same; y++)
      for (int x = 0; x < width; x++) {
        int sx = x + offsetX, sy = y + offsetY;
        uint32_t want = ScenePixel(sx, sy, bar);
        if (QuantiseRgb332(frame.Pixels[size_t(y) * width + x]) != QuantiseRgb332(want)) {
          same = false;
          break;
        }
      }
    if (!same) continue;
    // The bar outside the area leaves the same picture for every such position.
    if (bar + BarWidth <= offsetX || bar >= offsetX + width) return -2;
    if (found >= 0) return -2;
    found = bar;
  }
  return found;
}

// Phases of the scene from one bar position to another. The bar moves BarStep pixels a phase and
// wraps at BarPositions, a prime: within BarPositions phases every number of phases gives another
// position, so the positions of two frames less than a cycle apart tell the time between them.
int PhasesBetween(int from, int to) {
  int step = ((to - from) % BarPositions + BarPositions) % BarPositions;
  for (int p = 0; p < BarPositions; p++)
    if (p * BarStep % BarPositions == step) return p;
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: recorder_check MOVIE [checks]\n");
    return 2;
  }
  MemoryFile file;
  bool opened;
  file.Bytes = ReadWholeFile(argv[1], &opened);
  if (!opened) {
    printf("FAIL: cannot read %s\n", argv[1]);
    return 1;
  }
  TestReader test;
  if (!test.Open(&file)) {
    printf("FAIL: %s holds no movie (%zu bytes)\n", argv[1], file.Bytes.size());
    return 1;
  }
  MovieReader& reader = test.Reader;
  const std::vector<uint32_t>& pixels = test.Frame;

  std::vector<Frame> frames;
  int32_t length;
  while ((length = ReadNextRecord(&reader)) >= 0) {
    if (reader.LastStatus != RecordChanged && reader.LastStatus != RecordUnchanged)
      Fail("frame " + std::to_string(frames.size()) + " does not decode");
    frames.push_back(Frame{pixels, reader.Record});
  }
  if (reader.LastStatus != RecordEnd) Fail("the records do not end with an end record");
  // The reader stays in front of the end record.
  if (reader.Position + FrameHeaderSize + TrailerSize != file.Bytes.size())
    Fail("the trailer does not follow the end record directly");
  if (reader.Trailer.FrameCount != int32_t(frames.size()))
    Fail("trailer counts " + std::to_string(reader.Trailer.FrameCount) + " frames, the stream holds " +
         std::to_string(frames.size()));
  int width = reader.FrameWidth, height = reader.FrameHeight;
  std::string title(reader.Trailer.MovieTitle, strnlen(reader.Trailer.MovieTitle, TitleSize));
  std::string shown;  // GBK bytes escaped, so that the summary stays plain text
  for (unsigned char c : title) {
    char escaped[8];
    snprintf(escaped, sizeof escaped, c < 0x80 ? "%c" : "\\x%02X", c);
    shown += escaped;
  }
  printf("frames=%zu size=%dx%d file=%zu title=%s\n", frames.size(), width, height, file.Bytes.size(),
         shown.c_str());

  // A recording paused once has one long step of the bar, which --scene leaves to --pause.
  bool paused = false;
  for (int i = 2; i < argc; i++) paused = paused || std::string(argv[i]) == "--pause";
  std::vector<int> steps;  // the scene's phases from each frame to the next, after --scene
  for (int i = 2; i < argc; i++) {
    std::string option = argv[i];
    auto arg = [&](int k) { return i + k < argc ? atoi(argv[i + k]) : 0; };
    if (option == "--size") {
      if (width != arg(1) || height != arg(2))
        Fail("frame is " + std::to_string(width) + "x" + std::to_string(height) + ", expected " +
             argv[i + 1] + "x" + argv[i + 2]);
      i += 2;
    } else if (option == "--title" || option == "--untitled") {
      std::string want = option == "--title" ? argv[++i] : TAVREL_UNTITLED_GBK;
      if (title != want) Fail("title is '" + title + "', expected '" + want + "'");
    } else if (option == "--min-frames") {
      if (int(frames.size()) < arg(1)) Fail("only " + std::to_string(frames.size()) + " frames");
      i += 1;
    } else if (option == "--scene") {
      int offsetX = arg(3) - arg(1), offsetY = arg(4) - arg(2);
      std::vector<int> bars;
      int last = -1;
      for (size_t k = 0; k < frames.size(); k++) {
        int bar = MatchScene(frames[k], width, height, offsetX, offsetY);
        if (bar == -1) Fail("frame " + std::to_string(k) + " is not a picture of the scene");
        if (bar >= 0 && last >= 0) steps.push_back(PhasesBetween(last, bar));
        last = bar >= 0 ? bar : last;
        if (bar >= 0 && (bars.empty() || bars.back() != bar)) bars.push_back(bar);
      }
      std::string seen;
      for (int bar : bars) seen += " " + std::to_string(bar);
      printf("bar positions:%s\n", seen.c_str());
      if (bars.size() < 3) Fail("the bar was seen in fewer than three positions");
      // Consecutive positions seen must be less than 4 s of the scene apart, so frames cannot be out
      // of order or mixed up; a pause is the one exception allowed.
      bool pauseLeft = paused;
      for (size_t k = 1; k < bars.size(); k++) {
        int phases = PhasesBetween(bars[k - 1], bars[k]);
        if (phases < 40) continue;
        if (pauseLeft) {
          pauseLeft = false;
          continue;
        }
        Fail("bar jumped from " + std::to_string(bars[k - 1]) + " to " + std::to_string(bars[k]));
      }
      i += 4;
    } else if (option == "--pause") {
      // The frames of a running recording are a frame period (two phases) apart; the pause adds its
      // length to one step.
      int minMs = arg(1), maxMs = arg(2);
      std::vector<int> sorted = steps;
      std::sort(sorted.begin(), sorted.end());
      int longest = sorted.empty() ? 0 : sorted.back();
      int next = sorted.size() < 2 ? 0 : sorted[sorted.size() - 2];
      int pauseMs = (longest - 2) * PhaseMs;
      int spanMs = 0;
      for (int phases : steps) spanMs += phases * PhaseMs;
      int expected = (spanMs - pauseMs) / int(FramePeriodMs) + 1;
      printf("pause=%d ms, next longest step %d ms, scene time %d ms, %zu frames for %d expected\n", pauseMs,
             next * PhaseMs, spanMs, frames.size(), expected);
      if (pauseMs < minMs || pauseMs > maxMs)
        Fail("the longest step is a pause of " + std::to_string(pauseMs) + " ms, not " + argv[i + 1] + " to " +
             argv[i + 2]);
      if (next * PhaseMs >= minMs) Fail("a second step as long as the pause");
      int frameCount = int(frames.size());
      if (frameCount > expected + 2 || frameCount < expected - std::max(2, expected / 5))
        Fail(std::to_string(frameCount) + " frames for " + std::to_string(spanMs - pauseMs) + " ms not paused");
      i += 2;
    } else if (option == "--cursor") {
      int ax = arg(1), ay = arg(2), x1 = arg(3), y1 = arg(4), x2 = arg(5), y2 = arg(6);
      std::set<std::pair<int, int>> positions;
      for (const Frame& f : frames) positions.insert({f.Record.CursorX, f.Record.CursorY});
      // CursorX = pointer x - area left - hotspot x; the hotspot is the same for the whole recording.
      bool found = false;
      for (const auto& p : positions) {
        int hx = x1 - ax - p.first, hy = y1 - ay - p.second;
        if (hx < 0 || hx > 31 || hy < 0 || hy > 31) continue;
        if (positions.count({x2 - ax - hx, y2 - ay - hy})) found = true;
      }
      if (!found) Fail("no cursor records at both pointer positions");
      i += 6;
    } else if (option == "--stop") {
      std::string sizeText = argv[i + 1], timeText = argv[i + 2];
      char size[ShortTextSize], time[ShortTextSize];
      FormatSize(size, file.Bytes.size());
      FormatElapsed(time, int32_t(reader.Trailer.FrameCount * FramePeriodMs));
      if (sizeText != size) Fail("size text '" + sizeText + "', but the file of " + std::to_string(file.Bytes.size()) +
                                 " bytes gives '" + size + "'");
      if (timeText != time) Fail("time text '" + timeText + "', but FrameCount " +
                                 std::to_string(reader.Trailer.FrameCount) + " gives '" + time + "'");
      i += 2;
    } else {
      fprintf(stderr, "unknown check %s\n", option.c_str());
      return 2;
    }
  }
  return Failures ? 1 : 0;
}
