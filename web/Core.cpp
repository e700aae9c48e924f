// Core: the movie reader and frame decoder of format/ as a WebAssembly module for the browser player.
// Built freestanding (clang --target=wasm32, wasm-ld): no C library, no allocator of its own beyond
// the arena below, so the module stays a few dozen kilobytes and needs no JavaScript glue.
//
// Import (module "env"), supplied by the page:
//   int32_t ReadMovieBytes(double offset, uint8_t* to, uint32_t count)
//       copies up to count bytes of the file from offset into the module's memory at `to`; returns
//       the bytes copied (fewer at the end of the file). The page keeps the file; nothing is copied
//       ahead of the reader's need.
//
// Exports:
//   int32_t  TavrelOpen(double fileSize)   opens the file the page holds: a movie executable, or a
//            bare movie stream (it begins with "BM"). OpenOk, OpenNoMovie or OpenNoMemory. Every
//            buffer of the previous movie is given up: pointers from before are invalid.
//   int32_t  TavrelScan(int32_t records)   after TavrelOpen, reads up to `records` records in order:
//            0 while records remain, 1 when the scan is done. The scan counts the frames that play,
//            finds the first damage and keeps the seek snapshots; at its end the reader is rewound
//            and State says what the movie holds.
//   int32_t  TavrelStep()                  the next record, as one playback tick: PayloadLength, or -1
//            at the end of the stream (the reader stays in front of the end).
//   void     TavrelRewind()                back to the first record, black frame.
//   void     TavrelSeek(int32_t n)         the frame after n records.
//   uint8_t* TavrelPicture()               the current frame as RGBA bytes (width x height x 4), for
//            a canvas ImageData, with the rings of the steps pressed in the second before it and
//            the labels of the keys pressed in the two seconds before it (format/Keys.h), unless
//            switched off; valid until the next TavrelOpen.
//   const char* TavrelPlayTime()           "mm:ss/mm:ss " for the current frame and the frame count.
//   PageState* TavrelState()               the numbers below; its address is fixed.
//   int32_t  TavrelStepCount()             the steps the movie's section holds (0 without one, or
//            with a damaged one), read in TavrelOpen.
//   PageStep* TavrelSteps()                those steps, in the order of the presses; valid, with
//            their descriptions, until the next TavrelOpen. TavrelPicture draws their rings.
//   int32_t  TavrelKeyCount()              the key presses the movie's section holds (0 without).
//   void     TavrelShowKeys(int32_t on)    switches the keys' labels in TavrelPicture on (the
//            start) or off, for every movie from then on.
//   int32_t  TavrelSoundRate()             samples a second of the movie's sound, 0 when it has none
//   const int16_t* TavrelSoundFrame(int32_t n)  frame n's sound (n records shown; SoundRate / 5
//            samples), decoded by format/Sound.h, silence outside the sound; valid until the next call.
// Memory grows only in TavrelOpen, so views of the module's memory made after it stay valid.
#include "Codec.h"
#include "Func.h"
#include "Keys.h"
#include "Movie.h"
#include "Section.h"
#include "Sound.h"

#define EXPORT(name) extern "C" __attribute__((export_name(#name)))

extern "C" __attribute__((import_module("env"), import_name("ReadMovieBytes"))) int32_t
ReadMovieBytes(double offset, uint8_t* to, uint32_t count);

enum : int32_t { OpenOk = 0, OpenNoMovie = 1, OpenNoMemory = 2 };

// What the scan found first. The page words these for the viewer.
enum : int32_t {
  ProblemNone = 0,
  ProblemCutOff = 1,       // the file ends inside a record or before the end record
  ProblemBadRecord = 2,    // a record's length is impossible: the records behind it are lost
  ProblemBadFrame = 3,     // a frame does not unpack or leaves the picture: shown unchanged
  ProblemNoTrailer = 4,    // the end record is there, the title behind it is not
};

// Read by the page as 32-bit integers in this order, then the title (GBK, NUL-terminated).
struct PageState {
  int32_t Width, Height;
  int32_t FrameCount;       // frame records that play (not the trailer's word for it)
  int32_t CurrentFrame;     // records applied since the first
  int32_t Button, CursorX, CursorY;  // the last frame header read: the cursor to draw
  int32_t Problem, ProblemFrame;     // the first damage and the frames that play before it
  char Title[TitleSize];
};

