// tavrel-movie run as a separate program, the way its users run it: every result is read back
// through the core reader, libpng, giflib or FFmpeg's libraries rather than through the tool's own code.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <math.h>
#include <png.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include "Codec.h"
#include "Keys.h"
#include "LZO.h"
#include "Movie.h"
#include "Section.h"
#include "Sound.h"
#include "TestSupport.h"

namespace {

// ---- Running the tool ------------------------------------------------------------------------------

struct Result {
  int Status = -1;
  std::string Out, Err;
};

std::string ReadText(const std::string& path) {
  std::vector<uint8_t> bytes = ReadWholeFile(path);
  return std::string(bytes.begin(), bytes.end());
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), (std::streamsize)bytes.size());
}

bool Exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

class Tool : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "tavrel-tool-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back(0);
    ASSERT_NE(mkdtemp(name.data()), nullptr);
    Dir = name.data();
  }
  void TearDown() override {
    if (!HasFailure()) system(("rm -rf '" + Dir + "'").c_str());
  }

  std::string Path(const std::string& name) const { return Dir + "/" + name; }

  // Runs the tool with its standard output in a file (stdoutFile, or "stdout" read into Out).
  Result Run(const std::string& arguments, const std::string& stdoutFile = "") {
    Result result;
    std::string out = stdoutFile.empty() ? Path("stdout") : stdoutFile;
    std::string command = std::string("'") + TAVREL_MOVIE_TOOL + "' " + arguments + " >'" + out + "' 2>'" +
                          Path("stderr") + "'";
    int status = system(command.c_str());
    result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (stdoutFile.empty()) result.Out = ReadText(Path("stdout"));
    result.Err = ReadText(Path("stderr"));
    return result;
  }

  // Only the files a test wrote itself, the tool's outputs and nothing half-written.
  std::vector<std::string> TempFiles() {
    std::vector<std::string> found;
    std::string listing = Path("listing");
    system(("ls -a '" + Dir + "' > '" + listing + "'").c_str());
    std::string text = ReadText(listing);
    size_t at = 0;
    while ((at = text.find(".tmp", at)) != std::string::npos) found.push_back(text.substr(at++, 20));
    return found;
  }

  std::string Dir;
};

// ---- Movies -------------------------------------------------------------------------------------------

// A player stub that looks like a program, so that wrap accepts it.
std::vector<uint8_t> FakeStub() {
  std::vector<uint8_t> stub(StubLength);
  for (uint32_t i = 0; i < StubLength; i++) stub[i] = (uint8_t)(i * 7 + 3);
  stub[0] = 'M';
  stub[1] = 'Z';
  return stub;
}

// A short recording with all kinds of records: changes, unchanged frames, cursor positions inside
// and outside the frame, all three buttons, and a GBK title.
std::vector<uint8_t> Recording(int32_t width, int32_t height, int frames, uint32_t seed,
                               const char* title = "\xB2\xE2\xCA\xD4 test", uint16_t depth = Depth256) {
  TestWriter writer(width, height, title, nullptr, nullptr, depth);
  std::mt19937 random(seed);
  std::vector<uint32_t> pixels((size_t)width * height, 0x00FFFFFF);
  for (int f = 0; f < frames; f++) {
    if (f % 4 != 3) {  // every fourth frame repeats the one before
      int x0 = (int)(random() % width), y0 = (int)(random() % height);
      uint32_t colour = random() & 0xFFFFFF;
      for (int y = y0; y < height && y < y0 + 3; y++)
        for (int x = x0; x < width && x < x0 + 5; x++) pixels[(size_t)y * width + x] = colour;
    }
    writer.Frame(pixels, (uint8_t)(f % 3), f * 3 - 5, height - f * 2);
  }
  std::vector<uint8_t> movie = writer.Finish();
  std::vector<uint8_t> stub = FakeStub();
  std::copy(stub.begin(), stub.end(), movie.begin());
  return movie;
}

// The frame after k records, decoded by the core reader.
std::vector<uint32_t> DecodedFrame(const std::vector<uint8_t>& movie, int32_t k) {
  MemoryFile file;
  file.Bytes = movie;
  TestReader reader;
  EXPECT_TRUE(reader.Open(&file));
  SeekMovieReader(&reader.Reader, k);
  EXPECT_EQ(reader.Reader.CurrentFrame, k);
  return reader.Frame;
}

// File offsets of every frame record and of the end record (the last entry).
std::vector<uint32_t> RecordOffsets(const std::vector<uint8_t>& movie) {
  std::vector<uint32_t> offsets;
  uint32_t at = FirstRecordOffset;
  while (true) {
    offsets.push_back(at);
    int32_t length;
    memcpy(&length, movie.data() + at + 9, 4);
    if (length < 0) break;
    at += FrameHeaderSize + (uint32_t)length;
  }
  return offsets;
}

// A movie put together record by record from run lists, for damage the writer never makes.
struct RawMovie {
  int32_t Width, Height;
  std::vector<uint8_t> Bytes;
  std::vector<uint32_t> Offsets;

  uint32_t PixelBytes;

  RawMovie(int32_t width, int32_t height, uint16_t depth = Depth256)
      : Width(width), Height(height), Bytes(FakeStub()), PixelBytes(depth == DepthTrueColour ? ColourBytes : CodeBytes) {
    BitmapInfo32 screen = ScreenFormat32();
    MovieHeader header;
    BuildMovieHeader(&header, &screen, width, height, depth);
    Append(&header, sizeof header);
  }
  void Append(const void* data, size_t count) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    Bytes.insert(Bytes.end(), p, p + count);
  }
  void Record(int32_t payloadLength, const std::vector<uint8_t>& payload, uint8_t button = 0) {
    Offsets.push_back((uint32_t)Bytes.size());
    FrameHeader header{button, 1, 2, payloadLength};
    Append(&header, sizeof header);
    Append(payload.data(), payload.size());
  }
  // Runs given as (RunStart, codes or colours) pairs, packed with LZO1X-1.
  void Runs(const std::vector<std::pair<int32_t, std::vector<uint8_t>>>& runs, uint8_t button = 0) {
    std::vector<uint8_t> list;
    for (const auto& run : runs) {
      int32_t header[2] = {run.first, (int32_t)(run.second.size() / PixelBytes)};
      list.insert(list.end(), (uint8_t*)header, (uint8_t*)header + 8);
      list.insert(list.end(), run.second.begin(), run.second.end());
    }
    std::vector<uint8_t> packed(LzoWorstCase((uint32_t)list.size()) + 16);
    std::vector<uint8_t> work(LzoWorkSize);
    int32_t length = PackRunList(list.data(), (uint32_t)list.size(), packed.data(), work.data());
    packed.resize((size_t)length);
    Record(length, packed, button);
  }
  void End(int32_t frameCount) {
    Offsets.push_back((uint32_t)Bytes.size());
    FrameHeader end{0, 1, 2, -1};
    Append(&end, sizeof end);
    MovieTrailer trailer;
    BuildMovieTrailer(&trailer, "raw");
    trailer.FrameCount = frameCount;
    Append(&trailer, sizeof trailer);
  }
};

// ---- Reading images back ---------------------------------------------------------------------------

bool ReadPng(const std::string& path, int32_t* width, int32_t* height, std::vector<uint32_t>* pixels) {
  png_image image;
  memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return false;
  *width = (int32_t)image.width;
  *height = (int32_t)image.height;
  pixels->resize((size_t)image.width * image.height);
  for (size_t i = 0; i < pixels->size(); i++)
    (*pixels)[i] = (uint32_t)rgb[i * 3] << 16 | (uint32_t)rgb[i * 3 + 1] << 8 | rgb[i * 3 + 2];
  return true;
}

struct GifFrames {
  int32_t Width = 0, Height = 0;
  std::vector<std::vector<uint32_t>> Frames;
  std::vector<int> Delays;  // hundredths of a second
  std::vector<int> Disposals;
};

bool ReadGif(const std::string& path, GifFrames* out) {
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  if (!gif) return false;
  if (DGifSlurp(gif) != GIF_OK) {
    DGifCloseFile(gif, &error);
    return false;
  }
  out->Width = gif->SWidth;
  out->Height = gif->SHeight;
  // Images after the first may cover only part of the screen, drawn over what was there.
  std::vector<uint32_t> canvas((size_t)gif->SWidth * gif->SHeight, 0xFF000000u);
  for (int i = 0; i < gif->ImageCount; i++) {
    const SavedImage& image = gif->SavedImages[i];
    const GifImageDesc& d = image.ImageDesc;
    const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
    EXPECT_TRUE(d.Left >= 0 && d.Top >= 0 && d.Left + d.Width <= gif->SWidth && d.Top + d.Height <= gif->SHeight);
    if (i == 0) EXPECT_TRUE(d.Width == gif->SWidth && d.Height == gif->SHeight) << "the first image is whole";
    for (int y = 0; y < d.Height; y++) {
      for (int x = 0; x < d.Width; x++) {
        const GifColorType& c = map->Colors[image.RasterBits[y * d.Width + x]];
        canvas[(size_t)(d.Top + y) * gif->SWidth + d.Left + x] = (uint32_t)c.Red << 16 | (uint32_t)c.Green << 8 | c.Blue;
      }
    }
    out->Frames.push_back(canvas);
    GraphicsControlBlock control;
    out->Delays.push_back(DGifSavedExtensionToGCB(gif, i, &control) == GIF_OK ? control.DelayTime : -1);
    out->Disposals.push_back(control.DisposalMode);
  }
  DGifCloseFile(gif, &error);
  return true;
}

// An MP4 as a browser sees it: its pictures decoded by FFmpeg, in 0x00RRGGBB, each with its start
// and length in milliseconds (as exact fractions of the stream's time base, or -1).
struct VideoFrames {
  int32_t Width = 0, Height = 0;
  bool Planar444 = false;  // the lossless RGB kind
  bool IndexFirst = false; // the moov box comes before the mdat box
  std::vector<std::vector<uint32_t>> Frames;
  std::vector<int64_t> StartMs, LengthMs;
};

int64_t ExactMs(int64_t ticks, AVRational base) {
  int64_t scaled = ticks * 1000 * base.num;
  return scaled % base.den == 0 ? scaled / base.den : -1;
}

bool ReadMp4(const std::string& path, VideoFrames* out) {
  std::vector<uint8_t> bytes = ReadWholeFile(path);
  std::string text(bytes.begin(), bytes.end());
  out->IndexFirst = text.find("moov") < text.find("mdat");
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return false;
  bool ok = avformat_find_stream_info(format, nullptr) >= 0 && format->nb_streams == 1;
  AVStream* stream = ok ? format->streams[0] : nullptr;
  const AVCodec* codec = ok ? avcodec_find_decoder(stream->codecpar->codec_id) : nullptr;
  AVCodecContext* decoder = codec ? avcodec_alloc_context3(codec) : nullptr;
  ok = decoder && avcodec_parameters_to_context(decoder, stream->codecpar) >= 0 &&
       avcodec_open2(decoder, codec, nullptr) >= 0;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  SwsContext* convert = nullptr;
  auto receive = [&]() {
    while (avcodec_receive_frame(decoder, frame) == 0) {
      out->Width = frame->width;
      out->Height = frame->height;
      out->StartMs.push_back(ExactMs(frame->best_effort_timestamp, stream->time_base));
      std::vector<uint32_t> pixels((size_t)frame->width * frame->height);
      out->Planar444 = frame->format == AV_PIX_FMT_GBRP;
      if (out->Planar444) {
        for (int y = 0; y < frame->height; y++) {
          for (int x = 0; x < frame->width; x++) {
            auto at = [&](int plane) { return (uint32_t)frame->data[plane][y * frame->linesize[plane] + x]; };
            pixels[(size_t)y * frame->width + x] = at(2) << 16 | at(0) << 8 | at(1);  // planes G, B, R
          }
        }
      } else {
        // As a player shows it: BT.709 in limited range, as the stream says.
        convert = sws_getCachedContext(convert, frame->width, frame->height, (AVPixelFormat)frame->format,
                                       frame->width, frame->height, AV_PIX_FMT_BGR0,
                                       SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
        const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
        sws_setColorspaceDetails(convert, bt709, 0, bt709, 1, 0, 1 << 16, 1 << 16);
        uint8_t* planes[1] = {reinterpret_cast<uint8_t*>(pixels.data())};
        int strides[1] = {frame->width * 4};
        sws_scale(convert, frame->data, frame->linesize, 0, frame->height, planes, strides);
        for (uint32_t& p : pixels) p &= 0xFFFFFF;
      }
      out->Frames.push_back(pixels);
    }
  };
  while (ok && av_read_frame(format, packet) >= 0) {
    out->LengthMs.push_back(ExactMs(packet->duration, stream->time_base));
    ok = avcodec_send_packet(decoder, packet) >= 0;
    av_packet_unref(packet);
    receive();
  }
  if (ok && avcodec_send_packet(decoder, nullptr) >= 0) receive();
  sws_freeContext(convert);
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&decoder);
  avformat_close_input(&format);
  return !out->Frames.empty();
}

// The first pixel where two frames differ, or -1.
long FirstDifference(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  if (a.size() != b.size()) return 0;
  for (size_t i = 0; i < a.size(); i++)
    if (a[i] != b[i]) return (long)i;
  return -1;
}

// ---- Round trips ----------------------------------------------------------------------------------

TEST_F(Tool, VerifyAcceptsWhatTheWriterMakes) {
  struct Case {
    int32_t Width, Height;
    int Frames;
  } cases[] = {{1, 1, 3}, {7, 5, 9}, {40, 30, 12}, {16, 16, 0}, {333, 2, 5}};
  for (const Case& c : cases) {
    WriteFile(Path("m.exe"), Recording(c.Width, c.Height, c.Frames, 11));
    Result r = Run("verify '" + Path("m.exe") + "'");
    EXPECT_EQ(r.Status, 0) << c.Width << "x" << c.Height << ": " << r.Err;
    EXPECT_NE(r.Out.find("well-formed"), std::string::npos);
  }
  Result info = Run("info '" + Path("m.exe") + "'");
  EXPECT_EQ(info.Status, 0);
  EXPECT_NE(info.Out.find("333 x 2"), std::string::npos) << info.Out;
  EXPECT_NE(info.Out.find("5 frame records"), std::string::npos) << info.Out;
  EXPECT_NE(info.Out.find("\"\xE6\xB5\x8B\xE8\xAF\x95 test\""), std::string::npos) << info.Out;  // 测试, in UTF-8
  EXPECT_NE(info.Out.find("intact"), std::string::npos) << info.Out;
}

