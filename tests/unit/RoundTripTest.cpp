// Randomised round trips: sequences of frames of several shapes are encoded against the shadow and
// decoded again, first record by record through the codec, then through the movie writer and reader.
// After every record the decoded frame, reduced to codes, must equal the encoder's shadow (at true
// colour: must be the captured colours, exactly); a failure names the frame and the first pixel that
// differs. Every shape runs at both colour depths.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "Codec.h"
#include "LZO.h"
#include "TestSupport.h"

namespace {

struct Shape {
  int32_t Width, Height;
};

// Frame sequences mixing the kinds of change a screen shows.
class FrameSource {
 public:
  FrameSource(uint32_t width, uint32_t height, uint32_t seed)
      : Width(width), Height(height), Pixels(width * height, 0), Random(seed) {}

  const std::vector<uint32_t>& Next(int kind) {
    uint32_t n = Width * Height;
    switch (kind % 7) {
      case 0:  // a few scattered pixels
        for (uint32_t k = Pick(4); k > 0; k--) Pixels[Pick(n)] = Colour();
        break;
      case 1:  // every pixel random
        for (auto& p : Pixels) p = Colour();
        break;
      case 2: {  // a filled rectangle
        uint32_t x0 = Pick(Width), y0 = Pick(Height);
        uint32_t x1 = x0 + Pick(Width - x0), y1 = y0 + Pick(Height - y0);
        uint32_t c = Colour();
        for (uint32_t y = y0; y <= y1 && y < Height; y++)
          for (uint32_t x = x0; x <= x1 && x < Width; x++) Pixels[y * Width + x] = c;
        break;
      }
      case 3: {  // the picture scrolled up by some rows, new rows at the bottom
        uint32_t rows = 1 + Pick(Height);
        for (uint32_t i = 0; i < n; i++) Pixels[i] = i + rows * Width < n ? Pixels[i + rows * Width] : Colour();
        break;
      }
      case 4: {  // changes spaced right at the run rule's boundary
        uint32_t i = Pick(n), step = 31 + Pick(4);
        uint32_t c = Colour();
        for (; i < n; i += step) Pixels[i] = c ^ 0x00E0E0C0;
        break;
      }
      case 5:  // noise below the kept bits and in the top byte: nothing to send
        for (auto& p : Pixels) p ^= (Random() & 0xFF1F1F3Fu);
        break;
      case 6:  // nothing changes
        break;
    }
    return Pixels;
  }

 private:
  uint32_t Pick(uint32_t bound) { return bound ? uint32_t(Random() % bound) : 0; }
  uint32_t Colour() {
    // Mostly a small palette (long equal stretches), sometimes any 32-bit value.
    static const uint32_t palette[] = {0, 0x00FFFFFF, 0x000000FF, 0x00E0E0C0, 0x00102030, 0xFF000000};
    return Random() % 3 ? palette[Random() % 6] : uint32_t(Random());
  }

