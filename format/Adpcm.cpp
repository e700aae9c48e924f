// IMA ADPCM: the standard step and index tables; the encoder quantises each difference with the
// decoder's own arithmetic, so that its predictor is exactly what the decoder will reconstruct.
#include "Adpcm.h"

namespace {

const int16_t Steps[AdpcmMaxStepIndex + 1] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

// The decoder's step: applies one code to the state. Only the code's low four bits are looked at.
void Apply(AdpcmState* state, uint32_t code) {
  int32_t step = Steps[state->StepIndex];
  int32_t difference = step >> 3;
  if (code & 4) difference += step;
  if (code & 2) difference += step >> 1;
  if (code & 1) difference += step >> 2;
  int32_t sample = state->Predictor + (code & 8 ? -difference : difference);
  state->Predictor = (int16_t)(sample > 32767 ? 32767 : sample < -32768 ? -32768 : sample);
  // The index moves by -1 for the codes 0 to 3, and by 2, 4, 6, 8 for 4 to 7.
  int32_t index = state->StepIndex + (code & 4 ? (code & 3) * 2 + 2 : -1);
  state->StepIndex = (uint8_t)(index < 0 ? 0 : index > AdpcmMaxStepIndex ? AdpcmMaxStepIndex : index);
}

}  // namespace

void EncodeAdpcmBlock(AdpcmState* state, const int16_t* pcm, uint8_t* block, uint32_t blockSize) {
  block[0] = (uint8_t)state->Predictor;
  block[1] = (uint8_t)((uint16_t)state->Predictor >> 8);
  block[2] = state->StepIndex;
  block[3] = 0;
  uint32_t count = AdpcmBlockSamples(blockSize);
  for (uint32_t i = 0; i < count; i++) {
    int32_t difference = pcm[i] - state->Predictor;
    uint32_t code = 0;
    if (difference < 0) {
      code = 8;
      difference = -difference;
    }
    int32_t step = Steps[state->StepIndex];
    for (uint32_t bit = 4; bit; bit >>= 1, step >>= 1)
      if (difference >= step) {
        code |= bit;
        difference -= step;
      }
    Apply(state, code);
    uint8_t* byte = block + AdpcmHeaderSize + i / 2;
    *byte = i & 1 ? (uint8_t)(*byte | code << 4) : (uint8_t)code;
  }
}

void DecodeAdpcmBlock(const uint8_t* block, uint32_t blockSize, int16_t* pcm) {
  AdpcmState state{(int16_t)(block[0] | block[1] << 8), block[2]};
  bool damaged = block[2] > AdpcmMaxStepIndex || block[3];
  uint32_t count = AdpcmBlockSamples(blockSize);
  for (uint32_t i = 0; i < count; i++) {
    if (!damaged) Apply(&state, block[AdpcmHeaderSize + i / 2] >> (i & 1) * 4);
    pcm[i] = damaged ? 0 : state.Predictor;
  }
}
