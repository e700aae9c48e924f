// Damaged and crafted movies: every kind of damage gives the reader's defined outcome (RecordStatus),
// and the reader never reads or writes outside its buffers (the sanitized build runs these too).
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Codec.h"
#include "LZO.h"
#include "TestSupport.h"

namespace {

const int32_t Width = 9, Height = 7;
const uint32_t N = Width * Height;

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int k = 0; k < 4; k++) b.at(at + size_t(k)) = uint8_t(v >> (8 * k));
}
void Append32(std::vector<uint8_t>& b, uint32_t v) {
  for (int k = 0; k < 4; k++) b.push_back(uint8_t(v >> (8 * k)));
}
uint32_t Load32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b.at(at)) | uint32_t(b.at(at + 1)) << 8 | uint32_t(b.at(at + 2)) << 16 | uint32_t(b.at(at + 3)) << 24;
}

// A small well-formed movie with its record offsets and the codes after every record.
struct SampleMovie {
  std::vector<uint8_t> Bytes;
  std::vector<size_t> RecordOffsets;  // frame records, then the end record
  std::vector<std::vector<uint8_t>> Codes;

  SampleMovie() {
    TestWriter w(Width, Height, "sample");
    std::vector<uint32_t> pixels(N, 0);
    std::vector<uint8_t> codes(N);
    auto frame = [&] {
      w.Frame(pixels, 1, 2, 3);
      for (uint32_t i = 0; i < N; i++) codes[i] = QuantiseRgb332(pixels[i]);
      Codes.push_back(codes);
    };
    frame();  // black: no payload
    pixels[0] = 0x00FFFFFF;
    frame();
    for (uint32_t i = 0; i < N; i++) pixels[i] = i * 0x00030507u;
    frame();
    frame();  // unchanged
    for (uint32_t i = 10; i < N; i += 40) pixels[i] = 0x00FF0000;
    frame();
    pixels[N - 1] = 0x000000FF;
    frame();
    Bytes = w.Finish();
    for (size_t at = FirstRecordOffset;;) {
      RecordOffsets.push_back(at);
      int32_t length = int32_t(Load32(Bytes, at + 9));
      if (length < 0) break;
      at += 13 + size_t(length);
    }
  }
  size_t Frames() const { return RecordOffsets.size() - 1; }
  size_t RecordEnd(size_t k) const { return RecordOffsets[k] + 13 + std::max(0, int32_t(Load32(Bytes, RecordOffsets[k] + 9))); }
};

const SampleMovie& Sample() {
  static SampleMovie movie;
  return movie;
}

std::string FrameProblem(const std::vector<uint32_t>& frame, const std::vector<uint8_t>& codes) {
  for (size_t i = 0; i < codes.size(); i++)
    if (QuantiseRgb332(frame[i]) != codes[i]) return "pixel " + std::to_string(i);
  return "";
}

bool Opens(const std::vector<uint8_t>& bytes) {
  MemoryFile file;
  file.Bytes = bytes;
  TestReader t;
  return t.Open(&file);
}

TEST(DamagedMovie, SampleReadsWhole) {
  const SampleMovie& s = Sample();
  ASSERT_EQ(s.Frames(), 6u);
  MemoryFile file;
  file.Bytes = s.Bytes;
  TestReader t;
  ASSERT_TRUE(t.Open(&file));
  for (size_t k = 0; k < s.Frames(); k++) {
    ASSERT_GE(ReadNextRecord(&t.Reader), 0);
    EXPECT_EQ(FrameProblem(t.Frame, s.Codes[k]), "") << "frame " << k;
  }
  EXPECT_EQ(ReadNextRecord(&t.Reader), -1);
  EXPECT_EQ(t.Reader.LastStatus, RecordEnd);
}

