// Writing sound: the sound block copied into a movie in pieces, and the recorder's sound file written
// and counted again. Kept apart from the reader (Sound.cpp) so that the player links none of it.
#include "Sound.h"

bool OpenSoundFile(const MovieSource* file, SoundHeader* header) {
  if (file->FileSize < SoundHeaderSize || !ReadAt(file, 0, header, SoundHeaderSize) || !CheckSoundHeader(header))
    return false;
  uint64_t blocks = (file->FileSize - SoundHeaderSize) / header->BlockSize;
  uint64_t samples = blocks * AdpcmBlockSamples(header->BlockSize);
  header->SampleCount = samples > UINT32_MAX ? UINT32_MAX / AdpcmBlockSamples(header->BlockSize) *
                                                   AdpcmBlockSamples(header->BlockSize)
                                             : (uint32_t)samples;
  return true;
}

bool WriteSoundBlock(MovieWriter* writer, const SoundHeader* header, const MovieSource* source,
                     uint64_t dataOffset, uint8_t* buffer, uint32_t bufferSize) {
  uint64_t left = (uint64_t)SoundBlockCount(header) * header->BlockSize;
  bool written = BeginSectionBlock(writer, TagSound, (uint32_t)(SoundHeaderSize + left)) &&
                 WriteSectionData(writer, header, SoundHeaderSize) && source->Seek(source->Context, dataOffset) >= 0;
  while (written && left) {
    uint32_t piece = left < bufferSize ? (uint32_t)left : bufferSize;
    written = source->Read(source->Context, buffer, piece) == (int32_t)piece && WriteSectionData(writer, buffer, piece);
    left -= piece;
  }
  // A block that comes out shorter than its header said would spoil the whole section.
  if (!written) writer->Failed = true;
  return written;
}

bool StartSoundFile(SoundFileWriter* writer, uint32_t startFrame) {
  SoundHeader header{RecordedSampleRate, SoundImaAdpcm, 0, RecordedBlockSize, startFrame, 0};
  writer->State = AdpcmState{0, 0};
  writer->Filled = 0;
  writer->Samples = 0;
  writer->Failed = writer->Sink.Write(writer->Sink.Context, &header, SoundHeaderSize) != (int32_t)SoundHeaderSize;
  return !writer->Failed;
}

bool AddSound(SoundFileWriter* writer, const int16_t* pcm, uint32_t count) {
  for (uint32_t i = 0; i < count && !writer->Failed; i++) {
    writer->Pending[writer->Filled++] = pcm ? pcm[i] : 0;
    if (writer->Filled < RecordedBlockSamples) continue;
    EncodeAdpcmBlock(&writer->State, writer->Pending, writer->Block, RecordedBlockSize);
    writer->Failed = writer->Sink.Write(writer->Sink.Context, writer->Block, RecordedBlockSize) != (int32_t)RecordedBlockSize;
    writer->Filled = 0;
  }
  writer->Samples += count;
  return !writer->Failed;
}

bool FinishSoundFile(SoundFileWriter* writer) {
  return !writer->Filled || AddSound(writer, nullptr, RecordedBlockSamples - writer->Filled);
}
