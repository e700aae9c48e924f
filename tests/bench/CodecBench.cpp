// Speed of the frame codec against the limits it works within.
//
// The encoder's floor is reading the frame and the shadow from memory once; above that it adds the
// LZO1X-1 packing of the run list. A capture lands in memory the processor has not seen since the
// last tick, so every case rotates through frame/shadow pairs that together take several times the
// last-level cache (TAVREL_BENCH_MB, 256 by default), and the floor is measured on the same
// rotation in the same run. The decoder's floor is lzo1x_decompress_safe of the same payload plus
// writing the changed pixels once.
//
// Each measurement is paired with its floor in the same iterations; at the end the medians are set
// side by side as ratios (the raw times and counters are Google Benchmark's).
//
// True colour is measured on the same scenes beside 256 colours: its shadow holds a 32-bit colour a
// pixel, so its floor reads four times the shadow bytes, and its runs carry three bytes a pixel.
#include <benchmark/benchmark.h>
#include <immintrin.h>
#include <lzo/lzo1x.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Codec.h"
#include "EncoderPath.h"
#include "LZO.h"
#include "ReferenceCodec.h"
#include "Scenes.h"
#include "UTypes.h"

namespace {

// ---- Scenes ---------------------------------------------------------------------------------------

enum SceneId { Unchanged, Typing, Scroll, AllChanged, Typing1366, Sparse31, Sparse32, Sparse33, FirstFrame, SceneCount };

struct SceneInfo {
  const char* Name;
  uint32_t Width, Height;
};

const SceneInfo Infos[SceneCount] = {
    {"unchanged", 1920, 1080},  {"typing_200x30", 1920, 1080}, {"scroll_20_rows", 1920, 1080},
    {"all_changed", 1920, 1080}, {"typing_1366x768", 1366, 768}, {"sparse_gap31", 1920, 1080},
    {"sparse_gap32", 1920, 1080}, {"sparse_gap33", 1920, 1080}, {"first_frame", 1920, 1080},
};

struct FreeDeleter {
  void operator()(void* p) const { free(p); }
};

template <typename T>
std::unique_ptr<T[], FreeDeleter> PageAligned(size_t count) {
  size_t bytes = (count * sizeof(T) + 4095) / 4096 * 4096;
  return std::unique_ptr<T[], FreeDeleter>((T*)aligned_alloc(4096, bytes));
}

// One frame/shadow pair of the rotation. Each encode shows the slot the other of its two pictures,
// so every encode sees the scene's change (A to B, then B back to A).
struct Slot {
  std::unique_ptr<uint32_t[], FreeDeleter> Pictures[2];
  std::unique_ptr<uint8_t[], FreeDeleter> Shadow;     // 256 colours
  std::unique_ptr<uint32_t[], FreeDeleter> Colours;   // true colour
  int Next = 1;
};

struct Scene {
  SceneId Id;
  bool TrueColour;
  uint32_t PixelBytes;
  uint32_t N;
  Picture A, B;
  std::vector<Slot> Slots;
  size_t Turn = 0;
  // Run lists and payloads of the change A->B and B->A.
  std::vector<uint8_t> List[2], Packed[2];
  uint32_t ListLength[2] = {0, 0};
  int32_t PayloadLength[2] = {0, 0};
};

void MakePictures(Scene& s) {
  const SceneInfo& info = Infos[s.Id];
  uint32_t w = info.Width, h = info.Height;
  switch (s.Id) {
    case Scroll:
      DrawTextWindow(s.A, w, h, 20, 0);
      DrawTextWindow(s.B, w, h, 40, 0);
      break;
    case AllChanged:
      DrawMotion(s.A, w, h, 0);
      s.B = s.A;
      for (uint32_t& p : s.B) p ^= 0x00E0E0C0;  // every code differs
      break;
    default:
      DrawTextWindow(s.A, w, h, 0, 30);
      s.B = s.A;
      if (s.Id == Typing || s.Id == Typing1366) RetypeBox(s.B, w, 60 + 30 * 9, h / 2 - 5, 1);
      if (s.Id == Sparse31 || s.Id == Sparse32 || s.Id == Sparse33) {
        uint32_t gap = 31 + (s.Id - Sparse31);  // unchanged pixels between two changed ones
        for (uint32_t i = 0; i < s.N; i += gap + 1) s.B[i] ^= 0x00800000;
      }
      break;
  }
}

std::unique_ptr<Scene> Current;

// Builds the run list of one picture against a shadow of either depth, with the reference encoder.
uint32_t ReferenceRuns(const Scene& s, const uint32_t* picture, uint8_t* shadow, uint32_t* colours, uint8_t* list) {
  return s.TrueColour ? ReferenceBuildRunList(picture, colours, s.N, list)
                      : ReferenceBuildRunList(picture, shadow, s.N, list);
}

Scene& SceneFor(SceneId id, bool trueColour) {
  if (Current && Current->Id == id && Current->TrueColour == trueColour) return *Current;
  Current.reset();  // one scene's rotation in memory at a time
  Current.reset(new Scene);
  Scene& s = *Current;
  s.Id = id;
  s.TrueColour = trueColour;
  s.PixelBytes = trueColour ? ColourBytes : CodeBytes;
  s.N = Infos[id].Width * Infos[id].Height;
  MakePictures(s);
  const char* mb = getenv("TAVREL_BENCH_MB");
  size_t rotation = (size_t)(mb ? atoi(mb) : 256) << 20;
  size_t slotBytes = (size_t)s.N * (trueColour ? 12 : 9);
  size_t count = std::max<size_t>(3, (rotation + slotBytes - 1) / slotBytes);
  s.Slots.resize(count);
  for (Slot& slot : s.Slots) {
    slot.Pictures[0] = PageAligned<uint32_t>(s.N);
    memcpy(slot.Pictures[0].get(), s.A.data(), s.N * 4);
    slot.Pictures[1] = PageAligned<uint32_t>(s.N);
    memcpy(slot.Pictures[1].get(), s.B.data(), s.N * 4);
    if (trueColour)
      slot.Colours = PageAligned<uint32_t>(s.N);
    else
      slot.Shadow = PageAligned<uint8_t>(s.N);
  }
  // The two run lists and payloads, made with the reference encoder.
  std::vector<uint8_t> shadow(s.N, 0), work(LzoWorkSize);
  std::vector<uint32_t> colours(s.N, 0);
  for (int k = 0; k < 2; k++) {
    const Picture& from = k == 0 ? s.A : s.B;
    const Picture& to = id == FirstFrame ? s.A : k == 0 ? s.B : s.A;
    s.List[k].resize(RunListBufferSize(s.N, s.PixelBytes));
    s.Packed[k].resize(PackedBufferSize(s.N, s.PixelBytes));
    std::fill(shadow.begin(), shadow.end(), 0);
    std::fill(colours.begin(), colours.end(), 0);
    if (id != FirstFrame) ReferenceRuns(s, from.data(), shadow.data(), colours.data(), s.List[k].data());
    s.ListLength[k] = ReferenceRuns(s, to.data(), shadow.data(), colours.data(), s.List[k].data());
    s.PayloadLength[k] = s.ListLength[k] ? PackRunList(s.List[k].data(), s.ListLength[k], s.Packed[k].data(), work.data()) : 0;
  }
  return s;
}

// Clears a slot's shadow: all black.
void ClearShadow(const Scene& s, Slot& slot) {
  if (s.TrueColour)
    memset(slot.Colours.get(), 0, (size_t)s.N * 4);
  else
    memset(slot.Shadow.get(), 0, s.N);
}

// Sets every slot's shadow to the codes (colours) of the picture it showed last (A), ready for B.
void Prime(Scene& s) {
  std::vector<uint8_t> list(RunListBufferSize(s.N, s.PixelBytes));
  for (Slot& slot : s.Slots) {
    ClearShadow(s, slot);
    if (s.Id != FirstFrame) ReferenceRuns(s, slot.Pictures[0].get(), slot.Shadow.get(), slot.Colours.get(), list.data());
    slot.Next = s.Id == FirstFrame ? 0 : 1;
  }
  s.Turn = 0;
}

// The next slot of the rotation and the picture to show it. The first-frame scene always shows A
// against a shadow cleared outside the timed part.
Slot& NextSlot(Scene& s, const uint32_t** picture) {
  Slot& slot = s.Slots[s.Turn++ % s.Slots.size()];
  *picture = slot.Pictures[slot.Next].get();
  if (s.Id == FirstFrame)
    ClearShadow(s, slot);
  else
    slot.Next ^= 1;
  return slot;
}

double Seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

void SetBytes(benchmark::State& state, const Scene& s) {
  state.counters["run_list_bytes"] = s.ListLength[0];
  state.counters["payload_bytes"] = s.PayloadLength[0];
}

// Reading the picture and the shadow once, in the order the encoder reads them (128 bytes of
// pixels and their 32 shadow bytes at a time) with the widest loads the machine has: the least any
// encoder must do.
__attribute__((target("avx2"), noinline)) uint64_t ReadOnceAvx2(const uint32_t* picture, const uint8_t* shadow,
                                                                 uint32_t n) {
  __m256i a = _mm256_setzero_si256(), b = a;
  for (uint32_t i = 0; i + 32 <= n; i += 32) {
    const __m256i* p = (const __m256i*)(picture + i);
    a = _mm256_or_si256(a, _mm256_or_si256(_mm256_loadu_si256(p), _mm256_loadu_si256(p + 1)));
    b = _mm256_or_si256(b, _mm256_or_si256(_mm256_loadu_si256(p + 2), _mm256_loadu_si256(p + 3)));
    a = _mm256_or_si256(a, _mm256_loadu_si256((const __m256i*)(shadow + i)));
  }
  return (uint64_t)_mm256_movemask_epi8(_mm256_or_si256(a, b));
}

__attribute__((noinline)) uint64_t ReadOnceSse2(const uint32_t* picture, const uint8_t* shadow, uint32_t n) {
  __m128i a = _mm_setzero_si128(), b = a;
  for (uint32_t i = 0; i + 32 <= n; i += 32) {
    const __m128i* p = (const __m128i*)(picture + i);
    for (int k = 0; k < 8; k += 2) {
      a = _mm_or_si128(a, _mm_loadu_si128(p + k));
      b = _mm_or_si128(b, _mm_loadu_si128(p + k + 1));
    }
    a = _mm_or_si128(a, _mm_loadu_si128((const __m128i*)(shadow + i)));
    b = _mm_or_si128(b, _mm_loadu_si128((const __m128i*)(shadow + i + 16)));
  }
  return (uint64_t)_mm_movemask_epi8(_mm_or_si128(a, b));
}

uint64_t ReadOnce(const uint32_t* picture, const uint8_t* shadow, uint32_t n) {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2 ? ReadOnceAvx2(picture, shadow, n) : ReadOnceSse2(picture, shadow, n);
}

// The true-colour floor: the picture and a shadow of as many colours, read once side by side.
__attribute__((target("avx2"), noinline)) uint64_t ReadColoursOnce(const uint32_t* picture, const uint32_t* colours,
                                                                    uint32_t n) {
  __m256i a = _mm256_setzero_si256(), b = a;
  for (uint32_t i = 0; i + 16 <= n; i += 16) {
    const __m256i *p = (const __m256i*)(picture + i), *c = (const __m256i*)(colours + i);
    a = _mm256_or_si256(a, _mm256_or_si256(_mm256_loadu_si256(p), _mm256_loadu_si256(p + 1)));
    b = _mm256_or_si256(b, _mm256_or_si256(_mm256_loadu_si256(c), _mm256_loadu_si256(c + 1)));
  }
  return (uint64_t)_mm256_movemask_epi8(_mm256_or_si256(a, b));
}

uint64_t ReadSlotOnce(const Scene& s, const Slot& slot) {
  return s.TrueColour ? ReadColoursOnce(slot.Pictures[0].get(), slot.Colours.get(), s.N)
                      : ReadOnce(slot.Pictures[0].get(), slot.Shadow.get(), s.N);
}

// ---- Encoder --------------------------------------------------------------------------------------
//
// Each iteration times, one after the other, the floor (reading a cold frame/shadow pair of the
// rotation), the encoder (on another cold pair) and LZO1X-1 on the case's run list (in cache, as
// the encoder's own run list is when it packs it). Pairing them makes their ratio hold even on a
// machine whose other work slows a whole stretch of the run.

enum Encoder { Fast, FastSse2, FastScalar, Reference };

void BM_Encode(benchmark::State& state, SceneId id, Encoder encoder, bool trueColour) {
  Scene& s = SceneFor(id, trueColour);
  if (encoder == FastSse2 && !SetEncoderPath(EncoderPathSse2)) return state.SkipWithError("no SSE2 path");
  if (encoder == FastScalar) SetEncoderPath(EncoderPathScalar);
  std::vector<uint8_t> list(RunListBufferSize(s.N, s.PixelBytes)), packed(PackedBufferSize(s.N, s.PixelBytes)),
      work(LzoWorkSize);
  Prime(s);
  double floorSeconds = 0, lzoSeconds = 0;
  int k = 0;
  for (auto _ : state) {
    // The floor reads the pair half a rotation ahead, long evicted again when its turn comes.
    const Slot& ahead = s.Slots[(s.Turn + s.Slots.size() / 2) % s.Slots.size()];
    auto t0 = std::chrono::steady_clock::now();
    uint64_t sum = ReadSlotOnce(s, ahead);
    auto t1 = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(sum);
    floorSeconds += Seconds(t0, t1);

    const uint32_t* picture;
    Slot& slot = NextSlot(s, &picture);
    auto t2 = std::chrono::steady_clock::now();
    int32_t payload;
    if (encoder == Reference) {
      uint32_t length = ReferenceRuns(s, picture, slot.Shadow.get(), slot.Colours.get(), list.data());
      payload = length ? PackRunList(list.data(), length, packed.data(), work.data()) : 0;
    } else if (trueColour) {
      payload = EncodeFrame(picture, slot.Colours.get(), s.N, list.data(), packed.data(), work.data());
    } else {
      payload = EncodeFrame(picture, slot.Shadow.get(), s.N, list.data(), packed.data(), work.data());
    }
    auto t3 = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(payload);
    state.SetIterationTime(Seconds(t2, t3));

    if (s.ListLength[k]) {
      auto t4 = std::chrono::steady_clock::now();
      int32_t length = PackRunList(s.List[k].data(), s.ListLength[k], packed.data(), work.data());
      auto t5 = std::chrono::steady_clock::now();
      benchmark::DoNotOptimize(length);
      lzoSeconds += Seconds(t4, t5);
    }
    k ^= 1;
  }
  SetEncoderPath(EncoderPathAuto);
  SetBytes(state, s);
  state.counters["floor_us"] = benchmark::Counter(floorSeconds * 1e6, benchmark::Counter::kAvgIterations);
  state.counters["lzo_us"] = benchmark::Counter(lzoSeconds * 1e6, benchmark::Counter::kAvgIterations);
}

// ---- Decoder --------------------------------------------------------------------------------------

// The player's per-record work (unpack the payload, apply the run list to the frame buffer), each
// iteration paired with the least the player could do: lzo1x_decompress_safe of the same payload,
// then one store per changed pixel, the runs located beforehand and one colour per run.
void BM_Decode(benchmark::State& state, SceneId id, bool trueColour) {
  Scene& s = SceneFor(id, trueColour);
  std::vector<uint8_t> list(RunListBufferSize(s.N, s.PixelBytes));
  std::vector<uint32_t> frame(s.N, 0);
  std::vector<std::pair<uint32_t, uint32_t>> runs[2];
  for (int k = 0; k < 2; k++)
    for (uint32_t q = 0; q < s.ListLength[k];) {
      uint32_t start, count;
      memcpy(&start, s.List[k].data() + q, 4);
      memcpy(&count, s.List[k].data() + q + 4, 4);
      runs[k].push_back({start, count});
      q += RunHeaderSize + count * s.PixelBytes;
    }
  double floorSeconds = 0;
  int k = 0;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    lzo_uint length = list.size();
    int result = lzo1x_decompress_safe(s.Packed[k].data(), (lzo_uint)s.PayloadLength[k], list.data(), &length, nullptr);
    benchmark::DoNotOptimize(result);
    uint32_t colour = list[8] | 0x00FFFF00u;
    for (const auto& run : runs[k]) std::fill_n(frame.data() + run.first, run.second, colour);
    benchmark::ClobberMemory();
    auto t1 = std::chrono::steady_clock::now();
    floorSeconds += Seconds(t0, t1);

    int32_t unpacked = UnpackPayload(s.Packed[k].data(), (uint32_t)s.PayloadLength[k], list.data(), (uint32_t)list.size());
    bool applied = ApplyRunList(list.data(), (uint32_t)unpacked, frame.data(), s.N, s.PixelBytes);
    benchmark::DoNotOptimize(applied);
    benchmark::ClobberMemory();
    auto t2 = std::chrono::steady_clock::now();
    state.SetIterationTime(Seconds(t1, t2));
    k ^= 1;
  }
  SetBytes(state, s);
  state.counters["floor_us"] = benchmark::Counter(floorSeconds * 1e6, benchmark::Counter::kAvgIterations);
}

