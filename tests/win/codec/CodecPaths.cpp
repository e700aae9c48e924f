// Runs every encoder path this processor supports on a thread created the way the recorder creates
// its capture thread, over randomised screen-like frame sequences, and compares run lists, shadows
// and payloads with the reference encoder. Prints one line per path and "N passed, N failed".
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include <vector>

#include "Codec.h"
#include "EncoderPath.h"
#include "LZO.h"
#include "ReferenceCodec.h"

namespace {

uint32_t Seed = 1;
uint32_t Random() {
  Seed = Seed * 1103515245u + 12345u;
  return Seed >> 8 ^ Seed << 13;
}

// Returns the number of the first frame that differs, or 0.
int CheckSequence(uint32_t width, uint32_t height) {
  uint32_t n = width * height;
  std::vector<uint32_t> frame(n, 0x00FFFFFF);
  std::vector<uint8_t> refShadow(n, 0), fastShadow(n, 0), refList(RunListBufferSize(n)), fastList(RunListBufferSize(n));
  std::vector<uint8_t> refPacked(PackedBufferSize(n)), fastPacked(PackedBufferSize(n)), work(LzoWorkSize);
  for (int k = 1; k <= 30; k++) {
    switch (Random() % 4) {
      case 0:  // a block of new colour
        for (uint32_t i = Random() % n, end = i + Random() % 3000; i < end && i < n; i++) frame[i] = 0x00204080 * (k & 3);
        break;
      case 1:  // scattered pixels 1 to 40 apart
        for (uint32_t i = Random() % 40; i < n; i += 1 + Random() % 40) frame[i] = Random();
        break;
      case 2:  // only bits the codes drop
        for (uint32_t i = 0; i < n; i++) frame[i] ^= Random() & 0xFF1F1F3F;
        break;
      default:  // first and last pixel
        frame[0] ^= 0x00800000;
        frame[n - 1] ^= 0x00000080;
        break;
    }
    uint32_t refLength = ReferenceBuildRunList(frame.data(), refShadow.data(), n, refList.data());
    int32_t refPayload = refLength ? PackRunList(refList.data(), refLength, refPacked.data(), work.data()) : 0;
    int32_t fastPayload = EncodeFrame(frame.data(), fastShadow.data(), n, fastList.data(), fastPacked.data(), work.data());
    if (refShadow != fastShadow || memcmp(refList.data(), fastList.data(), refLength) != 0 || refPayload != fastPayload ||
        memcmp(refPacked.data(), fastPacked.data(), (size_t)refPayload) != 0)
      return k;
  }
  return 0;
}

struct Job {
  EncoderPath Path;
  int Failures;
};

DWORD WINAPI CheckPath(void* parameter) {
  Job* job = (Job*)parameter;
  SetEncoderPath(job->Path);
  const uint32_t sizes[][2] = {{1, 1}, {33, 1}, {64, 3}, {97, 41}, {1366, 20}, {1920, 30}};
  for (const auto& size : sizes) {
    int frame = CheckSequence(size[0], size[1]);
    if (frame) {
      printf("  %ux%u: frame %d differs from the reference\n", size[0], size[1], frame);
      job->Failures++;
    }
  }
  return 0;
}

}  // namespace

int main() {
  const struct {
    EncoderPath Path;
    const char* Name;
  } paths[] = {{EncoderPathScalar, "scalar"}, {EncoderPathSse2, "SSE2"}, {EncoderPathAvx2, "AVX2"}};
  int passed = 0, failed = 0;
  for (const auto& p : paths) {
    if (!SetEncoderPath(p.Path)) {
      printf("%s: not supported here, skipped\n", p.Name);
      continue;
    }
    Job job = {p.Path, 0};
    HANDLE thread = CreateThread(nullptr, 0, CheckPath, &job, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    printf("%s: %s\n", p.Name, job.Failures ? "differs from the reference" : "agrees with the reference");
    (job.Failures ? failed : passed)++;
  }
  SetEncoderPath(EncoderPathAuto);
  printf("%d passed, %d failed\n", passed, failed);
  fflush(stdout);
  return failed ? 1 : 0;
}