// A step for the page: 32-bit numbers in this order; Text is the address of its description (GBK,
// TextLength bytes, no terminator) in the module's memory.
struct PageStep {
  int32_t Frame, Lead, Button, Flags, X, Y;
  uint32_t Text;
  int32_t TextLength;
};

namespace {

MovieReader Reader;
MovieSection Section; // of the file itself, as found at open; Length 0 for none
StepRecord* Steps;    // StepCount steps, for the rings
PageStep* PageSteps;
int32_t StepCount;
uint8_t* KeysBlock;   // the keys block as stored, KeysLength bytes; null for none
uint32_t KeysLength;
bool ShowKeys = true; // the viewer's switch (K), kept from one movie to the next
PageState State;
uint64_t Base;        // StubLength for a bare stream: the reader sees it where a movie .exe has it
uint64_t FileSize;    // the file itself
uint64_t Position;    // the reader's place, with Base counted
uint8_t* Picture;
MovieTrailer StoredTrailer;  // the file's last 132 bytes, a trailer if the end record is right before it
char PlayTimeText[PlayTimeTextSize];
MovieSound Sound;     // the narration; SampleRate 0 when the movie has none
int16_t* SoundPcm;    // one frame of it, decoded
uint8_t* SoundBlock;  // one block as read from the file

// ---- File access through the page ---------------------------------------------------------------

int32_t ReadFile(void*, void* buffer, uint32_t count) {
  if (Position < Base) return -1;
  int32_t done = ReadMovieBytes((double)(Position - Base), (uint8_t*)buffer, count);
  if (done > 0) Position += (uint32_t)done;
  return done;
}

int32_t SeekFile(void*, uint64_t offset) {
  Position = offset;
  return 0;
}

// ---- Memory: one arena per movie -----------------------------------------------------------------

extern "C" uint8_t __heap_base;
uint64_t ArenaTop;

// Zeroed, 8-byte aligned memory from the arena, growing the module's memory; null when the browser
// will not give more (wasm32 tops out at 4 GiB).
void* Allocate(uint64_t size) {
  uint64_t start = (ArenaTop + 7) & ~7ull, end = start + size;
  uint64_t have = (uint64_t)__builtin_wasm_memory_size(0) << 16;
  if (end > have && __builtin_wasm_memory_grow(0, (size_t)((end - have + 0xFFFF) >> 16)) == (size_t)-1)
    return nullptr;
  ArenaTop = end;
  __builtin_memset((void*)(uintptr_t)start, 0, (size_t)size);
  return (void*)(uintptr_t)start;
}

// Snapshots as the Windows player keeps them: up to 64, within 64 MB, fewer where memory is short.
void AllocateSnapshots() {
  uint32_t slots = 64;
  while (slots && SnapshotMemorySize(&Reader, slots) > (64u << 20)) slots--;
  for (; slots; slots /= 2) {
    if (void* memory = Allocate(SnapshotMemorySize(&Reader, slots))) {
      UseSnapshotMemory(&Reader, memory, slots);
      return;
    }
  }
}

// The data of the section's block with this tag, read into the arena; null when there is none or it
// cannot be read.
uint8_t* ReadBlock(uint32_t tag, uint32_t* length) {
  MovieSource file = {nullptr, ReadFile, SeekFile, Base + FileSize};
  SectionBlock block;
  uint8_t* data;
  if (!Section.Length || !FindSectionBlock(&file, &Section, tag, &block) || !(data = (uint8_t*)Allocate(block.Length)))
    return nullptr;
  Position = block.Offset;
  if (ReadFile(nullptr, data, block.Length) != (int32_t)block.Length) return nullptr;
  *length = block.Length;
  return data;
}

// The section at the end of the file, when there is one that is whole: its steps as far as they are
// readable, and its keys block. The section is found in the file itself, not in the reader's view of
// it with a trailer's room behind.
void ReadSection() {
  MovieSource file = {nullptr, ReadFile, SeekFile, Base + FileSize};
  FindMovieSection(&file, &Section);
  uint32_t length = 0, at = 0, count = 0;
  KeysBlock = ReadBlock(TagKeys, &KeysLength);
  uint8_t* data = ReadBlock(TagSteps, &length);
  if (!data) return;
  StepRecord step;
  const char* text;
  while (NextStep(data, length, &at, &step, &text)) count++;
  Steps = (StepRecord*)Allocate((uint64_t)count * sizeof(StepRecord));
  PageSteps = (PageStep*)Allocate((uint64_t)count * sizeof(PageStep));
  if (!Steps || !PageSteps) return;
  for (at = 0; NextStep(data, length, &at, &step, &text); StepCount++) {
    Steps[StepCount] = step;
    PageSteps[StepCount] = PageStep{(int32_t)step.Frame, step.Lead, step.Button, step.Flags, step.X, step.Y,
                                    (uint32_t)(uintptr_t)text, step.TextLength};
  }
}

void UpdateState() {
  State.CurrentFrame = Reader.CurrentFrame;
  State.Button = Reader.Record.Button;
  State.CursorX = Reader.Record.CursorX;
  State.CursorY = Reader.Record.CursorY;
}

// Only the first damage is told: what follows it is seen in its light.
void NoteProblem(int32_t problem, int32_t framesBefore) {
  if (State.Problem != ProblemNone) return;
  State.Problem = problem;
  State.ProblemFrame = framesBefore;
}

}  // namespace

