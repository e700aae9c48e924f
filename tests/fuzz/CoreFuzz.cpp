// Fuzz target of the browser page's core: web/Core.cpp compiled natively, its module memory an arena
// that grows in 64 KiB pages like WebAssembly's (at most ArenaLimit), driven as the page drives it.
// The input (FuzzInput.h) is a list of actions and a movie stream; the page is handed the movie file
// (the stream behind a player). After TavrelOpen and a scan in slices, the actions step, seek and
// rewind, and every call is held to what web/decode.js and web/controls.js take from it:
//   - ReadMovieBytes is asked for bytes of the file only, into the module's memory;
//   - the state: a positive frame size, FrameCount >= 0, a known Problem with ProblemFrame within the
//     frames, a title that ends in its field; the steps' descriptions lie in the module's memory;
//   - a step gives a record (CurrentFrame up by one) until FrameCount, then -1 staying put;
//   - a seek to n (clamped to 0..FrameCount as the page clamps it) shows frame n, and the picture
//     equals the one reached by stepping from a rewind (the keys' labels too, where the cursor they
//     keep clear of is the same: see Seen); the picture's pixels are opaque;
//   - the play time is short ASCII text; the sound, when there is some, is a frame of samples in
//     the module's memory for any frame asked.
// Memory beyond what the core took is poisoned, so that AddressSanitizer sees reads past the arena.
#include <math.h>
#include <sanitizer/asan_interface.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "FuzzInput.h"

// The module's memory. WebAssembly addresses count from 0 and memory.size is in pages from there;
// natively the arena begins at a page boundary, so the same arithmetic holds with its address added.
extern "C" uint8_t* FuzzHeapBase;
uint64_t FuzzMemoryPages();
size_t FuzzMemoryGrow(size_t pages);
#define __heap_base (*FuzzHeapBase)
#define __builtin_wasm_memory_size(index) FuzzMemoryPages()
#define __builtin_wasm_memory_grow(index, pages) FuzzMemoryGrow(pages)
#include "Core.cpp"
#undef __heap_base
#undef __builtin_wasm_memory_size
#undef __builtin_wasm_memory_grow

namespace {

const uint64_t ArenaLimit = 16u << 20;  // a page in a small browser tab; larger movies are OpenNoMemory
uint64_t ArenaPages;                    // grown so far
FuzzMovieFile MovieFile;

uint64_t ArenaEnd() { return (uint64_t)(uintptr_t)FuzzHeapBase + (ArenaPages << 16); }

bool InArena(const void* p, uint64_t size) {
  uint64_t at = (uint64_t)(uintptr_t)p;
  return at >= (uint64_t)(uintptr_t)FuzzHeapBase && at + size <= ArenaEnd();
}

// Memory the module has: the arena as far as it has grown, or the stack and data in front of the heap
// (natively elsewhere, where AddressSanitizer watches them).
bool InModule(const void* p, uint64_t size) {
  uint64_t at = (uint64_t)(uintptr_t)p, base = (uint64_t)(uintptr_t)FuzzHeapBase;
  return at + size <= base || at >= base + ArenaLimit || InArena(p, size);
}

// The state as the page reads it, checked.
const PageState& CheckedState() {
  const PageState& s = *TavrelState();
  Require(s.Width > 0 && s.Height > 0 && (uint64_t)s.Width * (uint64_t)s.Height <= MaxFramePixels);
  Require(s.FrameCount >= 0 && s.CurrentFrame >= 0 && s.CurrentFrame <= s.FrameCount);
  Require(s.Problem >= ProblemNone && s.Problem <= ProblemNoTrailer);
  Require(s.Problem == ProblemNone ? s.ProblemFrame == 0 : s.ProblemFrame >= 0 && s.ProblemFrame <= s.FrameCount);
  Require(memchr(s.Title, 0, TitleSize) != nullptr);
  return s;
}

// The pixels of a picture whose alpha byte is not 255.
__attribute__((no_sanitize("coverage"), noinline)) uint32_t SeeThrough(const uint8_t* picture, uint32_t pixels) {
  uint32_t count = 0;
  for (uint32_t i = 0; i < pixels; i++) count += picture[i * 4 + 3] != 255;
  return count;
}

// The picture, checked opaque, and its hash.
uint64_t ShownPicture(const PageState& s) {
  uint32_t pixels = (uint32_t)s.Width * (uint32_t)s.Height;
  const uint8_t* picture = TavrelPicture();
  Require(InArena(picture, (uint64_t)pixels * 4) && SeeThrough(picture, pixels) == 0);
  return PixelHash(reinterpret_cast<const uint32_t*>(picture), pixels);
}

// What the page shows of the current frame: the picture without the keys' labels and with them, and
// the cursor, which is the last frame header read (as in the Windows player: a rewind keeps it, and
// the end record, when damage makes it differ from the last frame's, moves it), and which the labels
// keep clear of.
struct Seen {
  uint64_t Bare, Labelled;
  int32_t Button, CursorX, CursorY;
  bool SameCursor(const Seen& other) const {
    return Button == other.Button && CursorX == other.CursorX && CursorY == other.CursorY;
  }
};

Seen SeenNow(const PageState& s) {
  if (!TavrelKeyCount()) {
    uint64_t picture = ShownPicture(s);
    return Seen{picture, picture, s.Button, s.CursorX, s.CursorY};
  }
  TavrelShowKeys(0);
  uint64_t bare = ShownPicture(s);
  TavrelShowKeys(1);
  return Seen{bare, ShownPicture(s), s.Button, s.CursorX, s.CursorY};
}

}  // namespace

