#include "TestSupport.h"

#include <string.h>

#include <fstream>
#include <iterator>

#include "Codec.h"
#include "LZO.h"

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

TestWriter::TestWriter(int32_t width, int32_t height, const char* title, const std::vector<uint8_t>* stub) {
  uint32_t n = uint32_t(width) * uint32_t(height);
  Shadow.assign(n, 0);
  RunList.assign(RunListBufferSize(n), 0);
  Packed.assign(PackedBufferSize(n), 0);
  Work.assign(LzoWorkSize, 0);
  Writer = MovieWriter{};
  Writer.Sink = File.Sink();
  Writer.PixelCount = n;
  Writer.Shadow = Shadow.data();
  Writer.RunList = RunList.data();
  Writer.Packed = Packed.data();
  Writer.LzoWork = Work.data();
  BuildMovieTrailer(&Writer.Trailer, title);
  BitmapInfo32 screen = ScreenFormat32();
  MovieHeader header;
  BuildMovieHeader(&header, &screen, width, height);
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
  MemoryWrite(&File, &record, FrameHeaderSize);
  MemoryWrite(&File, payload.data(), uint32_t(payload.size()));
  Writer.Record = record;
  Writer.FrameCount++;
  Writer.BytesWritten += FrameHeaderSize + payload.size();
}

std::vector<uint8_t> TestWriter::Finish(int32_t frameCount) {
  WriteMovieEnd(&Writer);
  if (frameCount >= 0) memcpy(File.Bytes.data() + File.Bytes.size() - TrailerSize, &frameCount, 4);
  return File.Bytes;
}
