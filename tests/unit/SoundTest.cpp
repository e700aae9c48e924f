// The narration: the IMA ADPCM codec (quality on a tone and on speech-like noise, blocks that decode on
// their own, damaged blocks), the recorder's sound file, and the sound block written into a movie and
// read back frame by frame, with every kind of damage that must leave the movie silent but playing.
#include <gtest/gtest.h>

#include <math.h>
#include <string.h>

#include <random>
#include <vector>

#include "Sound.h"
#include "TestSupport.h"

namespace {

const double Pi = 3.14159265358979323846;

std::vector<int16_t> Tone(uint32_t count, double hertz, double amplitude) {
  std::vector<int16_t> pcm(count);
  for (uint32_t i = 0; i < count; i++)
    pcm[i] = (int16_t)lround(amplitude * sin(2 * Pi * hertz * i / RecordedSampleRate));
  return pcm;
}

// Noise shaped like speech: low-passed (most energy below 1 kHz), in syllables of 150 ms whose
// loudness rises and falls, with short pauses between them.
std::vector<int16_t> SpeechLikeNoise(uint32_t count) {
  std::mt19937 random(7);
  std::normal_distribution<double> white(0, 1);
  std::vector<int16_t> pcm(count);
  double low = 0, lower = 0;
  for (uint32_t i = 0; i < count; i++) {
    low += 0.25 * (white(random) - low);
    lower += 0.25 * (low - lower);
    double syllable = fmod(i / (0.2 * RecordedSampleRate), 1.0);
    double envelope = syllable < 0.75 ? sin(Pi * syllable / 0.75) : 0;
    pcm[i] = (int16_t)lround(std::max(-32768.0, std::min(32767.0, 30000 * envelope * lower)));
  }
  return pcm;
}

// Encodes with the recorder's blocks, one state carried through, and decodes every block on its own.
std::vector<int16_t> RoundTrip(const std::vector<int16_t>& pcm, std::vector<uint8_t>* blocks = nullptr) {
  std::vector<int16_t> out(pcm.size());
  std::vector<uint8_t> encoded(pcm.size() / RecordedBlockSamples * RecordedBlockSize);
  AdpcmState state{0, 0};
  for (size_t b = 0; b < pcm.size() / RecordedBlockSamples; b++) {
    EncodeAdpcmBlock(&state, &pcm[b * RecordedBlockSamples], &encoded[b * RecordedBlockSize], RecordedBlockSize);
    DecodeAdpcmBlock(&encoded[b * RecordedBlockSize], RecordedBlockSize, &out[b * RecordedBlockSamples]);
  }
  if (blocks) *blocks = encoded;
  return out;
}

double SignalToNoise(const std::vector<int16_t>& original, const std::vector<int16_t>& decoded) {
  double signal = 0, noise = 0;
  for (size_t i = 0; i < original.size(); i++) {
    signal += (double)original[i] * original[i];
    noise += ((double)original[i] - decoded[i]) * ((double)original[i] - decoded[i]);
  }
  return 10 * log10(signal / noise);
}

TEST(AdpcmTest, ToneAndSpeechLikeNoiseComeBackCleanly) {
  std::vector<int16_t> tone = Tone(RecordedSampleRate * 2, 1000, 12000);
  std::vector<int16_t> speech = SpeechLikeNoise(RecordedSampleRate * 2);
  double toneSnr = SignalToNoise(tone, RoundTrip(tone));
  double speechSnr = SignalToNoise(speech, RoundTrip(speech));
  EXPECT_GT(toneSnr, 25.0);
  EXPECT_GT(speechSnr, 20.0);
  RecordProperty("ToneSnrDb", (int)toneSnr);
  RecordProperty("SpeechSnrDb", (int)speechSnr);
  printf("ADPCM signal-to-noise: 1 kHz tone %.1f dB, speech-like noise %.1f dB\n", toneSnr, speechSnr);
}

TEST(AdpcmTest, ExtremesClampWithoutWrapping) {
  // Full-scale square wave: the predictor must stop at the rails, never wrap to the other sign.
  std::vector<int16_t> square(RecordedBlockSamples * 2);
  for (size_t i = 0; i < square.size(); i++) square[i] = (i / 40) % 2 ? 32767 : -32768;
  std::vector<int16_t> out = RoundTrip(square);
  for (size_t i = 0; i < square.size(); i++)
    if (i % 40 > 20) ASSERT_EQ(out[i] > 0, square[i] > 0) << "sample " << i;
}

TEST(AdpcmTest, EveryBlockDecodesOnItsOwnAndBlocksJoinWithoutSeam) {
  std::vector<int16_t> tone = Tone(RecordedBlockSamples * 3, 440, 20000);
  std::vector<uint8_t> blocks;
  std::vector<int16_t> decoded = RoundTrip(tone, &blocks);
  // The third block alone, without the two in front of it.
  std::vector<int16_t> alone(RecordedBlockSamples);
  std::vector<uint8_t> third(blocks.begin() + 2 * RecordedBlockSize, blocks.end());
  DecodeAdpcmBlock(third.data(), RecordedBlockSize, alone.data());
  EXPECT_TRUE(std::equal(alone.begin(), alone.end(), decoded.begin() + 2 * RecordedBlockSamples));
  // Its header carries on from the second block's last decoded sample: no jump at the boundary.
  int16_t predictor = (int16_t)(third[0] | third[1] << 8);
  EXPECT_EQ(predictor, decoded[2 * RecordedBlockSamples - 1]);
  EXPECT_LE(third[2], AdpcmMaxStepIndex);
  EXPECT_LT(abs(decoded[2 * RecordedBlockSamples] - tone[2 * RecordedBlockSamples]), 1500);
  // The smallest block: one byte, two samples.
  AdpcmState state{0, 0};
  uint8_t tiny[5];
  int16_t two[2] = {300, 600}, back[2];
  EncodeAdpcmBlock(&state, two, tiny, sizeof tiny);
  DecodeAdpcmBlock(tiny, sizeof tiny, back);
  EXPECT_EQ(back[1], state.Predictor);
  EXPECT_GT(back[1], back[0]);
}

TEST(AdpcmTest, DamagedBlockIsSilentAndSpoilsNoOther) {
  std::vector<int16_t> tone = Tone(RecordedBlockSamples * 2, 1000, 12000);
  std::vector<uint8_t> blocks;
  std::vector<int16_t> decoded = RoundTrip(tone, &blocks);
  std::vector<int16_t> out(RecordedBlockSamples, 1);
  for (int damage = 0; damage < 2; damage++) {
    std::vector<uint8_t> bad(blocks.begin(), blocks.begin() + RecordedBlockSize);
    if (damage == 0) bad[2] = AdpcmMaxStepIndex + 1;  // a step index past the table
    else bad[3] = 1;                                     // the reserved byte set
    DecodeAdpcmBlock(bad.data(), RecordedBlockSize, out.data());
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t s) { return s == 0; })) << damage;
  }
  // Garbage codes in an intact header decode to something, inside the block and bounded.
  std::vector<uint8_t> noise(RecordedBlockSize, 0xFF);
  noise[2] = AdpcmMaxStepIndex;
  noise[3] = 0;
  DecodeAdpcmBlock(noise.data(), RecordedBlockSize, out.data());
  EXPECT_EQ(out.back(), -32768);
  // The block behind a damaged one is as good as ever.
  DecodeAdpcmBlock(blocks.data() + RecordedBlockSize, RecordedBlockSize, out.data());
  EXPECT_TRUE(std::equal(out.begin(), out.end(), decoded.begin() + RecordedBlockSamples));
}

