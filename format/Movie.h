// Movie: writing and reading the movie stream (layout in UTypes.h) through byte access that the caller
// supplies, so that the capture engine, the player, the tests and the tools share one implementation.
//
// The caller provides:
//   - MovieSink.Write(context, data, count): one write; returns the bytes written, or -1 on failure.
//   - MovieSource.Read(context, buffer, count): reads at the current position; bytes read, or -1.
//   - MovieSource.Seek(context, offset): moves to an absolute file offset; -1 on failure.
// File sizes and offsets are 64-bit throughout: a movie has no stored offsets, so nothing in the layout
// limits its length, and long recordings pass 2 and 4 GiB.
//   - the buffers, allocated once per recording or opened movie with the sizes given here.
#pragma once
#include <stdint.h>

#include "UTypes.h"

struct MovieSink {
  void* Context;
  int32_t (*Write)(void* context, const void* data, uint32_t count);
};

struct MovieSource {
  void* Context;
  int32_t (*Read)(void* context, void* buffer, uint32_t count);
  int32_t (*Seek)(void* context, uint64_t offset);
  uint64_t FileSize;
};

// ---- Writing --------------------------------------------------------------------------------------

// The 66-byte header for a width x height capture: screenFormat as the screen format query returned
// it, with width, -height (top-down), the 32-bit image size, "BM", bfOffBits 66, bfSize and the colour
// depth (Depth256 or DepthTrueColour, in bfReserved1) filled in.
void BuildMovieHeader(MovieHeader* header, const BitmapInfo32* screenFormat, int32_t width,
                      int32_t height, uint16_t depth = Depth256);

// A trailer with FrameCount 0 and the title cut to at most 127 bytes at a GBK character boundary; an
// empty title becomes "无标题".
void BuildMovieTrailer(MovieTrailer* trailer, const char* title);

struct MovieWriter {
  MovieSink Sink;
  uint32_t PixelCount;
  uint8_t* Shadow;    // 256 colours: PixelCount codes, all zero at the start
  uint32_t* Colours;  // true colour: PixelCount colours, all zero at the start; null at 256 colours
  uint8_t* RunList;   // RunListBufferSize(PixelCount, bytes per pixel in a run) bytes
  uint8_t* Packed;    // PackedBufferSize(PixelCount, bytes per pixel in a run) bytes
  void* LzoWork;      // LzoWorkSize bytes
  FrameHeader Record; // the last frame header written; the end record repeats its cursor and button
  MovieTrailer Trailer;
  int32_t FrameCount; // frame records written
  uint64_t BytesWritten;  // the file's length so far: everything written, stub included
  uint64_t SectionBytes;  // blocks written after the end record (Section.h)
  bool Failed;        // a write failed or came short: nothing more is written, the movie is incomplete
};

// The player stub, then the movie header (file header and BITMAPINFO as two writes).
bool WriteMovieStart(MovieWriter* writer, const void* stub, uint32_t stubLength,
                     const MovieHeader* header);

// Encodes one frame against the shadow and writes its record (header, then payload if any).
bool WriteMovieFrame(MovieWriter* writer, const uint32_t* pixels, uint8_t button, int32_t cursorX,
                     int32_t cursorY);

// Writes a frame record that is encoded already (PayloadLength payload bytes behind the header), as
// the movie tool does when it copies records from another movie; the shadow is left alone.
bool WriteMovieRecord(MovieWriter* writer, const FrameHeader* record, const uint8_t* payload);

// The end record (cursor and button of the last frame) and the trailer with FrameCount: a movie
// without a section.
bool WriteMovieEnd(MovieWriter* writer);

// The same in two steps, with the section's blocks between them (Section.h): the end record, and the
// section's footer (when a block was written) followed by the trailer.
bool WriteMovieEndRecord(MovieWriter* writer);
bool WriteMovieTrailer(MovieWriter* writer);

// Whether the volume has room for a recording to go on: the next framesAhead frames at their worst
// (a frame's largest record), the end record and the trailer, and a margin for the file system's own
// use, both in free space and under the largest file the volume can hold.
enum RecordingRoom : uint8_t { RoomEnough, RoomDiskFull, RoomFileLimit };
const uint64_t RoomMargin = 64 * 1024;
RecordingRoom CheckRecordingRoom(const MovieWriter* writer, uint32_t framesAhead, uint64_t freeBytes,
                                 uint64_t maxFileSize);

// The largest file a file system holds, by the name Windows gives it: FAT32 4 GiB - 1, the older FATs
// 2 GiB - 1, any other no limit of its own (UINT64_MAX).
uint64_t MaxFileSizeOf(const char* fileSystem);

// ---- Reading --------------------------------------------------------------------------------------