TEST(DamagedMovie, TruncatedAtEveryByte) {
  const SampleMovie& s = Sample();
  // Every byte from just before the first record on; the stub region more coarsely.
  for (size_t size = 0; size < s.Bytes.size(); size += size < FirstRecordOffset - 100 ? 97 : 1) {
    MemoryFile file;
    file.Bytes.assign(s.Bytes.begin(), s.Bytes.begin() + long(size));
    TestReader t;
    bool opened = t.Open(&file);
    ASSERT_EQ(opened, size >= FirstRecordOffset) << "size " << size;
    if (!opened) continue;
    // Records stop where the trailer would begin (or at the first record offset, with no trailer).
    size_t streamEnd = size >= FirstRecordOffset + TrailerSize ? size - TrailerSize : FirstRecordOffset;
    size_t complete = 0;
    while (complete < s.Frames() && s.RecordEnd(complete) <= streamEnd) complete++;
    EXPECT_GE(int32_t(t.Reader.Trailer.FrameCount), 0);
    EXPECT_EQ(t.Reader.Trailer.MovieTitle[TitleSize - 1], 0);

    size_t read = 0;
    for (int cap = 0; cap < 100; cap++) {
      int32_t length = ReadNextRecord(&t.Reader);
      if (length < 0) break;
      ASSERT_LT(read, s.Frames()) << "size " << size;
      ASSERT_EQ(FrameProblem(t.Frame, s.Codes[read]), "") << "size " << size << " frame " << read;
      read++;
      t.Reader.CurrentFrame++;  // the caller counts, as the playback tick does
    }
    ASSERT_EQ(read, complete) << "size " << size;
    EXPECT_EQ(t.Reader.LastStatus, RecordTruncated) << "size " << size;
    EXPECT_LE(t.Reader.Position, streamEnd) << "size " << size;
    EXPECT_EQ(t.Reader.Position, read < s.Frames() ? s.RecordOffsets[read] : s.RecordOffsets.back())
        << "size " << size << ": the reader stays in front of the damaged record";
    // Reading on after the end keeps giving the same end.
    EXPECT_EQ(ReadNextRecord(&t.Reader), -1);
    EXPECT_EQ(t.Reader.LastStatus, RecordTruncated) << "size " << size;

    // Seeking stops before the damage and replays the same pictures.
    SeekMovieReader(&t.Reader, 1000);
    EXPECT_EQ(size_t(t.Reader.CurrentFrame), complete) << "size " << size;
    SeekMovieReader(&t.Reader, 0);
    EXPECT_EQ(t.Reader.CurrentFrame, 0);
    EXPECT_EQ(FrameProblem(t.Frame, std::vector<uint8_t>(N, 0)), "");
    if (complete >= 3) {
      SeekMovieReader(&t.Reader, 3);
      EXPECT_EQ(FrameProblem(t.Frame, s.Codes[2]), "") << "size " << size;
    }
  }
}

// Sets the PayloadLength of frame record k and reads up to it.
struct Tampered {
  MemoryFile File;
  TestReader T;
  explicit Tampered(std::vector<uint8_t> bytes) {
    File.Bytes = std::move(bytes);
    EXPECT_TRUE(T.Open(&File));
  }
  void ReadRecords(size_t count) {
    for (size_t k = 0; k < count; k++) ASSERT_GE(ReadNextRecord(&T.Reader), 0) << "record " << k;
  }
};

TEST(DamagedMovie, PayloadLengthBeyondThePackedBufferEndsTheStream) {
  const SampleMovie& s = Sample();
  for (uint32_t length : {0x7FFFFFFFu, 0x10000000u, 0u /* placeholder for PackedSize + 1 */}) {
    std::vector<uint8_t> bytes = s.Bytes;
    Tampered probe(bytes);
    uint32_t value = length ? length : probe.T.Reader.PackedSize + 1;
    Put32(bytes, s.RecordOffsets[2] + 9, value);
    Tampered m(bytes);
    m.ReadRecords(2);
    EXPECT_EQ(ReadNextRecord(&m.T.Reader), -1) << value;
    EXPECT_EQ(m.T.Reader.LastStatus, RecordBadLength) << value;
    EXPECT_EQ(FrameProblem(m.T.Frame, s.Codes[1]), "") << "the frame keeps the last good picture";
    // Taken as the end: reading on does not take the damaged record's payload for a header.
    EXPECT_EQ(ReadNextRecord(&m.T.Reader), -1) << value;
    EXPECT_EQ(m.T.Reader.LastStatus, RecordBadLength) << value;
    RewindMovieReader(&m.T.Reader);
    SeekMovieReader(&m.T.Reader, 10);
    EXPECT_EQ(m.T.Reader.CurrentFrame, 2);
  }
}

