// Reading the movie stream, checked: a damaged or hostile movie ends the stream or leaves the frame
// unchanged, and never makes the reader write outside its buffers.
#include "Movie.h"

#include "Codec.h"
#include "Func.h"
#include "LZO.h"
#include "Section.h"

namespace {

bool ReadExactly(MovieReader* reader, void* buffer, uint32_t count) {
  return reader->Source.Read(reader->Source.Context, buffer, count) == (int32_t)count;
}

// The header must describe what the codec produces: 32-bit top-down pixels right behind the 66 bytes,
// at one of the two colour depths.
bool HeaderIsPlayable(const MovieHeader* header, uint32_t* pixelCount) {
  const BitmapInfoHeader& info = header->Info.Header;
  if (header->File.bfType != BitmapType || header->File.bfOffBits != MovieHeaderSize) return false;
  if (header->File.bfReserved1 != Depth256 && header->File.bfReserved1 != DepthTrueColour) return false;
  if (info.biSize != 40 || info.biBitCount != 32 || (info.biCompression != 0 && info.biCompression != 3))
    return false;
  if (info.biWidth <= 0 || info.biHeight >= 0 || info.biHeight == INT32_MIN) return false;
  uint64_t n = (uint64_t)(uint32_t)info.biWidth * (uint64_t)(uint32_t)-info.biHeight;
  if (n > MaxFramePixels || info.biSizeImage != n * 4) return false;
  *pixelCount = (uint32_t)n;
  return true;
}

// A record that ends the stream leaves the reader in front of it, so that reading on keeps giving the
// end instead of taking the damaged record's payload for the next frame header.
int32_t EndOfStream(MovieReader* reader, RecordStatus status) {
  reader->LastStatus = status;
  reader->Position = reader->LastRecordOffset;
  return EndRecordLength;
}

}  // namespace

bool OpenMovieReader(MovieReader* reader, const MovieSource* source) {
  __builtin_memset(reader, 0, sizeof *reader);
  reader->Source = *source;
  uint32_t n = 0;
  if (source->FileSize < FirstRecordOffset || source->Seek(source->Context, StubLength) < 0 ||
      !ReadExactly(reader, &reader->Header, MovieHeaderSize) ||
      !HeaderIsPlayable(&reader->Header, &n))
    return false;
  reader->FrameWidth = reader->Header.Info.Header.biWidth;
  reader->FrameHeight = -reader->Header.Info.Header.biHeight;
  reader->PixelCount = n;
  reader->PixelBytes = RunPixelBytes(&reader->Header);
  // The encoder's own buffers: a run list never exceeds n x PixelBytes + 8 bytes, nor its payload
  // LZO's worst case for that, so anything larger is damage.
  reader->PackedSize = PackedBufferSize(n, reader->PixelBytes);
  reader->RunListSize = RunListBufferSize(n, reader->PixelBytes);

  // Records may not reach into the trailer; a file too short for one has no trailer to read.
  reader->StreamEnd = FirstRecordOffset;
  if (source->FileSize >= FirstRecordOffset + TrailerSize) {
    reader->StreamEnd = source->FileSize - TrailerSize;
    source->Seek(source->Context, reader->StreamEnd);
    if (!ReadExactly(reader, &reader->Trailer, TrailerSize)) __builtin_memset(&reader->Trailer, 0, TrailerSize);
    if (FindMovieSection(source, &reader->Section)) reader->StreamEnd = reader->Section.Start;
  }
  // A damaged trailer may hold no NUL, or a lone GBK lead byte in front of it.
  reader->Trailer.MovieTitle[TitleSize - 1] = 0;
  reader->Trailer.MovieTitle[GbkCutLength(reader->Trailer.MovieTitle, TitleSize - 1)] = 0;
  if (reader->Trailer.FrameCount < 0) reader->Trailer.FrameCount = 0;
  reader->Position = FirstRecordOffset;
  return true;
}

int32_t ReadNextRecord(MovieReader* reader) {
  // Every record is read from the reader's own position, so that others may read the same source in
  // between (the sound block, Sound.h).
  reader->LastRecordOffset = reader->Position;
  reader->Source.Seek(reader->Source.Context, reader->Position);
  uint64_t left = reader->Position <= reader->StreamEnd ? reader->StreamEnd - reader->Position : 0;
  FrameHeader record;
  if (left < FrameHeaderSize || !ReadExactly(reader, &record, FrameHeaderSize))
    return EndOfStream(reader, RecordTruncated);
  reader->Record = record;
  reader->Position += FrameHeaderSize;
  left -= FrameHeaderSize;
  int32_t length = record.PayloadLength;
  if (length == EndRecordLength) return EndOfStream(reader, RecordEnd);
  if (length == 0) {
    reader->LastStatus = RecordUnchanged;
    return 0;
  }
  if (length < 0 || (uint32_t)length > reader->PackedSize) return EndOfStream(reader, RecordBadLength);
  if ((uint32_t)length > left || !ReadExactly(reader, reader->Packed, (uint32_t)length))
    return EndOfStream(reader, RecordTruncated);
  reader->Position += (uint32_t)length;
  int32_t unpacked = UnpackPayload(reader->Packed, (uint32_t)length, reader->RunList, reader->RunListSize);
  if (unpacked < 0)
    reader->LastStatus = RecordBadPayload;
  else if (!ApplyRunList(reader->RunList, (uint32_t)unpacked, reader->FramePixels, reader->PixelCount,
                         reader->PixelBytes))
    reader->LastStatus = RecordBadRuns;
  else
    reader->LastStatus = RecordChanged;
  return length;
}

