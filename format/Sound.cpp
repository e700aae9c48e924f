// Reading the sound block: found and checked against the section, decoded block by block. The writing
// side is in SoundWrite.cpp, which the player does not link.
#include "Sound.h"

bool FindMovieSound(const MovieSource* source, const MovieSection* section, MovieSound* sound) {
  SectionBlock block;
  SoundHeader* header = &sound->Header;
  if (!FindSectionBlock(source, section, TagSound, &block) || block.Length < SoundHeaderSize ||
      !ReadAt(source, block.Offset, header, SoundHeaderSize) || !CheckSoundHeader(header))
    return false;
  sound->BlockCount = SoundBlockCount(header);
  sound->DataOffset = block.Offset + SoundHeaderSize;
  sound->BlockSamples = AdpcmBlockSamples(header->BlockSize);
  sound->FrameSamples = header->SampleRate / FramesPerSecond;
  return block.Length - SoundHeaderSize == (uint64_t)sound->BlockCount * header->BlockSize;
}

void ReadSoundFrame(const MovieSource* source, const MovieSound* sound, int32_t frame, uint8_t* block,
                    int16_t* pcm) {
  uint32_t size = sound->Header.BlockSize;
  uint32_t perFrame = sound->FrameSamples / sound->BlockSamples;
  // Taken unsigned, a frame before StartFrame gives an index past the last block.
  uint32_t index = ((uint32_t)frame - sound->Header.StartFrame) * perFrame;
  for (uint32_t i = 0; i < perFrame; i++, index++, pcm += sound->BlockSamples) {
    // A block outside the sound, or one that cannot be read, is all zero: silence.
    if (index >= sound->BlockCount || !ReadAt(source, sound->DataOffset + (uint64_t)index * size, block, size))
      __builtin_memset(block, 0, size);
    DecodeAdpcmBlock(block, size, pcm);
  }
}
