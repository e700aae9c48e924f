// Section: what a movie keeps beside its frames (clicks as steps, key presses, sound), in tagged
// blocks between the end record and the trailer, where a reader of the frame records never looks.
// Portable: no Windows headers; file access goes through MovieSource and MovieWriter (Movie.h).
//
//   ...  end record          13 bytes, PayloadLength -1
//   S    block               BlockHeader (8 bytes: Tag, Length) + Length bytes of data
//        block ...           blocks follow one another; a reader skips tags it does not know
//   F    SectionFooter       16 bytes: SectionLength (u64) = F - S, then the magic "TvrlSect"
//   F+16 MovieTrailer        132 bytes, the last of the file
//
// A movie without a section ends as it always did: end record, then trailer. Readers find the section
// from the end of the file: the 8 bytes in front of the trailer are the magic, and the 13 bytes in
// front of S are an end record. Without a section those 8 bytes are the end record's CursorY and its
// PayloadLength FF FF FF FF, which no magic ends in, so the two cannot be mistaken for each other.
// Every length is checked against the file: the blocks must fill the section exactly, else the whole
// section counts as absent and the frames play as before.
//
// Steps block ("STEP"): one StepRecord per mouse press, in the order of the presses:
//   +0  Frame       u32  the frame record (1 = the first) captured next after the press
//   +4  Lead        u16  milliseconds from the press to that frame's capture; the recorder writes at
//                        most one frame period (200), since a pause or a late tick is no movie time
//   +6  Button      u8   StepLeft, StepRight or StepMiddle
//   +7  Flags       u8   StepDouble: the second press of a double-click
//   +8  X, Y        i32  the press, in frame pixels from the area's top-left corner (may lie outside)
//   +16 TextLength  u16  bytes of description that follow
//   +18 Text             what was clicked, in GBK without a terminator, e.g.
//                        左键单击“保存”(按钮)，窗口“另存为”
//
// Keys block ("KEYS"): the key presses, 12 bytes each; its layout, reader and writer are in Keys.h.
//
// Sound block ("SND1"): the narration, one SoundHeader then BlockCount blocks of IMA ADPCM (Adpcm.h),
// each BlockSize bytes and decodable on its own:
//   +0  SampleRate   u32  samples a second, a multiple of 5 (8000 ... 48000)
//   +4  Format       u8   SoundImaAdpcm: mono, 4 bits a sample
//   +5  Reserved     u8   0
//   +6  BlockSize    u16  bytes a block, its 4-byte header included; its samples, (BlockSize - 4) x 2,
//                         divide a frame's (SampleRate / 5), so no block spans two frames
//   +8  StartFrame   u32  the frame record (1 = the first) at whose capture the first sample was taken
//   +12 SampleCount  u32  samples; the blocks are ceil(SampleCount / samples a block), the last one
//                         filled up with silence
//   +16 blocks
// Frame n (n records shown, 0 = the black picture before the first) holds the samples from
// (n - StartFrame) x SampleRate / 5 on for one frame period; those before the first sample and past
// the last are silence. The recorder keeps every frame at exactly a frame period of sound (Sound.h).
#pragma once
#include <stdint.h>

#include "Movie.h"

#define TAVREL_SECTION_MAGIC "TvrlSect"
const uint32_t SectionFooterSize = 16;
const uint32_t BlockHeaderSize = 8;

// Block tags: four ASCII characters, the first in the lowest byte.
constexpr uint32_t SectionTag(char a, char b, char c, char d) {
  return (uint32_t)(uint8_t)a | (uint32_t)(uint8_t)b << 8 | (uint32_t)(uint8_t)c << 16 |
         (uint32_t)(uint8_t)d << 24;
}
const uint32_t TagSteps = SectionTag('S', 'T', 'E', 'P');
const uint32_t TagSound = SectionTag('S', 'N', 'D', '1');

#pragma pack(push, 1)
struct BlockHeader {
  uint32_t Tag;
  uint32_t Length;  // data bytes that follow
};

struct SectionFooter {
  uint64_t SectionLength;  // bytes from the first block to this footer
  char Magic[8];           // "TvrlSect", no terminator
};

struct StepRecord {
  uint32_t Frame;
  uint16_t Lead;
  uint8_t Button;
  uint8_t Flags;
  int32_t X;
  int32_t Y;
  uint16_t TextLength;
};

struct SoundHeader {
  uint32_t SampleRate;
  uint8_t Format;
  uint8_t Reserved;
  uint16_t BlockSize;
  uint32_t StartFrame;
  uint32_t SampleCount;
};
#pragma pack(pop)

static_assert(sizeof(SoundHeader) == 16, "sound header is 16 bytes");
static_assert(sizeof(BlockHeader) == BlockHeaderSize, "block header is 8 bytes");
static_assert(sizeof(SectionFooter) == SectionFooterSize, "section footer is 16 bytes");
static_assert(sizeof(StepRecord) == 18, "step record header is 18 bytes");