TEST(DamagedMovie, PayloadLengthWithinTheBufferButPastTheFileIsTruncation) {
  const SampleMovie& s = Sample();
  std::vector<uint8_t> bytes = s.Bytes;
  // Large enough to reach into the trailer, small enough for the packed buffer of a 63-pixel frame.
  Put32(bytes, s.RecordOffsets[5] + 9, 250);
  Tampered m(bytes);
  ASSERT_GE(m.T.Reader.PackedSize, 250u);
  m.ReadRecords(5);
  EXPECT_EQ(ReadNextRecord(&m.T.Reader), -1);
  EXPECT_EQ(m.T.Reader.LastStatus, RecordTruncated);
  EXPECT_EQ(ReadNextRecord(&m.T.Reader), -1);
  EXPECT_EQ(m.T.Reader.LastStatus, RecordTruncated);
}

TEST(DamagedMovie, PayloadLengthBelowMinusOneEndsTheStream) {
  const SampleMovie& s = Sample();
  for (uint32_t value : {0xFFFFFFFEu, 0x80000000u, 0xFFFFFF00u}) {
    std::vector<uint8_t> bytes = s.Bytes;
    Put32(bytes, s.RecordOffsets[1] + 9, value);
    Tampered m(bytes);
    m.ReadRecords(1);
    EXPECT_EQ(ReadNextRecord(&m.T.Reader), -1);
    EXPECT_EQ(m.T.Reader.LastStatus, RecordBadLength) << int32_t(value);
  }
}

// A movie of hand-made records: each is a run list packed with LZO, or raw payload bytes.
struct CraftedMovie {
  std::vector<uint8_t> Bytes;
  explicit CraftedMovie(uint16_t depth = Depth256) {
    TestWriter w(Width, Height, "crafted", nullptr, nullptr, depth);
    Bytes = w.File.Bytes;  // stub and header only
  }
  void Raw(const std::vector<uint8_t>& payload) {
    Bytes.push_back(0);
    Append32(Bytes, 0);
    Append32(Bytes, 0);
    Append32(Bytes, uint32_t(payload.size()));
    Bytes.insert(Bytes.end(), payload.begin(), payload.end());
  }
  void Packed(const std::vector<uint8_t>& runList) {
    std::vector<uint8_t> packed(LzoWorstCase(uint32_t(runList.size())) + 16), work(LzoWorkSize);
    int32_t length = PackRunList(runList.data(), uint32_t(runList.size()), packed.data(), work.data());
    packed.resize(size_t(length));
    Raw(packed);
  }
  std::vector<uint8_t> Finish(int32_t frameCount) {
    std::vector<uint8_t> bytes = Bytes;
    bytes.push_back(0);
    Append32(bytes, 0);
    Append32(bytes, 0);
    Append32(bytes, 0xFFFFFFFF);
    Append32(bytes, uint32_t(frameCount));
    bytes.resize(bytes.size() + TitleSize, 0);
    return bytes;
  }
};

std::vector<uint8_t> RunBytes(uint32_t start, uint32_t length, std::vector<uint8_t> codes) {
  std::vector<uint8_t> list;
  Append32(list, start);
  Append32(list, length);
  list.insert(list.end(), codes.begin(), codes.end());
  return list;
}

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct BadRunCase {
  const char* What;
  std::vector<uint8_t> List;
};

