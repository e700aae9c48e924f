// The code paths of the frame encoder. BuildRunList picks the widest one the processor and the
// operating system can run the first time it is called; tests and the benchmark force each one in
// turn to check that they all write the same bytes.
#pragma once

enum EncoderPath {
  EncoderPathAuto,    // the best path this machine runs
  EncoderPathScalar,  // portable C, one pixel at a time within a block
  EncoderPathSse2,    // 16 pixels per instruction sequence; every x86 processor that runs the recorder has it
  EncoderPathAvx2,    // 32 pixels at a time, chosen only where the processor and the OS support AVX2
};

// Makes BuildRunList use the path; EncoderPathAuto goes back to the best one. Returns false, and
// changes nothing, when this machine cannot run the path.
bool SetEncoderPath(EncoderPath path);

// The path BuildRunList uses now (never EncoderPathAuto).
EncoderPath ActiveEncoderPath();