EXPORT(TavrelOpen) int32_t TavrelOpen(double fileSize) {
  ArenaTop = (uintptr_t)&__heap_base;
  __builtin_memset(&State, 0, sizeof State);
  StepCount = 0;
  KeysBlock = nullptr;
  KeysLength = 0;
  FileSize = (uint64_t)fileSize;
  char magic[2] = {};
  Base = 0;
  ReadMovieBytes(0, (uint8_t*)magic, 2);
  if (magic[0] == 'B' && magic[1] == 'M') Base = StubLength;
  // The reader is promised a trailer's room past the end of the file, so that it takes every byte
  // as records: a recording cut off before its trailer still plays as far as it goes. The trailer
  // is taken from the file once the scan has found the end record in front of it.
  MovieSource source = {nullptr, ReadFile, SeekFile, Base + FileSize + TrailerSize};
  if (!OpenMovieReader(&Reader, &source)) return OpenNoMovie;
  if (FileSize < TrailerSize || ReadMovieBytes((double)(FileSize - TrailerSize), (uint8_t*)&StoredTrailer,
                                               TrailerSize) != (int32_t)TrailerSize)
    __builtin_memset(&StoredTrailer, 0, sizeof StoredTrailer);

  Reader.FramePixels = (uint32_t*)Allocate((uint64_t)Reader.PixelCount * 4);
  Reader.Packed = (uint8_t*)Allocate(Reader.PackedSize);
  Reader.RunList = (uint8_t*)Allocate(Reader.RunListSize);
  Picture = (uint8_t*)Allocate((uint64_t)Reader.PixelCount * 4);
  if (!Reader.FramePixels || !Reader.Packed || !Reader.RunList || !Picture) return OpenNoMemory;
  ReadSection();
  Position = Reader.Position;
  // The snapshots are spread over the frames the trailer names, as far as the file could hold them.
  uint64_t most = (Base + FileSize - FirstRecordOffset) / FrameHeaderSize;
  if (most > INT32_MAX) most = INT32_MAX;
  int32_t promised = StoredTrailer.FrameCount;
  Reader.Trailer.FrameCount = promised > 0 && (uint64_t)promised <= most ? promised : (int32_t)most;
  AllocateSnapshots();
  // The sound, in the section ReadSection found in the file as it is.
  MovieSource file = {nullptr, ReadFile, SeekFile, Base + FileSize};
  __builtin_memset(&Sound, 0, sizeof Sound);
  if (Section.Length && FindMovieSound(&file, &Section, &Sound)) {
    SoundPcm = (int16_t*)Allocate(Sound.FrameSamples * 2);
    SoundBlock = (uint8_t*)Allocate(Sound.Header.BlockSize);
    if (!SoundPcm || !SoundBlock) Sound.Header.SampleRate = 0;  // silent rather than not at all
  } else {
    Sound.Header.SampleRate = 0;  // a sound block whose header does not check may have been read
  }
  State.Width = Reader.FrameWidth;
  State.Height = Reader.FrameHeight;
  return OpenOk;
}

