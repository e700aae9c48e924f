// The frame codec on hand-made frames: colour reduction, the run rule at its boundaries, the first
// frame against the all-zero shadow, and the decoder's handling of well-formed and damaged run lists.
#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "Codec.h"
#include "LZO.h"

namespace {

// ---- Colour codes ---------------------------------------------------------------------------------

TEST(Rgb332, EachPixelBitLandsInItsCodeBitOrNowhere) {
  // Kept bits: red 23-21 -> code 7-5, green 15-13 -> 4-2, blue 7-6 -> 1-0. Every other bit, the top
  // byte included, must not reach the code.
  for (int bit = 0; bit < 32; bit++) {
    uint8_t expected = 0;
    if (bit >= 21 && bit <= 23) expected = uint8_t(1u << (bit - 16));
    if (bit >= 13 && bit <= 15) expected = uint8_t(1u << (bit - 11));
    if (bit >= 6 && bit <= 7) expected = uint8_t(1u << (bit - 6));
    EXPECT_EQ(QuantiseRgb332(1u << bit), expected) << "pixel bit " << bit;
  }
}

TEST(Rgb332, DecodedColoursOfTheTable) {
  const struct {
    uint8_t Code;
    uint32_t Pixel;
  } table[] = {{0x00, 0x00000000}, {0x03, 0x000000C0}, {0x1C, 0x0000E000},
               {0xE0, 0x00E00000}, {0xFE, 0x00E0E080}, {0xFF, 0x00FFFFFF}};
  for (const auto& row : table) EXPECT_EQ(DecodeRgb332(row.Code), row.Pixel) << int(row.Code);
  // Without the white exception code 255 is a grey; the decoder must not show that grey.
  EXPECT_EQ(ExpandRgb332(0xFF), 0x00E0E0C0u);
}

TEST(Rgb332, EveryDecodedCodeQuantisesBackToItself) {
  for (int c = 0; c < 256; c++) {
    EXPECT_EQ(QuantiseRgb332(DecodeRgb332(uint8_t(c))), c) << "code " << c;
    EXPECT_EQ(QuantiseRgb332(ExpandRgb332(uint8_t(c))), c) << "code " << c;
    EXPECT_EQ(DecodeRgb332(uint8_t(c)) >> 24, 0u) << "code " << c;
  }
}

// ---- Encoder --------------------------------------------------------------------------------------

struct ChangeRun {
  uint32_t Start, Length;
  std::vector<uint8_t> Codes;
};

uint32_t Load24(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16; }
uint32_t Load32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// Codes holds a run's pixel bytes: one code each, or three bytes (blue, green, red) at true colour.
std::vector<ChangeRun> ParseRuns(const std::vector<uint8_t>& list, uint32_t pixelBytes = CodeBytes) {
  std::vector<ChangeRun> runs;
  size_t q = 0;
  while (q + 8 <= list.size()) {
    ChangeRun r;
    r.Start = Load32(&list[q]);
    r.Length = Load32(&list[q + 4]);
    q += 8;
    if (uint64_t(r.Length) * pixelBytes > list.size() - q) break;
    r.Codes.assign(list.begin() + long(q), list.begin() + long(q + r.Length * pixelBytes));
    q += r.Length * pixelBytes;
    runs.push_back(r);
  }
  EXPECT_EQ(q, list.size()) << "run list does not parse to its end";
  return runs;
}

// One encoder with exactly the buffer sizes the capture engine allocates: a shadow of codes (256
// colours) or of colours (true colour).
template <typename Shade>
struct EncoderOf {
  static const uint32_t PixelBytes = sizeof(Shade) == 1 ? CodeBytes : ColourBytes;
  explicit EncoderOf(uint32_t n)
      : N(n), Shadow(n, 0), RunList(RunListBufferSize(n, PixelBytes)), Packed(PackedBufferSize(n, PixelBytes)),
        Work(LzoWorkSize) {}

