// Time to go to the last frame of a long, busy movie: a 1920 x 1080 text page scrolled a few rows at
// every one of TAVREL_SEEK_RECORDS records (3000 by default, ten minutes of recording), held in
// memory. "replay" goes there from the first record, as every seek did before the reader kept
// snapshots; "snapshots" goes there with the player's snapshot budget filled by one playing-through,
// from the nearest snapshot. The counters give the snapshots' memory and the records replayed.
//   build/native/tests/bench/seek_bench [--benchmark_repetitions=5]
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <stdlib.h>

#include <vector>

#include "Scenes.h"
#include "TestSupport.h"

namespace {

const uint32_t Width = 1920, Height = 1080;
// The player's budget (player/Reader.cpp): 64 MiB and at most 64 snapshots.
const uint64_t SnapshotBudget = 64u << 20;
const uint32_t MaxSnapshots = 64;

const std::vector<uint8_t>& LongMovie() {
  static std::vector<uint8_t> movie;
  if (movie.empty()) {
    const char* records = getenv("TAVREL_SEEK_RECORDS");
    int32_t count = records ? atoi(records) : 3000;
    TestWriter writer(int32_t(Width), int32_t(Height), "seek");
    Picture page(Width * Height);
    for (int32_t k = 0; k < count; k++) {
      DrawTextWindow(page, Width, Height, uint32_t(k) * 3, uint32_t(k % 40));
      writer.Frame(page, 0, k % 1900, 500);
    }
    movie = writer.Finish();
  }
  return movie;
}

void BM_SeekToLastFrame(benchmark::State& state, bool snapshots) {
  MemoryFile file;
  file.Bytes = LongMovie();
  TestReader t;
  if (!t.Open(&file)) {
    state.SkipWithError("the movie does not open");
    return;
  }
  int32_t last = t.Reader.Trailer.FrameCount;
  std::vector<uint64_t> memory;
  if (snapshots) {
    uint32_t slots = MaxSnapshots;
    while (slots && SnapshotMemorySize(&t.Reader, slots) > SnapshotBudget) slots--;
    memory.resize(SnapshotMemorySize(&t.Reader, slots) / 8 + 1);
    UseSnapshotMemory(&t.Reader, memory.data(), slots);
    SeekMovieReader(&t.Reader, last);  // the playing-through that fills them
  }
  for (auto _ : state) {
    RewindMovieReader(&t.Reader);
    SeekMovieReader(&t.Reader, last);
    if (t.Reader.CurrentFrame != last) {
      fprintf(stderr, "the seek stopped at frame %d of %d\n", t.Reader.CurrentFrame, last);
      abort();  // the smoke run in ctest must fail on it
    }
  }
  const MovieSnapshot* nearest = nullptr;
  for (uint32_t i = 0; i < t.Reader.SnapshotSlots; i++)
    if (t.Reader.Snapshots[i].Frame) nearest = &t.Reader.Snapshots[i];
  state.counters["records"] = last;
  state.counters["movie_MB"] = double(file.Bytes.size()) / (1 << 20);
  state.counters["snapshot_MB"] = double(memory.size() * 8) / (1 << 20);
  state.counters["replayed"] = last - (nearest ? nearest->Frame : 0);
}

BENCHMARK_CAPTURE(BM_SeekToLastFrame, replay, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SeekToLastFrame, snapshots, true)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
