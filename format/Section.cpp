// Reading the section of tagged blocks between the end record and the trailer (layout in Section.h).
// Everything is checked against the file before it is believed; a section that fails any check is
// treated as absent, so that a damaged tail never costs the frames.
#include "Section.h"

namespace {

// The magic read as one little-endian number.
constexpr uint64_t Magic() {
  uint64_t value = 0;
  for (int i = 7; i >= 0; i--) value = value << 8 | (uint8_t)TAVREL_SECTION_MAGIC[i];
  return value;
}

bool IsMagic(const char* magic) {
  uint64_t value;
  __builtin_memcpy(&value, magic, 8);
  return value == Magic();
}

}  // namespace

bool ReadAt(const MovieSource* source, uint64_t offset, void* buffer, uint32_t count) {
  return source->Seek(source->Context, offset) >= 0 &&
         source->Read(source->Context, buffer, count) == (int32_t)count;
}

namespace {

// The checks of FindMovieSection in order, the first that fails told in *check. Inlined into its two
// callers: in FindMovieSection, which the player carries, nothing of the telling is left, and the
// player pays no byte for the movie tool's words.
__attribute__((always_inline)) inline bool Examine(const MovieSource* source, MovieSection* section,
                                                   SectionCheck* check) {
  uint64_t size = source->FileSize;
  section->Start = size >= TrailerSize ? size - TrailerSize : 0;
  section->Length = 0;
  SectionStatus status = SectionAbsent;
  uint64_t footerAt = size - TrailerSize - SectionFooterSize, length = 0, at = footerAt;
  SectionFooter footer;
  if (size >= FirstRecordOffset + FrameHeaderSize + BlockHeaderSize + SectionFooterSize + TrailerSize &&
      ReadAt(source, footerAt, &footer, SectionFooterSize) && IsMagic(footer.Magic)) {
    length = footer.SectionLength;
    status = SectionBadLength;
    int32_t endLength;
    if (length >= BlockHeaderSize && length <= footerAt - FirstRecordOffset - FrameHeaderSize) {
      at = footerAt - length;
      status = SectionNoEndRecord;
    }
    uint64_t start = at;
    if (status == SectionNoEndRecord && ReadAt(source, at - 4, &endLength, 4) && endLength == EndRecordLength) {
      status = SectionBadBlocks;
      for (BlockHeader block; at != footerAt; at += BlockHeaderSize + block.Length)
        if (footerAt - at < BlockHeaderSize || !ReadAt(source, at, &block, BlockHeaderSize) ||
            block.Length > footerAt - at - BlockHeaderSize)
          break;
    }
    if (status == SectionBadBlocks && at == footerAt) {
      *section = MovieSection{start, length};
      status = SectionFound;
    }
  }
  *check = SectionCheck{status, length, at};
  return status == SectionFound;
}

}  // namespace

SectionCheck CheckMovieSection(const MovieSource* source, MovieSection* section) {
  SectionCheck check;
  Examine(source, section, &check);
  return check;
}

bool FindMovieSection(const MovieSource* source, MovieSection* section) {
  SectionCheck check;
  return Examine(source, section, &check);
}

namespace {

// The block behind *block in a span. Inlined into its two callers, so that the player, which only
// looks for a block by its tag, carries no second function for it.
__attribute__((always_inline)) inline bool BlockAfter(const MovieSource* source, const MovieSection* section,
                                                      SectionBlock* block) {
  uint64_t at = block->Offset ? block->Offset + block->Length : section->Start;
  uint64_t end = section->Start + section->Length;
  BlockHeader header;
  if (at > end || end - at < BlockHeaderSize || !ReadAt(source, at, &header, BlockHeaderSize) ||
      header.Length > end - at - BlockHeaderSize)
    return false;
  *block = SectionBlock{header.Tag, header.Length, at + BlockHeaderSize};
  return true;
}

}  // namespace

bool NextSectionBlock(const MovieSource* source, const MovieSection* section, SectionBlock* block) {
  return BlockAfter(source, section, block);
}

bool FindSectionBlock(const MovieSource* source, const MovieSection* section, uint32_t tag,
                      SectionBlock* block) {
  SectionBlock next{0, 0, 0};
  while (section->Length && BlockAfter(source, section, &next)) {
    if (next.Tag == tag) {
      *block = next;
      return true;
    }
  }
  return false;
}

bool ReadSectionBlock(const MovieSource* source, const SectionBlock* block, void* data) {
  return ReadAt(source, block->Offset, data, block->Length);
}

bool NextStep(const uint8_t* block, uint32_t length, uint32_t* offset, StepRecord* step,
              const char** text) {
  uint32_t at = *offset;
  if (at > length || length - at < sizeof(StepRecord)) return false;
  __builtin_memcpy(step, block + at, sizeof(StepRecord));
  at += sizeof(StepRecord);
  if (step->TextLength > length - at) return false;
  *text = (const char*)block + at;
  *offset = at + step->TextLength;
  return true;
}

// ---- Rings ------------------------------------------------------------------------------------------

int32_t StepRingAge(const StepRecord* step, int32_t frame) {
  int64_t age = ((int64_t)frame - step->Frame) * FramePeriodMs + step->Lead;
  return age >= 0 && age < RingMs ? (int32_t)age : -1;
}

namespace {

// One ring of radius r (3 pixels wide) in colour, mixed in at alpha / 256. Distances are compared
// doubled and squared, in whole numbers, so that every front end draws the same pixels.
void DrawRing(uint32_t* pixels, int32_t width, int32_t height, int64_t cx, int64_t cy, int64_t r,
              uint32_t colour, uint32_t alpha) {
  int64_t inner = 2 * r - 3, outer = 2 * r + 3;
  int64_t top = cy - r - 2 > 0 ? cy - r - 2 : 0, bottom = cy + r + 2 < height ? cy + r + 2 : height - 1;
  int64_t left = cx - r - 2 > 0 ? cx - r - 2 : 0, right = cx + r + 2 < width ? cx + r + 2 : width - 1;
  for (int64_t y = top; y <= bottom; y++) {
    for (int64_t x = left; x <= right; x++) {
      int64_t d = 4 * ((x - cx) * (x - cx) + (y - cy) * (y - cy));
      if (d < inner * inner || d > outer * outer) continue;
      uint32_t* p = pixels + y * width + x;
      uint32_t mixed = 0;
      for (int shift = 0; shift < 24; shift += 8) {
        uint32_t a = *p >> shift & 0xFF, b = colour >> shift & 0xFF;
        mixed |= ((a * (256 - alpha) + b * alpha) >> 8) << shift;
      }
      *p = mixed;
    }
  }
}

}  // namespace

void DrawStepRing(uint32_t* pixels, int32_t width, int32_t height, const StepRecord* step, int32_t age) {
  if (age < 0 || age >= RingMs) return;
  uint32_t colour = step->Button == StepRight ? 0x00FF00u : step->Button == StepMiddle ? 0x0080FFu : 0xFF0000u;
  uint32_t alpha = (uint32_t)(256 * (RingMs - age) / RingMs);
  int64_t r = RingRadius + age * 12 / RingMs;
  DrawRing(pixels, width, height, step->X, step->Y, r, colour, alpha);
  if (step->Flags & StepDouble) DrawRing(pixels, width, height, step->X, step->Y, r - 5, colour, alpha);
}