  // Builds the run list of one frame; also checks that EncodeFrame's payload unpacks to exactly it.
  std::vector<uint8_t> Frame(const std::vector<uint32_t>& pixels) {
    std::vector<Shade> before = Shadow;
    uint32_t length = BuildRunList(pixels.data(), Shadow.data(), N, RunList.data());
    std::vector<uint8_t> list(RunList.begin(), RunList.begin() + length);
    std::vector<Shade> after = Shadow;

    Shadow = before;
    memset(Packed.data(), 0xAA, Packed.size());
    PayloadLength = EncodeFrame(pixels.data(), Shadow.data(), N, RunList.data(), Packed.data(), Work.data());
    EXPECT_EQ(Shadow, after) << "EncodeFrame and BuildRunList disagree on the shadow";
    if (length == 0) {
      EXPECT_EQ(PayloadLength, 0);
      // The packer must not run for an empty list.
      for (size_t i = 0; i < Packed.size(); i++) EXPECT_EQ(Packed[i], 0xAA) << "packed byte " << i;
    } else {
      EXPECT_GT(PayloadLength, 0);
      std::vector<uint8_t> unpacked(RunListBufferSize(N, PixelBytes));
      int32_t got = UnpackPayload(Packed.data(), uint32_t(PayloadLength), unpacked.data(), uint32_t(unpacked.size()));
      EXPECT_EQ(got, int32_t(length));
      unpacked.resize(got > 0 ? size_t(got) : 0);
      EXPECT_EQ(unpacked, list) << "payload does not unpack to the run list";
    }
    return list;
  }

  uint32_t N;
  int32_t PayloadLength = 0;
  std::vector<Shade> Shadow;
  std::vector<uint8_t> RunList, Packed, Work;
};
typedef EncoderOf<uint8_t> Encoder;
typedef EncoderOf<uint32_t> ColourEncoder;

const uint32_t White = 0x00FFFFFF;

TEST(EncodeFrame, AllBlackFirstFrameSendsNothing) {
  Encoder e(35);
  EXPECT_TRUE(e.Frame(std::vector<uint32_t>(35, 0)).empty());
  EXPECT_EQ(e.PayloadLength, 0);
  // A top byte set everywhere still quantises to black.
  EXPECT_TRUE(e.Frame(std::vector<uint32_t>(35, 0xFF000000)).empty());
}

TEST(EncodeFrame, FirstFrameSendsEveryNonBlackPixelAgainstTheZeroShadow) {
  Encoder e(100);
  std::vector<uint32_t> pixels(100, 0);
  pixels[3] = 0x00200000;  // code 0x20
  pixels[99] = 0x00000040; // code 0x01
  std::vector<ChangeRun> runs = ParseRuns(e.Frame(pixels));
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].Start, 3u);
  EXPECT_EQ(runs[0].Codes, std::vector<uint8_t>{0x20});
  EXPECT_EQ(runs[1].Start, 99u);
  EXPECT_EQ(runs[1].Codes, std::vector<uint8_t>{0x01});
}

TEST(EncodeFrame, PixelZeroAloneAndLastPixelAlone) {
  for (uint32_t n : {1u, 2u, 33u, 34u, 1000u}) {
    Encoder e(n);
    std::vector<uint32_t> pixels(n, 0);
    pixels[0] = White;
    std::vector<uint8_t> list = e.Frame(pixels);
    EXPECT_EQ(list, (std::vector<uint8_t>{0, 0, 0, 0, 1, 0, 0, 0, 0xFF})) << "n " << n;

    Encoder last(n);
    pixels.assign(n, 0);
    pixels[n - 1] = 0x0000E000;
    std::vector<ChangeRun> runs = ParseRuns(last.Frame(pixels));
    ASSERT_EQ(runs.size(), 1u) << "n " << n;
    EXPECT_EQ(runs[0].Start, n - 1);
    EXPECT_EQ(runs[0].Codes, std::vector<uint8_t>{0x1C});
  }
}

TEST(EncodeFrame, ExampleRunListsByteForByte) {
  Encoder e(40);
  std::vector<uint32_t> pixels(40, 0);
  pixels[1] = pixels[2] = White;
  EXPECT_EQ(e.Frame(pixels), (std::vector<uint8_t>{0x01, 0, 0, 0, 0x02, 0, 0, 0, 0xFF, 0xFF}));

  Encoder f(40);
  pixels.assign(40, 0);
  pixels[5] = DecodeRgb332(0xA5);
  pixels[38] = DecodeRgb332(0x5A);
  EXPECT_EQ(f.Frame(pixels), (std::vector<uint8_t>{0x05, 0, 0, 0, 0x01, 0, 0, 0, 0xA5,  //
                                                    0x26, 0, 0, 0, 0x01, 0, 0, 0, 0x5A}));
}