// A good record (pixel 5), the damaged run list, a good record (pixel 6 becomes `sixth`, given as the
// run's pixel bytes `sixthBytes`), at the movie's depth: the damaged one changes nothing, the rest plays.
void ExpectBadRunsChangeNothing(uint16_t depth, const std::vector<uint8_t>& fifthBytes,
                                const std::vector<uint8_t>& sixthBytes, uint32_t sixth,
                                const std::vector<BadRunCase>& cases) {
  for (const auto& c : cases) {
    CraftedMovie movie(depth);
    movie.Packed(RunBytes(5, 1, fifthBytes));
    movie.Packed(c.List);
    movie.Packed(RunBytes(6, 1, sixthBytes));
    MemoryFile file;
    file.Bytes = movie.Finish(3);
    TestReader t;
    ASSERT_TRUE(t.Open(&file)) << c.What;
    ASSERT_GT(ReadNextRecord(&t.Reader), 0);
    std::vector<uint32_t> before = t.Frame;
    EXPECT_GT(ReadNextRecord(&t.Reader), 0) << c.What;
    EXPECT_EQ(t.Reader.LastStatus, RecordBadRuns) << c.What;
    EXPECT_EQ(t.Frame, before) << c.What << ": a bad run list must change nothing";
    EXPECT_GT(ReadNextRecord(&t.Reader), 0) << c.What;
    EXPECT_EQ(t.Reader.LastStatus, RecordChanged) << c.What << ": the next record is read as usual";
    EXPECT_EQ(t.Frame[6], sixth);
    EXPECT_EQ(ReadNextRecord(&t.Reader), -1);
    EXPECT_EQ(t.Reader.LastStatus, RecordEnd);
  }
}

TEST(DamagedMovie, BadRunsLeaveTheFrameAndPlaybackGoesOn) {
  ExpectBadRunsChangeNothing(Depth256, {0x1C}, {0xE0}, 0x00E00000u,
                             {
                                 {"run past the last pixel", RunBytes(N - 1, 2, {1, 2})},
                                 {"run starting at n", RunBytes(N, 1, {1})},
                                 {"negative start", RunBytes(0xFFFFFFF0u, 4, {1, 2, 3, 4})},
                                 {"negative length", RunBytes(0, 0x80000000u, {1})},
                                 {"zero length", RunBytes(3, 0, {})},
                                 {"codes past the run list", RunBytes(0, 10, {1, 2, 3})},
                                 {"header cut short", std::vector<uint8_t>{1, 0, 0, 0, 1, 0}},
                                 {"a good run then a bad one", RunBytes(0, 1, {0xFF}) + RunBytes(N, 1, {1})},
                             });
}

TEST(DamagedMovie, BadTrueColourRunsLeaveTheFrameAndPlaybackGoesOn) {
  // Runs of three bytes a pixel: lengths are counted in colours, so a list that would fit as codes
  // does not fit as colours.
  const std::vector<uint8_t> grey = {0x20, 0x20, 0x20};
  ExpectBadRunsChangeNothing(DepthTrueColour, {0xF3, 0xF3, 0xF3}, {0x56, 0x34, 0x12}, 0x00123456u,
                             {
                                 {"run past the last pixel", RunBytes(N - 1, 2, grey + grey)},
                                 {"run starting at n", RunBytes(N, 1, grey)},
                                 {"codes where colours belong", RunBytes(0, 3, {1, 2, 3})},
                                 {"last colour cut short", RunBytes(0, 2, grey + std::vector<uint8_t>{1, 2})},
                                 {"length whose colours wrap 32 bits", RunBytes(0, 0x55555556u, grey)},
                                 {"negative start", RunBytes(0xFFFFFFF0u, 1, grey)},
                                 {"zero length", RunBytes(3, 0, {})},
                                 {"a good run then a bad one", RunBytes(0, 1, grey) + RunBytes(N, 1, grey)},
                             });
}

TEST(DamagedMovie, TrueColourBuffersAreSizedForColours) {
  // A whole frame of colours is a legal payload of a true-colour movie, and the reader's packed
  // buffer ends where LZO's worst case for it does: one byte more is damage.
  CraftedMovie movie(DepthTrueColour);
  std::vector<uint8_t> colours(N * 3);
  for (uint32_t i = 0; i < colours.size(); i++) colours[i] = uint8_t(i * 151 + 7);
  movie.Packed(RunBytes(0, N, colours));
  MemoryFile file;
  file.Bytes = movie.Finish(1);
  TestReader t;
  ASSERT_TRUE(t.Open(&file));
  EXPECT_EQ(t.Reader.RunListSize, RunListBufferSize(N, ColourBytes));
  EXPECT_EQ(t.Reader.PackedSize, PackedBufferSize(N, ColourBytes));
  ASSERT_GT(ReadNextRecord(&t.Reader), 0);
  ASSERT_EQ(t.Reader.LastStatus, RecordChanged);
  for (uint32_t i = 0; i < N; i++)
    ASSERT_EQ(t.Frame[i], uint32_t(colours[i * 3]) | uint32_t(colours[i * 3 + 1]) << 8 | uint32_t(colours[i * 3 + 2]) << 16)
        << "pixel " << i;

  std::vector<uint8_t> bytes = file.Bytes;
  Put32(bytes, FirstRecordOffset + 9, t.Reader.PackedSize + 1);
  Tampered m(bytes);
  EXPECT_EQ(ReadNextRecord(&m.T.Reader), -1);
  EXPECT_EQ(m.T.Reader.LastStatus, RecordBadLength);
}