TEST_F(Tool, ExportedFramesAreTheDecodedFrames) {
  std::vector<uint8_t> movie = Recording(23, 17, 9, 5);
  WriteFile(Path("m.exe"), movie);
  for (int32_t k : {1, 4, 9}) {
    Result r = Run("export '" + Path("m.exe") + "' --frame " + std::to_string(k) + " '" + Path("k.png") + "'");
    ASSERT_EQ(r.Status, 0) << r.Err;
    int32_t w = 0, h = 0;
    std::vector<uint32_t> png;
    ASSERT_TRUE(ReadPng(Path("k.png"), &w, &h, &png));
    EXPECT_EQ(w, 23);
    EXPECT_EQ(h, 17);
    EXPECT_EQ(FirstDifference(png, DecodedFrame(movie, k)), -1) << "frame " << k;
  }

  ASSERT_EQ(Run("export '" + Path("m.exe") + "' --frames '" + Path("all") + "'").Status, 0);
  std::string raw = Path("raw");
  ASSERT_EQ(Run("export '" + Path("m.exe") + "' --raw", raw).Status, 0);
  std::vector<uint8_t> rawBytes = ReadWholeFile(raw);
  ASSERT_EQ(rawBytes.size(), 9u * 23 * 17 * 4);
  for (int32_t k = 1; k <= 9; k++) {
    std::vector<uint32_t> expected = DecodedFrame(movie, k);
    char name[32];
    snprintf(name, sizeof name, "all/frame-%05d.png", k);
    int32_t w, h;
    std::vector<uint32_t> png;
    ASSERT_TRUE(ReadPng(Path(name), &w, &h, &png)) << name;
    EXPECT_EQ(FirstDifference(png, expected), -1) << name;
    std::vector<uint32_t> rawFrame(expected.size());
    memcpy(rawFrame.data(), rawBytes.data() + (size_t)(k - 1) * expected.size() * 4, expected.size() * 4);
    EXPECT_EQ(FirstDifference(rawFrame, expected), -1) << "raw frame " << k;
  }
  EXPECT_FALSE(Exists(Path("all/frame-00010.png")));

  // Without the cursor the GIF's frames are the decoded frames too (their colours are the palette).
  ASSERT_EQ(Run("export '" + Path("m.exe") + "' --gif '" + Path("m.gif") + "' --no-cursor").Status, 0);
  GifFrames gif;
  ASSERT_TRUE(ReadGif(Path("m.gif"), &gif));
  ASSERT_EQ(gif.Frames.size(), 9u);
  for (int32_t k = 1; k <= 9; k++)
    EXPECT_EQ(FirstDifference(gif.Frames[k - 1], DecodedFrame(movie, k)), -1) << "GIF frame " << k;

  Result beyond = Run("export '" + Path("m.exe") + "' --frame 10 '" + Path("no.png") + "'");
  EXPECT_EQ(beyond.Status, 1);
  EXPECT_NE(beyond.Err.find("no frame 10"), std::string::npos) << beyond.Err;
  EXPECT_FALSE(Exists(Path("no.png")));
  EXPECT_EQ(Run("export '" + Path("m.exe") + "' --frame 0 '" + Path("no.png") + "'").Status, 2);
}

TEST_F(Tool, CursorHangingOverTheRightAndBottomEdgesIsCut) {
  // The same 32 x 32 cursor inside the frame and hanging over its bottom-right corner: at the corner,
  // exactly its top-left 14 x 16 pixels show (the arrow's tip is at 11, 11), and nothing of it wraps
  // onto other rows (its column 14 is drawn in row 14, so it would show at the left edge).
  const int32_t w = 50, h = 50, cw = 14, ch = 16;
  TestWriter writer(w, h, "edge");
  std::vector<uint32_t> white((size_t)w * h, 0x00FFFFFF);
  writer.Frame(white, 0, 5, 5);
  writer.Frame(white, 0, w - cw, h - ch);
  WriteFile(Path("edge.exe"), writer.Finish());
  std::vector<uint32_t> inside, edge;
  int32_t pw, ph;
  ASSERT_EQ(Run("export '" + Path("edge.exe") + "' --frame 1 --cursor '" + Path("1.png") + "'").Status, 0);
  ASSERT_EQ(Run("export '" + Path("edge.exe") + "' --frame 2 --cursor '" + Path("2.png") + "'").Status, 0);
  ASSERT_TRUE(ReadPng(Path("1.png"), &pw, &ph, &inside));
  ASSERT_TRUE(ReadPng(Path("2.png"), &pw, &ph, &edge));
  std::vector<uint32_t> expected = white;
  bool drawn = false;
  for (int32_t y = 0; y < ch; y++)
    for (int32_t x = 0; x < cw; x++) {
      uint32_t p = inside[(size_t)(5 + y) * w + 5 + x];
      expected[(size_t)(h - ch + y) * w + w - cw + x] = p;
      drawn |= p != 0x00FFFFFF;
    }
  EXPECT_TRUE(drawn) << "no cursor pixel in the corner: the test would not see a misplaced cursor";
  EXPECT_EQ(FirstDifference(edge, expected), -1);
}

TEST_F(Tool, VectorsOfTheOtherImplementationExportAsTheirCodes) {
  std::string dir = TAVREL_VECTORS;
  if (!Exists(dir + "/tiny.stream")) GTEST_SKIP() << "no vectors in " << dir;
  struct Vector {
    const char* Name;
    int32_t Width, Height, Frames;
  } vectors[] = {{"tiny", 7, 5, 8}, {"typing", 160, 100, 10}, {"noise", 64, 48, 3}};
  for (const Vector& v : vectors) {
    std::vector<uint8_t> movie = FakeStub();
    std::vector<uint8_t> stream = ReadWholeFile(dir + "/" + v.Name + ".stream");
    movie.insert(movie.end(), stream.begin(), stream.end());
    WriteFile(Path("v.exe"), movie);
    Result verify = Run("verify '" + Path("v.exe") + "'");
    EXPECT_EQ(verify.Status, 0) << v.Name << ": " << verify.Err;
    ASSERT_EQ(Run("export '" + Path("v.exe") + "' --frames '" + Path(v.Name) + "'").Status, 0);
    std::vector<uint8_t> codes = ReadWholeFile(dir + "/" + v.Name + ".codes");
    size_t n = (size_t)v.Width * v.Height;
    ASSERT_EQ(codes.size(), n * v.Frames);
    for (int32_t k = 1; k <= v.Frames; k++) {
      char name[48];
      snprintf(name, sizeof name, "%s/frame-%05d.png", v.Name, k);
      int32_t w, h;
      std::vector<uint32_t> png;
      ASSERT_TRUE(ReadPng(Path(name), &w, &h, &png));
      std::vector<uint32_t> expected(n);
      for (size_t i = 0; i < n; i++) expected[i] = DecodeRgb332(codes[(k - 1) * n + i]);
      EXPECT_EQ(FirstDifference(png, expected), -1) << v.Name << " frame " << k;
    }
  }
}

TEST_F(Tool, GifShowsEveryFrameWithTheRecordedCursor) {
  // Black frames, so that every non-black pixel in the GIF is the cursor's.
  TestWriter writer(60, 50, "gif");
  std::vector<uint32_t> black(60 * 50, 0);
  struct Pointer {
    uint8_t Button;
    int32_t X, Y;
  } pointers[] = {{0, 10, 8}, {1, 10, 8}, {2, 10, 8}, {0, -10, -12}, {1, 50, 40}, {7, 10, 8}, {0, 100, 100}};
  for (const Pointer& p : pointers) writer.Frame(black, p.Button, p.X, p.Y);
  WriteFile(Path("m.exe"), writer.Finish());
  Result r = Run("export '" + Path("m.exe") + "' --gif '" + Path("m.gif") + "'");
  ASSERT_EQ(r.Status, 0) << r.Err;
  GifFrames gif;
  ASSERT_TRUE(ReadGif(Path("m.gif"), &gif));
  EXPECT_EQ(gif.Width, 60);
  EXPECT_EQ(gif.Height, 50);
  ASSERT_EQ(gif.Frames.size(), 7u);
  for (int delay : gif.Delays) EXPECT_EQ(delay, 20);
  for (int disposal : gif.Disposals) EXPECT_EQ(disposal, DISPOSE_DO_NOT);

  for (size_t f = 0; f < 7; f++) {
    const Pointer& p = pointers[f];
    int cursorPixels = 0;
    for (int32_t y = 0; y < 50; y++) {
      for (int32_t x = 0; x < 60; x++) {
        if (gif.Frames[f][(size_t)y * 60 + x] == 0) continue;
        cursorPixels++;
        // The cursor image is 32 x 32 with its top-left corner at the recorded position.
        EXPECT_TRUE(x >= p.X && x < p.X + 32 && y >= p.Y && y < p.Y + 32) << "frame " << f + 1 << " pixel " << x << "," << y;
      }
    }
    bool drawn = p.Button <= 2 && p.X < 60 && p.Y < 50 && p.X + 32 > 0 && p.Y + 32 > 0;
    EXPECT_EQ(cursorPixels > 0, drawn) << "frame " << f + 1;
  }
  // The three buttons draw three different images at the same place.
  EXPECT_NE(FirstDifference(gif.Frames[0], gif.Frames[1]), -1);
  EXPECT_NE(FirstDifference(gif.Frames[1], gif.Frames[2]), -1);
  EXPECT_NE(FirstDifference(gif.Frames[0], gif.Frames[2]), -1);

  // The PNG export with --cursor draws the same picture.
  ASSERT_EQ(Run("export '" + Path("m.exe") + "' --frame 2 --cursor '" + Path("c.png") + "'").Status, 0);
  int32_t w, h;
  std::vector<uint32_t> png;
  ASSERT_TRUE(ReadPng(Path("c.png"), &w, &h, &png));
  for (uint32_t& pixel : png) pixel = DecodeRgb332(QuantiseRgb332(pixel));
  EXPECT_EQ(FirstDifference(png, gif.Frames[1]), -1);
}

// ---- MP4 -------------------------------------------------------------------------------------------

// Peak signal-to-noise ratio of the luma (BT.709 weights) of a decoded video picture, which may be
// wider and higher, against a frame, over the frame's pixels.
double LumaPsnr(const std::vector<uint32_t>& picture, int32_t pictureWidth, const std::vector<uint32_t>& frame,
                int32_t width, int32_t height) {
  auto luma = [](uint32_t p) { return 0.2126 * (p >> 16 & 0xFF) + 0.7152 * (p >> 8 & 0xFF) + 0.0722 * (p & 0xFF); };
  double sum = 0;
  for (int32_t y = 0; y < height; y++) {
    for (int32_t x = 0; x < width; x++) {
      double d = luma(picture[(size_t)y * pictureWidth + x]) - luma(frame[(size_t)y * width + x]);
      sum += d * d;
    }
  }
  double mse = sum / ((double)width * height);
  return mse == 0 ? 99 : 10 * log10(255.0 * 255.0 / mse);
}

// Every frame at its time, for exactly one frame period, the index in front; the pictures are the
// tool's own composed frames (picture and cursor) exactly with --lossless, and close to them in the
// browser kind, whose colour is sampled at half resolution and which pads odd sizes to even ones.
// The bound is on luma, which 4:2:0 keeps at full resolution and which carries the text: these frames
// (saturated random blocks on white, the cursor's one-pixel strokes) are the hard case for 4:2:0,
// and come back at 34 to 45 dB even at quantiser 0, the chosen quality losing at most 1.5 dB of that;
// a limited-range picture read as full range gives 22 dB.
TEST_F(Tool, Mp4HasEveryFrameAtItsTimeAsThePlayerShowsIt) {
  const double MinLumaPsnr = 33;
  struct Case {
    int32_t Width, Height;
    int Frames;
  } cases[] = {{23, 17, 9}, {64, 48, 12}, {1, 1, 3}};
  for (const Case& c : cases) {
    std::string name = std::to_string(c.Width) + "x" + std::to_string(c.Height);
    std::vector<uint8_t> movie = Recording(c.Width, c.Height, c.Frames, 9);
    WriteFile(Path("m.exe"), movie);
    std::string dir = Path("frames-" + name);
    ASSERT_EQ(Run("export '" + Path("m.exe") + "' --frames '" + dir + "' --cursor").Status, 0);
    std::vector<std::vector<uint32_t>> composed;
    for (int k = 1; k <= c.Frames; k++) {
      char file[32];
      snprintf(file, sizeof file, "/frame-%05d.png", k);
      int32_t w, h;
      composed.emplace_back();
      ASSERT_TRUE(ReadPng(dir + file, &w, &h, &composed.back()));
    }
    for (bool lossless : {false, true}) {
      std::string what = name + (lossless ? " lossless" : "");
      Result r = Run("export '" + Path("m.exe") + "' --mp4 '" + Path("m.mp4") + "'" + (lossless ? " --lossless" : ""));
      ASSERT_EQ(r.Status, 0) << what << ": " << r.Err;
      EXPECT_TRUE(r.Out.empty()) << r.Out;
      VideoFrames video;
      ASSERT_TRUE(ReadMp4(Path("m.mp4"), &video)) << what;
      EXPECT_TRUE(video.IndexFirst) << what;
      EXPECT_EQ(video.Planar444, lossless) << what;
      EXPECT_EQ(video.Width, lossless ? c.Width : (c.Width + 1) & ~1) << what;
      EXPECT_EQ(video.Height, lossless ? c.Height : (c.Height + 1) & ~1) << what;
      ASSERT_EQ(video.Frames.size(), (size_t)c.Frames) << what;
      ASSERT_EQ(video.LengthMs.size(), (size_t)c.Frames) << what;
      for (int k = 1; k <= c.Frames; k++) {
        EXPECT_EQ(video.StartMs[k - 1], (k - 1) * 200) << what << " frame " << k;
        EXPECT_EQ(video.LengthMs[k - 1], 200) << what << " frame " << k;
        const std::vector<uint32_t>& picture = video.Frames[k - 1];
        if (lossless)
          EXPECT_EQ(FirstDifference(picture, composed[k - 1]), -1) << what << " frame " << k;
        else
          EXPECT_GE(LumaPsnr(picture, video.Width, composed[k - 1], c.Width, c.Height), MinLumaPsnr) << what << " frame " << k;
      }
    }
  }

  // Without the cursor the pictures are the decoded frames; with it, some differ from them.
  std::vector<uint8_t> movie = Recording(23, 17, 9, 9);
  WriteFile(Path("m.exe"), movie);
  ASSERT_EQ(Run("export '" + Path("m.exe") + "' --mp4 '" + Path("bare.mp4") + "' --lossless --no-cursor").Status, 0);
  VideoFrames bare, drawn;
  ASSERT_TRUE(ReadMp4(Path("bare.mp4"), &bare));
  ASSERT_EQ(Run("export '" + Path("m.exe") + "' --mp4 '" + Path("drawn.mp4") + "' --lossless").Status, 0);
  ASSERT_TRUE(ReadMp4(Path("drawn.mp4"), &drawn));
  ASSERT_EQ(bare.Frames.size(), 9u);
  ASSERT_EQ(drawn.Frames.size(), 9u);
  int withCursor = 0;
  for (int k = 1; k <= 9; k++) {
    EXPECT_EQ(FirstDifference(bare.Frames[k - 1], DecodedFrame(movie, k)), -1) << "frame " << k;
    withCursor += FirstDifference(drawn.Frames[k - 1], bare.Frames[k - 1]) != -1;
  }
  EXPECT_GT(withCursor, 0);

  // A movie dropped onto the tool (its only argument) becomes NAME.mp4 beside it, never replacing a file.
  remove(Path("m.mp4").c_str());
  for (const char* name : {"m.mp4", "m (2).mp4"}) {
    Result r = Run("'" + Path("m.exe") + "'");
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find(Path(name)), std::string::npos) << r.Out;
    VideoFrames dropped;
    ASSERT_TRUE(ReadMp4(Path(name), &dropped)) << name;
    EXPECT_EQ(dropped.Frames.size(), 9u);
  }
  EXPECT_TRUE(TempFiles().empty());
}