// The shadow starts with a pattern of codes, the frame repeats it except at the changed indices.
class RunSplit : public ::testing::TestWithParam<uint32_t> {};

TEST_P(RunSplit, ChangesThirtyTwoApartShareOneRunThirtyThreeApartDoNot) {
  const uint32_t n = 200, i = GetParam();
  for (uint32_t distance : {31u, 32u, 33u, 34u}) {
    if (i + distance >= n) continue;
    Encoder e(n);
    std::vector<uint32_t> pixels(n);
    for (uint32_t k = 0; k < n; k++) pixels[k] = DecodeRgb332(uint8_t(k * 7 + 1));
    e.Frame(pixels);  // the shadow now holds the pattern
    std::vector<uint8_t> pattern = e.Shadow;
    pixels[i] = DecodeRgb332(uint8_t(~pattern[i]));
    pixels[i + distance] = DecodeRgb332(uint8_t(~pattern[i + distance]));
    std::vector<ChangeRun> runs = ParseRuns(e.Frame(pixels));
    if (distance <= 32) {
      ASSERT_EQ(runs.size(), 1u) << "i " << i << " distance " << distance;
      EXPECT_EQ(runs[0].Start, i);
      ASSERT_EQ(runs[0].Length, distance + 1);
      // The unchanged pixels inside the run carry the codes they already had.
      for (uint32_t k = 1; k < distance; k++) EXPECT_EQ(runs[0].Codes[k], pattern[i + k]) << "k " << k;
      EXPECT_EQ(runs[0].Codes.front(), uint8_t(~pattern[i]));
      EXPECT_EQ(runs[0].Codes.back(), uint8_t(~pattern[i + distance]));
    } else {
      ASSERT_EQ(runs.size(), 2u) << "i " << i << " distance " << distance;
      EXPECT_EQ(runs[0].Start, i);
      EXPECT_EQ(runs[0].Codes, std::vector<uint8_t>{uint8_t(~pattern[i])});
      EXPECT_EQ(runs[1].Start, i + distance);
      EXPECT_EQ(runs[1].Codes, std::vector<uint8_t>{uint8_t(~pattern[i + distance])});
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Positions, RunSplit, ::testing::Values(0u, 1u, 15u, 100u, 166u));

TEST(EncodeFrame, ChainsOfChangesThirtyTwoApartMakeOneRun) {
  Encoder e(129);
  std::vector<uint32_t> pixels(129, 0);
  for (uint32_t k = 0; k <= 128; k += 32) pixels[k] = White;
  std::vector<ChangeRun> runs = ParseRuns(e.Frame(pixels));
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].Start, 0u);
  EXPECT_EQ(runs[0].Length, 129u);

  Encoder f(133);
  pixels.assign(133, 0);
  for (uint32_t k = 0; k < 133; k += 33) pixels[k] = White;
  runs = ParseRuns(f.Frame(pixels));
  ASSERT_EQ(runs.size(), 5u);
  for (uint32_t r = 0; r < 5; r++) {
    EXPECT_EQ(runs[r].Start, r * 33);
    EXPECT_EQ(runs[r].Length, 1u);
  }
}

TEST(EncodeFrame, ChangesBelowTheKeptBitsAreNotSent) {
  const uint32_t base = 0x00A5C3E7;
  const uint32_t kept = 0x00E0E0C0;
  Encoder e(64);
  std::vector<uint32_t> pixels(64, base);
  ASSERT_FALSE(e.Frame(pixels).empty());
  for (int bit = 0; bit < 32; bit++) {
    for (uint32_t k = 0; k < 64; k++) pixels[k] = base ^ (1u << bit);
    std::vector<uint8_t> list = e.Frame(pixels);
    if (kept & (1u << bit))
      EXPECT_EQ(list.size(), 64u + 8u) << "bit " << bit << " is kept, every pixel must be sent";
    else
      EXPECT_TRUE(list.empty()) << "bit " << bit << " is below the kept bits";
    // Back to the base picture (sends the kept-bit changes back).
    pixels.assign(64, base);
    e.Frame(pixels);
  }

  Encoder w(10);
  pixels.assign(10, White);
  w.Frame(pixels);
  pixels.assign(10, 0x00E0E0C0);
  EXPECT_TRUE(w.Frame(pixels).empty());
}

