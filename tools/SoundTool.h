// SoundTool: the movie's narration (format/Sound.h) for the movie tool: found in a movie, described
// for info, and written out alone as a WAV file.
#pragma once
#include <stdint.h>

#include <string>
#include <vector>

#include "MovieWalk.h"
#include "Sound.h"

// The movie's sound block, found through its checked section; false when the movie has none (or a
// damaged one, which leaves it silent).
bool FindSound(InputFile* input, MovieSound* sound);

// "3.2 s, IMA ADPCM mono 16000 Hz, 4 bits a sample, from frame 1, 25728 bytes" for info.
std::string DescribeSound(const MovieSound& sound);

// The sound of one block of the movie's section (as MovieWalk lists them), checked as FindSound checks
// it; false when it is damaged.
bool BlockSound(InputFile* input, const SectionBlock& block, MovieSound* sound);

// The sound's samples, decoded, in order: SampleCount of them, from the header's StartFrame on.
bool DecodeSound(InputFile* input, const MovieSound& sound, std::vector<int16_t>* pcm);

// The sound file a recording left beside its movie (the movie's path with TAVREL_SOUND_SUFFIX), as
// a sound of its own whole blocks; false when there is none or it holds no sound.
bool FindSoundFile(const std::string& moviePath, InputFile* file, MovieSound* sound);

// Puts the frames first to last (1 = first) of a sound into the writer's section, renumbered as the
// frames are when they start a movie of their own: the blocks are copied as they are, since no block
// spans two frames. Nothing is written when those frames have no sound. False when the source comes
// short.
bool CopySound(MovieWriter* writer, InputFile* input, const MovieSound& sound, int32_t first, int32_t last);

// export MOVIE --wav OUT.wav: the sound alone, 16-bit PCM mono.
int ExportWav(const std::string& path, const std::string& out);