// A movie past 4 GiB (a sparse file): info gives its size and frames, verify passes, and the frame
// behind the 4 GiB mark exports as recorded.
TEST_F(Tool, MoviesPastFourGigabytes) {
  const std::string movie = Path("huge.exe");
  int32_t frames = WriteHugeSparseMovie(movie, {}, "huge", (4ull << 30) + 1);
  ASSERT_GT(frames, 0) << "cannot write " << movie;
  struct stat info;
  ASSERT_EQ(stat(movie.c_str(), &info), 0);
  ASSERT_GT(uint64_t(info.st_size), 4ull << 30);
  Result r = Run("info '" + movie + "'");
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Out.find(", " + std::to_string(info.st_size) + " bytes"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find(std::to_string(frames) + " frame records"), std::string::npos) << r.Out;
  r = Run("verify '" + movie + "'");
  EXPECT_EQ(r.Status, 0) << r.Out << r.Err;
  r = Run("export '" + movie + "' --frame " + std::to_string(frames) + " '" + Path("last.png") + "'");
  ASSERT_EQ(r.Status, 0) << r.Err;
  int32_t w = 0, h = 0;
  std::vector<uint32_t> png;
  ASSERT_TRUE(ReadPng(Path("last.png"), &w, &h, &png));
  ASSERT_EQ(w, HugeWidth);
  ASSERT_EQ(h, HugeHeight);
  EXPECT_EQ(png[0], DecodeRgb332(0xE0));
  EXPECT_EQ(png[HugeRedPixels - 1], DecodeRgb332(0xE0));
  EXPECT_EQ(png[HugeRedPixels], 0u);
  remove(movie.c_str());
  remove(Path("last.png").c_str());
}

TEST_F(Tool, UnwrapThenWrapGivesBackTheSameBytes) {
  std::vector<uint8_t> movie = Recording(31, 9, 7, 3);
  WriteFile(Path("m.exe"), movie);
  WriteFile(Path("stub.exe"), FakeStub());
  Result unwrap = Run("unwrap '" + Path("m.exe") + "' '" + Path("m.stream") + "'");
  ASSERT_EQ(unwrap.Status, 0) << unwrap.Err;
  std::vector<uint8_t> stream = ReadWholeFile(Path("m.stream"));
  EXPECT_EQ(stream.size(), movie.size() - StubLength);
  EXPECT_EQ(stream[0], 'B');
  Result wrap = Run("wrap '" + Path("m.stream") + "' '" + Path("again.exe") + "' --stub '" + Path("stub.exe") + "'");
  ASSERT_EQ(wrap.Status, 0) << wrap.Err;
  EXPECT_TRUE(ReadWholeFile(Path("again.exe")) == movie);

  // A stream is no movie, a movie is no stream, and a stub must be a whole player.
  Result streamAsMovie = Run("verify '" + Path("m.stream") + "'");
  EXPECT_EQ(streamAsMovie.Status, 1);
  EXPECT_NE(streamAsMovie.Err.find("wrap"), std::string::npos) << streamAsMovie.Err;
  Result movieAsStream = Run("wrap '" + Path("m.exe") + "' '" + Path("x.exe") + "' --stub '" + Path("stub.exe") + "'");
  EXPECT_EQ(movieAsStream.Status, 1);
  EXPECT_NE(movieAsStream.Err.find("unwrap"), std::string::npos) << movieAsStream.Err;
  std::vector<uint8_t> shortStub = FakeStub();
  shortStub.resize(StubLength - 1);
  WriteFile(Path("short.exe"), shortStub);
  Result badStub = Run("wrap '" + Path("m.stream") + "' '" + Path("x.exe") + "' --stub '" + Path("short.exe") + "'");
  EXPECT_EQ(badStub.Status, 1);
  EXPECT_NE(badStub.Err.find("20479 bytes"), std::string::npos) << badStub.Err;
  EXPECT_FALSE(Exists(Path("x.exe")));
  EXPECT_TRUE(TempFiles().empty());
}

// ---- Repair ----------------------------------------------------------------------------------------

TEST_F(Tool, RepairKeepsExactlyTheCompleteRecordsAtEveryCut) {
  const char* title = "cut";
  std::vector<uint8_t> movie = Recording(9, 6, 6, 21, title);
  std::vector<uint32_t> offsets = RecordOffsets(movie);  // six frame records, then the end record
  ASSERT_EQ(offsets.size(), 7u);
  uint32_t endRecord = offsets.back();
  uint32_t titleEnd = endRecord + FrameHeaderSize + 4 + (uint32_t)strlen(title) + 1;

  for (uint32_t size = 0; size <= movie.size(); size++) {
    std::vector<uint8_t> cut(movie.begin(), movie.begin() + size);
    WriteFile(Path("cut.exe"), cut);
    remove(Path("fixed.exe").c_str());
    Result r = Run("repair '" + Path("cut.exe") + "' -o '" + Path("fixed.exe") + "'");
    if (size < FirstRecordOffset) {
      EXPECT_EQ(r.Status, 1) << "size " << size;
      EXPECT_NE(r.Err.find("not a movie"), std::string::npos) << "size " << size << ": " << r.Err;
      EXPECT_FALSE(Exists(Path("fixed.exe")));
      // Every size below the header is the same case; the first few and the last few are enough.
      if (size == 3) size = FirstRecordOffset - 3;
      continue;
    }
    ASSERT_EQ(r.Status, 0) << "size " << size << ": " << r.Err;
    // The complete records are those that end at or before the cut.
    int32_t complete = 0;
    while (complete < 6 && offsets[complete + 1] <= size) complete++;
    uint32_t kept = offsets[complete];
    std::vector<uint8_t> fixed = ReadWholeFile(Path("fixed.exe"));
    ASSERT_EQ(fixed.size(), kept + FrameHeaderSize + TrailerSize) << "size " << size;
    EXPECT_TRUE(std::equal(fixed.begin(), fixed.begin() + kept, movie.begin())) << "size " << size;
    MovieTrailer trailer;
    memcpy(&trailer, fixed.data() + fixed.size() - TrailerSize, TrailerSize);
    EXPECT_EQ(trailer.FrameCount, complete) << "size " << size;
    EXPECT_STREQ(trailer.MovieTitle, size >= titleEnd ? title : TAVREL_UNTITLED_GBK) << "size " << size;
    if (size == movie.size()) EXPECT_TRUE(fixed == movie);
    Result verify = Run("verify '" + Path("fixed.exe") + "'");
    EXPECT_EQ(verify.Status, 0) << "size " << size << ": " << verify.Err;
    EXPECT_TRUE(ReadWholeFile(Path("cut.exe")) == cut);  // the input is left alone
  }
}

TEST_F(Tool, RepairNamesItsOutputAndNeverOverwritesTheInput) {
  std::vector<uint8_t> movie = Recording(8, 8, 4, 2);
  movie.resize(movie.size() - 20);
  WriteFile(Path("rec.exe"), movie);
  Result r = Run("repair '" + Path("rec.exe") + "' --title '\xE6\x96\xB0 new'");  // 新 new
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(ReadWholeFile(Path("rec.exe")) == movie);
  std::vector<uint8_t> fixed = ReadWholeFile(Path("rec-repaired.exe"));
  ASSERT_GT(fixed.size(), TrailerSize);
  EXPECT_STREQ((const char*)fixed.data() + fixed.size() - TitleSize, "\xD0\xC2 new");  // 新 in GBK
  // A second run does not overwrite the first one's output unless told to with -o.
  Result again = Run("repair '" + Path("rec.exe") + "'");
  EXPECT_EQ(again.Status, 1);
  EXPECT_NE(again.Err.find("exists"), std::string::npos) << again.Err;
  Result self = Run("repair '" + Path("rec.exe") + "' -o '" + Dir + "/./rec.exe'");
  EXPECT_EQ(self.Status, 2);
  EXPECT_TRUE(ReadWholeFile(Path("rec.exe")) == movie);
  // A name that is all extension keeps it as the name.
  WriteFile(Path(".rec"), movie);
  EXPECT_EQ(Run("repair '" + Path(".rec") + "'").Status, 0);
  EXPECT_TRUE(Exists(Path(".rec-repaired.exe")));
  // The title field holds 127 bytes and its zero.
  std::string longest(127, 'a');
  Result fits = Run("repair '" + Path("rec.exe") + "' -o '" + Path("long.exe") + "' --title " + longest);
  ASSERT_EQ(fits.Status, 0) << fits.Err;
  std::vector<uint8_t> titled = ReadWholeFile(Path("long.exe"));
  EXPECT_EQ(std::string((const char*)titled.data() + titled.size() - TitleSize), longest);
  Result tooLong = Run("repair '" + Path("rec.exe") + "' -o '" + Path("longer.exe") + "' --title " + longest + "a");
  EXPECT_EQ(tooLong.Status, 2);
  EXPECT_NE(tooLong.Err.find("at most 127"), std::string::npos) << tooLong.Err;
  EXPECT_FALSE(Exists(Path("longer.exe")));
  EXPECT_TRUE(TempFiles().empty());
}

// ---- Trim and pack ---------------------------------------------------------------------------------

// Every record header of a movie, the end record last.
std::vector<FrameHeader> RecordHeaders(const std::vector<uint8_t>& movie) {
  std::vector<FrameHeader> headers;
  for (uint32_t at : RecordOffsets(movie)) {
    FrameHeader header;
    memcpy(&header, movie.data() + at, FrameHeaderSize);
    headers.push_back(header);
  }
  return headers;
}

bool SameCursor(const FrameHeader& a, const FrameHeader& b) {
  return a.Button == b.Button && a.CursorX == b.CursorX && a.CursorY == b.CursorY;
}

// The part of a movie from frame first on: same player, same title, the same pictures and cursors.
void ExpectPartOf(const std::vector<uint8_t>& part, const std::vector<uint8_t>& movie, int32_t first, int32_t count,
                  const std::string& what) {
  std::vector<FrameHeader> cut = RecordHeaders(part), original = RecordHeaders(movie);
  ASSERT_EQ(cut.size(), (size_t)count + 1) << what;
  EXPECT_TRUE(std::equal(part.begin(), part.begin() + StubLength, movie.begin())) << what;
  EXPECT_STREQ((const char*)part.data() + part.size() - TitleSize, (const char*)movie.data() + movie.size() - TitleSize)
      << what;
  for (int32_t k = 1; k <= count; k++) {
    EXPECT_TRUE(SameCursor(cut[k - 1], original[first + k - 2])) << what << ": frame " << k;
    EXPECT_EQ(FirstDifference(DecodedFrame(part, k), DecodedFrame(movie, first + k - 1)), -1) << what << ": frame " << k;
  }
  EXPECT_TRUE(SameCursor(cut[count], cut[count - 1])) << what << ": end record";
}

TEST_F(Tool, TrimKeepsExactlyTheFramesAskedFor) {
  std::vector<uint8_t> movie = Recording(40, 30, 20, 5);  // 4 seconds
  WriteFile(Path("rec.exe"), movie);
  // Frame k shows from (k - 1) x 0.2 s to k x 0.2 s.
  struct Case {
    const char* Args;
    int32_t First, Last;
  } cases[] = {
      {"--from 0 --to 1", 1, 5},           {"--from 0.2 --to 0.4", 2, 2},     {"--from 0.199 --to 0.201", 1, 2},
      {"--from 0:01 --to 0:02.5", 6, 13},  {"--from 3.9", 20, 20},            {"--to 0.001", 1, 1},
      {"--from-frame 20 --to-frame 20", 20, 20}, {"--from-frame 4 --to-frame 99", 4, 20}, {"--to 10:00", 1, 20},
  };
  for (const Case& c : cases) {
    remove(Path("part.exe").c_str());
    Result r = Run("trim '" + Path("rec.exe") + "' " + c.Args + " -o '" + Path("part.exe") + "'");
    ASSERT_EQ(r.Status, 0) << c.Args << ": " << r.Err;
    EXPECT_EQ(Run("verify '" + Path("part.exe") + "'").Status, 0) << c.Args;
    ExpectPartOf(ReadWholeFile(Path("part.exe")), movie, c.First, c.Last - c.First + 1, c.Args);
  }
  for (const char* args : {"--from-frame 21", "--from 4"}) {
    Result r = Run("trim '" + Path("rec.exe") + "' " + args + " -o '" + Path("none.exe") + "'");
    EXPECT_EQ(r.Status, 1) << args;
    EXPECT_NE(r.Err.find("no frame 21"), std::string::npos) << args << ": " << r.Err;
  }
  for (const char* args : {"", "--to 0", "--from 2 --to 1", "--from 1:5", "--from 1:60", "--from 1.2.3", "--from -1",
                           "--from 1 --from-frame 2", "--idle --to 3", "--from-frame 0"}) {
    Result r = Run("trim '" + Path("rec.exe") + "' " + args + " -o '" + Path("none.exe") + "'");
    EXPECT_EQ(r.Status, 2) << args << ": " << r.Err;
  }
  EXPECT_FALSE(Exists(Path("none.exe")));
  EXPECT_TRUE(TempFiles().empty());
}