TEST(EncodeFrame, IdenticalFramesSendNothingTheSecondTime) {
  Encoder e(77);
  std::vector<uint32_t> pixels(77);
  for (uint32_t k = 0; k < 77; k++) pixels[k] = k * 0x010305u;
  EXPECT_FALSE(e.Frame(pixels).empty());
  EXPECT_TRUE(e.Frame(pixels).empty());
  EXPECT_EQ(e.PayloadLength, 0);
}

TEST(EncodeFrame, WholeFrameChangeIsOneRunOfEveryCode) {
  for (uint32_t n : {1u, 32u, 33u, 1000u, 4096u}) {
    Encoder e(n);
    std::vector<uint32_t> pixels(n);
    for (uint32_t k = 0; k < n; k++) pixels[k] = DecodeRgb332(uint8_t(k % 255 + 1));
    std::vector<uint8_t> list = e.Frame(pixels);
    ASSERT_EQ(list.size(), n + 8) << "n " << n;
    std::vector<ChangeRun> runs = ParseRuns(list);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].Start, 0u);
    EXPECT_EQ(runs[0].Length, n);
    for (uint32_t k = 0; k < n; k++) ASSERT_EQ(runs[0].Codes[k], uint8_t(k % 255 + 1)) << "pixel " << k;
  }
}

TEST(EncodeFrame, RepeatedPixelValuesAfterAChangeUseTheRightCode) {
  // The conversion cache must follow the pixel values, not the positions: A A B B A A.
  Encoder e(6);
  const uint32_t a = 0x00400000, b = 0x00008000;
  std::vector<uint32_t> pixels = {a, a, b, b, a, a};
  std::vector<ChangeRun> runs = ParseRuns(e.Frame(pixels));
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].Codes, (std::vector<uint8_t>{0x40, 0x40, 0x10, 0x10, 0x40, 0x40}));
  // Back to black: the cache starts at black for every frame, so every pixel must still be sent.
  runs = ParseRuns(e.Frame(std::vector<uint32_t>(6, 0)));
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].Codes, std::vector<uint8_t>(6, 0));
}

// ---- Decoder and run list checks -------------------------------------------------------------------

void Put32(std::vector<uint8_t>& list, uint32_t v) {
  for (int k = 0; k < 4; k++) list.push_back(uint8_t(v >> (8 * k)));
}

std::vector<uint8_t> RunBytes(uint32_t start, uint32_t length, std::vector<uint8_t> codes) {
  std::vector<uint8_t> list;
  Put32(list, start);
  Put32(list, length);
  list.insert(list.end(), codes.begin(), codes.end());
  return list;
}

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// ---- True-colour encoder --------------------------------------------------------------------------

