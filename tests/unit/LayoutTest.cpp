// The bytes the writer puts into a movie executable, read back field by field with explicit
// little-endian loads (not through the packed structs, so a wrong struct layout cannot hide itself).
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "Codec.h"
#include "TestSupport.h"

namespace {

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b.at(at)) | uint32_t(b.at(at + 1)) << 8 | uint32_t(b.at(at + 2)) << 16 | uint32_t(b.at(at + 3)) << 24;
}
int32_t I32(const std::vector<uint8_t>& b, size_t at) { return int32_t(U32(b, at)); }
uint16_t U16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b.at(at) | b.at(at + 1) << 8); }

const size_t Stream = 20480;

TEST(Layout, EmptyMovieIsHeaderEndRecordAndTrailer) {
  TestWriter w(16, 10);
  std::vector<uint8_t> movie = w.Finish();
  ASSERT_EQ(movie.size(), 20691u);

  // BITMAPFILEHEADER
  EXPECT_EQ(movie[Stream], 'B');
  EXPECT_EQ(movie[Stream + 1], 'M');
  EXPECT_EQ(U32(movie, Stream + 2), 66u + 16 * 4 * 10);
  EXPECT_EQ(U16(movie, Stream + 6), 0);
  EXPECT_EQ(U16(movie, Stream + 8), 0);
  EXPECT_EQ(U32(movie, Stream + 10), 66u);
  // BITMAPINFO: the screen format of the test writer with the frame's size written over it.
  EXPECT_EQ(U32(movie, Stream + 14), 40u);
  EXPECT_EQ(I32(movie, Stream + 18), 16);
  EXPECT_EQ(I32(movie, Stream + 22), -10);
  EXPECT_EQ(U16(movie, Stream + 26), 1);
  EXPECT_EQ(U16(movie, Stream + 28), 32);
  EXPECT_EQ(U32(movie, Stream + 30), 3u);
  EXPECT_EQ(U32(movie, Stream + 34), 16u * 4 * 10);
  EXPECT_EQ(U32(movie, Stream + 54), 0x00FF0000u);
  EXPECT_EQ(U32(movie, Stream + 58), 0x0000FF00u);
  EXPECT_EQ(U32(movie, Stream + 62), 0x000000FFu);

  // End record at the first record offset; it selects a valid cursor image.
  EXPECT_LE(movie[20546], 2);
  EXPECT_EQ(I32(movie, 20546 + 9), -1);
  // Trailer
  EXPECT_EQ(I32(movie, 20559), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&movie[20563])), TAVREL_UNTITLED_GBK);
  EXPECT_EQ(std::string(TAVREL_UNTITLED_GBK), "\xCE\xDE\xB1\xEA\xCC\xE2");
  for (size_t i = 20563 + 6; i < movie.size(); i++) EXPECT_EQ(movie[i], 0) << "title byte " << i - 20563;
}

TEST(Layout, HeaderKeepsTheScreenFormatAndWritesTheFrameSize) {
  BitmapInfo32 screen{};
  screen.Header.biSize = 40;
  screen.Header.biPlanes = 1;
  screen.Header.biBitCount = 16;  // whatever the screen reports, the image size counts 32 bits a pixel
  screen.Header.biCompression = 0;
  screen.Header.biXPelsPerMeter = 3780;
  screen.Header.biYPelsPerMeter = -7;
  screen.Header.biClrUsed = 5;
  screen.Header.biClrImportant = 6;
  screen.Header.biWidth = 999;
  screen.Header.biHeight = 999;
  screen.Header.biSizeImage = 999;
  MovieHeader header;
  memset(&header, 0xCC, sizeof header);
  BuildMovieHeader(&header, &screen, 1366, 3);
  std::vector<uint8_t> b(reinterpret_cast<uint8_t*>(&header), reinterpret_cast<uint8_t*>(&header) + 66);
  EXPECT_EQ(U16(b, 0), 0x4D42);
  EXPECT_EQ(U32(b, 2), 66u + 1366 * 4 * 3);
  EXPECT_EQ(U32(b, 6), 0u) << "reserved words";
  EXPECT_EQ(U32(b, 10), 66u);
  EXPECT_EQ(I32(b, 18), 1366);
  EXPECT_EQ(I32(b, 22), -3);
  EXPECT_EQ(U16(b, 28), 16);
  EXPECT_EQ(U32(b, 30), 0u);
  EXPECT_EQ(U32(b, 34), 1366u * 4 * 3);
  EXPECT_EQ(I32(b, 38), 3780);
  EXPECT_EQ(I32(b, 42), -7);
  EXPECT_EQ(U32(b, 46), 5u);
  EXPECT_EQ(U32(b, 50), 6u);
  EXPECT_EQ(U32(b, 54), 0u) << "no masks when the query filled none";

  // True colour changes bfReserved1 alone: the frame stays 32 bits a pixel, the rest as at 256 colours.
  MovieHeader colours;
  memset(&colours, 0xCC, sizeof colours);
  BuildMovieHeader(&colours, &screen, 1366, 3, DepthTrueColour);
  std::vector<uint8_t> c(reinterpret_cast<uint8_t*>(&colours), reinterpret_cast<uint8_t*>(&colours) + 66);
  EXPECT_EQ(U16(c, 6), 24) << "bfReserved1";
  EXPECT_EQ(RunPixelBytes(&colours), ColourBytes);
  EXPECT_EQ(RunPixelBytes(&header), CodeBytes);
  c[6] = 0;
  EXPECT_EQ(c, b) << "a true-colour header differs from a 256-colour one in bfReserved1 only";
}