TEST(DamagedMovie, PayloadThatDoesNotUnpackLeavesTheFrame) {
  std::vector<uint8_t> packedGood(200), work(LzoWorkSize);
  std::vector<uint8_t> list = RunBytes(2, 3, {0x10, 0x20, 0x30});
  int32_t goodLength = PackRunList(list.data(), uint32_t(list.size()), packedGood.data(), work.data());
  packedGood.resize(size_t(goodLength));

  // More than the run list buffer once unpacked, though tiny when packed.
  std::vector<uint8_t> huge(RunListBufferSize(N) + 1, 0);
  std::vector<uint8_t> packedHuge(LzoWorstCase(uint32_t(huge.size())));
  int32_t hugeLength = PackRunList(huge.data(), uint32_t(huge.size()), packedHuge.data(), work.data());
  packedHuge.resize(size_t(hugeLength));

  std::vector<uint8_t> cut(packedGood.begin(), packedGood.end() - 3);  // the end marker is gone
  const struct {
    const char* What;
    std::vector<uint8_t> Payload;
  } cases[] = {
      {"random bytes", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"back reference before the start", {0x12, 0x41, 0xFC, 0xFF, 0x11, 0x00, 0x00}},
      {"end marker missing", cut},
      {"bytes after the end marker", packedGood + std::vector<uint8_t>{0}},
      {"unpacks beyond the run list buffer", packedHuge},
  };
  for (const auto& c : cases) {
    CraftedMovie movie;
    movie.Packed(RunBytes(0, 1, {0xFF}));
    movie.Raw(c.Payload);
    movie.Raw(packedGood);
    MemoryFile file;
    file.Bytes = movie.Finish(3);
    TestReader t;
    ASSERT_TRUE(t.Open(&file));
    ASSERT_GT(ReadNextRecord(&t.Reader), 0);
    std::vector<uint32_t> before = t.Frame;
    EXPECT_EQ(ReadNextRecord(&t.Reader), int32_t(c.Payload.size())) << c.What;
    EXPECT_EQ(t.Reader.LastStatus, RecordBadPayload) << c.What;
    EXPECT_EQ(t.Frame, before) << c.What;
    EXPECT_GT(ReadNextRecord(&t.Reader), 0) << c.What;
    EXPECT_EQ(t.Reader.LastStatus, RecordChanged) << c.What;
    EXPECT_EQ(t.Frame[4], DecodeRgb332(0x30));
  }
}

std::vector<uint8_t> SampleWithHeader(void (*change)(std::vector<uint8_t>&)) {
  std::vector<uint8_t> bytes = Sample().Bytes;
  change(bytes);
  return bytes;
}

const size_t Info = StubLength + FileHeaderSize;  // the BITMAPINFOHEADER