// ---- Ratios ---------------------------------------------------------------------------------------

// Collects the median (or the only) time and paired floors of every benchmark for the table printed
// at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(OO_Tabular) {}

  struct Figures {
    double Time = 0, Floor = 0, Lzo = 0;  // microseconds
  };
  std::map<std::string, Figures> Results;

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      if (!median && !single) continue;
      Figures& f = Results[run.run_name.function_name];
      f.Time = run.GetAdjustedRealTime() * NanosecondsPer(run.time_unit) / 1e3;
      auto floor = run.counters.find("floor_us"), lzo = run.counters.find("lzo_us");
      if (floor != run.counters.end()) f.Floor = floor->second.value;
      if (lzo != run.counters.end()) f.Lzo = lzo->second.value;
    }
  }

  static double NanosecondsPer(benchmark::TimeUnit unit) {
    switch (unit) {
      case benchmark::kSecond: return 1e9;
      case benchmark::kMillisecond: return 1e6;
      case benchmark::kMicrosecond: return 1e3;
      default: return 1;
    }
  }

  Figures Get(const std::string& name) const {
    auto it = Results.find(name);
    return it == Results.end() ? Figures() : it->second;
  }
};

// Time over (floor + LZO time) of the same iterations.
double OverLimit(const RatioReporter::Figures& f) {
  return f.Floor + f.Lzo > 0 ? f.Time / (f.Floor + f.Lzo) : 0;
}