enum RecordStatus : uint8_t {
  RecordChanged,     // payload applied
  RecordUnchanged,   // PayloadLength 0
  RecordEnd,         // the end record
  RecordTruncated,   // the stream ends inside the record: taken as the end
  RecordBadLength,   // PayloadLength below -1 or beyond the packed buffer: taken as the end
  RecordBadPayload,  // the payload does not unpack into the run list buffer: frame left unchanged
  RecordBadRuns,     // a run leaves the frame or the run list: frame left unchanged
};

// A snapshot: the frame (at 256 colours as its RGB332 codes: the decoder only ever writes decoded
// codes, so the codes restore the frame exactly; at true colour as its colours) and the reader's place
// after record Frame.
struct MovieSnapshot {
  int32_t Frame;         // 0: the slot is empty
  uint64_t Position;
  FrameHeader Record;
};

// The largest frame a reader accepts (64 Mpixels, 256 MB of frame buffer); larger headers are
// taken as damage rather than as a request for gigabytes of memory.
const uint32_t MaxFramePixels = 1u << 26;

// Where the section of blocks lies (Section.h).
struct MovieSection {
  uint64_t Start;   // file offset of the first block; where the trailer begins when there is none
  uint64_t Length;  // bytes of blocks; 0 when the movie has no section
};

struct MovieReader {
  MovieSource Source;
  MovieHeader Header;
  int32_t FrameWidth;
  int32_t FrameHeight;
  uint32_t PixelCount;
  uint32_t PixelBytes;    // bytes per pixel in a run: CodeBytes, or ColourBytes at true colour
  uint32_t PackedSize;    // capacity of Packed: PackedBufferSize(PixelCount, PixelBytes), as the encoder's
  uint32_t RunListSize;   // capacity of RunList: RunListBufferSize(PixelCount, PixelBytes), as the encoder's
  uint32_t* FramePixels;  // PixelCount pixels, all zero at the start; supplied by the caller
  uint8_t* Packed;        // PackedSize bytes; supplied by the caller
  uint8_t* RunList;       // RunListSize bytes; supplied by the caller
  MovieTrailer Trailer;
  FrameHeader Record;     // the last frame header read
  int32_t CurrentFrame;   // frame records applied since the first record
  uint64_t Position;      // file offset of the next record
  uint64_t StreamEnd;     // records end where the section (Section.h) or else the trailer begins
  MovieSection Section;   // the checked section of blocks (Section.h); Length 0 when there is none
  RecordStatus LastStatus;
  uint64_t LastRecordOffset;
  // Snapshots for seeking (UseSnapshotMemory); none without memory for them.
  MovieSnapshot* Snapshots;
  uint8_t* SnapshotCodes;  // SnapshotSlots frames of PixelCount codes, or of PixelCount colours
  uint32_t SnapshotSlots;
  int32_t SnapshotInterval;  // a snapshot after every SnapshotInterval-th record
};

// Reads and checks the movie header at the stub length, the trailer and the section in front of it
// (a damaged section counts as none), and positions the reader at the first record. False when the file holds no movie (no "BM", a header the codec cannot play, an unknown colour depth, or
// sizes out of range); then nothing else is read. On success the caller supplies the three buffers.
bool OpenMovieReader(MovieReader* reader, const MovieSource* source);

// How many bytes of snapshot memory UseSnapshotMemory takes for slots snapshots of the open movie.
uint64_t SnapshotMemorySize(const MovieReader* reader, uint32_t slots);

// Hands the reader memory (SnapshotMemorySize bytes, 8-byte aligned) for slots snapshots, spread evenly
// over the FrameCount the trailer gives: as records are read in order, the frame after every
// interval-th one is kept, so that a seek replays at most one interval of records. The interval is at
// least MinSnapshotInterval records, so that a short movie takes no memory it does not need.
void UseSnapshotMemory(MovieReader* reader, void* memory, uint32_t slots);
const int32_t MinSnapshotInterval = 25;

// Reads the next record into Record and applies it. Returns PayloadLength: > 0 changed, 0 unchanged,
// -1 at the end record and for damage that ends the stream (LastStatus tells which).
// A record that ends the stream stays in front of the reader: reading again gives the same end.
int32_t ReadNextRecord(MovieReader* reader);

// ReadNextRecord for playing in order: a record applied counts in CurrentFrame, and the frame is kept
// when a snapshot falls due.
int32_t AdvanceMovieReader(MovieReader* reader);

// Back to the first record with an all-black frame and CurrentFrame 0.
void RewindMovieReader(MovieReader* reader);

// Brings the frame to the state after n records, replaying from the nearest snapshot at or before n,
// or from the first record, unless going on from the current frame is nearer. Stops before the end
// record if the stream has fewer records than n.
void SeekMovieReader(MovieReader* reader, int32_t n);