EXPORT(TavrelScan) int32_t TavrelScan(int32_t records) {
  for (; records > 0; records--) {
    int32_t length = AdvanceMovieReader(&Reader);
    if (Reader.LastStatus == RecordBadPayload || Reader.LastStatus == RecordBadRuns)
      NoteProblem(ProblemBadFrame, Reader.CurrentFrame - 1);  // it counts, and shows the one before
    if (length >= 0) continue;
    State.FrameCount = Reader.CurrentFrame;
    if (Reader.LastStatus == RecordTruncated) NoteProblem(ProblemCutOff, State.FrameCount);
    if (Reader.LastStatus == RecordBadLength) NoteProblem(ProblemBadRecord, State.FrameCount);
    // The trailer belongs right behind the end record, or behind the section there, and ends the
    // file; behind a damaged section, the file's last 132 bytes are still taken for the trailer when
    // they count the frames that played.
    uint64_t behind = Reader.LastRecordOffset + FrameHeaderSize;
    if (Section.Length && Section.Start == behind) behind += Section.Length + SectionFooterSize;
    bool trailer = Reader.LastStatus == RecordEnd &&
                   (behind + TrailerSize == Base + FileSize || StoredTrailer.FrameCount == State.FrameCount);
    if (Reader.LastStatus == RecordEnd && !trailer) NoteProblem(ProblemNoTrailer, State.FrameCount);
    if (trailer) {
      __builtin_memcpy(State.Title, StoredTrailer.MovieTitle, TitleSize - 1);
      State.Title[GbkCutLength(State.Title, TitleSize - 1)] = 0;
    }
    Reader.Trailer.FrameCount = State.FrameCount;
    RewindMovieReader(&Reader);
    UpdateState();
    return 1;
  }
  return 0;
}

EXPORT(TavrelStep) int32_t TavrelStep() {
  int32_t length = AdvanceMovieReader(&Reader);
  UpdateState();
  return length;
}

EXPORT(TavrelRewind) void TavrelRewind() {
  RewindMovieReader(&Reader);
  UpdateState();
}

EXPORT(TavrelSeek) void TavrelSeek(int32_t n) {
  SeekMovieReader(&Reader, n);
  UpdateState();
}

EXPORT(TavrelPicture) uint8_t* TavrelPicture() {
  uint32_t* out = (uint32_t*)Picture;
  __builtin_memcpy(out, Reader.FramePixels, (uint64_t)Reader.PixelCount * 4);
  for (int32_t i = 0; i < StepCount; i++)
    DrawStepRing(out, Reader.FrameWidth, Reader.FrameHeight, &Steps[i], StepRingAge(&Steps[i], Reader.CurrentFrame));
  KeyLabel labels[MaxKeyLabels];
  uint32_t count = ShowKeys && KeysBlock ? KeyLabelsAt(KeysBlock, KeysLength, Reader.CurrentFrame, labels) : 0;
  DrawKeyLabels(out, Reader.FrameWidth, Reader.FrameHeight, labels, count, Reader.Record.CursorX, Reader.Record.CursorY);
  // 0x00RRGGBB to the bytes R, G, B, 255 of a canvas (read as a little-endian word: 0xFFBBGGRR).
  for (uint32_t i = 0; i < Reader.PixelCount; i++) {
    uint32_t p = out[i];
    out[i] = 0xFF000000u | (p & 0x00FF00u) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16);
  }
  return Picture;
}

EXPORT(TavrelPlayTime) const char* TavrelPlayTime() {
  // Products taken unsigned, as the Windows player does.
  FormatPlayTime(PlayTimeText, (int32_t)((uint32_t)State.CurrentFrame * FramePeriodMs),
                 (int32_t)((uint32_t)State.FrameCount * FramePeriodMs));
  return PlayTimeText;
}

EXPORT(TavrelState) PageState* TavrelState() { return &State; }

EXPORT(TavrelStepCount) int32_t TavrelStepCount() { return StepCount; }

EXPORT(TavrelSteps) PageStep* TavrelSteps() { return PageSteps; }

EXPORT(TavrelKeyCount) int32_t TavrelKeyCount() { return (int32_t)(KeysLength / sizeof(KeyRecord)); }

EXPORT(TavrelShowKeys) void TavrelShowKeys(int32_t on) { ShowKeys = on != 0; }

EXPORT(TavrelSoundRate) int32_t TavrelSoundRate() { return (int32_t)Sound.Header.SampleRate; }

EXPORT(TavrelSoundFrame) const int16_t* TavrelSoundFrame(int32_t n) {
  MovieSource file = {nullptr, ReadFile, SeekFile, Base + FileSize};
  ReadSoundFrame(&file, &Sound, n, SoundBlock, SoundPcm);
  return SoundPcm;
}