TEST(Layout, FrameRecordsFollowOneAnotherUpToTheTrailer) {
  const int32_t w = 9, h = 4, n = w * h;
  TestWriter writer(w, h, "abc");
  std::vector<uint32_t> pixels(size_t(n), 0);
  writer.Frame(pixels, 0, 0, 0);  // all black: nothing to send
  pixels[3] = 0x00FFFFFF;
  writer.Frame(pixels, 1, -20, 7);
  writer.Frame(pixels, 2, 100000, -3);  // unchanged
  for (auto& p : pixels) p = 0x00123456;
  writer.Frame(pixels, 2, 0x01020304, -0x05060708);
  std::vector<uint8_t> movie = writer.Finish();

  const struct {
    uint8_t Button;
    int32_t X, Y;
    bool HasPayload;
  } expected[] = {{0, 0, 0, false}, {1, -20, 7, true}, {2, 100000, -3, false}, {2, 0x01020304, -0x05060708, true}};
  size_t at = 20546;
  for (const auto& e : expected) {
    EXPECT_EQ(movie[at], e.Button);
    EXPECT_EQ(I32(movie, at + 1), e.X);
    EXPECT_EQ(I32(movie, at + 5), e.Y);
    int32_t length = I32(movie, at + 9);
    EXPECT_EQ(length > 0, e.HasPayload) << "record at " << at;
    ASSERT_GE(length, 0);
    at += 13 + size_t(length);
  }
  // The end record repeats the last frame's button and cursor.
  EXPECT_EQ(movie[at], 2);
  EXPECT_EQ(I32(movie, at + 1), 0x01020304);
  EXPECT_EQ(I32(movie, at + 5), -0x05060708);
  EXPECT_EQ(I32(movie, at + 9), -1);
  at += 13;
  ASSERT_EQ(movie.size(), at + 132) << "the trailer follows the end record directly";
  EXPECT_EQ(I32(movie, at), 4);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&movie[at + 4])), "abc");
  for (size_t i = at + 4 + 3; i < movie.size(); i++) EXPECT_EQ(movie[i], 0);
}

TEST(Layout, TitleIsCutTo127BytesInWholeCharactersAndAlwaysTerminated) {
  const std::string zhong = "\xD6\xD0", a = "a";  // 中 in GBK
  auto times = [](const std::string& s, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; i++) out += s;
    return out;
  };
  const struct {
    std::string Title;
    size_t Stored;
  } cases[] = {{a, 1}, {times(a, 126), 126}, {times(a, 127), 127}, {times(a, 128), 127}, {times(a, 200), 127},
               {times(zhong, 63), 126}, {times(zhong, 64), 126}, {a + times(zhong, 63), 127},
               {"ab" + times(zhong, 63), 126}, {times(a, 126) + zhong, 126}, {"abc\xD6", 3}};
  for (const auto& c : cases) {
    const std::string& title = c.Title;
    MovieTrailer trailer;
    memset(&trailer, 0x55, sizeof trailer);
    BuildMovieTrailer(&trailer, title.c_str());
    EXPECT_EQ(int32_t(trailer.FrameCount), 0);
    EXPECT_EQ(memcmp(trailer.MovieTitle, title.data(), c.Stored), 0) << "length " << title.size();
    for (size_t i = c.Stored; i < TitleSize; i++)
      EXPECT_EQ(trailer.MovieTitle[i], 0) << "length " << title.size() << " byte " << i;
  }
  MovieTrailer empty;
  memset(&empty, 0x55, sizeof empty);
  BuildMovieTrailer(&empty, "");
  EXPECT_STREQ(empty.MovieTitle, TAVREL_UNTITLED_GBK);
  for (size_t i = 6; i < TitleSize; i++) EXPECT_EQ(empty.MovieTitle[i], 0);
}

// A sink that takes a fixed number of bytes and then fails (a full disk).
struct LimitedSink {
  size_t Limit;
  std::vector<uint8_t> Bytes;
  static int32_t Write(void* context, const void* data, uint32_t count) {
    LimitedSink* sink = static_cast<LimitedSink*>(context);
    size_t room = sink->Limit - sink->Bytes.size();
    size_t n = count < room ? count : room;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    sink->Bytes.insert(sink->Bytes.end(), p, p + n);
    return n == 0 && count ? -1 : int32_t(n);
  }
};

