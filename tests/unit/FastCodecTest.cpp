// The fast encoder and decoder against the plain reference codec, byte for byte: run lists, shadow
// updates and packed payloads, on randomised frame sequences and on the cases that sit on the edges
// of the 32-pixel blocks and of the run rule. Every encoder path the dispatch can choose is forced
// in turn, so a fault in a path this machine would not pick by itself is still found.
#include <gtest/gtest.h>

#include <string.h>

#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "Codec.h"
#include "EncoderPath.h"
#include "LZO.h"
#include "ReferenceCodec.h"
#include "UTypes.h"

namespace {

// Index of the first differing byte, or -1.
long FirstMismatch(const uint8_t* a, const uint8_t* b, size_t count) {
  for (size_t i = 0; i < count; i++)
    if (a[i] != b[i]) return (long)i;
  return -1;
}

// Both encoders side by side over one frame size, each with its own shadow: codes (256 colours) or
// colours (true colour), kept as bytes.
struct EncoderPair {
  EncoderPair(uint32_t n, bool trueColour)
      : N(n), TrueColour(trueColour), PixelBytes(trueColour ? ColourBytes : CodeBytes),
        RefShadow(n * (trueColour ? 4 : 1), 0), FastShadow(RefShadow), RefList(RunListBufferSize(n, PixelBytes)),
        FastList(RefList.size()), RefPacked(PackedBufferSize(n, PixelBytes)), FastPacked(RefPacked.size()),
        Work(LzoWorkSize) {}

  // Encodes the frame with both and reports the first difference in run list, shadow or payload.
  ::testing::AssertionResult Frame(const std::vector<uint32_t>& pixels) {
    uint32_t refLength;
    int32_t fastPayload;
    if (TrueColour) {
      refLength = ReferenceBuildRunList(pixels.data(), (uint32_t*)RefShadow.data(), N, RefList.data());
      fastPayload = EncodeFrame(pixels.data(), (uint32_t*)FastShadow.data(), N, FastList.data(), FastPacked.data(),
                                Work.data());
    } else {
      refLength = ReferenceBuildRunList(pixels.data(), RefShadow.data(), N, RefList.data());
      fastPayload = EncodeFrame(pixels.data(), FastShadow.data(), N, FastList.data(), FastPacked.data(), Work.data());
    }
    int32_t refPayload = refLength ? PackRunList(RefList.data(), refLength, RefPacked.data(), Work.data()) : 0;
    LastLength = refLength;
    long shadowAt = FirstMismatch(RefShadow.data(), FastShadow.data(), RefShadow.size());
    if (shadowAt >= 0)
      return ::testing::AssertionFailure() << "shadow differs at pixel " << shadowAt / (TrueColour ? 4 : 1);
    long listAt = FirstMismatch(RefList.data(), FastList.data(), refLength);
    if (listAt >= 0) return ::testing::AssertionFailure() << "run list differs at byte " << listAt << " of " << refLength;
    if (fastPayload != refPayload)
      return ::testing::AssertionFailure() << "payload length " << fastPayload << ", reference " << refPayload;
    long packedAt = FirstMismatch(RefPacked.data(), FastPacked.data(), (size_t)refPayload);
    if (packedAt >= 0) return ::testing::AssertionFailure() << "payload differs at byte " << packedAt;
    return ::testing::AssertionSuccess();
  }

  // The runs in the last run list.
  int RunCount() const {
    int runs = 0;
    for (uint32_t q = 0; q < LastLength; runs++) {
      uint32_t count;
      memcpy(&count, FastList.data() + q + 4, 4);
      q += RunHeaderSize + count * PixelBytes;
    }
    return runs;
  }

