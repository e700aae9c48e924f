// The movie streams of an independent implementation: our reader decodes them to their codes, and our
// encoder, fed the same pictures, writes the same bytes.
#include <gtest/gtest.h>

#include "Codec.h"
#include "TestSupport.h"

namespace {

struct Vector {
  const char* Name;
  int32_t Width, Height, Frames;
};

const Vector Vectors[] = {{"tiny", 7, 5, 8}, {"typing", 160, 100, 10}, {"noise", 64, 48, 3}, {"empty", 16, 16, 0}};

std::string VectorPath(const char* name, const char* ext) {
  return std::string(TAVREL_VECTORS) + "/" + name + "." + ext;
}

MemoryFile MovieOfStream(const std::vector<uint8_t>& stream) {
  MemoryFile file;
  file.Bytes.assign(StubLength, 0);
  file.Bytes.insert(file.Bytes.end(), stream.begin(), stream.end());
  return file;
}

class VectorsTest : public ::testing::TestWithParam<Vector> {};

TEST_P(VectorsTest, ReaderDecodesEveryFrameToTheRecordedCodes) {
  const Vector& v = GetParam();
  std::vector<uint8_t> stream = ReadWholeFile(VectorPath(v.Name, "stream"));
  std::vector<uint8_t> codes = ReadWholeFile(VectorPath(v.Name, "codes"));
  ASSERT_FALSE(stream.empty());
  MemoryFile file = MovieOfStream(stream);
  TestReader t;
  ASSERT_TRUE(t.Open(&file));
  EXPECT_EQ(t.Reader.FrameWidth, v.Width);
  EXPECT_EQ(t.Reader.FrameHeight, v.Height);
  EXPECT_EQ(t.Reader.Trailer.FrameCount, v.Frames);
  uint32_t n = uint32_t(v.Width * v.Height);
  for (int32_t k = 0; k < v.Frames; k++) {
    ASSERT_GE(ReadNextRecord(&t.Reader), 0) << "frame " << k + 1;
    for (uint32_t i = 0; i < n; i++)
      ASSERT_EQ(QuantiseRgb332(t.Frame[i]), codes[k * n + i]) << "frame " << k + 1 << " pixel " << i;
  }
  EXPECT_EQ(ReadNextRecord(&t.Reader), -1);
  EXPECT_EQ(t.Reader.LastStatus, RecordEnd);
}

TEST_P(VectorsTest, EncoderReproducesTheStreamByteForByte) {
  const Vector& v = GetParam();
  std::vector<uint8_t> stream = ReadWholeFile(VectorPath(v.Name, "stream"));
  std::vector<uint8_t> codes = ReadWholeFile(VectorPath(v.Name, "codes"));
  MemoryFile original = MovieOfStream(stream);
  TestReader t;
  ASSERT_TRUE(t.Open(&original));

  std::string title(t.Reader.Trailer.MovieTitle);
  TestWriter w(v.Width, v.Height, title.c_str());
  uint32_t n = uint32_t(v.Width * v.Height);
  std::vector<uint32_t> pixels(n);
  for (int32_t k = 0; k < v.Frames; k++) {
    ReadNextRecord(&t.Reader);
    for (uint32_t i = 0; i < n; i++) pixels[i] = DecodeRgb332(codes[k * n + i]);
    const FrameHeader& r = t.Reader.Record;
    w.Frame(pixels, r.Button, r.CursorX, r.CursorY);
  }
  std::vector<uint8_t> ours = w.Finish();
  std::vector<uint8_t> expected = original.Bytes;
  // The screen-format fields of the header are the recording machine's; compare the rest exactly.
  ASSERT_EQ(ours.size(), expected.size());
  for (size_t i = StubLength + MovieHeaderSize; i < ours.size(); i++)
    ASSERT_EQ(ours[i], expected[i]) << "first difference at stream offset " << i - StubLength;
}

INSTANTIATE_TEST_SUITE_P(All, VectorsTest, ::testing::ValuesIn(Vectors),
                         [](const ::testing::TestParamInfo<Vector>& info) { return info.param.Name; });

}  // namespace