// ---- Snapshots -------------------------------------------------------------------------------------

namespace {

// A snapshot keeps a code per pixel at 256 colours and the whole 32-bit pixel at true colour.
uint32_t SnapshotPixelBytes(const MovieReader* reader) { return reader->PixelBytes == ColourBytes ? 4 : 1; }

}  // namespace

uint64_t SnapshotMemorySize(const MovieReader* reader, uint32_t slots) {
  return (uint64_t)slots * (sizeof(MovieSnapshot) + (uint64_t)reader->PixelCount * SnapshotPixelBytes(reader));
}

void UseSnapshotMemory(MovieReader* reader, void* memory, uint32_t slots) {
  reader->Snapshots = (MovieSnapshot*)memory;
  reader->SnapshotCodes = (uint8_t*)memory + (uint64_t)slots * sizeof(MovieSnapshot);
  reader->SnapshotSlots = slots;
  __builtin_memset(reader->Snapshots, 0, (uint64_t)slots * sizeof(MovieSnapshot));
  // Unsigned: one more than INT32_MAX frames in a single slot still counts, and is then too far apart
  // for any snapshot to fall due.
  uint32_t interval = slots ? (uint32_t)reader->Trailer.FrameCount / slots + 1 : 0;
  reader->SnapshotInterval = interval > INT32_MAX ? INT32_MAX
                             : interval > MinSnapshotInterval ? (int32_t)interval : MinSnapshotInterval;
}

namespace {

uint8_t* SnapshotFrame(MovieReader* reader, uint32_t slot) {
  return reader->SnapshotCodes + (uint64_t)slot * reader->PixelCount * SnapshotPixelBytes(reader);
}

void KeepSnapshotIfDue(MovieReader* reader) {
  int32_t frame = reader->CurrentFrame;
  if (!reader->SnapshotSlots || frame % reader->SnapshotInterval) return;
  uint32_t slot = (uint32_t)(frame / reader->SnapshotInterval) - 1;
  if (slot >= reader->SnapshotSlots || reader->Snapshots[slot].Frame == frame) return;
  uint8_t* codes = SnapshotFrame(reader, slot);
  if (reader->PixelBytes == ColourBytes)
    __builtin_memcpy(codes, reader->FramePixels, (uint64_t)reader->PixelCount * 4);
  else
    for (uint32_t i = 0; i < reader->PixelCount; i++) codes[i] = QuantiseRgb332(reader->FramePixels[i]);
  reader->Snapshots[slot] = MovieSnapshot{frame, reader->Position, reader->Record};
}

// The latest snapshot at or before frame n, or null.
const MovieSnapshot* SnapshotBefore(MovieReader* reader, int32_t n) {
  if (!reader->SnapshotSlots || n < reader->SnapshotInterval) return nullptr;
  uint32_t slot = (uint32_t)(n / reader->SnapshotInterval);
  if (slot > reader->SnapshotSlots) slot = reader->SnapshotSlots;
  // Slots fill in order as the movie plays, so the one wanted may still be empty.
  while (slot-- > 0)
    if (reader->Snapshots[slot].Frame) return &reader->Snapshots[slot];
  return nullptr;
}

void RestoreSnapshot(MovieReader* reader, const MovieSnapshot* snapshot) {
  const uint8_t* codes = SnapshotFrame(reader, (uint32_t)(snapshot - reader->Snapshots));
  if (reader->PixelBytes == ColourBytes)
    __builtin_memcpy(reader->FramePixels, codes, (uint64_t)reader->PixelCount * 4);
  else
    for (uint32_t i = 0; i < reader->PixelCount; i++) reader->FramePixels[i] = DecodeRgb332(codes[i]);
  reader->CurrentFrame = snapshot->Frame;
  reader->Position = snapshot->Position;
  reader->Record = snapshot->Record;
}

}  // namespace

int32_t AdvanceMovieReader(MovieReader* reader) {
  int32_t length = ReadNextRecord(reader);
  if (length >= 0) {
    reader->CurrentFrame++;
    KeepSnapshotIfDue(reader);
  }
  return length;
}

void RewindMovieReader(MovieReader* reader) {
  reader->Position = FirstRecordOffset;
  __builtin_memset(reader->FramePixels, 0, reader->PixelCount * 4);
  reader->CurrentFrame = 0;
}

void SeekMovieReader(MovieReader* reader, int32_t n) {
  const MovieSnapshot* snapshot = SnapshotBefore(reader, n);
  if (snapshot && (n < reader->CurrentFrame || snapshot->Frame > reader->CurrentFrame))
    RestoreSnapshot(reader, snapshot);
  else if (n < reader->CurrentFrame)
    RewindMovieReader(reader);
  // The end record stays in front of the reader for the next tick, which rewinds or ends playback.
  while (reader->CurrentFrame < n && AdvanceMovieReader(reader) >= 0) {
  }
}
