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
//   --unmatched N           before --scene: up to N frames may be no picture of the scene (taken while
//                           the scene's window was being moved, a recording that follows it catching
//                           up); the rest must be
//   --pause MIN_MS MAX_MS   after --scene: the recording was paused once for MIN_MS to MAX_MS, at the
//                           scene's clock: the bar's one long jump between two frames shows the
//                           pause, every other step is shorter, and the frames are as many as the
//                           scene's time from the first frame to the last, less the pause, gives
//   --screen FILE SW SH AX AY
//                           FILE holds the screen as it was during the whole recording (SW x SH
//                           pixels 0x00RRGGBB, little-endian) and the area's top-left is at (AX, AY):
//                           at true colour every frame is the screen's colours, pixel for pixel; at
//                           256 colours every frame is the screen's codes and the records are byte
//                           for byte what the plain 256-colour codec makes (the first one the screen
//                           against a black shadow, packed with LZO1X-1; every later one unchanged)
//   --strip X Y             the pixel (X, Y) of the frame shows the press counter of the steps
//                           program (tests/win/probe/StepsDialog.cpp): it changes with every press
//   --step KIND X Y NAME    the next step of the movie's steps block, in the order given: a press of
//                           KIND (left, right or double: a left double-click's second press) at
//                           (X, Y) from the area's top-left, whose description names NAME (ASCII)
//                           and the window "steps". After --strip, its frame must be the first to
//                           show the press. The block must hold exactly the steps given.
//   --no-steps              the movie has no section (no steps were recorded)
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
#include "LZO.h"
#include "Movie.h"
#include "ReferenceCodec.h"
#include "ScenePicture.h"
#include "Section.h"
#include "TestSupport.h"
#include "Texts.h"

namespace {

int Failures = 0;

// GetTickCount, the clock of the mouse hook's time stamps, advances in steps of up to 16 ms.
const uint32_t ClockSlackMs = 20;

void Fail(const std::string& what) {
  printf("FAIL: %s\n", what.c_str());
  Failures++;
}

struct Frame {
  std::vector<uint32_t> Pixels;
  FrameHeader Record;
  std::vector<uint8_t> Payload;
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

// GBK bytes escaped, so that a summary stays plain text.
std::string Escaped(const std::string& text) {
  std::string shown;
  for (unsigned char c : text) {
    char escaped[8];
    snprintf(escaped, sizeof escaped, c < 0x80 ? "%c" : "\\x%02X", c);
    shown += escaped;
  }
  return shown;
}

struct Step {
  StepRecord Record;
  std::string Text;
};

// The steps of the movie's steps block, read with the core's reader; none without a block.
std::vector<Step> ReadSteps(MemoryFile* file, const MovieSection* section) {
  std::vector<Step> steps;
  MovieSource source = file->Source();
  SectionBlock block;
  if (!FindSectionBlock(&source, section, TagSteps, &block)) return steps;
  std::vector<uint8_t> data(block.Length);
  if (!ReadSectionBlock(&source, &block, data.data())) Fail("the steps block cannot be read");
  uint32_t at = 0;
  StepRecord record;
  const char* text;
  while (NextStep(data.data(), block.Length, &at, &record, &text)) steps.push_back(Step{record, std::string(text, record.TextLength)});
  if (at != block.Length) Fail("the steps block has " + std::to_string(block.Length - at) + " bytes after its last step");
  return steps;
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
    frames.push_back(Frame{pixels, reader.Record,
                           std::vector<uint8_t>(reader.Packed, reader.Packed + std::max(length, int32_t(0)))});
  }
  if (reader.LastStatus != RecordEnd) Fail("the records do not end with an end record");
  // The reader stays in front of the end record; the section, if any, lies between it and the trailer.
  uint64_t section = reader.Section.Length ? reader.Section.Length + SectionFooterSize : 0;
  if (reader.Position + FrameHeaderSize + section + TrailerSize != file.Bytes.size())
    Fail("the trailer does not follow the end record (and the section) directly");
  std::vector<Step> recorded = ReadSteps(&file, &reader.Section);
  for (const Step& s : recorded)
    printf("step frame=%u lead=%u button=%u flags=%u x=%d y=%d text=%s\n", s.Record.Frame, s.Record.Lead,
           s.Record.Button, s.Record.Flags, s.Record.X, s.Record.Y, Escaped(s.Text).c_str());
  size_t stepsChecked = 0;
  bool stepsExpected = false;
  int stripX = -1, stripY = -1;  // --strip
  if (reader.Trailer.FrameCount != int32_t(frames.size()))
    Fail("trailer counts " + std::to_string(reader.Trailer.FrameCount) + " frames, the stream holds " +
         std::to_string(frames.size()));
  int width = reader.FrameWidth, height = reader.FrameHeight;
  std::string title(reader.Trailer.MovieTitle, strnlen(reader.Trailer.MovieTitle, TitleSize));
  std::string shown = Escaped(title);
  printf("frames=%zu size=%dx%d file=%zu title=%s\n", frames.size(), width, height, file.Bytes.size(),
         shown.c_str());