TEST(DamagedMovie, AbsurdHeadersAreNoMovie) {
  const struct {
    const char* What;
    void (*Change)(std::vector<uint8_t>&);
  } cases[] = {
      {"no BM", [](std::vector<uint8_t>& b) { b[StubLength] = 'M'; }},
      {"colour depth 8", [](std::vector<uint8_t>& b) { b[StubLength + 6] = 8; }},
      {"colour depth 32", [](std::vector<uint8_t>& b) { b[StubLength + 6] = 32; }},
      {"colour depth 24 in the high byte", [](std::vector<uint8_t>& b) { b[StubLength + 7] = 24; }},
      {"bfOffBits 54", [](std::vector<uint8_t>& b) { Put32(b, StubLength + 10, 54); }},
      {"bfOffBits 67", [](std::vector<uint8_t>& b) { Put32(b, StubLength + 10, 67); }},
      {"biSize 12", [](std::vector<uint8_t>& b) { Put32(b, Info, 12); }},
      {"zero width", [](std::vector<uint8_t>& b) { Put32(b, Info + 4, 0); Put32(b, Info + 20, 0); }},
      {"negative width", [](std::vector<uint8_t>& b) { Put32(b, Info + 4, uint32_t(-9)); }},
      {"positive height", [](std::vector<uint8_t>& b) { Put32(b, Info + 8, 7); }},
      {"zero height", [](std::vector<uint8_t>& b) { Put32(b, Info + 8, 0); Put32(b, Info + 20, 0); }},
      {"height INT32_MIN", [](std::vector<uint8_t>& b) { Put32(b, Info + 8, 0x80000000u); }},
      {"24 bits", [](std::vector<uint8_t>& b) { b[Info + 14] = 24; }},
      {"16 bits", [](std::vector<uint8_t>& b) { b[Info + 14] = 16; }},
      {"RLE compression", [](std::vector<uint8_t>& b) { Put32(b, Info + 16, 1); }},
      {"image size one more", [](std::vector<uint8_t>& b) { Put32(b, Info + 20, N * 4 + 1); }},
      {"image size zero", [](std::vector<uint8_t>& b) { Put32(b, Info + 20, 0); }},
      {"image size of 3 bytes a pixel", [](std::vector<uint8_t>& b) { Put32(b, Info + 20, N * 3); }},
      {"width x height wraps 32 bits", [](std::vector<uint8_t>& b) {
         Put32(b, Info + 4, 0x10000);
         Put32(b, Info + 8, uint32_t(-0x10000));
         Put32(b, Info + 20, 0);  // 2^32 pixels x 4 bytes wraps to 0 as well
       }},
      {"size x 4 wraps 32 bits", [](std::vector<uint8_t>& b) {
         Put32(b, Info + 4, 0x8000);
         Put32(b, Info + 8, uint32_t(-0x8000));  // 2^30 pixels, 2^32 bytes
         Put32(b, Info + 20, 0);
       }},
      {"more pixels than a reader takes", [](std::vector<uint8_t>& b) {
         Put32(b, Info + 4, 8193);
         Put32(b, Info + 8, uint32_t(-8193));
         Put32(b, Info + 20, 8193u * 8193u * 4u);
       }},
  };
  ASSERT_TRUE(Opens(Sample().Bytes));
  for (const auto& c : cases) EXPECT_FALSE(Opens(SampleWithHeader(c.Change))) << c.What;
  // The colour masks and the screen's other fields are not checked: BI_RGB plays like BI_BITFIELDS.
  EXPECT_TRUE(Opens(SampleWithHeader([](std::vector<uint8_t>& b) { Put32(b, Info + 16, 0); })));
  // Depth 24 is true colour: the same header opens, taking its runs as colours.
  EXPECT_TRUE(Opens(SampleWithHeader([](std::vector<uint8_t>& b) { b[StubLength + 6] = 24; })));
}

TEST(DamagedMovie, TooShortForAHeaderIsNoMovie) {
  std::vector<uint8_t> bytes(Sample().Bytes.begin(), Sample().Bytes.begin() + FirstRecordOffset - 1);
  EXPECT_FALSE(Opens(bytes));
  std::vector<uint8_t> exact(Sample().Bytes.begin(), Sample().Bytes.begin() + FirstRecordOffset);
  MemoryFile file;
  file.Bytes = exact;
  TestReader t;
  ASSERT_TRUE(t.Open(&file));
  EXPECT_EQ(int32_t(t.Reader.Trailer.FrameCount), 0);
  EXPECT_EQ(t.Reader.Trailer.MovieTitle[0], 0);
  EXPECT_EQ(ReadNextRecord(&t.Reader), -1);
  EXPECT_EQ(t.Reader.LastStatus, RecordTruncated);
}