extern "C" uint8_t* FuzzHeapBase = nullptr;

uint64_t FuzzMemoryPages() { return ((uint64_t)(uintptr_t)FuzzHeapBase >> 16) + ArenaPages; }

size_t FuzzMemoryGrow(size_t pages) {
  if ((ArenaPages + pages) << 16 > ArenaLimit) return (size_t)-1;
  size_t before = (size_t)FuzzMemoryPages();
  ASAN_UNPOISON_MEMORY_REGION((void*)(uintptr_t)ArenaEnd(), pages << 16);
  ArenaPages += pages;
  return before;
}

// The page's import: bytes of the file it holds, into the module's memory.
extern "C" int32_t ReadMovieBytes(double offset, uint8_t* to, uint32_t count) {
  Require(offset >= 0 && offset == floor(offset) && count <= INT32_MAX);
  uint64_t from = (uint64_t)offset;
  uint32_t available = from < MovieFile.Size() ? (uint32_t)std::min<uint64_t>(count, MovieFile.Size() - from) : 0;
  Require(InModule(to, available));
  return (int32_t)MovieFile.Read(from, to, available);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!FuzzHeapBase) FuzzHeapBase = static_cast<uint8_t*>(aligned_alloc(1 << 16, ArenaLimit));
  // Each input is a fresh page: the memory of the one before is gone.
  ArenaPages = 0;
  ASAN_POISON_MEMORY_REGION(FuzzHeapBase, ArenaLimit);
  FuzzInput input(data, size);
  // The first action: whether the page is handed a movie file or the bare stream, which it opens too.
  MovieFile = FuzzMovieFile{input.Stream, input.StreamSize, input.Action(0) & 1 ? 0 : StubLength};
  int32_t opened = TavrelOpen((double)MovieFile.Size());
  Require(opened == OpenOk || opened == OpenNoMovie || opened == OpenNoMemory);
  if (opened != OpenOk) return 0;
  while (!TavrelScan(1 + input.Action(1) % 40)) {
  }
  const PageState& s = CheckedState();
  Require(s.CurrentFrame == 0);
  const int32_t frames = s.FrameCount;
  // What follows costs a picture's pixels for every frame and every action: beyond WorkLimit, a movie
  // is only opened and scanned.
  if (2 * (uint64_t)(frames + input.ActionCount + 1) * (uint64_t)s.Width * (uint64_t)s.Height > WorkLimit) return 0;

  // The steps as the page lists them: their descriptions in the module's memory (the page gets 32-bit
  // addresses; natively they are the low half of one in the arena).
  int32_t count = TavrelStepCount();
  Require(count >= 0 && (count == 0 || InArena(TavrelSteps(), (uint64_t)count * sizeof(PageStep))));
  for (int32_t i = 0; i < count; i++) {
    const PageStep& step = TavrelSteps()[i];
    uint64_t high = (uint64_t)(uintptr_t)FuzzHeapBase & ~0xFFFFFFFFull;
    uint64_t text = high | step.Text;
    if (text < (uint64_t)(uintptr_t)FuzzHeapBase) text += 1ull << 32;
    Require(step.TextLength >= 0 && InArena((const void*)(uintptr_t)text, (uint64_t)step.TextLength));
  }

  // The picture after every record, stepping from a rewind as playback does; then the end, which
  // stays the end.
  std::vector<Seen> pictures;
  TavrelRewind();
  pictures.push_back(SeenNow(CheckedState()));
  for (int32_t k = 1; k <= frames; k++) {
    Require(TavrelStep() >= 0 && CheckedState().CurrentFrame == k);
    pictures.push_back(SeenNow(s));
  }
  for (int repeat = 0; repeat < 2; repeat++) Require(TavrelStep() == -1 && CheckedState().CurrentFrame == frames);

  int32_t rate = TavrelSoundRate();
  Require(rate >= 0);
  for (uint32_t k = 2; k < input.ActionCount; k++) {
    uint8_t action = input.Action(k);
    int32_t value = action & 0x3F;
    switch (action >> 6) {
      case 0: {  // a seek anywhere, one before the start to one past the end
        int32_t n = (int32_t)((int64_t)value * (frames + 2) / 63) - 1;
        TavrelSeek(n);
        Require(CheckedState().CurrentFrame == (n < 0 ? 0 : n > frames ? frames : n));
        break;
      }
      case 1:  // ticks of playback
        for (int32_t n = 0; n < value % 8; n++) {
          int32_t before = s.CurrentFrame, length = TavrelStep();
          Require(CheckedState().CurrentFrame == (length >= 0 ? before + 1 : before));
          Require(length >= 0 ? before < frames : before == frames);
        }
        break;
      case 2:
        TavrelRewind();
        Require(CheckedState().CurrentFrame == 0);
        break;
      case 3: {  // the time shown and the sound of a frame near the current one
        const char* time = TavrelPlayTime();
        const char* end = static_cast<const char*>(memchr(time, 0, 32));
        Require(end != nullptr);
        for (const char* c = time; c < end; c++) Require(*c > 0);
        if (rate) Require(InArena(TavrelSoundFrame(s.CurrentFrame + value - 32), (uint64_t)(rate / FramesPerSecond) * 2));
        break;
      }
    }
    Seen now = SeenNow(CheckedState()), then = pictures[(size_t)s.CurrentFrame];
    Require(now.Bare == then.Bare && (!now.SameCursor(then) || now.Labelled == then.Labelled));
  }
  return 0;
}
