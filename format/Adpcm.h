// Adpcm: IMA ADPCM, 4 bits a sample, mono, in blocks that decode on their own: each block starts with
// the decoder's state (the sample before its first one and the step index), so that any block can be
// decoded without those before it. Portable and small: the player decodes with it.
//
//   +0  Predictor  i16  the decoder's sample before the block's first sample
//   +2  StepIndex  u8   0 ... 88
//   +3  Reserved   u8   0
//   +4  codes           two samples a byte, the earlier one in the low four bits
#pragma once
#include <stdint.h>

const uint32_t AdpcmHeaderSize = 4;
const uint8_t AdpcmMaxStepIndex = 88;

// Samples in a block of blockSize bytes (header included).
inline uint32_t AdpcmBlockSamples(uint32_t blockSize) { return (blockSize - AdpcmHeaderSize) * 2; }

// The encoder's state, carried from block to block so that the blocks join without a seam.
struct AdpcmState {
  int16_t Predictor;
  uint8_t StepIndex;
};

// Encodes AdpcmBlockSamples(blockSize) samples of pcm into one block of blockSize bytes.
void EncodeAdpcmBlock(AdpcmState* state, const int16_t* pcm, uint8_t* block, uint32_t blockSize);

// Decodes one block of blockSize bytes into AdpcmBlockSamples(blockSize) samples. A block whose header
// is damaged (step index beyond 88, reserved byte set) decodes as silence.
void DecodeAdpcmBlock(const uint8_t* block, uint32_t blockSize, int16_t* pcm);