// trim's copy is well-formed even where its input is not: a header that disagrees with itself is put
// right, and records the recorder never writes are not kept.
TEST_F(Tool, TrimCopiesVerify) {
  RawMovie movie(10, 4);
  movie.Runs({{0, {0xFF, 0x10}}});
  movie.Runs({{5, {0x20}}}, 1);
  movie.Runs({{9, {0x30}}}, 2);
  movie.End(3);
  std::vector<uint8_t> sized = movie.Bytes;
  uint32_t one = 1;
  memcpy(sized.data() + StubLength + 2, &one, 4);  // bfSize
  std::vector<uint8_t> button = movie.Bytes;
  button[movie.Offsets[1]] = 3;
  button[movie.Offsets[3]] = 3;  // the end record agrees with it
  struct Case {
    const char* Name;
    const std::vector<uint8_t>& Bytes;
    const char* Span;
    const char* Refusal;  // null: trimmed
  } cases[] = {
      {"bfSize", sized, "--from-frame 2 --to-frame 3", nullptr},
      {"button 3 kept", button, "--from-frame 1 --to-frame 3", "the frames after 1 cannot be kept"},
      {"frames before button 3", button, "--from-frame 1 --to-frame 1", nullptr},
  };
  for (const Case& c : cases) {
    WriteFile(Path("in.exe"), c.Bytes);
    remove(Path("part.exe").c_str());
    Result r = Run("trim '" + Path("in.exe") + "' " + c.Span + " -o '" + Path("part.exe") + "'");
    if (c.Refusal) {
      EXPECT_EQ(r.Status, 1) << c.Name;
      EXPECT_NE(r.Err.find(c.Refusal), std::string::npos) << c.Name << ": " << r.Err;
      continue;
    }
    ASSERT_EQ(r.Status, 0) << c.Name << ": " << r.Err;
    Result verify = Run("verify '" + Path("part.exe") + "'");
    EXPECT_EQ(verify.Status, 0) << c.Name << ": " << verify.Err;
  }
}

TEST_F(Tool, TrimIdleCutsTheUnchangedFramesAtBothEnds) {
  const int32_t w = 16, h = 8;
  std::vector<uint32_t> white((size_t)w * h, 0x00FFFFFF), marked = white;
  marked[20] = 0x00FF0000;
  // Frames 1 to 3 alike; 4 presses the button; 5 changes a pixel; 6 to 8 repeat it.
  TestWriter writer(w, h, "idle");
  for (int f = 1; f <= 3; f++) writer.Frame(white, 0, 2, 2);
  writer.Frame(white, 1, 2, 2);
  for (int f = 5; f <= 8; f++) writer.Frame(marked, 1, 2, 2);
  std::vector<uint8_t> movie = writer.Finish();
  WriteFile(Path("rec.exe"), movie);
  Result r = Run("trim '" + Path("rec.exe") + "' --idle");
  ASSERT_EQ(r.Status, 0) << r.Err;
  ExpectPartOf(ReadWholeFile(Path("rec-trimmed.exe")), movie, 3, 3, "--idle");

  TestWriter still(w, h, "still");
  for (int f = 1; f <= 4; f++) still.Frame(marked, 0, 5, 5);
  std::vector<uint8_t> stillMovie = still.Finish();
  WriteFile(Path("still.exe"), stillMovie);
  ASSERT_EQ(Run("trim '" + Path("still.exe") + "' --idle").Status, 0);
  ExpectPartOf(ReadWholeFile(Path("still-trimmed.exe")), stillMovie, 1, 1, "no change at all");
}

TEST_F(Tool, PackKeepsEveryFrameAndRecordInFewerBytes) {
  std::vector<uint8_t> movie = Recording(200, 120, 30, 11);
  WriteFile(Path("rec.exe"), movie);
  Result r = Run("pack '" + Path("rec.exe") + "'");
  ASSERT_EQ(r.Status, 0) << r.Err;
  std::vector<uint8_t> packed = ReadWholeFile(Path("rec-packed.exe"));
  EXPECT_LT(packed.size(), movie.size());
  EXPECT_EQ(Run("verify '" + Path("rec-packed.exe") + "'").Status, 0);
  ExpectPartOf(packed, movie, 1, 30, "pack");
  EXPECT_TRUE(std::equal(packed.end() - TrailerSize, packed.end(), movie.end() - TrailerSize));
  std::vector<FrameHeader> before = RecordHeaders(movie), after = RecordHeaders(packed);
  for (size_t i = 0; i < after.size(); i++) {
    EXPECT_EQ(after[i].PayloadLength == 0, before[i].PayloadLength == 0) << "record " << i;
    EXPECT_LE(after[i].PayloadLength, before[i].PayloadLength) << "record " << i;
  }
  // Pack takes sound movies only, and leaves nothing behind when it refuses one.
  movie.resize(movie.size() - 1);
  WriteFile(Path("cut.exe"), movie);
  Result cut = Run("pack '" + Path("cut.exe") + "'");
  EXPECT_EQ(cut.Status, 1);
  EXPECT_NE(cut.Err.find("repair"), std::string::npos) << cut.Err;
  EXPECT_FALSE(Exists(Path("cut-packed.exe")));
  EXPECT_TRUE(TempFiles().empty());
}

// ---- True colour ---------------------------------------------------------------------------------

// Every command on a true-colour movie: info names the depth, the checks pass, PNG, raw and lossless
// MP4 exports are the recorded colours exactly, the GIF keeps the colours of images of up to 256
// colours and quantises larger ones closely, and trim, pack, repair, unwrap and wrap keep the depth
// and every frame.
TEST_F(Tool, TrueColourMovieThroughEveryCommand) {
  const int32_t w = 64, h = 40, frames = 8;
  TestWriter writer(w, h, "true colour", nullptr, nullptr, DepthTrueColour);
  std::vector<std::vector<uint32_t>> recorded;
  std::vector<uint32_t> pixels((size_t)w * h, 0x00F3F3F3);  // the light grey 256 colours show as white
  for (int f = 0; f < frames; f++) {
    if (f == 2)  // a gradient of 2560 colours: the GIF has to quantise this image
      for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++) pixels[(size_t)y * w + x] = (uint32_t)(x * 4) << 16 | (uint32_t)(y * 6) << 8 | 0x80;
    if (f > 2 && f != 5)  // a small change in colours that one code would merge
      for (int32_t x = 0; x < 10; x++) pixels[(size_t)(f * 4) * w + x + f] = f % 2 ? 0x00202020 : 0x00E9E9E9;
    writer.Frame(pixels, (uint8_t)(f % 3), f * 3, f);
    recorded.push_back(pixels);
  }
  std::vector<uint8_t> movie = writer.Finish();
  std::vector<uint8_t> stub = FakeStub();
  std::copy(stub.begin(), stub.end(), movie.begin());
  WriteFile(Path("tc.exe"), movie);
  for (int32_t k = 1; k <= frames; k++)
    ASSERT_EQ(FirstDifference(DecodedFrame(movie, k), recorded[k - 1]), -1) << "frame " << k;

  Result info = Run("info '" + Path("tc.exe") + "'");
  ASSERT_EQ(info.Status, 0) << info.Err;
  EXPECT_NE(info.Out.find("colours:      true colour"), std::string::npos) << info.Out;
  WriteFile(Path("256.exe"), Recording(8, 8, 2, 1));
  EXPECT_NE(Run("info '" + Path("256.exe") + "'").Out.find("colours:      256 colours"), std::string::npos);
  Result verify = Run("verify '" + Path("tc.exe") + "'");
  EXPECT_EQ(verify.Status, 0) << verify.Out << verify.Err;

  // PNG, raw and lossless MP4: exact.
  ASSERT_EQ(Run("export '" + Path("tc.exe") + "' --frames '" + Path("png") + "'").Status, 0);
  std::string raw = Path("raw");
  ASSERT_EQ(Run("export '" + Path("tc.exe") + "' --raw", raw).Status, 0);
  std::vector<uint8_t> rawBytes = ReadWholeFile(raw);
  ASSERT_EQ(rawBytes.size(), (size_t)frames * w * h * 4);
  for (int32_t k = 1; k <= frames; k++) {
    char name[32];
    snprintf(name, sizeof name, "png/frame-%05d.png", k);
    int32_t pw, ph;
    std::vector<uint32_t> png;
    ASSERT_TRUE(ReadPng(Path(name), &pw, &ph, &png)) << name;
    EXPECT_EQ(FirstDifference(png, recorded[k - 1]), -1) << name;
    std::vector<uint32_t> rawFrame((size_t)w * h);
    memcpy(rawFrame.data(), rawBytes.data() + (size_t)(k - 1) * rawFrame.size() * 4, rawFrame.size() * 4);
    EXPECT_EQ(FirstDifference(rawFrame, recorded[k - 1]), -1) << "raw frame " << k;
  }
  ASSERT_EQ(Run("export '" + Path("tc.exe") + "' --mp4 '" + Path("tc.mp4") + "' --lossless --no-cursor").Status, 0);
  VideoFrames video;
  ASSERT_TRUE(ReadMp4(Path("tc.mp4"), &video));
  ASSERT_EQ(video.Frames.size(), (size_t)frames);
  for (int32_t k = 1; k <= frames; k++)
    EXPECT_EQ(FirstDifference(video.Frames[k - 1], recorded[k - 1]), -1) << "MP4 frame " << k;

  // GIF: frames whose changed rectangle has at most 256 colours are exact (the first frame, the grey
  // changes); the gradient frame is quantised by giflib, close to every colour and far better than
  // the 3-3-2 codes.
  ASSERT_EQ(Run("export '" + Path("tc.exe") + "' --gif '" + Path("tc.gif") + "' --no-cursor").Status, 0);
  GifFrames gif;
  ASSERT_TRUE(ReadGif(Path("tc.gif"), &gif));
  ASSERT_EQ(gif.Frames.size(), (size_t)frames);
  EXPECT_EQ(FirstDifference(gif.Frames[0], recorded[0]), -1);
  EXPECT_EQ(FirstDifference(gif.Frames[1], recorded[1]), -1) << "an unchanged frame";
  double error = 0, error332 = 0;  // mean distance of a channel from the recorded colour
  for (size_t i = 0; i < recorded[2].size(); i++) {
    for (int shift : {0, 8, 16}) {
      int want = (int)(recorded[2][i] >> shift & 0xFF);
      error += std::abs((int)(gif.Frames[2][i] >> shift & 0xFF) - want);
      error332 += std::abs((int)(DecodeRgb332(QuantiseRgb332(recorded[2][i])) >> shift & 0xFF) - want);
    }
  }
  error /= recorded[2].size() * 3.0;
  error332 /= recorded[2].size() * 3.0;
  EXPECT_LT(error, 6.0) << "the quantised gradient strays too far";
  EXPECT_LT(error, error332 * 0.6) << "hardly better than the 3-3-2 codes (" << error332 << ")";
  for (int32_t k = 4; k <= frames; k++) {
    // After the gradient, only the changed rows are new images; where their colours are few, exact.
    for (int32_t x = 0; x < 10; x++) {
      size_t at = (size_t)((k - 1) * 4) * w + x + k - 1;
      if (k - 1 != 5) EXPECT_EQ(gif.Frames[k - 1][at], recorded[k - 1][at]) << "GIF frame " << k << " pixel " << at;
    }
  }

  // trim, pack, repair, unwrap and wrap keep the depth and the frames.
  ASSERT_EQ(Run("trim '" + Path("tc.exe") + "' --from-frame 3 --to-frame 7 -o '" + Path("part.exe") + "'").Status, 0);
  EXPECT_EQ(Run("verify '" + Path("part.exe") + "'").Status, 0);
  ExpectPartOf(ReadWholeFile(Path("part.exe")), movie, 3, 5, "trim");  // the first kept frame is encoded anew
  ASSERT_EQ(Run("pack '" + Path("tc.exe") + "'").Status, 0);
  std::vector<uint8_t> packed = ReadWholeFile(Path("tc-packed.exe"));
  EXPECT_LE(packed.size(), movie.size());
  EXPECT_EQ(Run("verify '" + Path("tc-packed.exe") + "'").Status, 0);
  ExpectPartOf(packed, movie, 1, frames, "pack");
  std::vector<uint32_t> offsets = RecordOffsets(movie);
  std::vector<uint8_t> cut(movie.begin(), movie.begin() + offsets[6] + 20);  // inside record 7
  WriteFile(Path("cut.exe"), cut);
  ASSERT_EQ(Run("repair '" + Path("cut.exe") + "' -o '" + Path("fixed.exe") + "'").Status, 0);
  EXPECT_EQ(Run("verify '" + Path("fixed.exe") + "'").Status, 0);
  std::vector<uint8_t> fixed = ReadWholeFile(Path("fixed.exe"));
  EXPECT_EQ(RecordOffsets(fixed).size(), 7u);
  EXPECT_EQ(FirstDifference(DecodedFrame(fixed, 6), recorded[5]), -1);
  std::vector<uint8_t> part = ReadWholeFile(Path("part.exe"));
  for (const std::vector<uint8_t>* made : {&part, &packed, &fixed})
    EXPECT_EQ((*made)[StubLength + 6], DepthTrueColour) << "the depth is kept";
  WriteFile(Path("stub.exe"), stub);
  ASSERT_EQ(Run("unwrap '" + Path("tc.exe") + "' '" + Path("tc.stream") + "'").Status, 0);
  ASSERT_EQ(Run("wrap '" + Path("tc.stream") + "' '" + Path("again.exe") + "' --stub '" + Path("stub.exe") + "'").Status, 0);
  EXPECT_TRUE(ReadWholeFile(Path("again.exe")) == movie);

  // verify holds true-colour runs to the run rules, in colours: a run that begins on a pixel whose
  // colour did not change is named, though its 3-3-2 code would have changed nothing either way.
  RawMovie bad(8, 8, DepthTrueColour);
  bad.Runs({{0, {0x56, 0x34, 0x12}}});
  bad.Runs({{0, {0x56, 0x34, 0x12, 0x57, 0x34, 0x12}}});  // pixel 0 unchanged, pixel 1 new
  bad.End(2);
  WriteFile(Path("bad.exe"), bad.Bytes);
  Result named = Run("verify '" + Path("bad.exe") + "'");
  EXPECT_EQ(named.Status, 1) << named.Out;
  EXPECT_NE((named.Out + named.Err).find("begins on a pixel that did not change"), std::string::npos) << named.Out << named.Err;
}

// ---- Damage ----------------------------------------------------------------------------------------

void Put32(std::vector<uint8_t>* bytes, uint32_t at, int32_t value) { memcpy(bytes->data() + at, &value, 4); }

// ---- Narration ---------------------------------------------------------------------------------------

// A movie of six frames whose sound runs from frame 2 to frame 5, each frame's sound a tone of its
// own (200 Hz times the frame), and the sound file the recorder would have left beside it.
struct NarratedMovie {
  std::vector<uint8_t> Movie, SoundFile;
};

NarratedMovie Narrated() {
  const uint32_t frameSamples = RecordedSampleRate / FramesPerSecond;
  MemoryFile side;
  SoundFileWriter sound{};
  sound.Sink = side.Sink();
  StartSoundFile(&sound, 2);
  for (int f = 2; f <= 5; f++) {
    std::vector<int16_t> pcm(frameSamples);
    for (uint32_t i = 0; i < frameSamples; i++) pcm[i] = (int16_t)(8000 * sin(2 * M_PI * 200 * f * i / RecordedSampleRate));
    AddSound(&sound, pcm.data(), frameSamples);
  }
  TestWriter w(8, 4, "narrated");
  for (int f = 1; f <= 6; f++) w.Frame(std::vector<uint32_t>(32, 0x030303u * (uint32_t)f), 0, f, f);
  std::vector<uint8_t> movie = w.FinishWithSound(&side);
  std::vector<uint8_t> stub = FakeStub();
  std::copy(stub.begin(), stub.end(), movie.begin());
  return {movie, side.Bytes};
}