// ---- The sound file and the sound block -------------------------------------------------------------

// A sound file as the recorder writes it: StartFrame, then these samples.
MemoryFile SoundFile(uint32_t startFrame, const std::vector<int16_t>& pcm, bool finish = true) {
  MemoryFile file;
  SoundFileWriter writer{};
  writer.Sink = file.Sink();
  EXPECT_TRUE(StartSoundFile(&writer, startFrame));
  EXPECT_TRUE(AddSound(&writer, pcm.data(), (uint32_t)pcm.size()));
  if (finish) EXPECT_TRUE(FinishSoundFile(&writer));
  return file;
}

// A 4 x 2 movie of `frames` frames whose section holds the sound file's sound (and a steps block in
// front of it, which the sound's reader must pass over).
std::vector<uint8_t> MovieWithSound(int32_t frames, MemoryFile* soundFile, const SoundHeader* patch = nullptr) {
  TestWriter w(4, 2, "sound");
  for (int32_t i = 0; i < frames; i++) w.Frame(std::vector<uint32_t>(8, 0x010101u * (uint32_t)i));
  WriteMovieEndRecord(&w.Writer);
  WriteSectionBlock(&w.Writer, TagSteps, "", 0);
  MovieSource side = soundFile->Source();
  SoundHeader header;
  EXPECT_TRUE(OpenSoundFile(&side, &header));
  if (patch) header = *patch;
  uint8_t buffer[1000];  // smaller than the sound: it goes in pieces
  EXPECT_TRUE(WriteSoundBlock(&w.Writer, &header, &side, SoundHeaderSize, buffer, sizeof buffer));
  WriteMovieTrailer(&w.Writer);
  return w.File.Bytes;
}