enum StepButton : uint8_t { StepLeft = 1, StepRight = 2, StepMiddle = 3 };
const uint8_t StepDouble = 1;
const uint32_t MaxStepText = 1024;  // a description longer than this is cut by the writer

// ---- Reading ----------------------------------------------------------------------------------------

// count bytes at offset; false when the seek or the read fails or comes short.
bool ReadAt(const MovieSource* source, uint64_t offset, void* buffer, uint32_t count);

// Finds the section from the end of the file and checks it: the footer, the end record in front of it,
// and that the blocks fill it exactly. False, with Start at the trailer and Length 0, when there is
// none or it is damaged. The source's position is left anywhere.
bool FindMovieSection(const MovieSource* source, MovieSection* section);

// The same, saying why a section whose footer is there counts as absent (for the movie tool).
enum SectionStatus : uint8_t {
  SectionAbsent,       // no magic in front of the trailer: the movie has no section
  SectionFound,
  SectionBadLength,    // the footer's length is below a block header or reaches in front of the records
  SectionNoEndRecord,  // no end record right in front of where the footer puts the section's start
  SectionBadBlocks,    // a block runs past the footer, or the blocks stop short of it
};
struct SectionCheck {
  SectionStatus Status;
  uint64_t Claimed;  // the length the footer gives (0 when there is no footer)
  uint64_t At;       // file offset of what is wrong: the footer, the section's start, or a block header
};
SectionCheck CheckMovieSection(const MovieSource* source, MovieSection* section);

struct SectionBlock {
  uint32_t Tag;
  uint32_t Length;
  uint64_t Offset;  // file offset of the block's data
};

// The first block with this tag in a section FindMovieSection has checked; false when there is none.
// Tag 0 looks for no block: then true when the blocks fill the section exactly, each length checked
// against what is left of it.
bool FindSectionBlock(const MovieSource* source, const MovieSection* section, uint32_t tag,
                      SectionBlock* block);

// The block behind *block (Offset 0: the first) in the span of a section, for those who take every
// block as it comes (copying a section); false at the end of the span or at a block that does not fit
// in it whole. The span is a section FindMovieSection has checked, or bytes a caller takes for one:
// the movie tool's repair looks for the blocks behind an end record whose footer is lost.
bool NextSectionBlock(const MovieSource* source, const MovieSection* section, SectionBlock* block);

// Reads the data of a block FindSectionBlock found (block->Length bytes) into data. The source's
// position is left anywhere.
bool ReadSectionBlock(const MovieSource* source, const SectionBlock* block, void* data);

// The step record at *offset of a steps block held in memory, its text behind it; advances *offset.
// False at the end of the block or where a record does not fit in what is left of it.
bool NextStep(const uint8_t* block, uint32_t length, uint32_t* offset, StepRecord* step,
              const char** text);

// ---- Writing ----------------------------------------------------------------------------------------
// After WriteMovieEndRecord, any number of blocks, then WriteMovieTrailer, which writes the footer when
// a block was written. WriteMovieEnd (Movie.h) is the two calls with no block between.

// A whole block.
bool WriteSectionBlock(MovieWriter* writer, uint32_t tag, const void* data, uint32_t length);

// A large block in pieces: its header, then exactly length bytes through WriteSectionData.
bool BeginSectionBlock(MovieWriter* writer, uint32_t tag, uint32_t length);
bool WriteSectionData(MovieWriter* writer, const void* data, uint32_t length);

// The bytes one step takes in a steps block, its text cut at MaxStepText on a GBK character boundary.
uint32_t StepSize(uint32_t textLength);

// Puts a step into out (StepSize bytes), text cut as StepSize counts it; returns the bytes put.
uint32_t PutStep(uint8_t* out, const StepRecord* step, const char* text, uint32_t textLength);

// ---- Rings ------------------------------------------------------------------------------------------
// How a step shows while the movie plays, the same in every player: a ring around the press that
// grows from RingRadius and fades out over RingMs from the press. Frame k (1 = the first) is shown
// (k - 1) x FramePeriodMs after the first, so the ring's age there is (k - Frame) x FramePeriodMs +
// Lead: a press that fell between two ticks shows in its frame already part faded. Its colour tells
// the button, as the cursors' rings do: left red, right green, middle blue; a double-click has a
// second ring inside the first.
const int32_t RingMs = 1000;
const int32_t RingRadius = 10;

// The age in milliseconds of a step's ring in frame k, or -1 when the ring does not show there.
int32_t StepRingAge(const StepRecord* step, int32_t frame);

// Draws a step's ring at that age over a width x height frame of 0x00RRGGBB pixels, cut at its edges
// wherever the press lies, inside the frame or not.
void DrawStepRing(uint32_t* pixels, int32_t width, int32_t height, const StepRecord* step, int32_t age);