// A movie's sound as the core reads it: StartFrame, and the samples of each of its frames.
struct HeardSound {
  bool Present = false;
  uint32_t StartFrame = 0;
  std::vector<std::vector<int16_t>> Frames;
};

HeardSound SoundOf(const std::vector<uint8_t>& movie) {
  HeardSound heard;
  MemoryFile file;
  file.Bytes = movie;
  TestReader reader;
  MovieSound sound;
  MovieSource source = file.Source();
  if (!reader.Open(&file) || !FindMovieSound(&source, &reader.Reader.Section, &sound)) return heard;
  heard.Present = true;
  heard.StartFrame = sound.Header.StartFrame;
  std::vector<uint8_t> block(sound.Header.BlockSize);
  for (uint32_t b = 0; b < sound.BlockCount; b += sound.FrameSamples / sound.BlockSamples) {
    heard.Frames.emplace_back(sound.FrameSamples);
    ReadSoundFrame(&source, &sound, (int32_t)(heard.StartFrame + heard.Frames.size() - 1), block.data(),
                   heard.Frames.back().data());
  }
  return heard;
}

TEST_F(Tool, NarrationFollowsItsFramesThroughEveryCommand) {
  NarratedMovie narrated = Narrated();
  HeardSound original = SoundOf(narrated.Movie);
  ASSERT_TRUE(original.Present);
  ASSERT_EQ(original.Frames.size(), 4u);  // frames 2 to 5
  WriteFile(Path("m.exe"), narrated.Movie);
  Result verify = Run("verify '" + Path("m.exe") + "'");
  EXPECT_EQ(verify.Status, 0) << verify.Err;
  Result info = Run("info '" + Path("m.exe") + "'");
  EXPECT_NE(info.Out.find("sound:        0.8 s, IMA ADPCM mono 16000 Hz, 4 bits a sample, from frame 2"),
            std::string::npos) << info.Out;
  EXPECT_NE(info.Out.find("well-formed:  yes"), std::string::npos) << info.Out;

  // The WAV holds the decoded samples, in order.
  ASSERT_EQ(Run("export '" + Path("m.exe") + "' --wav '" + Path("m.wav") + "'").Status, 0);
  std::vector<uint8_t> wav = ReadWholeFile(Path("m.wav"));
  ASSERT_EQ(wav.size(), 44u + 4 * 3200 * 2);
  EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
  uint32_t rate;
  memcpy(&rate, &wav[24], 4);
  EXPECT_EQ(rate, 16000u);
  for (size_t f = 0; f < 4; f++)
    EXPECT_EQ(memcmp(&wav[44 + f * 6400], original.Frames[f].data(), 6400), 0) << "frame " << f + 2;

  // trim: the sound of the frames kept, renumbered with them.
  struct Cut {
    int32_t First, Last;
    uint32_t StartFrame;
    size_t FromFrame, Frames;  // which of the original's sound frames (0 = frame 2), how many
  } cuts[] = {{3, 4, 1, 1, 2}, {1, 2, 2, 0, 1}, {2, 6, 1, 0, 4}, {6, 6, 0, 0, 0}, {1, 1, 0, 0, 0}};
  for (const Cut& c : cuts) {
    Result trim = Run("trim '" + Path("m.exe") + "' --from-frame " + std::to_string(c.First) + " --to-frame " +
                      std::to_string(c.Last) + " -o '" + Path("t.exe") + "'");
    ASSERT_EQ(trim.Status, 0) << trim.Err;
    EXPECT_EQ(Run("verify '" + Path("t.exe") + "'").Status, 0) << c.First;
    HeardSound kept = SoundOf(ReadWholeFile(Path("t.exe")));
    EXPECT_EQ(kept.Present, c.Frames > 0) << c.First << "-" << c.Last;
    EXPECT_EQ(kept.StartFrame, c.StartFrame) << c.First << "-" << c.Last;
    ASSERT_EQ(kept.Frames.size(), c.Frames) << c.First << "-" << c.Last;
    for (size_t f = 0; f < c.Frames; f++) EXPECT_TRUE(kept.Frames[f] == original.Frames[c.FromFrame + f]);
  }

  // pack, unwrap and wrap keep it as it is.
  ASSERT_EQ(Run("pack '" + Path("m.exe") + "' -o '" + Path("p.exe") + "'").Status, 0);
  HeardSound packed = SoundOf(ReadWholeFile(Path("p.exe")));
  EXPECT_TRUE(packed.Present && packed.StartFrame == 2 && packed.Frames == original.Frames);
  WriteFile(Path("stub.exe"), FakeStub());
  ASSERT_EQ(Run("unwrap '" + Path("m.exe") + "' '" + Path("m.stream") + "'").Status, 0);
  ASSERT_EQ(Run("wrap '" + Path("m.stream") + "' '" + Path("w.exe") + "' --stub '" + Path("stub.exe") + "'").Status, 0);
  EXPECT_TRUE(ReadWholeFile(Path("w.exe")) == narrated.Movie);

  // MP4: an AAC track beside the video, as long as it within 0.2 s (frames 1 to 6 of video, sound from
  // frame 2 to frame 5, with silence in front and behind).
  Result mp4 = Run("export '" + Path("m.exe") + "' --mp4 '" + Path("m.mp4") + "'");
  ASSERT_EQ(mp4.Status, 0) << mp4.Err;
  AVFormatContext* format = nullptr;
  ASSERT_EQ(avformat_open_input(&format, Path("m.mp4").c_str(), nullptr, nullptr), 0);
  ASSERT_GE(avformat_find_stream_info(format, nullptr), 0);
  ASSERT_EQ(format->nb_streams, 2u);
  double seconds[2] = {0, 0};
  for (unsigned i = 0; i < 2; i++) {
    AVStream* stream = format->streams[i];
    seconds[stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO] = stream->duration * av_q2d(stream->time_base);
    if (stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
      EXPECT_EQ(stream->codecpar->codec_id, AV_CODEC_ID_AAC);
      EXPECT_EQ(stream->codecpar->sample_rate, 16000);
    }
  }
  avformat_close_input(&format);
  EXPECT_NEAR(seconds[0], 1.2, 0.01);
  EXPECT_NEAR(seconds[1], seconds[0], 0.1);  // the encoder adds 64 ms of priming at most

  // repair of a recording cut off in its fourth frame record takes the sound file beside it, as far
  // as the three frames kept reach; without the file the repaired movie is silent.
  std::vector<uint32_t> offsets = RecordOffsets(narrated.Movie);
  std::vector<uint8_t> cut(narrated.Movie.begin(), narrated.Movie.begin() + offsets[3] + 5);
  WriteFile(Path("c.exe"), cut);
  Result silent = Run("repair '" + Path("c.exe") + "' -o '" + Path("r0.exe") + "'");
  ASSERT_EQ(silent.Status, 0) << silent.Err;
  EXPECT_FALSE(SoundOf(ReadWholeFile(Path("r0.exe"))).Present);
  WriteFile(Path("c.exe") + TAVREL_SOUND_SUFFIX, narrated.SoundFile);
  Result repair = Run("repair '" + Path("c.exe") + "' -o '" + Path("r.exe") + "'");
  ASSERT_EQ(repair.Status, 0) << repair.Err;
  EXPECT_NE(repair.Out.find("sound: from the sound file beside it"), std::string::npos) << repair.Out;
  EXPECT_EQ(Run("verify '" + Path("r.exe") + "'").Status, 0);
  HeardSound repaired = SoundOf(ReadWholeFile(Path("r.exe")));
  EXPECT_EQ(repaired.StartFrame, 2u);
  ASSERT_EQ(repaired.Frames.size(), 2u);  // frames 2 and 3
  EXPECT_TRUE(repaired.Frames[0] == original.Frames[0] && repaired.Frames[1] == original.Frames[1]);
}

TEST_F(Tool, VerifyNamesTheOffsetOfEachKindOfDamage) {
  // A sound movie of 10 x 4 pixels: three frame records with changes and one without.
  RawMovie sound(10, 4);
  sound.Runs({{0, {0xFF, 0x10}}});
  sound.Record(0, {});
  sound.Runs({{5, {0x20}}, {39, {0x30}}}, 1);
  sound.Runs({{0, {0x00}}}, 2);
  sound.End(4);
  // RawMovie's records put the cursor at (1, 2); so does its end record. Buttons must agree too.
  sound.Bytes[sound.Offsets[4]] = 2;
  WriteFile(Path("sound.exe"), sound.Bytes);
  ASSERT_EQ(Run("verify '" + Path("sound.exe") + "'").Status, 0) << Run("verify '" + Path("sound.exe") + "'").Err;
  const std::vector<uint32_t>& at = sound.Offsets;
  uint32_t tail = at[4] + FrameHeaderSize;

  struct Damage {
    const char* Name;
    std::vector<uint8_t> Bytes;
    uint32_t Offset;
    int32_t Frame;  // 0: no record concerned
    const char* Says;
  };
  std::vector<Damage> cases;
  auto with = [&](void (*change)(std::vector<uint8_t>*, const std::vector<uint32_t>&)) {
    std::vector<uint8_t> bytes = sound.Bytes;
    change(&bytes, at);
    return bytes;
  };
  cases.push_back({"oversized PayloadLength", with([](std::vector<uint8_t>* b, const std::vector<uint32_t>& o) {
                     Put32(b, o[2] + 9, 0x7FFFFFF0);
                   }),
                   at[2], 3, "PayloadLength 2147483632"});
  cases.push_back({"negative PayloadLength", with([](std::vector<uint8_t>* b, const std::vector<uint32_t>& o) {
                     Put32(b, o[0] + 9, -7);
                   }),
                   at[0], 1, "negative"});
  cases.push_back({"corrupt LZO", with([](std::vector<uint8_t>* b, const std::vector<uint32_t>& o) {
                     // A payload that ends before its end-of-stream marker.
                     int32_t length;
                     memcpy(&length, b->data() + o[3] + 9, 4);
                     for (int32_t i = length - 3; i < length; i++) (*b)[o[3] + FrameHeaderSize + i] = 0xFF;
                   }),
                   at[3], 4, "LZO"});
  cases.push_back({"missing trailer", std::vector<uint8_t>(sound.Bytes.begin(), sound.Bytes.end() - TrailerSize),
                   tail, 0, "trailer is missing"});
  cases.push_back({"cut-off trailer", std::vector<uint8_t>(sound.Bytes.begin(), sound.Bytes.end() - 50), tail, 0,
                   "82 of its 132"});
  cases.push_back({"cut-off record", std::vector<uint8_t>(sound.Bytes.begin(), sound.Bytes.begin() + at[2] + 15),
                   at[2], 3, "ends inside the record"});
  cases.push_back({"no end record", std::vector<uint8_t>(sound.Bytes.begin(), sound.Bytes.begin() + at[4]), at[4], 5,
                   "without an end record"});
  cases.push_back({"FrameCount mismatch", with([](std::vector<uint8_t>* b, const std::vector<uint32_t>& o) {
                     Put32(b, o[4] + FrameHeaderSize, 5);
                   }),
                   tail, 0, "FrameCount is 5"});
  cases.push_back({"bytes before the trailer", with([](std::vector<uint8_t>* b, const std::vector<uint32_t>& o) {
                     b->insert(b->begin() + o[4] + FrameHeaderSize, 3, 0);
                   }),
                   tail, 0, "3 unexpected bytes"});
  cases.push_back({"button out of range", with([](std::vector<uint8_t>* b, const std::vector<uint32_t>& o) {
                     (*b)[o[1]] = 3;
                   }),
                   at[1], 2, "Button is 3"});
  cases.push_back({"end record elsewhere", with([](std::vector<uint8_t>* b, const std::vector<uint32_t>& o) {
                     Put32(b, o[4] + 1, 9);
                   }),
                   at[4], 0, "end record has button"});
  cases.push_back({"title without terminator", with([](std::vector<uint8_t>* b, const std::vector<uint32_t>&) {
                     memset(b->data() + b->size() - TitleSize, 'x', TitleSize);
                   }),
                   tail + 4, 0, "no terminating zero"});
  cases.push_back({"stray bytes behind the title", with([](std::vector<uint8_t>* b, const std::vector<uint32_t>&) {
                     (*b)[b->size() - 1] = 'x';  // "raw", its zero, then zeros up to this last byte
                   }),
                   tail + 4 + TitleSize - 1, 0, "stray bytes"});
  cases.push_back({"title ending in half a character", with([](std::vector<uint8_t>* b, const std::vector<uint32_t>&) {
                     (*b)[b->size() - TitleSize + 3] = 0xB1;  // "raw" and a GBK lead byte alone
                   }),
                   tail + 4 + 3, 0, "half a character"});
  cases.push_back({"empty title", with([](std::vector<uint8_t>* b, const std::vector<uint32_t>&) {
                     memset(b->data() + b->size() - TitleSize, 0, TitleSize);
                   }),
                   tail + 4, 0, "the title is empty"});
  cases.push_back({"end record of a movie without frames elsewhere", [] {
                     RawMovie empty(10, 4);
                     empty.End(0);  // its end record puts the cursor at (1, 2)
                     return empty.Bytes;
                   }(),
                   FirstRecordOffset, 0, "without frame records has button 0 at (0, 0)"});
  cases.push_back({"header and trailer only", [&] {
                     std::vector<uint8_t> bytes(sound.Bytes.begin(), sound.Bytes.begin() + FirstRecordOffset);
                     bytes.insert(bytes.end(), sound.Bytes.end() - TrailerSize, sound.Bytes.end());
                     return bytes;  // the trailer's first 13 bytes read as a record with Button 4
                   }(),
                   FirstRecordOffset, 1, "Button is 4"});
  cases.push_back({"bfSize", with([](std::vector<uint8_t>* b, const std::vector<uint32_t>&) {
                     Put32(b, StubLength + 2, 1);
                   }),
                   StubLength + 2, 0, "bfSize"});

  // Run lists the writer never makes, each in the third record of an otherwise sound movie.
  struct Runs {
    const char* Name;
    std::vector<std::pair<int32_t, std::vector<uint8_t>>> List;
    const char* Says;
  } runs[] = {
      {"run past the frame", {{38, {1, 2, 3}}}, "outside the frame"},
      {"negative RunStart", {{-1, {1}}}, "RunStart -1"},
      {"runs 5 pixels apart", {{2, {0x40}}, {8, {0x41}}}, "apart"},
      {"runs out of order", {{30, {0x40}}, {2, {0x41}}}, "ascending"},
      {"run starting on an unchanged pixel", {{4, {0x00, 0x50}}}, "begins on a pixel that did not change"},
      {"run ending on an unchanged pixel", {{4, {0x50, 0x00}}}, "ends on a pixel that did not change"},
      {"32 unchanged pixels inside a run", {{0, {0x77, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x66}}},
       "32 unchanged pixels in a row"},
  };
  for (const Runs& r : runs) {
    RawMovie movie(10, 4);
    movie.Runs({{0, {0xFF, 0x10}}});
    movie.Record(0, {});
    movie.Runs(r.List);
    movie.End(3);
    cases.push_back({r.Name, movie.Bytes, movie.Offsets[2], 3, r.Says});
  }

  // One unchanged pixel fewer is what the encoder itself writes: the movie is sound.
  RawMovie longest(10, 4);
  longest.Runs({{0, {0xFF, 0x10}}});
  longest.Runs({{0, {0x77, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                     0, 0x66}}});
  longest.End(2);
  WriteFile(Path("longest.exe"), longest.Bytes);
  Result sound31 = Run("verify '" + Path("longest.exe") + "'");
  EXPECT_EQ(sound31.Status, 0) << "31 unchanged pixels inside a run: " << sound31.Err;

  for (const Damage& d : cases) {
    WriteFile(Path("bad.exe"), d.Bytes);
    Result r = Run("verify '" + Path("bad.exe") + "'");
    EXPECT_EQ(r.Status, 1) << d.Name << ": " << r.Out;
    std::string where = "offset " + std::to_string(d.Offset) + (d.Frame ? " (frame " + std::to_string(d.Frame) + ")" : ":");
    EXPECT_NE(r.Err.find(where), std::string::npos) << d.Name << ": expected \"" << where << "\" in: " << r.Err;
    EXPECT_NE(r.Err.find(d.Says), std::string::npos) << d.Name << ": expected \"" << d.Says << "\" in: " << r.Err;
    // Whatever the damage, repair makes a movie that passes verify.
    remove(Path("fixed.exe").c_str());
    Result repair = Run("repair '" + Path("bad.exe") + "' -o '" + Path("fixed.exe") + "'");
    EXPECT_EQ(repair.Status, 0) << d.Name << ": " << repair.Err;
    Result again = Run("verify '" + Path("fixed.exe") + "'");
    EXPECT_EQ(again.Status, 0) << d.Name << ": repaired movie: " << again.Err;
  }
}

