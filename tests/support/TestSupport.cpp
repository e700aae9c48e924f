#include "TestSupport.h"

#include "Section.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <iterator>

#include "Codec.h"
#include "LZO.h"
#include "Sound.h"

std::vector<uint8_t> ReadWholeFile(const std::string& path, bool* opened) {
  std::ifstream in(path, std::ios::binary);
  if (opened) *opened = bool(in);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

BitmapInfo32 ScreenFormat32() {
  BitmapInfo32 screen{};
  screen.Header.biSize = 40;
  screen.Header.biPlanes = 1;
  screen.Header.biBitCount = 32;
  screen.Header.biCompression = 3;  // BI_BITFIELDS
  screen.Masks[0] = 0xFF0000;
  screen.Masks[1] = 0xFF00;
  screen.Masks[2] = 0xFF;
  return screen;
}

static int32_t MemoryRead(void* context, void* buffer, uint32_t count) {
  MemoryFile* file = static_cast<MemoryFile*>(context);
  uint64_t left = file->Position < file->Bytes.size() ? file->Bytes.size() - file->Position : 0;
  uint32_t n = count < left ? count : uint32_t(left);
  if (n) memcpy(buffer, file->Bytes.data() + file->Position, n);
  file->Position += n;
  return int32_t(n);
}

static int32_t MemorySeek(void* context, uint64_t offset) {
  static_cast<MemoryFile*>(context)->Position = offset;
  return 0;
}

static int32_t MemoryWrite(void* context, const void* data, uint32_t count) {
  MemoryFile* file = static_cast<MemoryFile*>(context);
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  file->Bytes.insert(file->Bytes.end(), bytes, bytes + count);
  return int32_t(count);
}

MovieSource MemoryFile::Source() { return MovieSource{this, MemoryRead, MemorySeek, Bytes.size()}; }

MovieSink MemoryFile::Sink() { return MovieSink{this, MemoryWrite}; }

bool TestReader::Open(MemoryFile* file) {
  MovieSource source = file->Source();
  if (!OpenMovieReader(&Reader, &source)) return false;
  Frame.assign(Reader.PixelCount, 0);
  Packed.assign(Reader.PackedSize, 0);
  RunList.assign(Reader.RunListSize, 0);
  Reader.FramePixels = Frame.data();
  Reader.Packed = Packed.data();
  Reader.RunList = RunList.data();
  return true;
}

TestWriter::TestWriter(int32_t width, int32_t height, const char* title, const std::vector<uint8_t>* stub,
                       const MovieSink* sink, uint16_t depth) {
  uint32_t n = uint32_t(width) * uint32_t(height);
  uint32_t pixelBytes = depth == DepthTrueColour ? ColourBytes : CodeBytes;
  Shadow.assign(n, 0);
  if (depth == DepthTrueColour) Colours.assign(n, 0);
  RunList.assign(RunListBufferSize(n, pixelBytes), 0);
  Packed.assign(PackedBufferSize(n, pixelBytes), 0);
  Work.assign(LzoWorkSize, 0);
  Writer = MovieWriter{};
  Writer.Sink = sink ? *sink : File.Sink();
  Writer.PixelCount = n;
  Writer.Shadow = Shadow.data();
  Writer.Colours = Colours.empty() ? nullptr : Colours.data();
  Writer.RunList = RunList.data();
  Writer.Packed = Packed.data();
  Writer.LzoWork = Work.data();
  BuildMovieTrailer(&Writer.Trailer, title);
  BitmapInfo32 screen = ScreenFormat32();
  MovieHeader header;
  BuildMovieHeader(&header, &screen, width, height, depth);
  std::vector<uint8_t> zeros;
  if (!stub) {
    zeros.assign(StubLength, 0);
    stub = &zeros;
  }
  WriteMovieStart(&Writer, stub->data(), uint32_t(stub->size()), &header);
}

void TestWriter::Frame(const std::vector<uint32_t>& pixels, uint8_t button, int32_t x, int32_t y) {
  WriteMovieFrame(&Writer, pixels.data(), button, x, y);
}

void TestWriter::RawRecord(uint8_t button, int32_t x, int32_t y, int32_t length, const std::vector<uint8_t>& payload) {
  FrameHeader record{button, x, y, length};
  if (Writer.Sink.Write(Writer.Sink.Context, &record, FrameHeaderSize) < 0 ||
      Writer.Sink.Write(Writer.Sink.Context, payload.data(), uint32_t(payload.size())) < 0)
    Writer.Failed = true;
  Writer.Record = record;
  Writer.FrameCount++;
  Writer.BytesWritten += FrameHeaderSize + payload.size();
}

std::vector<uint8_t> TestWriter::Finish(int32_t frameCount) {
  WriteMovieEnd(&Writer);
  if (frameCount >= 0) memcpy(File.Bytes.data() + File.Bytes.size() - TrailerSize, &frameCount, 4);
  return File.Bytes;
}

std::vector<uint8_t> TestWriter::FinishWithSection(
    const std::vector<std::pair<uint32_t, std::vector<uint8_t>>>& blocks) {
  WriteMovieEndRecord(&Writer);
  for (const auto& block : blocks)
    WriteSectionBlock(&Writer, block.first, block.second.data(), (uint32_t)block.second.size());
  WriteMovieTrailer(&Writer);
  return File.Bytes;
}

std::vector<uint8_t> TestWriter::FinishWithSound(MemoryFile* soundFile) {
  WriteMovieEndRecord(&Writer);
  MovieSource source = soundFile->Source();
  SoundHeader header;
  uint8_t buffer[4096];  // smaller than most sounds: the block goes in pieces
  if (OpenSoundFile(&source, &header)) WriteSoundBlock(&Writer, &header, &source, SoundHeaderSize, buffer, sizeof buffer);
  WriteMovieTrailer(&Writer);
  return File.Bytes;
}

namespace {

// Writes through to a file, seeking over whole 64 KiB blocks of zeros so that they stay holes.
int32_t SparseWrite(void* context, const void* data, uint32_t count) {
  FILE* file = static_cast<FILE*>(context);
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  const uint32_t block = 1 << 16;
  for (uint32_t at = 0; at < count; at += block) {
    uint32_t length = count - at < block ? count - at : block;
    bool zero = length == block && std::all_of(bytes + at, bytes + at + length, [](uint8_t b) { return b == 0; });
    if (zero ? fseeko(file, length, SEEK_CUR) != 0 : fwrite(bytes + at, 1, length, file) != length) return -1;
  }
  return int32_t(count);
}

// A run list as an LZO1X stream of one literal run and the end marker: a literal run of t + 3 bytes
// is the byte 0, then t - 15 counted out as 255 per zero byte plus a last byte of 1 to 255.
std::vector<uint8_t> StoredPayload(const std::vector<uint8_t>& runList) {
  uint64_t t = runList.size() - 3, rest = t - 15, zeros = (rest - 1) / 255;
  std::vector<uint8_t> out(1 + zeros, 0);
  out.push_back(uint8_t(rest - zeros * 255));
  out.insert(out.end(), runList.begin(), runList.end());
  out.insert(out.end(), {0x11, 0x00, 0x00});
  return out;
}

}  // namespace

int32_t WriteHugeSparseMovie(const std::string& path, const std::vector<uint8_t>& stub, const char* title,
                             uint64_t beyond) {
  const uint32_t n = uint32_t(HugeWidth) * uint32_t(HugeHeight);
  FILE* file = fopen(path.c_str(), "wb");
  if (!file) return 0;
  const MovieSink sink{file, SparseWrite};
  std::unique_ptr<TestWriter> w(new TestWriter(HugeWidth, HugeHeight, title, stub.empty() ? nullptr : &stub, &sink));
  std::vector<uint8_t> blackList(8 + size_t(n), 0);
  memcpy(blackList.data() + 4, &n, 4);  // one run from pixel 0 over the whole frame, all code 0
  std::vector<uint8_t> black = StoredPayload(blackList);
  std::vector<uint32_t> pixels(n, 0x00FFFFFFu);
  while (w->Writer.BytesWritten < beyond && !w->Writer.Failed) {
    w->Frame(pixels, 0, 4000, 4000);
    w->RawRecord(0, 4000, 4000, int32_t(black.size()), black);
    std::fill(w->Shadow.begin(), w->Shadow.end(), 0);
  }
  std::fill(pixels.begin(), pixels.end(), 0);
  std::fill(pixels.begin(), pixels.begin() + HugeRedPixels, DecodeRgb332(0xE0));
  w->Frame(pixels, 0, 4000, 4000);
  w->Frame(pixels, 0, 4000, 4000);
  bool written = WriteMovieEnd(&w->Writer);
  written = fclose(file) == 0 && written;
  return written ? w->Writer.FrameCount : 0;
}
