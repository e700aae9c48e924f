// Fuzz target of the movie reader: the input is a movie stream (what follows the player stub), read
// through to its end and sought back and forth; the same bytes are also applied as a raw run list.
// Any read or write outside a buffer (AddressSanitizer), undefined behaviour, or a broken reader
// promise below is a finding.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "Codec.h"
#include "Movie.h"

namespace {

// The movie file: StubLength zero bytes, then the input.
struct FuzzFile {
  const uint8_t* Data;
  uint32_t Size;
  uint32_t Position;
};

int32_t FuzzRead(void* context, void* buffer, uint32_t count) {
  FuzzFile* file = static_cast<FuzzFile*>(context);
  uint32_t total = StubLength + file->Size;
  uint32_t left = file->Position < total ? total - file->Position : 0;
  uint32_t n = count < left ? count : left;
  uint8_t* out = static_cast<uint8_t*>(buffer);
  for (uint32_t k = 0; k < n; k++) {
    uint32_t at = file->Position + k;
    out[k] = at < StubLength ? 0 : file->Data[at - StubLength];
  }
  file->Position += n;
  return (int32_t)n;
}

int32_t FuzzSeek(void* context, uint64_t offset) {
  // Offsets beyond the fuzz input read as nothing: the reader only seeks within FileSize.
  static_cast<FuzzFile*>(context)->Position = (uint32_t)offset;
  return 0;
}

void Require(bool condition) {
  if (!condition) abort();
}

// Reads records until the end (with a cap), checking the reader's promises on the way.
int32_t ReadToEnd(MovieReader* reader) {
  int32_t records = 0;
  for (int cap = 0; cap < 100000; cap++) {
    int32_t length = ReadNextRecord(reader);
    Require(reader->Position <= reader->StreamEnd);
    if (length < 0) {
      Require(reader->LastStatus == RecordEnd || reader->LastStatus == RecordTruncated ||
              reader->LastStatus == RecordBadLength);
      // A record that ends the stream stays the next record.
      uint64_t at = reader->Position;
      Require(ReadNextRecord(reader) < 0 && reader->Position == at);
      return records;
    }
    Require(reader->LastStatus != RecordEnd && reader->LastStatus != RecordTruncated &&
            reader->LastStatus != RecordBadLength);
    records++;
  }
  return records;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 22)) return 0;

  // The bytes as a run list for frames of a few sizes: a list that fits changes only its runs, one
  // that does not changes nothing.
  static const uint32_t sizes[] = {1, 33, 4096};
  for (uint32_t n : sizes) {
    uint32_t* frame = static_cast<uint32_t*>(malloc(n * 4));
    memset(frame, 0x5A, n * 4);
    bool fits = RunListFitsFrame(data, (uint32_t)size, n);
    if (RunListFollowsRules(data, (uint32_t)size, n)) Require(fits);
    Require(ApplyRunList(data, (uint32_t)size, frame, n) == fits);
    if (!fits)
      for (uint32_t i = 0; i < n; i++) Require(frame[i] == 0x5A5A5A5Au);
    free(frame);
  }

  FuzzFile file{data, (uint32_t)size, 0};
  MovieSource source{&file, FuzzRead, FuzzSeek, StubLength + (uint32_t)size};
  MovieReader reader;
  if (!OpenMovieReader(&reader, &source)) return 0;
  Require(reader.PixelCount == (uint32_t)reader.FrameWidth * (uint32_t)reader.FrameHeight);
  Require(reader.Trailer.FrameCount >= 0 && reader.Trailer.MovieTitle[TitleSize - 1] == 0);
  // Headers may ask for up to MaxFramePixels; keep each run of the fuzzer small.
  if (reader.PixelCount > (1u << 20)) return 0;
  // Buffers of exactly the sizes the reader asks for, so that any overrun is caught.
  reader.FramePixels = static_cast<uint32_t*>(calloc(reader.PixelCount, 4));
  reader.Packed = static_cast<uint8_t*>(malloc(reader.PackedSize));
  reader.RunList = static_cast<uint8_t*>(malloc(reader.RunListSize));

  int32_t records = ReadToEnd(&reader);
  RewindMovieReader(&reader);
  Require(reader.CurrentFrame == 0);
  int32_t targets[] = {records, records / 2, records + 5, 0, -1, 1, records};
  for (int32_t target : targets) {
    SeekMovieReader(&reader, target);
    int32_t expected = target < 0 ? 0 : target > records ? records : target;
    Require(reader.CurrentFrame == expected);
  }

  free(reader.FramePixels);
  free(reader.Packed);
  free(reader.RunList);
  return 0;
}