// ---- Steps -----------------------------------------------------------------------------------------

struct TestStep {
  uint32_t Frame;
  uint16_t Lead;
  uint8_t Button, Flags;
  int32_t X, Y;
  std::string Text;  // GBK
};

std::vector<uint8_t> StepsData(const std::vector<TestStep>& steps) {
  std::vector<uint8_t> data;
  for (const TestStep& s : steps) {
    StepRecord record{s.Frame, s.Lead, s.Button, s.Flags, s.X, s.Y, 0};
    size_t at = data.size();
    data.resize(at + StepSize((uint32_t)s.Text.size()));
    data.resize(at + PutStep(data.data() + at, &record, s.Text.data(), (uint32_t)s.Text.size()));
  }
  return data;
}

// "左键单击“保存”(按钮)" in GBK, and in UTF-8 as the tool shows it.
const char SaveClickGbk[] = "\xD7\xF3\xBC\xFC\xB5\xA5\xBB\xF7\xA1\xB0\xB1\xA3\xB4\xE6\xA1\xB1(\xB0\xB4\xC5\xA5)";
const char SaveClickUtf8[] = "左键单击“保存”(按钮)";
const uint32_t TagOther = SectionTag('X', 'T', 'R', 'A');  // a kind of block the tool does not know

// Four steps over 12 white frames of 60 x 40 (rings show as pure colours, which no decoded frame
// holds): two presses in frame 3, a double-click between ticks in frame 7, the last in the last frame.
const std::vector<TestStep> FourSteps = {
    {3, 40, StepLeft, 0, 20, 15, SaveClickGbk},
    {3, 0, StepRight, 0, 50, 30, ""},
    {7, 150, StepLeft, StepDouble, -5, 10, "x<&>\"*_"},
    {12, 10, StepMiddle, 0, 30, 20, "\xD6\xD0\xBC\xFC"},  // 中键
};

std::vector<uint8_t> StepsMovie(const std::vector<TestStep>& steps = FourSteps, bool other = true) {
  TestWriter writer(60, 40, "\xB2\xBD\xD6\xE8 steps", nullptr);  // 步骤 steps
  std::vector<uint32_t> pixels(60 * 40, 0x00FFFFFF);
  for (int f = 0; f < 12; f++) {
    pixels[(size_t)f * 61] = 0x000000FF;  // a change in every frame
    writer.Frame(pixels, 0, f, f);
  }
  std::vector<std::pair<uint32_t, std::vector<uint8_t>>> blocks;
  if (other) blocks.push_back({TagOther, std::vector<uint8_t>(70, 0xA5)});
  blocks.push_back({TagSteps, StepsData(steps)});
  std::vector<uint8_t> movie = writer.FinishWithSection(blocks);
  std::vector<uint8_t> stub = FakeStub();
  std::copy(stub.begin(), stub.end(), movie.begin());
  return movie;
}

// The section's bytes: from behind the end record to the trailer.
std::vector<uint8_t> SectionBytes(const std::vector<uint8_t>& movie) {
  uint32_t end = RecordOffsets(movie).back() + FrameHeaderSize;
  return std::vector<uint8_t>(movie.begin() + end, movie.end() - TrailerSize);
}

// The block with this tag as players find it, through the core; Length 0 when there is none.
SectionBlock FindBlock(const std::vector<uint8_t>& movie, uint32_t tag) {
  MemoryFile file;
  file.Bytes = movie;
  MovieSource source = file.Source();
  MovieSection section;
  SectionBlock block{0, 0, 0};
  if (!FindMovieSection(&source, &section) || !FindSectionBlock(&source, &section, tag, &block)) return {0, 0, 0};
  return block;
}

// The steps as players read them, through the core.
std::vector<StepRecord> ReadSteps(const std::vector<uint8_t>& movie, std::vector<std::string>* texts = nullptr) {
  SectionBlock block = FindBlock(movie, TagSteps);
  std::vector<StepRecord> steps;
  uint32_t at = 0;
  StepRecord step;
  const char* text;
  while (NextStep(movie.data() + block.Offset, block.Length, &at, &step, &text)) {
    steps.push_back(step);
    if (texts) texts->push_back(std::string(text, step.TextLength));
  }
  return steps;
}

// 12 white frames of 160 x 100 with key presses and steps: Ctrl+O 50 ms before frame 2, a click in
// frame 3, Ctrl+Z in frames 4 and 5, "o@" typed in frame 6 (the "@" with AltGr, that is Ctrl+Alt),
// a click in frame 8 and one in frame 9, Alt+F4 in frame 12. The cursor is in the top-left corner,
// but in frame 5 on the row of labels.
const std::vector<KeyRecord> SixKeys = {
    {2, 50, 'O', KeyCtrl, 0, 0}, {4, 0, 'Z', KeyCtrl, 0, 0},              {5, 10, 'Z', KeyCtrl, 0, 0},
    {6, 100, 'O', 0, 0, 'o'},    {6, 20, 'Q', KeyCtrl | KeyAlt, 0, '@'}, {12, 0, 0x73, KeyAlt, 0, 0},
};
const std::vector<TestStep> KeySteps = {
    {3, 0, StepLeft, 0, 80, 50, ""}, {8, 0, StepLeft, 0, 40, 20, ""}, {9, 0, StepRight, 0, 40, 20, ""}};

std::vector<uint8_t> KeysData(const std::vector<KeyRecord>& keys) {
  std::vector<uint8_t> data(keys.size() * sizeof(KeyRecord));
  memcpy(data.data(), keys.data(), data.size());
  return data;
}

std::vector<uint8_t> KeysMovie(const std::vector<uint8_t>& keys = KeysData(SixKeys)) {
  TestWriter writer(160, 100, "keys", nullptr);
  std::vector<uint32_t> pixels(160 * 100, 0x00FFFFFF);
  for (int f = 1; f <= 12; f++) {
    pixels[(size_t)f * 3] = 0x000000FF;  // a change in every frame
    writer.Frame(pixels, 0, f == 5 ? 70 : 2, f == 5 ? 80 : 2);
  }
  std::vector<uint8_t> movie = writer.FinishWithSection({{TagKeys, keys}, {TagSteps, StepsData(KeySteps)}});
  std::vector<uint8_t> stub = FakeStub();
  std::copy(stub.begin(), stub.end(), movie.begin());
  return movie;
}

// The key presses as players read them, through the core.
std::vector<KeyRecord> ReadKeys(const std::vector<uint8_t>& movie) {
  SectionBlock block = FindBlock(movie, TagKeys);
  std::vector<KeyRecord> keys;
  uint32_t at = 0;
  KeyRecord key;
  while (NextKey(movie.data() + block.Offset, block.Length, &at, &key)) keys.push_back(key);
  return keys;
}

TEST_F(Tool, InfoListsTheStepsAndVerifyAcceptsThem) {
  WriteFile(Path("m.exe"), StepsMovie());
  Result verify = Run("verify '" + Path("m.exe") + "'");
  EXPECT_EQ(verify.Status, 0) << verify.Err;
  Result info = Run("info '" + Path("m.exe") + "'");
  ASSERT_EQ(info.Status, 0) << info.Err;
  for (const char* line : {"XTRA 70 bytes (not known to this tool), STEP", "steps:        4\n",
                           "    1  0:00.3  frame 3  left click at (20, 15)  左键单击“保存”(按钮)\n",
                           "    2  0:00.4  frame 3  right click at (50, 30)  (no description)\n",
                           "    3  0:01.0  frame 7  left double-click at (-5, 10)  x<&>\"*_\n",
                           "    4  0:02.1  frame 12  middle click at (30, 20)  中键\n", "well-formed:  yes"})
    EXPECT_NE(info.Out.find(line), std::string::npos) << line << " in:\n" << info.Out;
  // A movie without a section says nothing of one.
  WriteFile(Path("plain.exe"), Recording(8, 8, 3, 1));
  EXPECT_EQ(Run("info '" + Path("plain.exe") + "'").Out.find("section"), std::string::npos);
}

TEST_F(Tool, PackWrapUnwrapAndRepairKeepTheSectionByteForByte) {
  struct Case {
    std::vector<uint8_t> Movie;
    const char* Kept;  // as repair says it
  } cases[] = {{StepsMovie(), "kept:  4 steps"}, {KeysMovie(), "kept:  6 key presses"}};
  WriteFile(Path("stub.exe"), FakeStub());
  for (const Case& c : cases) {
    const std::vector<uint8_t>& movie = c.Movie;
    WriteFile(Path("m.exe"), movie);
    ASSERT_EQ(Run("unwrap '" + Path("m.exe") + "' '" + Path("m.stream") + "'").Status, 0);
    ASSERT_EQ(Run("wrap '" + Path("m.stream") + "' '" + Path("again.exe") + "' --stub '" + Path("stub.exe") + "'").Status, 0);
    EXPECT_TRUE(ReadWholeFile(Path("again.exe")) == movie);
    remove(Path("repaired.exe").c_str());
    Result repair = Run("repair '" + Path("m.exe") + "' -o '" + Path("repaired.exe") + "'");
    ASSERT_EQ(repair.Status, 0) << repair.Err;
    EXPECT_TRUE(ReadWholeFile(Path("repaired.exe")) == movie) << repair.Out;
    EXPECT_NE(repair.Out.find(c.Kept), std::string::npos) << repair.Out;
    EXPECT_EQ(repair.Out.find("lost"), std::string::npos) << repair.Out;
    remove(Path("packed.exe").c_str());
    Result pack = Run("pack '" + Path("m.exe") + "' -o '" + Path("packed.exe") + "'");
    ASSERT_EQ(pack.Status, 0) << pack.Err;
    std::vector<uint8_t> packed = ReadWholeFile(Path("packed.exe"));
    EXPECT_TRUE(SectionBytes(packed) == SectionBytes(movie));
    EXPECT_TRUE(std::equal(packed.end() - TrailerSize, packed.end(), movie.end() - TrailerSize));
    EXPECT_EQ(Run("verify '" + Path("packed.exe") + "'").Status, 0);
  }
}