struct FoundSound {
  bool Present;
  MovieSound Sound;
  MemoryFile File;
  int32_t FramesPlayed;
};

FoundSound Find(std::vector<uint8_t> bytes) {
  FoundSound found{};
  found.File.Bytes = std::move(bytes);
  TestReader reader;
  EXPECT_TRUE(reader.Open(&found.File));
  MovieSource source = found.File.Source();
  found.Present = FindMovieSound(&source, &reader.Reader.Section, &found.Sound);
  while (AdvanceMovieReader(&reader.Reader) >= 0) {
  }
  found.FramesPlayed = reader.Reader.CurrentFrame;
  return found;
}

std::vector<int16_t> Frame(FoundSound* found, int32_t n) {
  MovieSource source = found->File.Source();
  std::vector<uint8_t> block(found->Sound.Header.BlockSize);
  std::vector<int16_t> pcm(found->Sound.FrameSamples, 1);
  ReadSoundFrame(&source, &found->Sound, n, block.data(), pcm.data());
  return pcm;
}

bool Silent(const std::vector<int16_t>& pcm) {
  return std::all_of(pcm.begin(), pcm.end(), [](int16_t s) { return s == 0; });
}

TEST(SoundBlockTest, FramesReadBackTheirOwnSamples) {
  const uint32_t frameSamples = RecordedSampleRate / FramesPerSecond;
  // Two and a half frames of sound from the second frame: a rising tone, so every frame differs.
  std::vector<int16_t> pcm = Tone(frameSamples * 5 / 2, 500, 8000);
  MemoryFile side = SoundFile(2, pcm);
  ASSERT_EQ(side.Bytes.size(), SoundHeaderSize + 5 * RecordedBlockSize);  // the half frame filled up
  FoundSound found = Find(MovieWithSound(5, &side));
  ASSERT_TRUE(found.Present);
  EXPECT_EQ(found.FramesPlayed, 5);
  EXPECT_EQ(found.Sound.Header.StartFrame, 2u);
  EXPECT_EQ(found.Sound.Header.SampleCount, 5 * RecordedBlockSamples);
  EXPECT_EQ(found.Sound.FrameSamples, frameSamples);
  EXPECT_EQ(found.Sound.BlockCount, 5u);
  std::vector<int16_t> decoded = RoundTrip(std::vector<int16_t>(pcm.begin(), pcm.begin() + 2 * frameSamples));
  EXPECT_TRUE(Silent(Frame(&found, 0)));
  EXPECT_TRUE(Silent(Frame(&found, 1)));
  std::vector<int16_t> second = Frame(&found, 2), third = Frame(&found, 3);
  EXPECT_TRUE(std::equal(second.begin(), second.end(), decoded.begin()));
  EXPECT_TRUE(std::equal(third.begin(), third.end(), decoded.begin() + frameSamples));
  // The half frame: its sound, then the silence that filled its last block.
  std::vector<int16_t> fourth = Frame(&found, 4);
  EXPECT_FALSE(Silent(std::vector<int16_t>(fourth.begin(), fourth.begin() + frameSamples / 2)));
  EXPECT_EQ(fourth[frameSamples / 2 + 100], 0);  // the decoder settles on zero within the silence
  EXPECT_TRUE(Silent(Frame(&found, 5)));
  EXPECT_TRUE(Silent(Frame(&found, -3)));
  EXPECT_TRUE(Silent(Frame(&found, INT32_MAX)));
}

TEST(SoundBlockTest, SoundFileCutOffByACrashKeepsItsWholeBlocks) {
  MemoryFile side = SoundFile(1, Tone(RecordedBlockSamples * 3, 700, 5000));
  side.Bytes.resize(side.Bytes.size() - 10);  // the last block cut short
  MovieSource source = side.Source();
  SoundHeader header;
  ASSERT_TRUE(OpenSoundFile(&source, &header));
  EXPECT_EQ(header.SampleCount, 2 * RecordedBlockSamples);
  FoundSound found = Find(MovieWithSound(2, &side));
  ASSERT_TRUE(found.Present);
  EXPECT_EQ(found.Sound.BlockCount, 2u);
  // Only the header, or not even that.
  side.Bytes.resize(SoundHeaderSize);
  source = side.Source();
  ASSERT_TRUE(OpenSoundFile(&source, &header));
  EXPECT_EQ(header.SampleCount, 0u);
  side.Bytes.resize(SoundHeaderSize - 1);
  source = side.Source();
  EXPECT_FALSE(OpenSoundFile(&source, &header));
}

