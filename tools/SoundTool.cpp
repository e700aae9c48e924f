// The narration in the movie tool: found, described, decoded and written as WAV.
#include "SoundTool.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "Commands.h"
#include "ToolFiles.h"

bool FindSound(InputFile* input, MovieSound* sound) {
  MovieSource source = input->Source(0);
  MovieSection section;
  return FindMovieSection(&source, &section) && FindMovieSound(&source, &section, sound);
}

bool BlockSound(InputFile* input, const SectionBlock& block, MovieSound* sound) {
  MovieSource source = input->Source(0);
  MovieSection own{block.Offset - BlockHeaderSize, BlockHeaderSize + (uint64_t)block.Length};
  return FindMovieSound(&source, &own, sound);
}

std::string DescribeSound(const MovieSound& sound) {
  const SoundHeader& h = sound.Header;
  char text[160];
  snprintf(text, sizeof text, "%.1f s, IMA ADPCM mono %u Hz, 4 bits a sample, from frame %u, %u blocks of %u bytes",
           (double)h.SampleCount / h.SampleRate, h.SampleRate, h.StartFrame, sound.BlockCount, h.BlockSize);
  return text;
}

bool DecodeSound(InputFile* input, const MovieSound& sound, std::vector<int16_t>* pcm) {
  MovieSource source = input->Source(0);
  uint32_t perFrame = sound.FrameSamples / sound.BlockSamples;
  uint32_t frames = (sound.BlockCount + perFrame - 1) / perFrame;
  std::vector<uint8_t> block(sound.Header.BlockSize);
  pcm->assign((size_t)frames * sound.FrameSamples, 0);
  for (uint32_t i = 0; i < frames; i++)
    ReadSoundFrame(&source, &sound, (int32_t)(sound.Header.StartFrame + i), block.data(),
                   pcm->data() + (size_t)i * sound.FrameSamples);
  pcm->resize(sound.Header.SampleCount);
  return true;
}

bool FindSoundFile(const std::string& moviePath, InputFile* file, MovieSound* sound) {
  std::string error;
  if (!FileExists(moviePath + TAVREL_SOUND_SUFFIX) || !file->Open(moviePath + TAVREL_SOUND_SUFFIX, &error))
    return false;
  MovieSource source = file->Source(0);
  SoundHeader* header = &sound->Header;
  if (!OpenSoundFile(&source, header)) return false;
  sound->DataOffset = SoundHeaderSize;
  sound->BlockSamples = AdpcmBlockSamples(header->BlockSize);
  sound->FrameSamples = header->SampleRate / FramesPerSecond;
  sound->BlockCount = SoundBlockCount(header);
  return true;
}

bool CopySound(MovieWriter* writer, InputFile* input, const MovieSound& sound, int32_t first, int32_t last) {
  int64_t perFrame = sound.FrameSamples / sound.BlockSamples;
  int64_t start = sound.Header.StartFrame;
  // The blocks of the frames kept, and the kept frame the first of them belongs to.
  int64_t from = std::max<int64_t>(0, (first - start) * perFrame);
  int64_t to = std::min<int64_t>(sound.BlockCount, (last - start + 1) * perFrame);
  if (from >= to) return true;
  SoundHeader header = sound.Header;
  header.StartFrame = (uint32_t)(std::max<int64_t>(start, first) - first + 1);
  header.SampleCount = (uint32_t)(std::min<int64_t>(sound.Header.SampleCount, to * sound.BlockSamples) -
                                  from * sound.BlockSamples);
  MovieSource source = input->Source(0);
  std::vector<uint8_t> buffer(1 << 16);
  return WriteSoundBlock(writer, &header, &source, sound.DataOffset + (uint64_t)from * sound.Header.BlockSize,
                         buffer.data(), (uint32_t)buffer.size());
}

namespace {

// The 44-byte header of a canonical WAV file: RIFF, "fmt " for 16-bit PCM mono, then "data".
#pragma pack(push, 1)
struct WavHeader {
  char Riff[4];
  uint32_t RiffLength;
  char Wave[4];
  char Fmt[4];
  uint32_t FmtLength;
  uint16_t Format, Channels;
  uint32_t SampleRate, ByteRate;
  uint16_t BlockAlign, BitsPerSample;
  char Data[4];
  uint32_t DataLength;
};
#pragma pack(pop)
static_assert(sizeof(WavHeader) == 44, "a WAV header is 44 bytes");

}  // namespace

int ExportWav(const std::string& path, const std::string& out) {
  InputFile input;
  std::string error;
  if (!input.Open(path, &error)) {
    Fail(error);
    return ExitFailed;
  }
  MovieSound sound;
  if (!FindSound(&input, &sound)) {
    Fail(path + ": the movie has no sound");
    return ExitFailed;
  }
  std::vector<int16_t> pcm;
  DecodeSound(&input, sound, &pcm);
  uint32_t bytes = (uint32_t)pcm.size() * 2;
  uint32_t rate = sound.Header.SampleRate;
  WavHeader header = {{'R', 'I', 'F', 'F'}, 36 + bytes, {'W', 'A', 'V', 'E'}, {'f', 'm', 't', ' '}, 16, 1, 1,
                      rate, rate * 2, 2, 16, {'d', 'a', 't', 'a'}, bytes};
  OutputFile file;
  if (!file.Open(out, &error) || !file.Write(&header, sizeof header) || !file.Write(pcm.data(), bytes) ||
      !file.Commit(&error)) {
    Fail(error.empty() ? out + ": cannot write: " + SystemError() : error);
    return ExitFailed;
  }
  printf("%s: %s\n", out.c_str(), DescribeSound(sound).c_str());
  return ExitOk;
}