TEST_F(Tool, TrimKeepsTheStepsOfTheKeptFramesMovedWithThem) {
  WriteFile(Path("m.exe"), StepsMovie());
  struct Case {
    const char* Args;
    std::vector<uint32_t> Frames;  // of the steps kept, in the trimmed movie
    size_t FirstKept;              // index of the first kept step in FourSteps
  } cases[] = {
      {"--from-frame 3 --to-frame 7", {1, 1, 5}, 0}, {"--from-frame 4 --to-frame 12", {4, 9}, 2},
      {"--from-frame 8 --to-frame 11", {}, 0},       {"--from-frame 12", {1}, 3},
  };
  for (const Case& c : cases) {
    remove(Path("part.exe").c_str());
    Result r = Run("trim '" + Path("m.exe") + "' " + c.Args + " -o '" + Path("part.exe") + "'");
    ASSERT_EQ(r.Status, 0) << c.Args << ": " << r.Err;
    EXPECT_NE(r.Out.find("kept:  " + std::to_string(c.Frames.size()) + " of 4 steps"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("block XTRA of 70 bytes was left out"), std::string::npos) << r.Out;
    std::vector<uint8_t> part = ReadWholeFile(Path("part.exe"));
    Result verify = Run("verify '" + Path("part.exe") + "'");
    EXPECT_EQ(verify.Status, 0) << c.Args << ": " << verify.Err;
    std::vector<std::string> texts;
    std::vector<StepRecord> steps = ReadSteps(part, &texts);
    ASSERT_EQ(steps.size(), c.Frames.size()) << c.Args;
    for (size_t i = 0; i < steps.size(); i++) {
      const TestStep& original = FourSteps[c.FirstKept + i];
      EXPECT_EQ(steps[i].Frame, c.Frames[i]) << c.Args << " step " << i;
      EXPECT_TRUE(steps[i].Lead == original.Lead && steps[i].X == original.X && steps[i].Y == original.Y &&
                  steps[i].Button == original.Button && steps[i].Flags == original.Flags && texts[i] == original.Text)
          << c.Args << " step " << i;
    }
    // Without steps to keep, the trimmed movie ends as a movie without a section.
    if (c.Frames.empty()) EXPECT_TRUE(SectionBytes(part).empty()) << c.Args;
  }
}

TEST_F(Tool, ExportDrawsTheRingsUnlessToldNotTo) {
  WriteFile(Path("m.exe"), StepsMovie());
  std::vector<uint8_t> movie = ReadWholeFile(Path("m.exe"));
  auto png = [&](int32_t k, const std::string& options) {
    std::string out = Path("f" + std::to_string(k) + ".png");
    Result r = Run("export '" + Path("m.exe") + "' --frame " + std::to_string(k) + " " + options + " '" + out + "'");
    EXPECT_EQ(r.Status, 0) << r.Err;
    int32_t w, h;
    std::vector<uint32_t> pixels;
    EXPECT_TRUE(ReadPng(out, &w, &h, &pixels));
    return pixels;
  };
  // Which rings show in a frame, at which age: a press `Lead` ms before frame `Frame` is that old
  // there, and 200 ms older in each frame after, up to a second.
  struct Case {
    int32_t Frame;
    std::vector<std::pair<size_t, int32_t>> Rings;  // (step index, age)
  } cases[] = {
      {2, {}}, {3, {{0, 40}, {1, 0}}}, {7, {{0, 840}, {1, 800}, {2, 150}}}, {8, {{2, 350}}}, {12, {{3, 10}}},
  };
  for (const Case& c : cases) {
    std::vector<uint32_t> expected = DecodedFrame(movie, c.Frame);
    for (const auto& ring : c.Rings) {
      const TestStep& s = FourSteps[ring.first];
      StepRecord record{s.Frame, s.Lead, s.Button, s.Flags, s.X, s.Y, 0};
      DrawStepRing(expected.data(), 60, 40, &record, ring.second);
    }
    EXPECT_EQ(FirstDifference(png(c.Frame, "--rings"), expected), -1) << "frame " << c.Frame;
  }
  EXPECT_EQ(FirstDifference(png(3, ""), DecodedFrame(movie, 3)), -1) << "PNG frames have no rings unless asked";

  // The GIF has them, with --no-rings it has none; a double-click has its inner ring.
  ASSERT_EQ(Run("export '" + Path("m.exe") + "' --gif '" + Path("r.gif") + "' --no-cursor").Status, 0);
  ASSERT_EQ(Run("export '" + Path("m.exe") + "' --gif '" + Path("n.gif") + "' --no-cursor --no-rings").Status, 0);
  GifFrames rings, none;
  ASSERT_TRUE(ReadGif(Path("r.gif"), &rings));
  ASSERT_TRUE(ReadGif(Path("n.gif"), &none));
  ASSERT_EQ(rings.Frames.size(), 12u);
  for (int32_t k = 1; k <= 12; k++) {
    // A ring is on the screen from frame 3 to the end; in frame 11 only the double-click's, 950 ms
    // old, too faint to survive the GIF's 256 colours everywhere.
    if (k != 11) EXPECT_EQ(FirstDifference(rings.Frames[k - 1], none.Frames[k - 1]) != -1, k >= 3) << "frame " << k;
    EXPECT_EQ(FirstDifference(none.Frames[k - 1], DecodedFrame(movie, k)), -1) << "frame " << k;
  }
  // Frame 7, 150 ms after the double-click at (-5, 10): rings of radius 11 and 6, the outer reaching
  // into the frame at x 6.
  EXPECT_NE(rings.Frames[6][10 * 60 + 6], 0xFFFFFFu);
  EXPECT_EQ(rings.Frames[6][10 * 60 + 8], 0xFFFFFFu);

  // The lossless MP4 has the same pictures as the GIF, with the cursor too.
  ASSERT_EQ(Run("export '" + Path("m.exe") + "' --frames '" + Path("all") + "' --rings --cursor").Status, 0);
  ASSERT_EQ(Run("export '" + Path("m.exe") + "' --mp4 '" + Path("m.mp4") + "' --lossless").Status, 0);
  VideoFrames video;
  ASSERT_TRUE(ReadMp4(Path("m.mp4"), &video));
  ASSERT_EQ(video.Frames.size(), 12u);
  int32_t w, h;
  std::vector<uint32_t> seven;
  ASSERT_TRUE(ReadPng(Path("all/frame-00007.png"), &w, &h, &seven));
  EXPECT_EQ(FirstDifference(video.Frames[6], seven), -1);
}

TEST_F(Tool, StepsDocumentHasAPictureAndADescriptionPerStep) {
  WriteFile(Path("m.exe"), StepsMovie());
  Result r = Run("export '" + Path("m.exe") + "' --steps '" + Path("steps.html") + "' --html '" + Path("page.html") + "'");
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Out.find("4 steps, 4 pictures, linked to page.html"), std::string::npos) << r.Out;
  EXPECT_TRUE(Exists(Path("page.html")));
  std::string html = ReadText(Path("steps.html"));
  auto count = [](const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
  };
  EXPECT_EQ(count(html, "<img src=\"data:image/png;base64,"), 4u);
  for (int n = 1; n <= 4; n++)
    EXPECT_EQ(count(html, "href=\"page.html#step=" + std::to_string(n) + "\""), 1u) << n;
  EXPECT_NE(html.find("<title>步骤 steps</title>"), std::string::npos);
  EXPECT_NE(html.find(SaveClickUtf8), std::string::npos);
  EXPECT_NE(html.find("右键单击 right click"), std::string::npos);  // the step without a description
  EXPECT_NE(html.find("x&lt;&amp;&gt;&quot;*_"), std::string::npos);
  EXPECT_EQ(html.find("src=\"http"), std::string::npos);

  // Markdown: the pictures beside it, each the step's frame with its ring at full strength.
  ASSERT_EQ(Run("export '" + Path("m.exe") + "' --steps '" + Path("steps.md") + "'").Status, 0);
  std::string md = ReadText(Path("steps.md"));
  EXPECT_NE(md.find("![步骤 1 Step 1](steps-pictures/step-001.png)"), std::string::npos) << md;
  EXPECT_NE(md.find("x\\<&\\>\"\\*\\_"), std::string::npos) << md;
  EXPECT_EQ(md.find("#step="), std::string::npos) << "no links without --html";
  std::vector<uint8_t> movie = ReadWholeFile(Path("m.exe"));
  for (int n = 1; n <= 4; n++) {
    char name[48];
    snprintf(name, sizeof name, "steps-pictures/step-%03d.png", n);
    int32_t w, h;
    std::vector<uint32_t> picture;
    ASSERT_TRUE(ReadPng(Path(name), &w, &h, &picture)) << name;
    ASSERT_EQ(w, 60);  // smaller than the largest picture: the whole frame
    ASSERT_EQ(h, 40);
    const TestStep& step = FourSteps[n - 1];
    std::vector<uint32_t> expected = DecodedFrame(movie, (int32_t)step.Frame);
    StepRecord record{step.Frame, step.Lead, step.Button, step.Flags, step.X, step.Y, 0};
    DrawStepRing(expected.data(), 60, 40, &record, 0);
    EXPECT_EQ(FirstDifference(picture, expected), -1) << name;
  }
  EXPECT_FALSE(Exists(Path("steps-pictures/step-005.png")));

  // A movie without steps has no document.
  WriteFile(Path("plain.exe"), Recording(8, 8, 3, 1));
  Result none = Run("export '" + Path("plain.exe") + "' --steps '" + Path("none.html") + "'");
  EXPECT_EQ(none.Status, 1);
  EXPECT_NE(none.Err.find("no steps"), std::string::npos) << none.Err;
  EXPECT_FALSE(Exists(Path("none.html")));
}

TEST_F(Tool, StepPicturesOfLargeFramesAreCutAroundThePress) {
  // 1920 x 1080, presses in the middle, at a corner and outside: 800 x 500 pictures, as far as
  // possible centred on the press, never leaving the frame.
  TestWriter writer(1920, 1080, "big");
  std::vector<uint32_t> pixels((size_t)1920 * 1080);
  for (size_t i = 0; i < pixels.size(); i++) pixels[i] = (uint32_t)(i % 1920 / 8) << 8 | (uint32_t)(i / 1920 / 5);
  writer.Frame(pixels);
  std::vector<uint8_t> movie = writer.FinishWithSection(
      {{TagSteps, StepsData({{1, 0, StepLeft, 0, 960, 540, ""}, {1, 0, StepLeft, 0, 5, 1000, ""},
                             {1, 0, StepRight, 0, 3000, -50, ""}})}});
  WriteFile(Path("big.exe"), movie);
  ASSERT_EQ(Run("export '" + Path("big.exe") + "' --steps '" + Path("big.md") + "'").Status, 0);
  std::vector<uint32_t> frame = DecodedFrame(movie, 1);
  struct Case {
    int32_t Left, Top;
  } cases[] = {{560, 290}, {0, 580}, {1120, 0}};
  for (int n = 1; n <= 3; n++) {
    int32_t w, h;
    std::vector<uint32_t> picture;
    ASSERT_TRUE(ReadPng(Path("big-pictures/step-00" + std::to_string(n) + ".png"), &w, &h, &picture));
    ASSERT_EQ(w, 800);
    ASSERT_EQ(h, 500);
    // Away from the ring, the picture is the frame's pixels at that place.
    const Case& c = cases[n - 1];
    for (int32_t y : {0, 499})
      for (int32_t x : {0, 799})
        EXPECT_EQ(picture[(size_t)y * w + x], frame[(size_t)(c.Top + y) * 1920 + c.Left + x]) << n << ": " << x << "," << y;
  }
}

