// How the fuzz targets that play a movie and act on it split their input: a count byte n, n bytes of
// actions (seeks, steps, a trim's span...), each target reading them its own way, then the movie
// stream, which the target puts behind StubLength bytes of player as a movie file has it. The seed
// corpus writes the movies of movie_fuzz's corpus in this form too (MakeSeeds.cpp).
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "Movie.h"

// A broken promise of the code under test: said on standard error, and libFuzzer keeps the input as
// a finding.
#define Require(condition) RequireAt(condition, __FILE__, __LINE__, #condition)
inline void RequireAt(bool condition, const char* file, int line, const char* text) {
  if (condition) return;
  fprintf(stderr, "%s:%d: broken promise: %s\n", file, line, text);
  abort();
}

// The pixels of pictures one input may make a target check or decode: a movie of large frames and
// many records takes seconds for each pass through it, and a target that goes through a movie
// again and again leaves out what lies beyond this, so that no run comes near libFuzzer's timeout.
const uint64_t WorkLimit = 1u << 24;

// A picture's pixels as one number, to compare frames by. Left out of the coverage the fuzzer steers
// by, and kept out of its callers, which would take it into theirs (a comparison traced per pixel
// would only slow the run down).
__attribute__((no_sanitize("coverage"), noinline)) inline uint64_t PixelHash(const uint32_t* pixels, uint32_t count) {
  uint64_t hash = 14695981039346656037ull;
  for (uint32_t i = 0; i < count; i++) hash = (hash ^ pixels[i]) * 1099511628211ull;
  return hash;
}

struct FuzzInput {
  const uint8_t* Actions;
  uint32_t ActionCount;
  const uint8_t* Stream;
  uint32_t StreamSize;

  FuzzInput(const uint8_t* data, size_t size) {
    size_t rest = size ? size - 1 : 0;
    ActionCount = size && data[0] < rest ? data[0] : (uint32_t)rest;
    Actions = size ? data + 1 : data;
    Stream = Actions + ActionCount;
    StreamSize = (uint32_t)(rest - ActionCount);
  }
  // Action k, cycling through them (0 without any).
  uint8_t Action(uint32_t k) const { return ActionCount ? Actions[k % ActionCount] : 0; }
};

// The file a movie player reads: StubLength bytes of player (an "MZ" and zeros), then the stream; or,
// with Stub 0, the bare stream.
struct FuzzMovieFile {
  const uint8_t* Stream;
  uint32_t StreamSize;
  uint32_t Stub = StubLength;
  uint64_t Size() const { return Stub + (uint64_t)StreamSize; }
  // Copies up to count bytes from offset; returns the bytes copied (fewer at the end of the file).
  uint32_t Read(uint64_t offset, uint8_t* to, uint32_t count) const {
    if (offset >= Size() || count == 0) return 0;  // a read of nothing may come with no buffer
    uint32_t n = Size() - offset < count ? (uint32_t)(Size() - offset) : count;
    uint32_t stub = offset < Stub ? (uint32_t)std::min<uint64_t>(n, Stub - offset) : 0;
    memset(to, 0, stub);
    for (uint64_t k = offset; k < 2 && k < offset + stub; k++) to[k - offset] = "MZ"[k];
    if (offset + n > Stub) {
      uint64_t from = offset > Stub ? offset - Stub : 0;
      uint32_t skip = (uint32_t)(Stub > offset ? Stub - offset : 0);
      memcpy(to + skip, Stream + from, n - skip);
    }
    return n;
  }
};

// A reader's own place in a FuzzMovieFile, and the MovieSource over it, with room bytes past the end
// of the file (TrailerSize for the reader of the tool and the page).
struct FuzzPlace {
  const FuzzMovieFile* File;
  uint64_t Position = 0;
  MovieSource Source(uint64_t room) { return MovieSource{this, ReadAt, SeekTo, File->Size() + room}; }

  static int32_t ReadAt(void* context, void* buffer, uint32_t count) {
    FuzzPlace* place = static_cast<FuzzPlace*>(context);
    uint32_t n = place->File->Read(place->Position, static_cast<uint8_t*>(buffer), count);
    place->Position += n;
    return (int32_t)n;
  }
  static int32_t SeekTo(void* context, uint64_t offset) {
    static_cast<FuzzPlace*>(context)->Position = offset;
    return 0;
  }
};

// A reader of the core over its own place in the file, with buffers of exactly the sizes it asks for.
struct FuzzReader {
  FuzzPlace At;
  MovieSource Source;
  MovieReader Reader{};
  std::vector<uint32_t> Frame;
  std::vector<uint8_t> Packed, RunList;
  // False when the file holds no movie, or frames of more than mostPixels.
  bool Open(const FuzzMovieFile* file, uint64_t room, uint64_t mostPixels) {
    At = FuzzPlace{file};
    Source = At.Source(room);
    if (!OpenMovieReader(&Reader, &Source) || Reader.PixelCount > mostPixels) return false;
    Frame.assign(Reader.PixelCount, 0);
    Packed.resize(Reader.PackedSize);
    RunList.resize(Reader.RunListSize);
    Reader.FramePixels = Frame.data();
    Reader.Packed = Packed.data();
    Reader.RunList = RunList.data();
    return true;
  }
};
