// Writing the movie stream. Kept apart from the reader so that the player, which only reads, links
// neither the encoder nor the LZO packer.
#include "Movie.h"

#include "Codec.h"
#include "Func.h"
#include "Section.h"

void BuildMovieHeader(MovieHeader* header, const BitmapInfo32* screenFormat, int32_t width,
                      int32_t height, uint16_t depth) {
  // The image size is the row length at 32 bits per pixel times the height, whatever bit count the
  // screen reported: frames are always captured and played as 32-bit pixels.
  uint32_t imageSize = (uint32_t)width * 4u * (uint32_t)height;
  __builtin_memset(&header->File, 0, sizeof header->File);
  header->File.bfType = BitmapType;
  header->File.bfReserved1 = depth;
  header->File.bfOffBits = MovieHeaderSize;
  header->File.bfSize = MovieHeaderSize + imageSize;
  header->Info = *screenFormat;
  header->Info.Header.biWidth = width;
  header->Info.Header.biHeight = -height;
  header->Info.Header.biSizeImage = imageSize;
}

void BuildMovieTrailer(MovieTrailer* trailer, const char* title) {
  __builtin_memset(trailer, 0, sizeof *trailer);
  // A title that is empty once cut in whole characters (a lone GBK lead byte) is no title either.
  const char* text = GbkCutLength(title, TitleSize - 1) ? title : TAVREL_UNTITLED_GBK;
  uint32_t length = GbkCutLength(text, TitleSize - 1);
  for (uint32_t i = 0; i < length; i++) trailer->MovieTitle[i] = text[i];
}

namespace {

bool WriteAll(MovieWriter* writer, const void* data, uint32_t count) {
  if (writer->Failed) return false;
  if (writer->Sink.Write(writer->Sink.Context, data, count) != (int32_t)count) writer->Failed = true;
  else writer->BytesWritten += count;
  return !writer->Failed;
}

}  // namespace

bool WriteMovieStart(MovieWriter* writer, const void* stub, uint32_t stubLength,
                     const MovieHeader* header) {
  WriteAll(writer, stub, stubLength);
  WriteAll(writer, &header->File, FileHeaderSize);
  return WriteAll(writer, &header->Info, BitmapInfoSize);
}

bool WriteMovieFrame(MovieWriter* writer, const uint32_t* pixels, uint8_t button, int32_t cursorX,
                     int32_t cursorY) {
  if (writer->Failed) return false;
  FrameHeader* record = &writer->Record;
  record->Button = button;
  record->CursorX = cursorX;
  record->CursorY = cursorY;
  record->PayloadLength =
      writer->Colours ? EncodeFrame(pixels, writer->Colours, writer->PixelCount, writer->RunList, writer->Packed,
                                    writer->LzoWork)
                      : EncodeFrame(pixels, writer->Shadow, writer->PixelCount, writer->RunList, writer->Packed,
                                    writer->LzoWork);
  return WriteMovieRecord(writer, record, writer->Packed);
}

bool WriteMovieRecord(MovieWriter* writer, const FrameHeader* record, const uint8_t* payload) {
  writer->Record = *record;
  WriteAll(writer, record, FrameHeaderSize);
  if (record->PayloadLength > 0) WriteAll(writer, payload, (uint32_t)record->PayloadLength);
  if (!writer->Failed) writer->FrameCount++;
  return !writer->Failed;
}

bool WriteMovieEnd(MovieWriter* writer) {
  WriteMovieEndRecord(writer);
  return WriteMovieTrailer(writer);
}

bool WriteMovieEndRecord(MovieWriter* writer) {
  FrameHeader end = writer->Record;
  end.PayloadLength = EndRecordLength;
  writer->SectionBytes = 0;
  return WriteAll(writer, &end, FrameHeaderSize);
}

bool WriteMovieTrailer(MovieWriter* writer) {
  if (writer->SectionBytes) {
    SectionFooter footer;
    footer.SectionLength = writer->SectionBytes;
    __builtin_memcpy(footer.Magic, TAVREL_SECTION_MAGIC, sizeof footer.Magic);
    WriteAll(writer, &footer, SectionFooterSize);
  }
  writer->Trailer.FrameCount = writer->FrameCount;
  return WriteAll(writer, &writer->Trailer, TrailerSize);
}

bool BeginSectionBlock(MovieWriter* writer, uint32_t tag, uint32_t length) {
  BlockHeader header{tag, length};
  writer->SectionBytes += BlockHeaderSize;
  return WriteAll(writer, &header, BlockHeaderSize);
}

bool WriteSectionData(MovieWriter* writer, const void* data, uint32_t length) {
  writer->SectionBytes += length;
  return WriteAll(writer, data, length);
}

bool WriteSectionBlock(MovieWriter* writer, uint32_t tag, const void* data, uint32_t length) {
  return BeginSectionBlock(writer, tag, length) && WriteSectionData(writer, data, length);
}

uint32_t StepSize(uint32_t textLength) {
  return sizeof(StepRecord) + (textLength < MaxStepText ? textLength : MaxStepText);
}

uint32_t PutStep(uint8_t* out, const StepRecord* step, const char* text, uint32_t textLength) {
  StepRecord record = *step;
  record.TextLength = (uint16_t)GbkCutLength(text, textLength < MaxStepText ? textLength : MaxStepText);
  __builtin_memcpy(out, &record, sizeof record);
  __builtin_memcpy(out + sizeof record, text, record.TextLength);
  return sizeof record + record.TextLength;
}

RecordingRoom CheckRecordingRoom(const MovieWriter* writer, uint32_t framesAhead, uint64_t freeBytes,
                                 uint64_t maxFileSize) {
  uint64_t need = (uint64_t)framesAhead * (FrameHeaderSize + PackedBufferSize(writer->PixelCount, writer->Colours ? ColourBytes : CodeBytes)) +
                  FrameHeaderSize + TrailerSize + RoomMargin;
  if (freeBytes < need) return RoomDiskFull;
  if (writer->BytesWritten > maxFileSize || maxFileSize - writer->BytesWritten < need) return RoomFileLimit;
  return RoomEnough;
}

uint64_t MaxFileSizeOf(const char* fileSystem) {
  const char* fat = "FAT";
  uint32_t i = 0;
  while (fat[i] && fileSystem[i] == fat[i]) i++;
  if (fat[i]) return UINT64_MAX;  // not a FAT at all (NTFS, exFAT, ReFS...)
  if (fileSystem[i] == '3' && fileSystem[i + 1] == '2' && !fileSystem[i + 2]) return 0xFFFFFFFFu;
  return 0x7FFFFFFFu;
}