TEST(Layout, WriterStopsAtTheFirstFailedWrite) {
  for (size_t limit : {size_t(100), size_t(20480 + 20), size_t(20546 + 5), size_t(20546 + 13 + 2)}) {
    TestWriter w(8, 8);
    LimitedSink sink{limit, {}};
    w.Writer = MovieWriter{};
    w.Writer.Sink = MovieSink{&sink, LimitedSink::Write};
    w.Writer.PixelCount = 64;
    w.Writer.Shadow = w.Shadow.data();
    w.Writer.RunList = w.RunList.data();
    w.Writer.Packed = w.Packed.data();
    w.Writer.LzoWork = w.Work.data();
    std::vector<uint8_t> stub(StubLength, 0x4D);
    MovieHeader header{};
    BitmapInfo32 screen{};
    BuildMovieHeader(&header, &screen, 8, 8);
    bool started = WriteMovieStart(&w.Writer, stub.data(), StubLength, &header);
    EXPECT_EQ(started, limit >= 20546) << "limit " << limit;
    std::vector<uint32_t> pixels(64, 0x00FFFFFF);
    bool wrote = WriteMovieFrame(&w.Writer, pixels.data(), 0, 0, 0);
    EXPECT_FALSE(wrote) << "limit " << limit;
    EXPECT_TRUE(w.Writer.Failed);
    EXPECT_EQ(w.Writer.FrameCount, 0) << "a frame that was not written whole is not counted";
    size_t written = sink.Bytes.size();
    EXPECT_FALSE(WriteMovieFrame(&w.Writer, pixels.data(), 0, 0, 0));
    EXPECT_FALSE(WriteMovieEnd(&w.Writer));
    EXPECT_EQ(sink.Bytes.size(), written) << "nothing is written after a failure";
  }
}

// The recorder's look at its volume: exactly enough room goes on, one byte less ends the recording,
// and BytesWritten, which the room is counted from, is the file's size.
TEST(Layout, RecordingRoomIsCountedFromTheBytesWritten) {
  TestWriter w(20, 10);
  w.Frame(std::vector<uint32_t>(200, 0x00FFFFFFu));
  EXPECT_EQ(w.Writer.BytesWritten, w.File.Bytes.size());
  const uint64_t need = 3 * (FrameHeaderSize + PackedBufferSize(200)) + FrameHeaderSize + TrailerSize + RoomMargin;
  const uint64_t written = w.Writer.BytesWritten, none = UINT64_MAX;
  EXPECT_EQ(CheckRecordingRoom(&w.Writer, 3, need, none), RoomEnough);
  EXPECT_EQ(CheckRecordingRoom(&w.Writer, 3, need - 1, none), RoomDiskFull);
  EXPECT_EQ(CheckRecordingRoom(&w.Writer, 3, none, written + need), RoomEnough);
  EXPECT_EQ(CheckRecordingRoom(&w.Writer, 3, none, written + need - 1), RoomFileLimit);
  EXPECT_EQ(CheckRecordingRoom(&w.Writer, 3, none, written - 1), RoomFileLimit);
  EXPECT_EQ(CheckRecordingRoom(&w.Writer, 3, need - 1, written), RoomDiskFull) << "a full disk is named first";
  EXPECT_EQ(w.Finish().size(), w.Writer.BytesWritten);

  // At true colour a frame's largest record is that of three bytes a pixel.
  TestWriter t(20, 10, "", nullptr, nullptr, DepthTrueColour);
  t.Frame(std::vector<uint32_t>(200, 0x00F3F3F3u));
  const uint64_t colourNeed =
      3 * (FrameHeaderSize + PackedBufferSize(200, ColourBytes)) + FrameHeaderSize + TrailerSize + RoomMargin;
  EXPECT_GT(colourNeed, need);
  EXPECT_EQ(CheckRecordingRoom(&t.Writer, 3, colourNeed, none), RoomEnough);
  EXPECT_EQ(CheckRecordingRoom(&t.Writer, 3, colourNeed - 1, none), RoomDiskFull);

  const struct {
    const char* Name;
    uint64_t Largest;
  } systems[] = {{"FAT32", 0xFFFFFFFFu}, {"FAT", 0x7FFFFFFFu}, {"FAT16", 0x7FFFFFFFu}, {"FAT12", 0x7FFFFFFFu},
                 {"NTFS", UINT64_MAX},   {"exFAT", UINT64_MAX}, {"FAT32X", 0x7FFFFFFFu}, {"", UINT64_MAX}};
  for (const auto& fs : systems) EXPECT_EQ(MaxFileSizeOf(fs.Name), fs.Largest) << fs.Name;
}

}  // namespace