  uint32_t N;
  bool TrueColour;
  uint32_t PixelBytes;
  std::vector<uint8_t> RefShadow, FastShadow, RefList, FastList, RefPacked, FastPacked, Work;
  uint32_t LastLength = 0;
};

// A pixel of a screen-like picture: a few colours, mostly one, so that the encoders' conversion
// caches are exercised along with the block compare.
uint32_t ScreenColour(std::mt19937& random) {
  static const uint32_t palette[] = {0x00FFFFFF, 0x00F0F0F0, 0x00000000, 0x002060C0, 0x00E0E0C0, 0x00808080};
  uint32_t pick = random() % 16;
  return pick < 6 ? palette[pick] : palette[0];
}

// One random edit of the kind a screen sees between two ticks.
void EditFrame(std::vector<uint32_t>& frame, uint32_t width, std::mt19937& random) {
  uint32_t n = (uint32_t)frame.size();
  switch (random() % 7) {
    case 0: {  // a filled rectangle, as a window or text cursor repaints
      uint32_t height = n / width;
      uint32_t x0 = random() % width, y0 = random() % height;
      uint32_t x1 = x0 + 1 + random() % (width - x0), y1 = y0 + 1 + random() % (height - y0);
      uint32_t colour = random() & 0x00FFFFFF;
      for (uint32_t y = y0; y < y1; y++)
        for (uint32_t x = x0; x < x1; x++) frame[y * width + x] = colour;
      break;
    }
    case 1: {  // scattered pixels with gaps around the run rule's limit
      for (uint32_t i = random() % 40; i < n; i += 1 + random() % 40) frame[i] = random();
      break;
    }
    case 2:  // only bits the codes drop: nothing may be sent
      for (uint32_t i = 0; i < n; i++) frame[i] = (frame[i] & 0x00E0E0C0) | (random() & 0xFF1F1F3F);
      break;
    case 3:  // the whole picture moves up one row
      memmove(frame.data(), frame.data() + width, (n - width) * 4);
      break;
    case 4:  // noise everywhere
      for (uint32_t& p : frame) p = random();
      break;
    case 5:  // nothing changes
      break;
    default:  // a single pixel anywhere, the first and last included
      frame[random() % 3 == 0 ? (random() % 2 ? 0 : n - 1) : random() % n] = random();
      break;
  }
}

const EncoderPath ForcedPaths[] = {EncoderPathScalar, EncoderPathSse2, EncoderPathAvx2};

// Each path at each colour depth.
class FastEncoder : public ::testing::TestWithParam<std::tuple<EncoderPath, bool>> {
 protected:
  void SetUp() override {
    if (!SetEncoderPath(std::get<0>(GetParam()))) GTEST_SKIP() << "this machine cannot run the path";
    ASSERT_EQ(ActiveEncoderPath(), std::get<0>(GetParam()));
  }
  void TearDown() override { SetEncoderPath(EncoderPathAuto); }
  bool TrueColour() const { return std::get<1>(GetParam()); }
};

TEST_P(FastEncoder, AgreesWithTheReferenceOnRandomFrameSequences) {
  const uint32_t widths[] = {1, 7, 31, 32, 33, 64, 100, 317};
  for (uint32_t width : widths) {
    for (uint32_t height : {1u, 3u, 13u}) {
      std::mt19937 random(width * 131 + height);
      std::vector<uint32_t> frame(width * height);
      for (uint32_t& p : frame) p = ScreenColour(random);
      EncoderPair pair(width * height, TrueColour());
      for (int k = 0; k < 40; k++) {
        ASSERT_TRUE(pair.Frame(frame)) << width << "x" << height << " frame " << k;
        EditFrame(frame, width, random);
      }
    }
  }
}

TEST_P(FastEncoder, AgreesOnEverySizeAroundTheBlockWidth) {
  // Sizes 1 to 200 cover blocks with and without a partial tail; the larger ones sit on multiples
  // of 32 and of the 64-pixel stride where a path could read or write one block too far.
  std::vector<uint32_t> sizes;
  for (uint32_t n = 1; n <= 200; n++) sizes.push_back(n);
  for (uint32_t n : {1023u, 1024u, 1025u, 2047u, 2048u, 2049u, 4095u, 4096u, 4097u}) sizes.push_back(n);
  for (uint32_t n : sizes) {
    std::mt19937 random(n);
    EncoderPair pair(n, TrueColour());
    std::vector<uint32_t> frame(n);
    for (uint32_t& p : frame) p = random();
    ASSERT_TRUE(pair.Frame(frame)) << "n " << n << ": first frame";
    frame[0] ^= 0x00800000;
    ASSERT_TRUE(pair.Frame(frame)) << "n " << n << ": first pixel";
    frame[n - 1] ^= 0x00008000;
    ASSERT_TRUE(pair.Frame(frame)) << "n " << n << ": last pixel";
    ASSERT_EQ(pair.RunCount(), 1);
    frame[0] ^= 0x00800000;
    frame[n - 1] ^= 0x00008000;
    ASSERT_TRUE(pair.Frame(frame)) << "n " << n << ": first and last pixel";
    if (n > 1) EXPECT_EQ(pair.RunCount(), n > 33 ? 2 : 1) << "n " << n;
    for (uint32_t& p : frame) p = ~p;
    ASSERT_TRUE(pair.Frame(frame)) << "n " << n << ": every pixel";
    ASSERT_TRUE(pair.Frame(frame)) << "n " << n << ": no pixel";
    EXPECT_EQ(pair.LastLength, 0u);
  }
}

TEST_P(FastEncoder, GapsAroundTheRunRuleAtEveryBlockOffset) {
  // Two changes g indices apart form one run up to g = 32 and two from g = 33, wherever they fall
  // in a block and whichever blocks they fall in.
  const uint32_t n = 256;
  for (uint32_t gap = 30; gap <= 35; gap++) {
    for (uint32_t first = 0; first + gap < n && first < 100; first++) {
      EncoderPair pair(n, TrueColour());
      std::vector<uint32_t> frame(n, 0);
      frame[first] = 0x00FFFFFF;
      frame[first + gap] = 0x00FF0000;
      ASSERT_TRUE(pair.Frame(frame)) << "gap " << gap << " at " << first;
      EXPECT_EQ(pair.RunCount(), gap <= 32 ? 1 : 2) << "gap " << gap << " at " << first;
      // A third change between them, then a chain of changes each gap apart across many blocks.
      frame[first + gap / 2] = 0x0000FF00;
      for (uint32_t i = first + gap; i < n; i += gap) frame[i] ^= 0x00E0E0C0;
      ASSERT_TRUE(pair.Frame(frame)) << "chain, gap " << gap << " at " << first;
    }
  }
}

TEST_P(FastEncoder, AllOnesPixelsAtTheFirstAndTheFirstTailPosition) {
  // 0xFFFFFFFF is a vector comparison's "all lanes" mask and white with a full alpha byte: as the
  // first pixel, and as the first pixel after the last whole 16- or 32-pixel vector, it must still be
  // taken as the colour it is, in the first frame and when it appears or goes later.
  for (uint32_t n : {1u, 2u, 15u, 16u, 17u, 31u, 32u, 33u, 47u, 63u, 64u, 65u, 100u, 1025u}) {
    std::mt19937 random(n);
    std::vector<uint32_t> frame(n);
    for (uint32_t& p : frame) p = random() & 0x00FFFFFF;
    EncoderPair pair(n, TrueColour());
    std::vector<uint32_t> marked = frame;
    for (uint32_t at : {0u, n / 16 * 16, n / 32 * 32})
      if (at < n) marked[at] = 0xFFFFFFFF;
    ASSERT_TRUE(pair.Frame(marked)) << "n " << n << ": first frame";
    ASSERT_TRUE(pair.Frame(frame)) << "n " << n << ": the marked pixels go";
    ASSERT_TRUE(pair.Frame(marked)) << "n " << n << ": the marked pixels come back";
  }
}

TEST_P(FastEncoder, ChangesBelowTheKeptBitsAreNotSent) {
  const uint32_t n = 1000;
  std::mt19937 random(7);
  std::vector<uint32_t> frame(n);
  for (uint32_t& p : frame) p = random();
  EncoderPair pair(n, TrueColour());
  ASSERT_TRUE(pair.Frame(frame));
  std::vector<uint8_t> shadow = pair.FastShadow;
  // True colour keeps all 24 colour bits: only the top byte may change unseen.
  uint32_t kept = TrueColour() ? 0x00FFFFFF : 0x00E0E0C0;
  for (uint32_t& p : frame) p = (p & kept) | (~p & ~kept);
  ASSERT_TRUE(pair.Frame(frame));
  EXPECT_EQ(pair.LastLength, 0u);
  EXPECT_EQ(pair.FastShadow, shadow);
  // White and the grey that code 255 expands to are the same code, but two colours.
  std::vector<uint32_t> white(n, 0x00FFFFFF), grey(n, 0x00E0E0C0);
  ASSERT_TRUE(pair.Frame(white));
  ASSERT_TRUE(pair.Frame(grey));
  EXPECT_EQ(pair.LastLength, TrueColour() ? n * 3 + 8 : 0u);
}

TEST_P(FastEncoder, FirstFrameAgainstTheZeroShadowSendsOnlyNonBlackCodes) {
  const uint32_t n = 1920 * 4;
  // Black once quantised, or black at true colour with a top byte that is no colour.
  std::vector<uint32_t> frame(n, TrueColour() ? 0xFF000000 : 0x001F1F3F);
  EncoderPair pair(n, TrueColour());
  ASSERT_TRUE(pair.Frame(frame));
  EXPECT_EQ(pair.LastLength, 0u);
  for (uint32_t i = 100; i < n; i += 1920) frame[i] = 0x00FFFFFF;
  ASSERT_TRUE(pair.Frame(frame));
  EXPECT_EQ(pair.RunCount(), 4);
}

std::string PathName(const ::testing::TestParamInfo<std::tuple<EncoderPath, bool>>& info) {
  std::string depth = std::get<1>(info.param) ? "TrueColour" : "Colours256";
  switch (std::get<0>(info.param)) {
    case EncoderPathScalar: return "Scalar" + depth;
    case EncoderPathSse2: return "Sse2" + depth;
    case EncoderPathAvx2: return "Avx2" + depth;
    default: return "Auto" + depth;
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, FastEncoder, ::testing::Combine(::testing::ValuesIn(ForcedPaths), ::testing::Bool()),
                         PathName);

TEST(EncoderDispatch, UsesAVectorPathOnX86AndRefusesNothingItChose) {
  ASSERT_TRUE(SetEncoderPath(EncoderPathAuto));
  EncoderPath best = ActiveEncoderPath();
  EXPECT_NE(best, EncoderPathAuto);
#if defined(__i386__) || defined(__x86_64__)
  EXPECT_NE(best, EncoderPathScalar);
  EXPECT_TRUE(SetEncoderPath(EncoderPathSse2));
#endif
  EXPECT_TRUE(SetEncoderPath(best));
  EXPECT_TRUE(SetEncoderPath(EncoderPathScalar));
  EXPECT_EQ(ActiveEncoderPath(), EncoderPathScalar);
  SetEncoderPath(EncoderPathAuto);
  EXPECT_EQ(ActiveEncoderPath(), best);
}

// ---- Decoder --------------------------------------------------------------------------------------

// Appends a run of codes (or of colours, pixelBytes 3) to a list.
void AddRun(std::vector<uint8_t>& list, uint32_t start, const std::vector<uint8_t>& codes,
            uint32_t pixelBytes = CodeBytes) {
  uint32_t count = (uint32_t)codes.size() / pixelBytes;
  uint8_t header[8];
  memcpy(header, &start, 4);
  memcpy(header + 4, &count, 4);
  list.insert(list.end(), header, header + 8);
  list.insert(list.end(), codes.begin(), codes.end());
}

long FirstPixelMismatch(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  for (size_t i = 0; i < a.size(); i++)
    if (a[i] != b[i]) return (long)i;
  return -1;
}

TEST(FastDecoder, EveryCodeAtEveryLanePosition) {
  // 256 codes in a row, shifted by 0 to 31 so each code passes through each of the 16 positions of
  // the vector expansion and through the overlapping last group.
  for (uint32_t shift = 0; shift < 32; shift++) {
    std::vector<uint8_t> codes;
    for (uint32_t k = 0; k < 256 + shift; k++) codes.push_back(uint8_t(k - shift));
    std::vector<uint8_t> list;
    AddRun(list, shift, codes);
    std::vector<uint32_t> fast(600, 0x12345678), reference(600, 0x12345678);
    ASSERT_TRUE(ApplyRunList(list.data(), (uint32_t)list.size(), fast.data(), 600));
    ReferenceApplyRunList(list.data(), (uint32_t)list.size(), reference.data());
    ASSERT_EQ(FirstPixelMismatch(fast, reference), -1) << "shift " << shift;
    for (uint32_t k = 0; k < codes.size(); k++)
      ASSERT_EQ(QuantiseRgb332(fast[shift + k]), codes[k]) << "shift " << shift << " pixel " << k;
  }
}

TEST(FastDecoder, AgreesWithTheReferenceOnRandomRunLists) {
  std::mt19937 random(99);
  for (int trial = 0; trial < 300; trial++) {
    uint32_t n = 1 + random() % 3000;
    std::vector<uint8_t> list;
    // Runs of 1 to 70 codes (around the 16-code vector width), mostly of a few colours with white.
    for (uint32_t start = random() % 40; start < n; ) {
      uint32_t count = 1 + random() % 70;
      if (count > n - start) count = n - start;
      std::vector<uint8_t> codes(count);
      for (uint8_t& c : codes) c = random() % 3 ? 255 : uint8_t(random());
      AddRun(list, start, codes);
      start += count + 33 + random() % 100;
    }
    std::vector<uint32_t> fast(n), reference(n);
    for (uint32_t i = 0; i < n; i++) fast[i] = reference[i] = random();
    ASSERT_TRUE(ApplyRunList(list.data(), (uint32_t)list.size(), fast.data(), n));
    ReferenceApplyRunList(list.data(), (uint32_t)list.size(), reference.data());
    ASSERT_EQ(FirstPixelMismatch(fast, reference), -1) << "trial " << trial << ", n " << n;
  }
}

TEST(FastDecoder, TrueColourAgreesWithTheReferenceOnRandomRunLists) {
  // Runs of 1 to 70 colours, white and black among them, the last one often ending on the frame's
  // last pixel and on the list's last byte.
  std::mt19937 random(98);
  for (int trial = 0; trial < 300; trial++) {
    uint32_t n = 1 + random() % 3000;
    std::vector<uint8_t> list;
    for (uint32_t start = random() % 40; start < n;) {
      uint32_t count = 1 + random() % 70;
      if (count > n - start || random() % 8 == 0) count = n - start;
      std::vector<uint8_t> bytes(count * 3);
      for (uint32_t k = 0; k < count; k++) {
        uint32_t pick = random() % 4, colour = pick == 0 ? 0xFFFFFF : pick == 1 ? 0 : random();
        bytes[k * 3] = uint8_t(colour), bytes[k * 3 + 1] = uint8_t(colour >> 8), bytes[k * 3 + 2] = uint8_t(colour >> 16);
      }
      AddRun(list, start, bytes, ColourBytes);
      start += count + 33 + random() % 100;
    }
    std::vector<uint8_t> exact(list);  // no slack behind the list for a read past it to hide in
    std::vector<uint32_t> fast(n), reference(n);
    for (uint32_t i = 0; i < n; i++) fast[i] = reference[i] = random();
    ASSERT_TRUE(ApplyRunList(exact.data(), (uint32_t)exact.size(), fast.data(), n, ColourBytes)) << "trial " << trial;
    ReferenceApplyRunList(exact.data(), (uint32_t)exact.size(), reference.data(), ColourBytes);
    ASSERT_EQ(FirstPixelMismatch(fast, reference), -1) << "trial " << trial << ", n " << n;
  }
}

TEST(FastDecoder, ADamagedListChangesNothingEvenAfterGoodRuns) {
  // The first runs are well formed; the last one reaches one pixel past the frame. The list is
  // checked as a whole before anything is written.
  const uint32_t n = 500;
  std::vector<uint8_t> list;
  AddRun(list, 0, std::vector<uint8_t>(100, 0xE0));
  AddRun(list, 200, std::vector<uint8_t>(50, 0xFF));
  AddRun(list, 480, std::vector<uint8_t>(21, 0x1C));
  std::vector<uint32_t> frame(n, 0x00ABCDEF);
  EXPECT_FALSE(ApplyRunList(list.data(), (uint32_t)list.size(), frame.data(), n));
  EXPECT_EQ(FirstPixelMismatch(frame, std::vector<uint32_t>(n, 0x00ABCDEF)), -1);
}

TEST(FastDecoder, AgreesOnStreaksOfRunsOfOneLength) {
  // The decoder walks a streak of runs of one length without waiting for each length; streaks of
  // short and vector-width lengths, broken at random, must still land every code where it belongs.
  std::mt19937 random(7);
  const uint32_t lengths[] = {1, 2, 3, 15, 16, 17, 31};
  for (int trial = 0; trial < 200; trial++) {
    uint32_t n = 200 + random() % 5000;
    std::vector<uint8_t> list;
    uint32_t start = random() % 40, streak = 0, count = 1;
    while (true) {
      if (streak == 0) {
        streak = 1 + random() % 40;
        count = lengths[random() % 7];
      }
      if (start >= n || count > n - start) break;
      std::vector<uint8_t> codes(count);
      for (uint8_t& c : codes) c = random() % 2 ? 255 : uint8_t(random());
      AddRun(list, start, codes);
      start += count + 32 + random() % 3;
      streak--;
    }
    std::vector<uint32_t> fast(n), reference(n);
    for (uint32_t i = 0; i < n; i++) fast[i] = reference[i] = random();
    ASSERT_TRUE(ApplyRunList(list.data(), (uint32_t)list.size(), fast.data(), n));
    ReferenceApplyRunList(list.data(), (uint32_t)list.size(), reference.data());
    ASSERT_EQ(FirstPixelMismatch(fast, reference), -1) << "trial " << trial << ", n " << n;
  }
}

TEST(FastDecoder, EveryRunOfAStreakIsChecked) {
  // A speckle of one-pixel (and of three-pixel) runs with one run damaged anywhere in the streak,
  // or the list cut at any byte: nothing may be written. Cuts on a run boundary leave a good list.
  for (uint32_t count : {1u, 3u}) {
    const uint32_t runs = 60, n = runs * 40;
    std::vector<uint8_t> list;
    std::vector<uint32_t> boundaries{0};
    for (uint32_t r = 0; r < runs; r++) {
      AddRun(list, r * 40, std::vector<uint8_t>(count, uint8_t(r)));
      boundaries.push_back((uint32_t)list.size());
    }
    const std::vector<uint32_t> before(n, 0x00ABCDEF);
    for (uint32_t r = 0; r < runs; r++) {
      for (uint32_t badStart : {n - count + 1, n, 0xFFFFFFFFu, 0x80000000u}) {
        std::vector<uint8_t> damaged = list;
        memcpy(damaged.data() + boundaries[r], &badStart, 4);
        std::vector<uint32_t> frame = before;
        EXPECT_FALSE(RunListFitsFrame(damaged.data(), (uint32_t)damaged.size(), n)) << "run " << r;
        EXPECT_FALSE(ApplyRunList(damaged.data(), (uint32_t)damaged.size(), frame.data(), n)) << "run " << r;
        ASSERT_EQ(FirstPixelMismatch(frame, before), -1) << "count " << count << ", run " << r << ", start " << badStart;
      }
      // The last pixel of the frame is still inside it.
      std::vector<uint8_t> edge = list;
      uint32_t lastStart = n - count;
      memcpy(edge.data() + boundaries[r], &lastStart, 4);
      EXPECT_TRUE(RunListFitsFrame(edge.data(), (uint32_t)edge.size(), n)) << "run " << r;
    }
    uint32_t next = 0;
    for (uint32_t cut = 0; cut <= list.size(); cut++) {
      bool onBoundary = cut == boundaries[next];
      if (onBoundary) next++;
      // A copy of just the kept bytes, so that the sanitised build sees any read past the cut.
      std::vector<uint8_t> part(list.begin(), list.begin() + cut);
      std::vector<uint32_t> frame = before;
      ASSERT_EQ(ApplyRunList(part.data(), cut, frame.data(), n), onBoundary) << "count " << count << ", cut " << cut;
      if (!onBoundary) ASSERT_EQ(FirstPixelMismatch(frame, before), -1) << "count " << count << ", cut " << cut;
    }
  }
}

TEST(FastCodec, TrueColourDecodedFramesAreTheCapturedColoursOnEveryPath) {
  // Encoder and decoder together at true colour: after every frame the picture the player shows is
  // the captured one, every pixel exactly (bits 31-24 aside), and the recorder's shadow is that too.
  for (EncoderPath path : ForcedPaths) {
    if (!SetEncoderPath(path)) continue;
    const uint32_t width = 97, height = 41, n = width * height;
    std::mt19937 random(path);
    std::vector<uint32_t> frame(n), shown(n, 0), shadow(n, 0);
    for (uint32_t& p : frame) p = ScreenColour(random);
    std::vector<uint8_t> list(RunListBufferSize(n, ColourBytes)), packed(PackedBufferSize(n, ColourBytes)),
        work(LzoWorkSize), unpacked(RunListBufferSize(n, ColourBytes));
    for (int k = 0; k < 30; k++) {
      int32_t payload = EncodeFrame(frame.data(), shadow.data(), n, list.data(), packed.data(), work.data());
      if (payload > 0) {
        int32_t length = UnpackPayload(packed.data(), (uint32_t)payload, unpacked.data(), (uint32_t)unpacked.size());
        ASSERT_GT(length, 0);
        ASSERT_TRUE(ApplyRunList(unpacked.data(), (uint32_t)length, shown.data(), n, ColourBytes));
      }
      for (uint32_t i = 0; i < n; i++) {
        ASSERT_EQ(shown[i], frame[i] & 0x00FFFFFF) << "path " << path << " frame " << k << " pixel " << i;
        ASSERT_EQ(shadow[i], shown[i]) << "path " << path << " frame " << k << " pixel " << i;
      }
      EditFrame(frame, width, random);
    }
  }
  SetEncoderPath(EncoderPathAuto);
}

TEST(FastCodec, DecodedFramesRequantiseToTheShadowOnEveryPath) {
  // Encoder and decoder together: after every frame the picture the player shows, reduced to codes,
  // is the recorder's shadow.
  for (EncoderPath path : ForcedPaths) {
    if (!SetEncoderPath(path)) continue;
    const uint32_t width = 97, height = 41, n = width * height;
    std::mt19937 random(path);
    std::vector<uint32_t> frame(n), shown(n, 0);
    for (uint32_t& p : frame) p = ScreenColour(random);
    std::vector<uint8_t> shadow(n, 0), list(RunListBufferSize(n)), packed(PackedBufferSize(n)), work(LzoWorkSize);
    std::vector<uint8_t> unpacked(n * 4 + 1024);
    for (int k = 0; k < 30; k++) {
      int32_t payload = EncodeFrame(frame.data(), shadow.data(), n, list.data(), packed.data(), work.data());
      if (payload > 0) {
        int32_t length = UnpackPayload(packed.data(), (uint32_t)payload, unpacked.data(), (uint32_t)unpacked.size());
        ASSERT_GT(length, 0);
        ASSERT_TRUE(ApplyRunList(unpacked.data(), (uint32_t)length, shown.data(), n));
      }
      for (uint32_t i = 0; i < n; i++)
        ASSERT_EQ(QuantiseRgb332(shown[i]), shadow[i]) << "path " << path << " frame " << k << " pixel " << i;
      EditFrame(frame, width, random);
    }
  }
  SetEncoderPath(EncoderPathAuto);
}

}  // namespace
