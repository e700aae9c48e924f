// Fuzz target of the movie reader: the input is a movie stream (what follows the player stub), at
// either colour depth, read through to its end and sought back and forth, and its section of blocks
// found (FindMovieSection, CheckMovieSection), walked block by block, its steps read and drawn as
// rings, its keys read, its sound (if any) decoded frame by frame as the player does between records;
// the same bytes are also applied as a raw run list at both depths and read as a steps and a keys block.
// Any read or write outside a buffer (AddressSanitizer), undefined behaviour, or a broken reader
// promise below is a finding.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "Codec.h"
#include "FuzzInput.h"
#include "Keys.h"
#include "Movie.h"
#include "Section.h"
#include "Sound.h"

namespace {

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

// Reads every step of a steps block held in memory, checking NextStep's promises: each step lies in
// the block, the place only moves forward, and the list ends at the block's end or at a step that
// does not fit; each ring is drawn into the frame, if there is one, at every age it shows.
void ReadSteps(const uint8_t* block, uint32_t length, uint32_t* frame, int32_t width, int32_t height) {
  uint32_t at = 0;
  StepRecord step;
  const char* text;
  for (uint32_t before = at; NextStep(block, length, &at, &step, &text); before = at) {
    Require(at > before && at <= length && at - before == sizeof(StepRecord) + step.TextLength);
    Require((const uint8_t*)text == block + before + sizeof(StepRecord));
    if (!frame) continue;
    // Frame is any u32: the frames around it are counted wide, and only those a reader can reach.
    for (int64_t k = (int64_t)step.Frame - 1; k <= (int64_t)step.Frame + 6 && k <= INT32_MAX; k++) {
      int32_t age = StepRingAge(&step, (int32_t)k);
      Require(age == -1 || (age >= 0 && age < RingMs));
      DrawStepRing(frame, width, height, &step, age);
    }
  }
  Require(at <= length);
}

// Reads the records of a keys block held in memory, checking NextKey's promises (whole records one
// after the other, to the last that fits), and the labels in the frames around the first presses: at
// most MaxKeyLabels, each text terminated in its room, drawn into the frame, if there is one, with the
// cursor here and there.
void ReadKeys(const uint8_t* block, uint32_t length, uint32_t* frame, int32_t width, int32_t height) {
  uint32_t at = 0, n = 0;
  KeyRecord key;
  for (uint32_t before = at; NextKey(block, length, &at, &key); before = at, n++) {
    Require(at == before + sizeof(KeyRecord) && at <= length && memcmp(&key, block + before, sizeof key) == 0);
    if (n >= 8) continue;
    for (int64_t k = (int64_t)key.Frame - 1; k <= (int64_t)key.Frame + 11 && k <= INT32_MAX; k += 3) {
      KeyLabel labels[MaxKeyLabels];
      uint32_t count = KeyLabelsAt(block, length, (int32_t)k, labels);
      Require(count <= MaxKeyLabels);
      for (uint32_t i = 0; i < count; i++) Require(memchr(labels[i].Text, 0, KeyLabelSize) != nullptr);
      if (frame) DrawKeyLabels(frame, width, height, labels, count, (int32_t)(k % 97) * 3 - 20, height - 20);
    }
  }
  Require(at <= length && length - at < sizeof(KeyRecord));
}

// The first block of a kind in the section, read whole as ReadSectionBlock reads it.
bool ReadBlock(const MovieSource* source, const MovieSection* section, uint32_t tag, std::vector<uint8_t>* data) {
  SectionBlock block;
  if (!FindSectionBlock(source, section, tag, &block)) return false;
  data->assign(block.Length, 0);
  Require(ReadSectionBlock(source, &block, data->data()));
  return true;
}

// The section found from the end of the file: where the reader found it, inside the file, and its
// blocks filling it exactly; the steps block's steps and the keys block's labels read as the page
// reads them.
void CheckSection(const MovieSource* source, const MovieReader* reader) {
  MovieSection section;
  SectionCheck check = CheckMovieSection(source, &section);
  Require((check.Status == SectionFound) == (reader->Section.Length != 0));
  // FindMovieSection, as the players call it, agrees; without a section it points at the trailer.
  MovieSection found;
  Require(FindMovieSection(source, &found) == (check.Status == SectionFound));
  Require(found.Start == section.Start && found.Length == section.Length);
  if (check.Status != SectionFound) {
    Require(found.Length == 0 && found.Start + TrailerSize == source->FileSize);
    return;
  }
  Require(section.Start == reader->Section.Start && section.Length == reader->Section.Length);
  Require(section.Start >= FirstRecordOffset + FrameHeaderSize &&
          section.Start + section.Length + SectionFooterSize + TrailerSize == source->FileSize);
  SectionBlock block{0, 0, 0};
  uint64_t at = section.Start;
  while (NextSectionBlock(source, &section, &block)) {
    Require(block.Offset == at + BlockHeaderSize);
    at = block.Offset + block.Length;
    Require(at <= section.Start + section.Length);
  }
  Require(at == section.Start + section.Length);
  std::vector<uint8_t> data;
  if (ReadBlock(source, &section, TagSteps, &data))
    ReadSteps(data.data(), (uint32_t)data.size(), reader->FramePixels, reader->FrameWidth, reader->FrameHeight);
  if (ReadBlock(source, &section, TagKeys, &data))
    ReadKeys(data.data(), (uint32_t)data.size(), reader->FramePixels, reader->FrameWidth, reader->FrameHeight);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 22)) return 0;

  // The bytes as a run list for frames of a few sizes: a list that fits changes only its runs, one
  // that does not changes nothing.
  // Both depths: runs of codes and runs of colours.
  static const uint32_t sizes[] = {1, 33, 4096};
  static const uint32_t depths[] = {CodeBytes, ColourBytes};
  for (uint32_t pixelBytes : depths) {
    for (uint32_t n : sizes) {
      uint32_t* frame = static_cast<uint32_t*>(malloc(n * 4));
      memset(frame, 0x5A, n * 4);
      bool fits = RunListFitsFrame(data, (uint32_t)size, n, pixelBytes);
      if (RunListFollowsRules(data, (uint32_t)size, n, pixelBytes)) Require(fits);
      Require(ApplyRunList(data, (uint32_t)size, frame, n, pixelBytes) == fits);
      if (!fits)
        for (uint32_t i = 0; i < n; i++) Require(frame[i] == 0x5A5A5A5Au);
      free(frame);
    }
  }
  // The bytes as a steps block and as a keys block, without a frame to draw in.
  ReadSteps(data, (uint32_t)size, nullptr, 0, 0);
  ReadKeys(data, (uint32_t)size, nullptr, 0, 0);

  FuzzMovieFile file{data, (uint32_t)size};
  FuzzPlace place{&file};
  MovieSource source = place.Source(0);
  MovieReader reader;
  if (!OpenMovieReader(&reader, &source)) return 0;
  Require(reader.PixelCount == (uint32_t)reader.FrameWidth * (uint32_t)reader.FrameHeight);
  Require(reader.PixelBytes == (reader.Header.File.bfReserved1 == DepthTrueColour ? ColourBytes : CodeBytes));
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

  CheckSection(&source, &reader);

  // The sound of a few frames around the records, read between records as the player reads it: the
  // reader must go on from where it was.
  MovieSound sound;
  if (FindMovieSound(&source, &reader.Section, &sound)) {
    Require(sound.BlockSamples && sound.FrameSamples % sound.BlockSamples == 0);
    uint8_t* block = static_cast<uint8_t*>(malloc(sound.Header.BlockSize));
    int16_t* pcm = static_cast<int16_t*>(malloc(sound.FrameSamples * 2));
    RewindMovieReader(&reader);
    for (int32_t frame = -1; frame <= records + 1; frame++) {
      ReadSoundFrame(&source, &sound, frame, block, pcm);
      if (frame >= 0 && frame < records) Require(AdvanceMovieReader(&reader) >= 0);
    }
    Require(reader.CurrentFrame == records);
    free(block);
    free(pcm);
  }

  free(reader.FramePixels);
  free(reader.Packed);
  free(reader.RunList);
  return 0;
}