// Damage to the section, each kind: verify names it, info still reads the movie, every frame still
// exports, and repair keeps the steps it can find, saying what it lost, in a movie verify accepts.
TEST_F(Tool, DamagedSectionsAreNamedAndRepairKeepsWhatItFinds) {
  const std::vector<uint8_t> good = StepsMovie();
  const uint32_t start = RecordOffsets(good).back() + FrameHeaderSize;  // of the section: the XTRA block
  const uint32_t footer = (uint32_t)(good.size() - TrailerSize - SectionFooterSize);
  std::vector<uint32_t> step;  // file offsets of the four step records
  for (uint32_t at = start + 2 * BlockHeaderSize + 70; step.size() < 4;) {
    step.push_back(at);
    at += StepSize((uint32_t)FourSteps[step.size() - 1].Text.size());
  }
  auto put32 = [](std::vector<uint8_t>& b, uint32_t at, uint32_t v) { memcpy(b.data() + at, &v, 4); };
  struct Case {
    const char* Name;
    std::function<void(std::vector<uint8_t>&)> Make;
    uint32_t Offset;
    const char* Says;
    size_t StepsKept;  // by repair
    const char* Lost;  // a line repair reports
  } cases[] = {
      {"a footer length beyond the records", [&](std::vector<uint8_t>& b) { put32(b, footer + 4, 1); }, footer,
       "gives the section 42949674", 4, "lost:  the section's footer: offset"},
      {"a footer length one short", [&](std::vector<uint8_t>& b) { b[footer]--; }, start + 1, "no end record lies",
       4, "bytes behind the blocks found"},
      {"the magic changed", [&](std::vector<uint8_t>& b) { b[footer + 8] = 't'; }, start,
       "unexpected bytes lie between the end record and the trailer", 4, "not found at the end of the file"},
      {"a block longer than the section", [&](std::vector<uint8_t>& b) { put32(b, start + 4, 0x7FFFFFFF); }, start,
       "the blocks do not fill", 0, "bytes behind the blocks found"},
      {"a step of a frame the movie lacks", [&](std::vector<uint8_t>& b) { put32(b, step[3], 13); }, step[3],
       "step 4 belongs to frame 13, but the movie has frames 1 to 12", 3, "1 step of frames that are not kept"},
      {"a step with button 4", [&](std::vector<uint8_t>& b) { b[step[1] + 6] = 4; }, step[1], "step 2 has button 4", 3,
       "1 step of frames"},
      {"steps out of order", [&](std::vector<uint8_t>& b) { put32(b, step[2], 2); }, step[2],
       "step 3 (frame 2) comes after step 2 (frame 3)", 3, "1 step of frames"},
      {"a description running past its block", [&](std::vector<uint8_t>& b) { b[step[3] + 16] = 200; }, step[3],
       "step 4 does not fit in the 22 bytes left of the steps block", 3, "what follows offset"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = good;
    c.Make(bytes);
    WriteFile(Path("bad.exe"), bytes);
    Result verify = Run("verify '" + Path("bad.exe") + "'");
    EXPECT_EQ(verify.Status, 1) << c.Name;
    EXPECT_NE(verify.Err.find("offset " + std::to_string(c.Offset) + ": "), std::string::npos) << c.Name << ": " << verify.Err;
    EXPECT_NE(verify.Err.find(c.Says), std::string::npos) << c.Name << ": " << verify.Err;
    EXPECT_EQ(Run("info '" + Path("bad.exe") + "'").Status, 0) << c.Name;
    system(("rm -rf '" + Path("frames") + "'").c_str());
    Result frames = Run("export '" + Path("bad.exe") + "' --frames '" + Path("frames") + "' --rings");
    EXPECT_EQ(frames.Status, 0) << c.Name << ": " << frames.Err;
    EXPECT_TRUE(Exists(Path("frames/frame-00012.png"))) << c.Name;
    remove(Path("fixed.exe").c_str());
    Result repair = Run("repair '" + Path("bad.exe") + "' -o '" + Path("fixed.exe") + "'");
    ASSERT_EQ(repair.Status, 0) << c.Name << ": " << repair.Err;
    EXPECT_NE(repair.Out.find(c.Lost), std::string::npos) << c.Name << ": " << repair.Out;
    Result again = Run("verify '" + Path("fixed.exe") + "'");
    EXPECT_EQ(again.Status, 0) << c.Name << ": " << again.Err << repair.Out;
    std::vector<uint8_t> fixed = ReadWholeFile(Path("fixed.exe"));
    EXPECT_EQ(ReadSteps(fixed).size(), c.StepsKept) << c.Name << ": " << repair.Out;
    EXPECT_STREQ((const char*)fixed.data() + fixed.size() - TitleSize, (const char*)good.data() + good.size() - TitleSize)
        << c.Name << ": the trailer is whole, so is the title";
  }
}

// A movie with a section cut at every length from its end record on: repair keeps the blocks and the
// steps that are whole, and its result passes verify.
TEST_F(Tool, RepairKeepsTheWholeStepsAtEveryCutOfTheSection) {
  const std::vector<uint8_t> movie = StepsMovie();
  const uint32_t start = RecordOffsets(movie).back() + FrameHeaderSize;
  const uint32_t stepsAt = start + 2 * BlockHeaderSize + 70;
  const uint32_t trailer = (uint32_t)(movie.size() - TrailerSize);
  for (uint32_t size = start; size <= movie.size(); size++) {
    // Every cut inside the trailer is the same case: its first and last few bytes are enough.
    if (size == trailer + 4) size = (uint32_t)movie.size() - 4;
    std::vector<uint8_t> cut(movie.begin(), movie.begin() + size);
    WriteFile(Path("cut.exe"), cut);
    remove(Path("fixed.exe").c_str());
    Result r = Run("repair '" + Path("cut.exe") + "' -o '" + Path("fixed.exe") + "'");
    ASSERT_EQ(r.Status, 0) << "size " << size << ": " << r.Err;
    std::vector<uint8_t> fixed = ReadWholeFile(Path("fixed.exe"));
    if (size == movie.size()) {
      EXPECT_TRUE(fixed == movie);
      continue;
    }
    size_t whole = 0;
    for (uint32_t end = stepsAt; whole < 4; whole++) {
      end += StepSize((uint32_t)FourSteps[whole].Text.size());
      if (end > size) break;
    }
    if (size < stepsAt) whole = 0;
    EXPECT_EQ(ReadSteps(fixed).size(), whole) << "size " << size << ": " << r.Out;
    bool keys = size >= start + BlockHeaderSize + 70;
    EXPECT_EQ(r.Out.find("kept:  block XTRA of 70 bytes") != std::string::npos, keys) << "size " << size << ": " << r.Out;
    EXPECT_EQ(r.Out.find("lost:") != std::string::npos, keys) << "size " << size << ": " << r.Out;
    EXPECT_NE(r.Out.find("无标题"), std::string::npos) << "size " << size << ": " << r.Out;
    Result verify = Run("verify '" + Path("fixed.exe") + "'");
    EXPECT_EQ(verify.Status, 0) << "size " << size << ": " << verify.Err;
  }
}

// ---- Keys ------------------------------------------------------------------------------------------

// Rows of the picture holding label text (pixels of the text colour, which a white frame lacks).
std::vector<int32_t> TextRows(const std::vector<uint32_t>& picture, int32_t width) {
  std::vector<int32_t> rows;
  for (size_t i = 0; i < picture.size(); i++)
    if ((picture[i] & 0xFFFFFF) == KeyTextColour && (rows.empty() || rows.back() != (int32_t)(i / width)))
      rows.push_back((int32_t)(i / width));
  return rows;
}

TEST_F(Tool, InfoListsTheKeysAndVerifyChecksThem) {
  WriteFile(Path("m.exe"), KeysMovie());
  Result info = Run("info '" + Path("m.exe") + "'");
  ASSERT_EQ(info.Status, 0) << info.Err;
  for (const char* line : {"KEYS 72 bytes, STEP", "steps:        3\n", "keys:         6\n",
                           "    1  0:00.1  frame 2  Ctrl+O\n", "    3  0:00.7  frame 5  Ctrl+Z\n",
                           "    4  0:00.9  frame 6  o\n", "    5  0:00.9  frame 6  @\n",
                           "    6  0:02.2  frame 12  Alt+F4\n", "well-formed:  yes"})
    EXPECT_NE(info.Out.find(line), std::string::npos) << line << " in:\n" << info.Out;

  // Presses the recorder never writes: verify names them, repair keeps the others.
  const uint32_t at = RecordOffsets(KeysMovie()).back() + FrameHeaderSize + BlockHeaderSize;
  std::vector<KeyRecord> late = SixKeys, backwards = SixKeys, zero = SixKeys;
  late[5].Frame = 13;
  backwards[2].Frame = 3;
  zero[0].Frame = 0;
  std::vector<uint8_t> cut = KeysData(SixKeys);
  cut.resize(cut.size() - 5);
  struct Case {
    std::vector<uint8_t> Keys;
    uint32_t Offset;
    const char* Says;
    size_t Kept;  // by repair
  } cases[] = {
      {KeysData(late), at + 60, "key press 6 belongs to frame 13, but the movie has frames 1 to 12", 5},
      {KeysData(zero), at, "key press 1 belongs to frame 0", 5},
      {KeysData(backwards), at + 24, "key press 3 (frame 3) comes after key press 2 (frame 4)", 5},
      {cut, at + 60, "the keys block ends in 7 bytes that are no whole key press", 5},
  };
  for (const Case& c : cases) {
    WriteFile(Path("bad.exe"), KeysMovie(c.Keys));
    Result verify = Run("verify '" + Path("bad.exe") + "'");
    EXPECT_EQ(verify.Status, 1) << c.Says;
    EXPECT_NE(verify.Err.find("offset " + std::to_string(c.Offset) + ": " + c.Says), std::string::npos) << verify.Err;
    remove(Path("fixed.exe").c_str());
    Result repair = Run("repair '" + Path("bad.exe") + "' -o '" + Path("fixed.exe") + "'");
    ASSERT_EQ(repair.Status, 0) << repair.Err;
    EXPECT_NE(repair.Out.find("kept:  " + std::to_string(c.Kept) + " key presses"), std::string::npos) << repair.Out;
    EXPECT_NE(repair.Out.find("lost:"), std::string::npos) << repair.Out;
    EXPECT_EQ(Run("verify '" + Path("fixed.exe") + "'").Status, 0) << c.Says << ": " << repair.Out;
    EXPECT_EQ(ReadKeys(ReadWholeFile(Path("fixed.exe"))).size(), c.Kept) << c.Says;
  }
}

TEST_F(Tool, TrimKeepsTheKeysOfTheKeptFramesMovedWithThem) {
  WriteFile(Path("m.exe"), KeysMovie());
  struct Case {
    const char* Args;
    std::vector<uint32_t> Frames;  // of the key presses kept, in the trimmed movie
    size_t FirstKept;              // index of the first kept press in SixKeys
  } cases[] = {
      {"--from-frame 4 --to-frame 6", {1, 2, 3, 3}, 1}, {"--from-frame 2 --to-frame 2", {1}, 0},
      {"--from-frame 7 --to-frame 11", {}, 0},          {"--from-frame 12", {1}, 5},
  };
  for (const Case& c : cases) {
    remove(Path("part.exe").c_str());
    Result r = Run("trim '" + Path("m.exe") + "' " + c.Args + " -o '" + Path("part.exe") + "'");
    ASSERT_EQ(r.Status, 0) << c.Args << ": " << r.Err;
    EXPECT_NE(r.Out.find("kept:  " + std::to_string(c.Frames.size()) + " of 6 key presses"), std::string::npos) << r.Out;
    EXPECT_EQ(r.Out.find("left out"), std::string::npos) << r.Out;
    Result verify = Run("verify '" + Path("part.exe") + "'");
    EXPECT_EQ(verify.Status, 0) << c.Args << ": " << verify.Err;
    std::vector<KeyRecord> keys = ReadKeys(ReadWholeFile(Path("part.exe")));
    ASSERT_EQ(keys.size(), c.Frames.size()) << c.Args;
    for (size_t i = 0; i < keys.size(); i++) {
      KeyRecord original = SixKeys[c.FirstKept + i];
      original.Frame = c.Frames[i];
      EXPECT_EQ(memcmp(&keys[i], &original, sizeof(KeyRecord)), 0) << c.Args << " key " << i;
    }
  }
}

TEST_F(Tool, ExportsDrawTheKeysUnlessToldNotTo) {
  std::vector<uint8_t> movie = KeysMovie();
  WriteFile(Path("m.exe"), movie);
  auto png = [&](int32_t k, const std::string& options) {
    std::string out = Path("f" + std::to_string(k) + ".png");
    Result r = Run("export '" + Path("m.exe") + "' --frame " + std::to_string(k) + " " + options + " '" + out + "'");
    EXPECT_EQ(r.Status, 0) << r.Err;
    int32_t w, h;
    std::vector<uint32_t> pixels;
    EXPECT_TRUE(ReadPng(out, &w, &h, &pixels));
    return pixels;
  };
  // Where the text of the labels lies in each frame: none before the first press and two seconds
  // after the last, at the bottom, at the top in frame 5 where the cursor is on the bottom row.
  const int32_t bottom = 100 - KeyRowMargin - KeyBoxPadding - KeyGlyphHeight * KeyTextScale;
  const int32_t top = KeyRowMargin + KeyBoxPadding;
  struct Case {
    int32_t Frame;
    int32_t FirstRow;  // -1: no label
  } cases[] = {{1, -1}, {2, bottom}, {4, bottom}, {5, top}, {6, bottom}, {11, bottom}, {12, bottom}};
  for (const Case& c : cases) {
    std::vector<uint32_t> labelled = png(c.Frame, ""), plain = png(c.Frame, "--no-keys");
    EXPECT_EQ(FirstDifference(plain, DecodedFrame(movie, c.Frame)), -1) << "frame " << c.Frame;
    std::vector<int32_t> rows = TextRows(labelled, 160);
    EXPECT_EQ(rows.empty() ? -1 : rows.front(), c.FirstRow) << "frame " << c.Frame;
    // The picture is the decoded frame with the core's labels over it, as the page draws them.
    std::vector<uint32_t> expected = DecodedFrame(movie, c.Frame);
    std::vector<uint8_t> block = KeysData(SixKeys);
    KeyLabel labels[MaxKeyLabels];
    uint32_t count = KeyLabelsAt(block.data(), (uint32_t)block.size(), c.Frame, labels);
    DrawKeyLabels(expected.data(), 160, 100, labels, count, c.Frame == 5 ? 70 : 2, c.Frame == 5 ? 80 : 2);
    EXPECT_EQ(FirstDifference(labelled, expected), -1) << "frame " << c.Frame;
  }

  // Lossless MP4: the labels are burnt in, exactly as in the PNG frames; with --no-keys the pictures
  // are the decoded frames. The GIF's 256 colours have them too: its frames differ from those
  // without them wherever a label shows.
  ASSERT_EQ(Run("export '" + Path("m.exe") + "' --frames '" + Path("all") + "'").Status, 0);
  for (const char* options : {"", "--no-keys"}) {
    std::string gif = Path(std::string("k") + options + ".gif"), mp4 = Path(std::string("k") + options + ".mp4");
    ASSERT_EQ(Run("export '" + Path("m.exe") + "' --gif '" + gif + "' --no-cursor --no-rings " + options).Status, 0);
    ASSERT_EQ(Run("export '" + Path("m.exe") + "' --mp4 '" + mp4 + "' --lossless --no-cursor --no-rings " + options).Status, 0);
    GifFrames gifFrames;
    VideoFrames video;
    ASSERT_TRUE(ReadGif(gif, &gifFrames));
    ASSERT_TRUE(ReadMp4(mp4, &video));
    ASSERT_EQ(gifFrames.Frames.size(), 12u);
    ASSERT_EQ(video.Frames.size(), 12u);
    for (int32_t k = 1; k <= 12; k++) {
      char name[32];
      snprintf(name, sizeof name, "all/frame-%05d.png", k);
      int32_t w, h;
      std::vector<uint32_t> frame;
      ASSERT_TRUE(ReadPng(Path(name), &w, &h, &frame));
      const std::vector<uint32_t>& expected = *options ? DecodedFrame(movie, k) : frame;
      EXPECT_EQ(FirstDifference(video.Frames[k - 1], expected), -1) << options << " MP4 frame " << k;
      EXPECT_EQ(FirstDifference(gifFrames.Frames[k - 1], DecodedFrame(movie, k)) == -1, *options || k == 1)
          << options << " GIF frame " << k;
    }
  }
}

TEST_F(Tool, StepsDocumentNamesTheShortcutBeforeAStep) {
  WriteFile(Path("m.exe"), KeysMovie());
  ASSERT_EQ(Run("export '" + Path("m.exe") + "' --steps '" + Path("steps.html") + "'").Status, 0);
  std::string html = ReadText(Path("steps.html"));
  // Step 1 follows Ctrl+O; step 2 follows Ctrl+Z (typing after it, AltGr too, is no shortcut); step 3
  // follows nothing since step 2.
  auto step = [&](int n) {
    size_t from = html.find("id=\"step-" + std::to_string(n) + "\"");
    return html.substr(from, html.find("</li>", from) - from);
  };
  EXPECT_NE(step(1).find("<kbd>Ctrl+O</kbd>"), std::string::npos) << step(1);
  EXPECT_NE(step(2).find("<kbd>Ctrl+Z</kbd>"), std::string::npos) << step(2);
  EXPECT_EQ(step(3).find("<kbd>"), std::string::npos) << step(3);
  ASSERT_EQ(Run("export '" + Path("m.exe") + "' --steps '" + Path("steps.md") + "'").Status, 0);
  std::string md = ReadText(Path("steps.md"));
  size_t second = md.find("\n## 2."), third = md.find("\n## 3.");
  EXPECT_NE(md.find("**Ctrl+O**"), std::string::npos) << md;
  EXPECT_LT(md.find("**Ctrl+O**"), second) << md;
  EXPECT_LT(md.find("**Ctrl+Z**"), third) << md;
  EXPECT_GT(md.find("**Ctrl+Z**"), second) << md;
  EXPECT_EQ(md.find("**", third), std::string::npos) << md;
}

// ---- Bad input -------------------------------------------------------------------------------------

TEST_F(Tool, ClearErrorsOnFilesThatAreNoMovies) {
  std::vector<uint8_t> text(100, 'a');
  WriteFile(Path("text.txt"), text);
  std::vector<uint8_t> program = FakeStub();
  program.resize(40000, 0);
  WriteFile(Path("program.exe"), program);
  std::vector<uint8_t> wrongDepth = Recording(4, 4, 1, 1);
  wrongDepth[StubLength + 28] = 24;  // biBitCount
  WriteFile(Path("depth.exe"), wrongDepth);
  struct Case {
    std::string File;
    const char* Says;
  } cases[] = {
      {Path("missing.exe"), "cannot open"},
      {Path("text.txt"), "too short"},
      {Path("program.exe"), "no \"BM\""},
      {Path("depth.exe"), "24 bits per pixel"},
      {Dir, "folder"},
  };
  for (const Case& c : cases) {
    for (const char* command : {"info", "verify", "export --raw", "repair", "unwrap", "export --mp4"}) {
      std::string args = std::string(command) + " '" + c.File + "'";
      if (std::string(command) == "unwrap") args += " '" + Path("out") + "'";
      if (std::string(command) == "export --mp4") args = "export '" + c.File + "' --mp4 '" + Path("out.mp4") + "'";
      Result r = Run(args);
      EXPECT_EQ(r.Status, 1) << args;
      EXPECT_NE(r.Err.find(c.Says), std::string::npos) << args << ": " << r.Err;
      EXPECT_TRUE(r.Out.empty()) << args << ": " << r.Out;
    }
  }
  EXPECT_FALSE(Exists(Path("out")));
  EXPECT_FALSE(Exists(Path("out.mp4")));
  EXPECT_FALSE(Exists(Path("missing-repaired.exe")));
  EXPECT_TRUE(TempFiles().empty());

  for (const char* args : {"", "frobnicate x", "verify", "verify a b", "export m.exe", "export m.exe --frame",
                           "export m.exe --gif a.gif --raw", "repair", "wrap only-one"}) {
    Result r = Run(args);
    EXPECT_EQ(r.Status, 2) << args;
    EXPECT_NE(r.Err.find("usage"), std::string::npos) << args << ": " << r.Err;
  }
}

}  // namespace