void PrintRatios(const RatioReporter& r) {
  const char* path = ActiveEncoderPath() == EncoderPathAvx2 ? "AVX2" : ActiveEncoderPath() == EncoderPathSse2 ? "SSE2" : "scalar";
  for (const char* depth : {"", "/true_colour"}) {
    printf("\nMedians in microseconds, %s; fast = the path chosen here (%s)\n", *depth ? "true colour" : "256 colours",
           path);
    printf("%-16s %6s %6s %6s %6s | %8s %8s %8s %8s | %7s %7s %6s\n", "case", "floor", "lzo", "fast", "ref", "fast/lim",
           "sse2/lim", "scal/lim", "ref/fast", "decode", "dec_flr", "ratio");
    for (int i = 0; i < SceneCount; i++) {
      std::string scene = Infos[i].Name + std::string(depth);
      RatioReporter::Figures fast = r.Get("encode/" + scene + "/fast"), sse2 = r.Get("encode/" + scene + "/sse2");
      RatioReporter::Figures scalar = r.Get("encode/" + scene + "/scalar"), ref = r.Get("encode/" + scene + "/reference");
      RatioReporter::Figures decode = r.Get("decode/" + scene);
      if (fast.Time == 0 && decode.Time == 0) continue;  // not run (a filter)
      printf("%-16s %6.0f %6.0f %6.0f %6.0f | %8.2f %8.2f %8.2f %8.2f | %7.1f %7.1f %6.2f\n", Infos[i].Name, fast.Floor,
             fast.Lzo, fast.Time, ref.Time, OverLimit(fast), OverLimit(sse2), OverLimit(scalar),
             fast.Time > 0 ? ref.Time / fast.Time : 0, decode.Time, decode.Floor,
             decode.Floor > 0 ? decode.Time / decode.Floor : 0);
    }
  }
  printf("floor: reading frame and shadow once (a code a pixel, or a colour a pixel at true colour); lim: floor +\n"
         "LZO1X-1 time of the run list, both measured in the same iterations as the encoder; ref/fast: how many\n"
         "times faster than the reference encoder; decode ratio: decoder / (lzo1x_decompress_safe + one store per\n"
         "changed pixel), paired likewise.\n");
}