std::vector<uint8_t> WithFrameCount(int32_t count) {
  std::vector<uint8_t> bytes = Sample().Bytes;
  Put32(bytes, bytes.size() - TrailerSize, uint32_t(count));
  return bytes;
}

TEST(DamagedMovie, FrameCountLargerThanTheRecordsStopsSeekingBeforeTheEnd) {
  const SampleMovie& s = Sample();
  MemoryFile file;
  file.Bytes = WithFrameCount(100);
  TestReader t;
  ASSERT_TRUE(t.Open(&file));
  EXPECT_EQ(int32_t(t.Reader.Trailer.FrameCount), 100);
  SeekMovieReader(&t.Reader, 50);
  EXPECT_EQ(size_t(t.Reader.CurrentFrame), s.Frames());
  EXPECT_EQ(FrameProblem(t.Frame, s.Codes.back()), "");
  EXPECT_EQ(t.Reader.Position, s.RecordOffsets.back()) << "positioned on the end record";
  // The next read meets the end record, as playback would.
  EXPECT_EQ(ReadNextRecord(&t.Reader), -1);
  EXPECT_EQ(t.Reader.LastStatus, RecordEnd);
  EXPECT_EQ(ReadNextRecord(&t.Reader), -1) << "the end record stays the next record";
  EXPECT_EQ(t.Reader.LastStatus, RecordEnd);
  SeekMovieReader(&t.Reader, 2);
  EXPECT_EQ(t.Reader.CurrentFrame, 2);
  EXPECT_EQ(FrameProblem(t.Frame, s.Codes[1]), "");
}

TEST(DamagedMovie, FrameCountSmallerThanTheRecordsStillPlaysEveryRecord) {
  const SampleMovie& s = Sample();
  MemoryFile file;
  file.Bytes = WithFrameCount(2);
  TestReader t;
  ASSERT_TRUE(t.Open(&file));
  EXPECT_EQ(int32_t(t.Reader.Trailer.FrameCount), 2);
  SeekMovieReader(&t.Reader, 5);
  EXPECT_EQ(t.Reader.CurrentFrame, 5);
  EXPECT_EQ(FrameProblem(t.Frame, s.Codes[4]), "");
}

TEST(DamagedMovie, NegativeFrameCountIsTakenAsZero) {
  for (int32_t count : {-1, INT32_MIN}) {
    MemoryFile file;
    file.Bytes = WithFrameCount(count);
    TestReader t;
    ASSERT_TRUE(t.Open(&file));
    EXPECT_EQ(int32_t(t.Reader.Trailer.FrameCount), 0) << count;
  }
}

TEST(DamagedMovie, NegativeSeekReturnsToTheBlackStart) {
  MemoryFile file;
  file.Bytes = Sample().Bytes;
  TestReader t;
  ASSERT_TRUE(t.Open(&file));
  SeekMovieReader(&t.Reader, 4);
  SeekMovieReader(&t.Reader, -3);
  EXPECT_EQ(t.Reader.CurrentFrame, 0);
  EXPECT_EQ(FrameProblem(t.Frame, std::vector<uint8_t>(N, 0)), "");
  EXPECT_EQ(t.Reader.Position, FirstRecordOffset);
}

TEST(DamagedMovie, TitleWithoutTerminatorIsCutInWholeCharacters) {
  // 128 bytes and no NUL: ASCII keeps 127, and a GBK character across the cut is dropped whole.
  const struct {
    std::string Stored, Read;
  } cases[] = {{std::string(128, 'A'), std::string(127, 'A')},
               {"B" + std::string(126, 'A') + "\xD6", "B" + std::string(126, 'A')},
               {std::string(126, 'A') + "\xD6\xD0", std::string(126, 'A')}};
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes = Sample().Bytes;
    memcpy(&bytes[bytes.size() - TitleSize], c.Stored.data(), TitleSize);
    MemoryFile file;
    file.Bytes = bytes;
    TestReader t;
    ASSERT_TRUE(t.Open(&file));
    EXPECT_EQ(std::string(t.Reader.Trailer.MovieTitle), c.Read);
  }
}

}  // namespace