  // A recording paused once has one long step of the bar, which --scene leaves to --pause.
  bool paused = false;
  for (int i = 2; i < argc; i++) paused = paused || std::string(argv[i]) == "--pause";
  std::vector<int> steps;  // the scene's phases from each frame to the next, after --scene
  int unmatchedAllowed = 0;
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
    } else if (option == "--unmatched") {
      unmatchedAllowed = arg(1);
      i += 1;
    } else if (option == "--scene") {
      int offsetX = arg(3) - arg(1), offsetY = arg(4) - arg(2);
      std::vector<int> bars;
      int last = -1;
      std::string unmatched;
      int unmatchedCount = 0;
      for (size_t k = 0; k < frames.size(); k++) {
        int bar = MatchScene(frames[k], width, height, offsetX, offsetY);
        if (bar == -1) {
          unmatched += " " + std::to_string(k);
          unmatchedCount++;
        }
        if (bar >= 0 && last >= 0) steps.push_back(PhasesBetween(last, bar));
        last = bar >= 0 ? bar : last;
        if (bar >= 0 && (bars.empty() || bars.back() != bar)) bars.push_back(bar);
      }
      if (unmatchedCount > unmatchedAllowed)
        Fail("frames" + unmatched + " are no picture of the scene (" + std::to_string(unmatchedAllowed) +
             " allowed)");
      else if (unmatchedCount)
        printf("frames no picture of the scene:%s\n", unmatched.c_str());
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
    } else if (option == "--screen") {
      std::vector<uint8_t> bytes = ReadWholeFile(argv[i + 1]);
      int sw = arg(2), sh = arg(3), ax = arg(4), ay = arg(5);
      i += 5;
      if (bytes.size() != size_t(sw) * sh * 4 || ax < 0 || ay < 0 || ax + width > sw || ay + height > sh) {
        Fail("the screen file does not hold the area");
        continue;
      }
      bool trueColour = reader.PixelBytes == ColourBytes;
      std::vector<uint32_t> area(size_t(width) * height);
      for (int y = 0; y < height; y++)
        memcpy(&area[size_t(y) * width], &bytes[(size_t(ay + y) * sw + ax) * 4], size_t(width) * 4);
      for (size_t k = 0; k < frames.size(); k++) {
        for (size_t p = 0; p < area.size(); p++) {
          uint32_t want = trueColour ? area[p] & 0x00FFFFFF : DecodeRgb332(QuantiseRgb332(area[p]));
          if (frames[k].Pixels[p] != want) {
            char text[160];
            snprintf(text, sizeof text, "frame %zu, pixel (%zu, %zu): %06X, the screen %06X", k, p % width,
                     p / width, frames[k].Pixels[p], area[p] & 0x00FFFFFF);
            Fail(text);
            break;
          }
        }
      }
      printf("depth=%s\n", trueColour ? "true colour" : "256 colours");
      if (trueColour || frames.empty()) continue;
      if (file.Bytes[StubLength + 6] != 0 || file.Bytes[StubLength + 7] != 0) Fail("a 256-colour header marks a depth");
      std::vector<uint8_t> shadow(area.size(), 0), list(RunListBufferSize(uint32_t(area.size())));
      std::vector<uint8_t> packed(PackedBufferSize(uint32_t(area.size()))), work(LzoWorkSize);
      uint32_t listLength = ReferenceBuildRunList(area.data(), shadow.data(), uint32_t(area.size()), list.data());
      int32_t packedLength = listLength ? PackRunList(list.data(), listLength, packed.data(), work.data()) : 0;
      packed.resize(size_t(packedLength));
      if (frames[0].Record.PayloadLength != packedLength || frames[0].Payload != packed)
        Fail("the first record is not what the 256-colour codec makes of the screen");
      for (size_t k = 1; k < frames.size(); k++)
        if (frames[k].Record.PayloadLength != 0) Fail("record " + std::to_string(k) + " changes a still screen");
    } else if (option == "--step") {
      stepsExpected = true;
      std::string kind = argv[i + 1], name = i + 4 < argc ? argv[i + 4] : "";
      std::string which = "step " + std::to_string(stepsChecked + 1);
      i += 4;
      if (stepsChecked >= recorded.size()) {
        Fail(which + " is missing");
        continue;
      }
      const Step& s = recorded[stepsChecked++];
      const StepRecord& r = s.Record;
      uint8_t button = kind == "right" ? StepRight : StepLeft;
      uint8_t flags = kind == "double" ? StepDouble : 0;
      if (r.Button != button || r.Flags != flags)
        Fail(which + ": button " + std::to_string(r.Button) + " flags " + std::to_string(r.Flags) + ", not " + kind);
      if (r.X != arg(-2) || r.Y != arg(-1))
        Fail(which + ": at " + std::to_string(r.X) + "," + std::to_string(r.Y) + ", not " + argv[i - 2] + "," + argv[i - 1]);
      if (r.Lead > FramePeriodMs) Fail(which + ": lead " + std::to_string(r.Lead) + " ms is more than a frame");
      // The press counter changes between the frame before and the step's frame. The press's time
      // stamp and the capture's come from a clock of ClockSlackMs steps, and the counter is
      // repainted a moment after the press: a press that close to a capture may show first in
      // the next frame.
      auto counter = [&](uint32_t frame) { return frames[frame - 1].Pixels[size_t(stripY) * width + stripX]; };
      if (r.Frame < 1 || r.Frame > frames.size() || (stripX >= 0 && r.Frame < 2)) {
        Fail(which + ": frame " + std::to_string(r.Frame) + " is not in the movie (or, with --strip, its first)");
      } else if (stripX >= 0 && counter(r.Frame - 1) == counter(r.Frame) &&
                 !(r.Lead <= ClockSlackMs && r.Frame < frames.size() && counter(r.Frame) != counter(r.Frame + 1))) {
        Fail(which + ": frame " + std::to_string(r.Frame) + " shows the press counter of the frame before");
      }
      std::string action = kind == "right" ? TEXT_RIGHT_CLICK : kind == "double" ? TEXT_LEFT_DOUBLE : TEXT_LEFT_CLICK;
      std::string head = action + TEXT_OPEN_QUOTE + name + TEXT_CLOSE_QUOTE;
      std::string tail = TEXT_IN_WINDOW "steps" TEXT_CLOSE_QUOTE;
      if (s.Text.compare(0, head.size(), head) != 0 || s.Text.size() < head.size() + tail.size() ||
          s.Text.compare(s.Text.size() - tail.size(), tail.size(), tail) != 0)
        Fail(which + ": the description '" + Escaped(s.Text) + "' is not '" + Escaped(head) + "...'" + Escaped(tail));
    } else if (option == "--strip") {
      stripX = arg(1), stripY = arg(2);
      if (stripX < 0 || stripX >= width || stripY < 0 || stripY >= height) Fail("the strip lies outside the frame");
      i += 2;
    } else if (option == "--no-steps") {
      stepsExpected = true;
      if (reader.Section.Length) Fail("the movie has a section of " + std::to_string(reader.Section.Length) + " bytes");
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
  if (stepsExpected && stepsChecked != recorded.size())
    Fail("the movie holds " + std::to_string(recorded.size()) + " steps, " + std::to_string(stepsChecked) + " were made");
  return Failures ? 1 : 0;
}
