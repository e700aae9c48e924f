// Sound: the movie's narration, the sound block of the section (layout in Section.h), read and
// written here for every front end; the samples are IMA ADPCM (Adpcm.h).
//
// While recording, the sound goes into a file of its own beside the movie (the movie's path with
// TAVREL_SOUND_SUFFIX): the block's data exactly, SampleCount 0, whole blocks appended as they fill.
// At the stop it is copied into the movie's section and deleted; a recording cut off by a crash keeps
// it for `tavrel-movie repair`, which counts its whole blocks.
#pragma once
#include <stdint.h>

#include "Adpcm.h"
#include "Section.h"

#define TAVREL_SOUND_SUFFIX ".snd"

const uint8_t SoundImaAdpcm = 1;
const uint32_t SoundHeaderSize = sizeof(SoundHeader);
// What the recorder writes: 16 kHz, blocks of 1600 samples (100 ms, two a frame).
const uint32_t RecordedSampleRate = 16000;
const uint32_t RecordedBlockSize = 804;
const uint32_t RecordedBlockSamples = (RecordedBlockSize - AdpcmHeaderSize) * 2;
const uint32_t FramesPerSecond = 1000 / FramePeriodMs;
// The largest block a reader takes: a whole frame at the highest rate.
const uint32_t MaxSoundBlockSize = AdpcmHeaderSize + 48000 / FramesPerSecond / 2;

// A sound block found and checked.
struct MovieSound {
  SoundHeader Header;
  uint64_t DataOffset;    // file offset of the first block
  uint32_t BlockSamples;  // samples a block
  uint32_t FrameSamples;  // samples a frame period
  uint32_t BlockCount;
};

// ---- Reading ----------------------------------------------------------------------------------------

// Whether a header describes sound this reader plays: the format, a rate from 8000 to 48000 that is a
// multiple of 5, and blocks whose samples divide a frame's.
inline bool CheckSoundHeader(const SoundHeader* header) {
  uint32_t rate = header->SampleRate;
  return header->Format == SoundImaAdpcm && !header->Reserved && rate >= 8000 && rate <= 48000 &&
         rate % FramesPerSecond == 0 && header->BlockSize > AdpcmHeaderSize &&
         header->BlockSize <= MaxSoundBlockSize && rate / FramesPerSecond % AdpcmBlockSamples(header->BlockSize) == 0;
}

// Blocks that hold the header's SampleCount.
inline uint32_t SoundBlockCount(const SoundHeader* header) {
  uint32_t samples = AdpcmBlockSamples(header->BlockSize);
  return header->SampleCount / samples + (header->SampleCount % samples != 0);
}

// The sound block of a section FindMovieSection has checked, its header checked and its length exactly
// the header and its blocks. False when there is none or it is damaged: the movie is then silent.
bool FindMovieSound(const MovieSource* source, const MovieSection* section, MovieSound* sound);

// Frame n's sound (n as in Section.h): FrameSamples samples, silence outside the sound and for a block
// that cannot be read. block is a buffer of BlockSize bytes.
void ReadSoundFrame(const MovieSource* source, const MovieSound* sound, int32_t frame, uint8_t* block,
                    int16_t* pcm);

// The sound file of a recording: its header checked, and SampleCount set from the whole blocks it
// holds (a block cut off by a crash is left out). False when the file holds no sound.
bool OpenSoundFile(const MovieSource* file, SoundHeader* header);

// ---- Writing ----------------------------------------------------------------------------------------

// The sound block after WriteMovieEndRecord: the header as given, then the header's blocks read from
// source at dataOffset (the sound file, or another movie's sound block) in pieces through buffer.
// A source that comes short fails the writer.
bool WriteSoundBlock(MovieWriter* writer, const SoundHeader* header, const MovieSource* source,
                     uint64_t dataOffset, uint8_t* buffer, uint32_t bufferSize);

// The recorder's encoder into its sound file: samples in, whole blocks out through the sink.
struct SoundFileWriter {
  MovieSink Sink;
  AdpcmState State;
  uint32_t Filled;  // samples waiting in Pending for their block
  int16_t Pending[RecordedBlockSamples];
  uint8_t Block[RecordedBlockSize];
  uint64_t Samples;  // samples taken, silence included
  bool Failed;       // a write failed: nothing more is written
};

// The header (16 kHz, StartFrame as given, SampleCount 0).
bool StartSoundFile(SoundFileWriter* writer, uint32_t startFrame);

// count samples of pcm, or of silence when pcm is null.
bool AddSound(SoundFileWriter* writer, const int16_t* pcm, uint32_t count);

// Fills the last block up with silence and writes it.
bool FinishSoundFile(SoundFileWriter* writer);