void Register() {
  const int repetitions = getenv("TAVREL_BENCH_REPETITIONS") ? atoi(getenv("TAVREL_BENCH_REPETITIONS")) : 5;
  const double minTime = getenv("TAVREL_BENCH_MIN_TIME") ? atof(getenv("TAVREL_BENCH_MIN_TIME")) : 0.1;
  auto setup = [&](benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMicrosecond)->MinTime(minTime)->Repetitions(repetitions)->ReportAggregatesOnly(true)->UseManualTime();
  };
  const struct {
    const char* Name;
    Encoder Which;
  } encoders[] = {{"fast", Fast}, {"sse2", FastSse2}, {"scalar", FastScalar}, {"reference", Reference}};
  for (bool trueColour : {false, true}) {
    for (int i = 0; i < SceneCount; i++) {
      SceneId id = (SceneId)i;
      std::string scene = Infos[id].Name + std::string(trueColour ? "/true_colour" : "");
      for (const auto& e : encoders)
        setup(benchmark::RegisterBenchmark(("encode/" + scene + "/" + e.Name).c_str(), BM_Encode, id, e.Which,
                                           trueColour));
      if (id != Unchanged)  // nothing to unpack
        setup(benchmark::RegisterBenchmark(("decode/" + scene).c_str(), BM_Decode, id, trueColour));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  Register();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintRatios(reporter);
  benchmark::Shutdown();
  return 0;
}