// A colour as a run carries it: blue, green, red.
std::vector<uint8_t> ColourBytesOf(std::initializer_list<uint32_t> colours) {
  std::vector<uint8_t> bytes;
  for (uint32_t c : colours) bytes.insert(bytes.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
  return bytes;
}

TEST(EncodeTrueColour, ExampleRunListsByteForByte) {
  ColourEncoder e(40);
  std::vector<uint32_t> pixels(40, 0);
  pixels[1] = 0x00202020;  // a title-bar grey: code 0x24 would make it olive
  pixels[2] = 0x00F3F3F3;
  EXPECT_EQ(e.Frame(pixels), (std::vector<uint8_t>{0x01, 0, 0, 0, 0x02, 0, 0, 0, 0x20, 0x20, 0x20, 0xF3, 0xF3, 0xF3}));

  ColourEncoder f(40);
  pixels.assign(40, 0);
  pixels[5] = 0x00123456;
  pixels[38] = 0xFF0000FF;  // the top byte is no part of the colour
  EXPECT_EQ(f.Frame(pixels), (std::vector<uint8_t>{0x05, 0, 0, 0, 0x01, 0, 0, 0, 0x56, 0x34, 0x12,  //
                                                    0x26, 0, 0, 0, 0x01, 0, 0, 0, 0xFF, 0x00, 0x00}));
}

TEST(EncodeTrueColour, EveryColourBitIsSentAndNoTopBit) {
  // Where 256 colours keep 8 bits of 24, true colour keeps all: a change of any one of them is sent,
  // a change in bits 31-24 is not. Light greys that one code would merge stay apart.
  const uint32_t base = 0x00A5C3E7;
  ColourEncoder e(64);
  std::vector<uint32_t> pixels(64, base);
  ASSERT_EQ(e.Frame(pixels).size(), 64u * 3 + 8);
  for (int bit = 0; bit < 32; bit++) {
    pixels.assign(64, base ^ (1u << bit));
    std::vector<uint8_t> list = e.Frame(pixels);
    if (bit < 24)
      EXPECT_EQ(list.size(), 64u * 3 + 8) << "bit " << bit << " is colour, every pixel must be sent";
    else
      EXPECT_TRUE(list.empty()) << "bit " << bit << " is no colour";
    pixels.assign(64, base);
    e.Frame(pixels);
  }
  ColourEncoder greys(2);
  EXPECT_EQ(greys.Frame({0x00F3F3F3, 0x00E9E9E9}), RunBytes(0, 2, ColourBytesOf({0xF3F3F3, 0xE9E9E9})));
  EXPECT_EQ(QuantiseRgb332(0xF3F3F3), QuantiseRgb332(0xE9E9E9)) << "the greys one code cannot tell apart";
}

TEST(EncodeTrueColour, WhiteAndBlackAtBlockAndFrameEdges) {
  // 0xFFFFFF and 0x000000 on the pixels where the vector paths' blocks begin and end, and on the
  // frame's first and last pixel, for frames of one pixel up to a few blocks with an odd tail.
  for (uint32_t n : {1u, 2u, 31u, 32u, 33u, 63u, 64u, 65u, 97u, 131u}) {
    for (uint32_t at : {0u, 15u, 16u, 31u, 32u, 63u, 64u, n - 1}) {
      if (at >= n) continue;
      ColourEncoder e(n);
      std::vector<uint32_t> pixels(n, 0x00808080);
      e.Frame(pixels);
      pixels[at] = 0x00FFFFFF;
      ASSERT_EQ(e.Frame(pixels), RunBytes(at, 1, ColourBytesOf({0xFFFFFF}))) << "n " << n << " white at " << at;
      pixels[at] = 0xFF000000;  // black, with a top byte that must not count
      ASSERT_EQ(e.Frame(pixels), RunBytes(at, 1, ColourBytesOf({0x000000}))) << "n " << n << " black at " << at;
      ASSERT_EQ(e.Shadow[at], 0u);
      EXPECT_TRUE(e.Frame(pixels).empty()) << "n " << n << " at " << at;
    }
  }
}

TEST_P(RunSplit, TrueColourChangesThirtyTwoApartShareOneRunThirtyThreeApartDoNot) {
  const uint32_t n = 200, i = GetParam();
  for (uint32_t distance : {31u, 32u, 33u, 34u}) {
    if (i + distance >= n) continue;
    ColourEncoder e(n);
    std::vector<uint32_t> pixels(n);
    for (uint32_t k = 0; k < n; k++) pixels[k] = (k * 0x010203u + 1) & 0x00FFFFFF;
    e.Frame(pixels);
    // Changes of the lowest blue bit only: invisible to 256 colours, a change here.
    pixels[i] ^= 1;
    pixels[i + distance] ^= 1;
    std::vector<ChangeRun> runs = ParseRuns(e.Frame(pixels), ColourBytes);
    if (distance <= 32) {
      ASSERT_EQ(runs.size(), 1u) << "i " << i << " distance " << distance;
      EXPECT_EQ(runs[0].Start, i);
      ASSERT_EQ(runs[0].Length, distance + 1);
      for (uint32_t k = 0; k <= distance; k++)
        ASSERT_EQ(Load24(&runs[0].Codes[k * 3]), pixels[i + k]) << "i " << i << " k " << k;
    } else {
      ASSERT_EQ(runs.size(), 2u) << "i " << i << " distance " << distance;
      EXPECT_EQ(runs[0].Start, i);
      EXPECT_EQ(runs[0].Codes, ColourBytesOf({pixels[i]}));
      EXPECT_EQ(runs[1].Start, i + distance);
      EXPECT_EQ(runs[1].Codes, ColourBytesOf({pixels[i + distance]}));
    }
  }
}

TEST(EncodeTrueColour, WholeFrameChangeIsOneRunOfEveryColour) {
  for (uint32_t n : {1u, 3u, 32u, 33u, 1001u}) {
    ColourEncoder e(n);
    std::vector<uint32_t> pixels(n);
    for (uint32_t k = 0; k < n; k++) pixels[k] = (0x00FFFFFF - k * 0x00010101u) & 0x00FFFFFF;
    std::vector<uint8_t> list = e.Frame(pixels);
    ASSERT_EQ(list.size(), n * 3 + 8) << "n " << n;
    for (uint32_t k = 0; k < n; k++) ASSERT_EQ(Load24(&list[8 + k * 3]), pixels[k]) << "pixel " << k;
    EXPECT_TRUE(e.Frame(pixels).empty());
  }
}

TEST(ApplyRunList, WritesDecodedColoursAndLeavesOtherPixels) {
  const uint32_t keep = 0xDEADBEEF;
  std::vector<uint32_t> frame(100, keep);
  // Code 0 first (the colour cache starts at black), then white, then back to 0 after a change.
  std::vector<uint8_t> list = RunBytes(2, 4, {0x00, 0xFF, 0xFF, 0x00}) + RunBytes(60, 2, {0xFE, 0x03});
  ASSERT_TRUE(ApplyRunList(list.data(), uint32_t(list.size()), frame.data(), 100));
  std::vector<uint32_t> expected(100, keep);
  expected[2] = 0;
  expected[3] = expected[4] = 0x00FFFFFF;
  expected[5] = 0;
  expected[60] = 0x00E0E080;
  expected[61] = 0x000000C0;
  for (uint32_t i = 0; i < 100; i++) EXPECT_EQ(frame[i], expected[i]) << "pixel " << i;
  // An empty run list is a valid list that changes nothing.
  EXPECT_TRUE(ApplyRunList(list.data(), 0, frame.data(), 100));
}

TEST(ApplyRunList, LongRunsDecodeEveryCodeAtEveryPosition) {
  // Long runs take the decoder's wide path; each code, white included, must come out as the table
  // says wherever it falls in the run.
  for (uint32_t shift = 0; shift < 33; shift += 11) {
    std::vector<uint8_t> codes(600);
    for (uint32_t k = 0; k < codes.size(); k++) codes[k] = uint8_t(k * 37 + shift);
    std::vector<uint8_t> list = RunBytes(shift, uint32_t(codes.size()), codes);
    std::vector<uint32_t> frame(700, 0xDEADBEEF);
    ASSERT_TRUE(ApplyRunList(list.data(), uint32_t(list.size()), frame.data(), 700));
    for (uint32_t k = 0; k < codes.size(); k++)
      ASSERT_EQ(frame[shift + k], DecodeRgb332(codes[k])) << "code " << int(codes[k]) << " at " << k;
    EXPECT_EQ(frame[shift + 600], 0xDEADBEEFu);
    if (shift) EXPECT_EQ(frame[shift - 1], 0xDEADBEEFu);
  }
}

TEST(ApplyRunList, DamagedListsChangeNothing) {
  const uint32_t n = 50;
  std::vector<uint8_t> good = RunBytes(0, 2, {0x11, 0x22});
  const struct {
    const char* What;
    std::vector<uint8_t> List;
  } cases[] = {
      {"run past the last pixel", good + RunBytes(49, 2, {1, 2})},
      {"run starting past the frame", good + RunBytes(51, 1, {1})},
      {"run starting at n", good + RunBytes(50, 1, {1})},
      {"negative start", good + RunBytes(0xFFFFFFFF, 2, {1, 2})},
      {"negative length", good + RunBytes(3, 0xFFFFFFFE, {1, 2})},
      {"start + length wraps", good + RunBytes(10, 0xFFFFFFF8, {1})},
      {"zero length", good + RunBytes(5, 0, {})},
      {"length past the list", good + RunBytes(5, 10, {1, 2, 3})},
      {"header cut short", good + std::vector<uint8_t>{5, 0, 0, 0, 1}},
      {"lone byte", good + std::vector<uint8_t>{7}},
  };
  for (const auto& c : cases) {
    std::vector<uint32_t> frame(n, 0x12345678);
    EXPECT_FALSE(RunListFitsFrame(c.List.data(), uint32_t(c.List.size()), n)) << c.What;
    EXPECT_FALSE(RunListFollowsRules(c.List.data(), uint32_t(c.List.size()), n)) << c.What;
    EXPECT_FALSE(ApplyRunList(c.List.data(), uint32_t(c.List.size()), frame.data(), n)) << c.What;
    for (uint32_t i = 0; i < n; i++) ASSERT_EQ(frame[i], 0x12345678u) << c.What << ": pixel " << i;
  }
  std::vector<uint8_t> whole = RunBytes(0, n, std::vector<uint8_t>(n, 9));
  EXPECT_TRUE(RunListFitsFrame(whole.data(), uint32_t(whole.size()), n));
  std::vector<uint8_t> last = RunBytes(49, 1, {9});
  EXPECT_TRUE(RunListFitsFrame(last.data(), uint32_t(last.size()), n));
}

TEST(RunListFollowsRules, SpacingOrderAndOverlap) {
  const uint32_t n = 200;
  const struct {
    const char* What;
    std::vector<uint8_t> List;
    bool Follows;
  } cases[] = {
      {"two runs 33 apart", RunBytes(0, 1, {1}) + RunBytes(33, 1, {1}), true},
      {"two runs 32 apart", RunBytes(0, 1, {1}) + RunBytes(32, 1, {1}), false},
      {"gap after a long run", RunBytes(10, 5, {1, 1, 1, 1, 1}) + RunBytes(47, 1, {1}), true},
      {"gap of 32 after a long run", RunBytes(10, 5, {1, 1, 1, 1, 1}) + RunBytes(46, 1, {1}), false},
      {"descending", RunBytes(100, 1, {1}) + RunBytes(0, 1, {1}), false},
      {"overlapping", RunBytes(0, 40, std::vector<uint8_t>(40, 1)) + RunBytes(20, 1, {1}), false},
      {"adjacent", RunBytes(0, 40, std::vector<uint8_t>(40, 1)) + RunBytes(40, 1, {1}), false},
      {"one whole-frame run", RunBytes(0, n, std::vector<uint8_t>(n, 1)), true},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(RunListFitsFrame(c.List.data(), uint32_t(c.List.size()), n)) << c.What;
    EXPECT_EQ(RunListFollowsRules(c.List.data(), uint32_t(c.List.size()), n), c.Follows) << c.What;
  }
}

TEST(ApplyRunList, TrueColourRunsWriteTheirColoursExactly) {
  const uint32_t keep = 0xDEADBEEF;
  for (uint32_t count : {1u, 2u, 3u, 17u, 300u}) {
    std::vector<uint32_t> colours(count);
    for (uint32_t k = 0; k < count; k++) colours[k] = k % 2 ? 0x00FFFFFF : (k * 0x00345678u) & 0x00FFFFFF;
    std::vector<uint8_t> bytes;
    for (uint32_t c : colours) bytes.insert(bytes.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
    // The list's buffer ends right behind the last colour: the sanitizer build catches a read past it.
    std::vector<uint8_t> list = RunBytes(400 - count, count, bytes);
    std::vector<uint32_t> frame(400, keep);
    ASSERT_TRUE(ApplyRunList(list.data(), uint32_t(list.size()), frame.data(), 400, ColourBytes));
    for (uint32_t k = 0; k < count; k++) ASSERT_EQ(frame[400 - count + k], colours[k]) << "count " << count << " k " << k;
    EXPECT_EQ(frame[399 - count], keep);
  }
  // A list read with the wrong pixel size is a different list: three codes are one colour.
  std::vector<uint8_t> list = RunBytes(0, 1, {0x11, 0x22, 0x33});
  EXPECT_FALSE(RunListFitsFrame(list.data(), uint32_t(list.size()), 10, CodeBytes));
  EXPECT_TRUE(RunListFitsFrame(list.data(), uint32_t(list.size()), 10, ColourBytes));
}

TEST(ApplyRunList, DamagedTrueColourListsChangeNothing) {
  const uint32_t n = 50;
  std::vector<uint8_t> good = RunBytes(0, 2, std::vector<uint8_t>(6, 0x44));
  const struct {
    const char* What;
    std::vector<uint8_t> List;
  } cases[] = {
      {"run past the last pixel", good + RunBytes(49, 2, std::vector<uint8_t>(6, 1))},
      {"run starting at n", good + RunBytes(50, 1, {1, 2, 3})},
      {"negative start", good + RunBytes(0xFFFFFFFF, 1, {1, 2, 3})},
      {"length that fits as codes, not as colours", good + RunBytes(5, 3, {1, 2, 3, 4, 5, 6})},
      {"colour cut short", good + RunBytes(5, 1, {1, 2})},
      {"length times three wraps", good + RunBytes(0, 0x55555556, {1, 2, 3})},
      {"zero length", good + RunBytes(5, 0, {})},
      {"header cut short", good + std::vector<uint8_t>{5, 0, 0, 0, 1}},
  };
  for (const auto& c : cases) {
    std::vector<uint32_t> frame(n, 0x12345678);
    EXPECT_FALSE(RunListFitsFrame(c.List.data(), uint32_t(c.List.size()), n, ColourBytes)) << c.What;
    EXPECT_FALSE(RunListFollowsRules(c.List.data(), uint32_t(c.List.size()), n, ColourBytes)) << c.What;
    EXPECT_FALSE(ApplyRunList(c.List.data(), uint32_t(c.List.size()), frame.data(), n, ColourBytes)) << c.What;
    for (uint32_t i = 0; i < n; i++) ASSERT_EQ(frame[i], 0x12345678u) << c.What << ": pixel " << i;
  }
  // "length times three wraps" with a frame that large: still refused, never a wrapped small step.
  std::vector<uint8_t> wrap = RunBytes(0, 0x55555556, {1, 2, 3});
  EXPECT_FALSE(RunListFitsFrame(wrap.data(), uint32_t(wrap.size()), 0xFFFFFFFF, ColourBytes));
  std::vector<uint8_t> spaced = RunBytes(0, 1, {1, 2, 3}) + RunBytes(33, 1, {1, 2, 3});
  EXPECT_TRUE(RunListFollowsRules(spaced.data(), uint32_t(spaced.size()), n, ColourBytes));
  std::vector<uint8_t> close = RunBytes(0, 1, {1, 2, 3}) + RunBytes(32, 1, {1, 2, 3});
  EXPECT_TRUE(RunListFitsFrame(close.data(), uint32_t(close.size()), n, ColourBytes));
  EXPECT_FALSE(RunListFollowsRules(close.data(), uint32_t(close.size()), n, ColourBytes));
}

TEST(BufferSizes, LargestRunListAlwaysPacksIntoThePackedBuffer) {
  // Incompressible whole-frame changes with exactly-sized buffers: the sanitizer build catches any
  // write past them, and the packed length must stay within what the buffer was sized for.
  uint32_t seed = 12345;
  for (uint32_t n : {1u, 7u, 25u, 26u, 1000u, 65536u}) {
    Encoder e(n);
    std::vector<uint32_t> pixels(n);
    for (uint32_t k = 0; k < n; k++) {
      seed = seed * 1664525u + 1013904223u;
      pixels[k] = DecodeRgb332(uint8_t((seed >> 24) | 1));
    }
    std::vector<uint8_t> list = e.Frame(pixels);
    EXPECT_EQ(list.size(), n + 8);
    EXPECT_LE(uint32_t(e.PayloadLength), LzoWorstCase(n + 8)) << "n " << n;
    EXPECT_GE(RunListBufferSize(n), n + 8);
    EXPECT_GE(PackedBufferSize(n), LzoWorstCase(n + 8));

    ColourEncoder c(n);
    for (uint32_t k = 0; k < n; k++) {
      seed = seed * 1664525u + 1013904223u;
      pixels[k] = (seed >> 8) | 1;
    }
    EXPECT_EQ(c.Frame(pixels).size(), n * 3 + 8);
    EXPECT_LE(uint32_t(c.PayloadLength), LzoWorstCase(n * 3 + 8)) << "n " << n;
    EXPECT_GE(RunListBufferSize(n, ColourBytes), n * 3 + 8);
    EXPECT_GE(PackedBufferSize(n, ColourBytes), LzoWorstCase(n * 3 + 8));
  }
}

}  // namespace