  uint32_t Width, Height;
  std::vector<uint32_t> Pixels;
  std::mt19937 Random;
};

// What the player must show for a captured pixel: the colour of its code, or its colour.
uint32_t Shown(uint32_t pixel, bool trueColour) {
  return trueColour ? pixel & 0x00FFFFFF : DecodeRgb332(QuantiseRgb332(pixel));
}

std::string FirstMismatch(const std::vector<uint32_t>& frame, const std::vector<uint32_t>& expected) {
  for (size_t i = 0; i < expected.size(); i++)
    if (frame[i] != expected[i])
      return "pixel " + std::to_string(i) + ": decoded " + std::to_string(frame[i]) + ", expected " +
             std::to_string(expected[i]);
  return "";
}

uint32_t Load32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// The code or colour a run carries for its k-th pixel.
uint32_t RunValue(const uint8_t* run, uint32_t k, uint32_t pixelBytes) {
  const uint8_t* p = run + k * pixelBytes;
  return pixelBytes == CodeBytes ? p[0] : uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
}

// The encoder's promises about a run list, given the shadow before and after the frame (codes or
// colours): each run begins and ends on a changed pixel, carries at most 31 unchanged pixels in a row,
// and every changed pixel lies in a run. Returns what is wrong, or "".
std::string RunListProblem(const uint8_t* list, uint32_t length, const std::vector<uint32_t>& before,
                           const std::vector<uint32_t>& after, uint32_t pixelBytes) {
  uint32_t n = uint32_t(before.size());
  if (!RunListFollowsRules(list, length, n, pixelBytes)) return "run list breaks the run rules";
  std::vector<bool> covered(n, false);
  for (uint32_t q = 0; q < length;) {
    uint32_t start = Load32(list + q), count = Load32(list + q + 4);
    const uint8_t* run = list + q + 8;
    std::string at = "run at " + std::to_string(start);
    if (before[start] == after[start]) return at + " begins on an unchanged pixel";
    if (before[start + count - 1] == after[start + count - 1]) return at + " ends on an unchanged pixel";
    uint32_t unchanged = 0;
    for (uint32_t k = 0; k < count; k++) {
      uint32_t i = start + k;
      covered[i] = true;
      if (RunValue(run, k, pixelBytes) != after[i]) return at + ": pixel " + std::to_string(i) + " is not its new value";
      unchanged = before[i] == after[i] ? unchanged + 1 : 0;
      if (unchanged > 31) return at + " carries more than 31 unchanged pixels";
    }
    q += 8 + count * pixelBytes;
  }
  for (uint32_t i = 0; i < n; i++)
    if (before[i] != after[i] && !covered[i]) return "changed pixel " + std::to_string(i) + " is in no run";
  return "";
}

const Shape Shapes[] = {{1, 1}, {1, 37}, {53, 1}, {15, 7}, {17, 9}, {33, 5}, {100, 3}, {64, 48}, {250, 40}};

class RoundTrip : public ::testing::TestWithParam<std::tuple<Shape, bool>> {
 protected:
  Shape GetShape() const { return std::get<0>(GetParam()); }
  bool TrueColour() const { return std::get<1>(GetParam()); }
};

// Encodes one frame against a shadow of codes or of colours; the shadow after it as values.
int32_t EncodeInto(const std::vector<uint32_t>& pixels, std::vector<uint8_t>& codes, std::vector<uint32_t>& colours,
                   bool trueColour, std::vector<uint8_t>& runList, std::vector<uint8_t>& packed,
                   std::vector<uint8_t>& work, std::vector<uint32_t>* shadow) {
  uint32_t n = uint32_t(pixels.size());
  int32_t payload =
      trueColour ? EncodeFrame(pixels.data(), colours.data(), n, runList.data(), packed.data(), work.data())
                 : EncodeFrame(pixels.data(), codes.data(), n, runList.data(), packed.data(), work.data());
  if (trueColour)
    *shadow = colours;
  else
    shadow->assign(codes.begin(), codes.end());
  return payload;
}

TEST_P(RoundTrip, DecodedFrameEqualsTheShadowAfterEveryRecord) {
  const Shape s = GetShape();
  const bool trueColour = TrueColour();
  const uint32_t n = uint32_t(s.Width * s.Height), pixelBytes = trueColour ? ColourBytes : CodeBytes;
  for (uint32_t seed = 1; seed <= 4; seed++) {
    FrameSource source(uint32_t(s.Width), uint32_t(s.Height), seed);
    std::mt19937 order(seed * 7919);
    std::vector<uint8_t> codes(n, 0), runList(RunListBufferSize(n, pixelBytes)),
        packed(PackedBufferSize(n, pixelBytes)), work(LzoWorkSize);
    std::vector<uint32_t> colours(n, 0), shadow(n, 0);
    // The reader's buffers: packed payload and run list sized as it sizes them.
    std::vector<uint8_t> unpacked(RunListBufferSize(n, pixelBytes));
    std::vector<uint32_t> frame(n, 0), expected(n);
    for (int k = 0; k < 60; k++) {
      int kind = int(order() % 7);
      const std::vector<uint32_t>& pixels = source.Next(kind);
      std::vector<uint32_t> before = shadow;
      int32_t payload = EncodeInto(pixels, codes, colours, trueColour, runList, packed, work, &shadow);
      std::string where = "seed " + std::to_string(seed) + " frame " + std::to_string(k) + " kind " +
                          std::to_string(kind);
      for (uint32_t i = 0; i < n; i++) {
        expected[i] = Shown(pixels[i], trueColour);
        ASSERT_EQ(shadow[i], trueColour ? expected[i] : QuantiseRgb332(pixels[i])) << where << ": shadow pixel " << i;
      }
      if (payload == 0) {
        ASSERT_EQ(before, shadow) << where << ": pixels changed but nothing was sent";
        continue;
      }
      ASSERT_GT(payload, 0) << where;
      ASSERT_LE(uint32_t(payload), uint32_t(packed.size())) << where;
      int32_t length = UnpackPayload(packed.data(), uint32_t(payload), unpacked.data(), uint32_t(unpacked.size()));
      ASSERT_GT(length, 0) << where << ": payload does not unpack";
      ASSERT_LE(uint32_t(length), n * pixelBytes + 8) << where;
      ASSERT_EQ(RunListProblem(unpacked.data(), uint32_t(length), before, shadow, pixelBytes), "") << where;
      ASSERT_TRUE(ApplyRunList(unpacked.data(), uint32_t(length), frame.data(), n, pixelBytes)) << where;
      ASSERT_EQ(FirstMismatch(frame, expected), "") << where;
    }
  }
}

TEST_P(RoundTrip, MovieReaderReplaysWhatTheWriterRecorded) {
  const Shape s = GetShape();
  const uint32_t n = uint32_t(s.Width * s.Height);
  FrameSource source(uint32_t(s.Width), uint32_t(s.Height), 99);
  TestWriter writer(s.Width, s.Height, "round trip", nullptr, nullptr, TrueColour() ? DepthTrueColour : Depth256);
  std::vector<std::vector<uint32_t>> shadows;  // what the player shows after each record
  std::vector<uint32_t> shown(n);
  const int frames = 40;
  for (int k = 0; k < frames; k++) {
    const std::vector<uint32_t>& pixels = source.Next(k * 5 + k / 7);
    writer.Frame(pixels, uint8_t(k % 3), k - 5, 2 * k);
    for (uint32_t i = 0; i < n; i++) shown[i] = Shown(pixels[i], TrueColour());
    shadows.push_back(shown);
  }
  MemoryFile file;
  file.Bytes = writer.Finish();
  TestReader t;
  ASSERT_TRUE(t.Open(&file));
  EXPECT_EQ(t.Reader.PixelBytes, TrueColour() ? ColourBytes : CodeBytes);
  EXPECT_EQ(int32_t(t.Reader.Trailer.FrameCount), frames);
  EXPECT_STREQ(t.Reader.Trailer.MovieTitle, "round trip");
  // Two snapshot slots over 40 frames: the interval is the least allowed, one snapshot after frame 25.
  std::vector<uint64_t> snapshots(SnapshotMemorySize(&t.Reader, 2) / 8 + 1);
  UseSnapshotMemory(&t.Reader, snapshots.data(), 2);
  ASSERT_EQ(t.Reader.SnapshotInterval, MinSnapshotInterval);
  for (int k = 0; k < frames; k++) {
    int32_t length = AdvanceMovieReader(&t.Reader);
    ASSERT_GE(length, 0) << "frame " << k << " status " << int(t.Reader.LastStatus);
    EXPECT_EQ(t.Reader.LastStatus, length ? RecordChanged : RecordUnchanged) << "frame " << k;
    EXPECT_EQ(t.Reader.Record.Button, k % 3);
    EXPECT_EQ(int32_t(t.Reader.Record.CursorX), k - 5);
    EXPECT_EQ(int32_t(t.Reader.Record.CursorY), 2 * k);
    ASSERT_EQ(FirstMismatch(t.Frame, shadows[size_t(k)]), "") << "frame " << k;
    ASSERT_EQ(t.Reader.CurrentFrame, k + 1);
  }
  EXPECT_EQ(AdvanceMovieReader(&t.Reader), -1);
  EXPECT_EQ(t.Reader.LastStatus, RecordEnd);
  EXPECT_EQ(t.Reader.CurrentFrame, frames) << "the end record is not counted";
  ASSERT_EQ(t.Reader.Snapshots[0].Frame, MinSnapshotInterval);
  EXPECT_EQ(t.Reader.Snapshots[1].Frame, 0) << "no snapshot past the movie";

  // Seeking forwards and backwards, from the snapshot or the start, gives the picture and the cursor
  // record that plain playback gave at that frame; the snapshot's neighbours first.
  std::mt19937 random(5);
  std::vector<int32_t> targets = {24, 25, 26, 25, 0, 40, 26, 24, 41};
  for (int jump = 0; jump < 25; jump++) targets.push_back(int32_t(random() % (frames + 1)));
  for (int32_t target : targets) {
    SeekMovieReader(&t.Reader, target);
    int32_t reached = std::min(target, frames);
    ASSERT_EQ(t.Reader.CurrentFrame, reached);
    if (reached == 0) {
      ASSERT_EQ(FirstMismatch(t.Frame, std::vector<uint32_t>(n, 0)), "") << "seek to 0";
      continue;
    }
    ASSERT_EQ(FirstMismatch(t.Frame, shadows[size_t(reached - 1)]), "") << "seek to " << target;
    EXPECT_EQ(int32_t(t.Reader.Record.CursorX), reached - 1 - 5) << "seek to " << target;
    // Playing on after a seek reads the next record, not one twice or one skipped.
    if (reached < frames) {
      ASSERT_GE(AdvanceMovieReader(&t.Reader), 0);
      ASSERT_EQ(FirstMismatch(t.Frame, shadows[size_t(reached)]), "") << "play on after " << target;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, RoundTrip, ::testing::Combine(::testing::ValuesIn(Shapes), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<Shape, bool>>& info) {
                           const Shape& s = std::get<0>(info.param);
                           return std::to_string(s.Width) + "x" + std::to_string(s.Height) +
                                  (std::get<1>(info.param) ? "TrueColour" : "Colours256");
                         });

}  // namespace