TEST(SoundBlockTest, HeadersThatCannotBePlayedLeaveTheMovieSilent) {
  MemoryFile side = SoundFile(1, Tone(RecordedBlockSamples * 2, 700, 5000));
  MovieSource source = side.Source();
  SoundHeader good;
  ASSERT_TRUE(OpenSoundFile(&source, &good));
  struct Case {
    const char* Name;
    void (*Spoil)(SoundHeader*);
  } cases[] = {
      {"format", [](SoundHeader* h) { h->Format = 2; }},
      {"reserved", [](SoundHeader* h) { h->Reserved = 1; }},
      {"rate not a multiple of 5", [](SoundHeader* h) { h->SampleRate = 16001; }},
      {"rate too low", [](SoundHeader* h) { h->SampleRate = 7995; }},
      {"rate too high", [](SoundHeader* h) { h->SampleRate = 48005; }},
      {"block of its header alone", [](SoundHeader* h) { h->BlockSize = AdpcmHeaderSize; }},
      {"blocks across frames", [](SoundHeader* h) { h->BlockSize = 1004; }},
      {"block larger than a frame", [](SoundHeader* h) { h->BlockSize = MaxSoundBlockSize + 1; }},
  };
  for (const Case& c : cases) {
    SoundHeader header = good;
    c.Spoil(&header);
    EXPECT_FALSE(CheckSoundHeader(&header)) << c.Name;
  }
  // A header that claims more samples than its blocks hold, or fewer.
  for (uint32_t count : {good.SampleCount + 1, good.SampleCount - RecordedBlockSamples}) {
    std::vector<uint8_t> bytes = MovieWithSound(3, &side);
    // The SampleCount field lies 4 + 12 bytes behind the sound block's header: patch it in place.
    FoundSound honest = Find(bytes);
    ASSERT_TRUE(honest.Present);
    memcpy(&bytes[honest.Sound.DataOffset - SoundHeaderSize + 12], &count, 4);
    FoundSound found = Find(bytes);
    EXPECT_FALSE(found.Present) << count;
    EXPECT_EQ(found.FramesPlayed, 3);
  }
  // The largest rate with the largest block it allows is taken.
  SoundHeader highest = good;
  highest.SampleRate = 48000;
  highest.BlockSize = MaxSoundBlockSize;
  EXPECT_TRUE(CheckSoundHeader(&highest));
}

TEST(SoundBlockTest, SourceThatComesShortFailsTheWriter) {
  MemoryFile side = SoundFile(1, Tone(RecordedBlockSamples * 2, 700, 5000));
  MovieSource source = side.Source();
  SoundHeader header;
  ASSERT_TRUE(OpenSoundFile(&source, &header));
  header.SampleCount += RecordedBlockSamples;  // one block more than the file has
  TestWriter w(4, 2);
  WriteMovieEndRecord(&w.Writer);
  uint8_t buffer[4096];
  EXPECT_FALSE(WriteSoundBlock(&w.Writer, &header, &source, SoundHeaderSize, buffer, sizeof buffer));
  EXPECT_TRUE(w.Writer.Failed);
}

TEST(SoundBlockTest, SilenceAndSamplesMakeBlocksInOrder) {
  MemoryFile file;
  SoundFileWriter writer{};
  writer.Sink = file.Sink();
  ASSERT_TRUE(StartSoundFile(&writer, 7));
  std::vector<int16_t> loud(RecordedBlockSamples - 1, 9000);
  AddSound(&writer, nullptr, 1);
  AddSound(&writer, loud.data(), (uint32_t)loud.size());  // exactly fills the first block
  EXPECT_EQ(file.Bytes.size(), SoundHeaderSize + RecordedBlockSize);
  EXPECT_EQ(writer.Filled, 0u);
  EXPECT_TRUE(FinishSoundFile(&writer));  // nothing pending: nothing more
  EXPECT_EQ(file.Bytes.size(), SoundHeaderSize + RecordedBlockSize);
  EXPECT_EQ(writer.Samples, RecordedBlockSamples);
  std::vector<int16_t> pcm(RecordedBlockSamples);
  DecodeAdpcmBlock(&file.Bytes[SoundHeaderSize], RecordedBlockSize, pcm.data());
  EXPECT_EQ(pcm[0], 0);
  EXPECT_GT(pcm.back(), 8000);
}

}  // namespace
