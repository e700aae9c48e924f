// Fuzz target of the movie tool's walk: verify, repair, trim and pack, run in this process through
// the tool's own command line (tavrel-movie.cpp, its main renamed TavrelMovieMain) on files in a
// folder of memory (/dev/shm where there is one). The input (FuzzInput.h) is a trim span and a movie
// stream, put behind a player ("MZ" and zeros) as a movie file. Every command either refuses with a
// message on standard error or writes a movie that verify accepts, and:
//   - verify accepts a movie exactly when pack does, and pack's copy plays the same frames;
//   - repair's copy plays the frames the input played, as far as the walk got; of a movie verify
//     accepts, and whenever it says so, the copy is the input byte for byte;
//   - trim's copy plays the frames of the span it reports, as the input showed them.
// Leaks count: LeakSanitizer runs after every input.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "FuzzInput.h"
#include "Commands.h"
#include "MovieWalk.h"

int TavrelMovieMain(int argc, char** argv);

namespace {

std::string Folder;

struct Result {
  int Status;
  std::string Out, Err;
};

// Runs the tool with these arguments, its standard output and error caught in memory.
Result Run(std::vector<std::string> args) {
  args.insert(args.begin(), "tavrel-movie");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(&arg[0]);
  char *out = nullptr, *err = nullptr;
  size_t outSize = 0, errSize = 0;
  FILE* savedOut = stdout;
  FILE* savedErr = stderr;
  stdout = open_memstream(&out, &outSize);
  stderr = open_memstream(&err, &errSize);
  Result result;
  result.Status = TavrelMovieMain((int)argv.size(), argv.data());
  fclose(stdout);
  fclose(stderr);
  stdout = savedOut;
  stderr = savedErr;
  result.Out.assign(out, outSize);
  result.Err.assign(err, errSize);
  free(out);
  free(err);
  return result;
}

std::vector<uint8_t> Bytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return bytes;
  uint8_t buffer[1 << 14];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.insert(bytes.end(), buffer, buffer + n);
  fclose(f);
  return bytes;
}

// The frames a walk applies, each as a hash of its pixels.
std::vector<uint64_t> Frames(const std::string& path, bool checkRules) {
  MovieWalk walk;
  walk.CheckRules = checkRules;
  std::string error;
  std::vector<uint64_t> frames;
  if (!walk.Open(path, false, &error)) return frames;
  while (walk.Step() == StepFrame) frames.push_back(PixelHash(walk.Frame.data(), (uint32_t)walk.Frame.size()));
  return frames;
}

// The pixels of one pass through the movie's records (a frame's for each), counted until past
// limit; 0 when it holds no movie.
uint64_t PassPixels(const FuzzMovieFile& file, uint64_t limit) {
  FuzzReader reader;
  if (!reader.Open(&file, TrailerSize, limit)) return reader.Reader.PixelCount;  // no movie, or too large frames
  uint64_t pixels = reader.Reader.PixelCount;
  while (pixels <= limit && AdvanceMovieReader(&reader.Reader) >= 0) pixels += reader.Reader.PixelCount;
  return pixels;
}

// A command's outcome: a refusal says why; a movie written verifies.
bool Refused(const Result& result, const std::string& out) {
  if (result.Status != ExitOk) {
    Require(result.Status == ExitFailed && result.Err.rfind("tavrel-movie: ", 0) == 0);
    return true;
  }
  Require(Run({"verify", out}).Status == ExitOk);
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char name[] = "/dev/shm/walk_fuzz-XXXXXX";
  char fallback[] = "/tmp/walk_fuzz-XXXXXX";
  const char* made = mkdtemp(name);
  if (!made) made = mkdtemp(fallback);
  Require(made != nullptr);
  Folder = made;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  FuzzMovieFile file{input.Stream, input.StreamSize};
  // Every command and check below passes through the records: beyond WorkLimit, a movie is left out.
  if (PassPixels(file, WorkLimit) > WorkLimit) return 0;
  std::vector<uint8_t> movie(file.Size());
  file.Read(0, movie.data(), (uint32_t)movie.size());
  const std::string in = Folder + "/in.exe", repaired = Folder + "/repaired.exe", trimmed = Folder + "/trimmed.exe",
                    packed = Folder + "/packed.exe";
  FILE* f = fopen(in.c_str(), "wb");
  Require(f && fwrite(movie.data(), 1, movie.size(), f) == movie.size() && fclose(f) == 0);

  Result verify = Run({"verify", in});
  Require(verify.Status == ExitOk ? verify.Out.rfind(in + ": well-formed: ", 0) == 0 : Refused(verify, in));
  bool wellFormed = verify.Status == ExitOk;
  std::vector<uint64_t> checked = Frames(in, true);

  Result repair = Run({"repair", in, "-o", repaired});
  if (!Refused(repair, repaired)) {
    std::vector<uint64_t> kept = Frames(repaired, true);
    Require(kept == checked);
    std::string said = repair.Out.substr(0, repair.Out.find('\n'));  // what it found, before the title
    bool identical = said == in + " was well-formed already; an identical copy was written";
    Require(identical == wellFormed);
    if (identical) Require(Bytes(repaired) == movie);
  } else {
    Require(!wellFormed);
  }

  // The span: the idle frames cut, or frames from..to of the first actions.
  std::vector<std::string> span = {"--idle"};
  if (!(input.Action(0) & 1)) {
    int32_t from = 1 + input.Action(1) % 8, to = from + input.Action(2) % 8;
    span = {"--from-frame", std::to_string(from), "--to-frame", std::to_string(to)};
  }
  std::vector<std::string> trimArgs = {"trim", in, "-o", trimmed};
  trimArgs.insert(trimArgs.end(), span.begin(), span.end());
  Result trim = Run(trimArgs);
  if (!Refused(trim, trimmed)) {
    int first = 0, last = 0, of = 0;
    Require(sscanf(trim.Out.c_str(), "kept:  frames %d to %d of %d", &first, &last, &of) == 3);
    std::vector<uint64_t> shown = Frames(in, false);
    Require(1 <= first && first <= last && last <= (int)shown.size());
    Require(Frames(trimmed, false) == std::vector<uint64_t>(shown.begin() + first - 1, shown.begin() + last));
  }

  Result pack = Run({"pack", in, "-o", packed});
  Require(Refused(pack, packed) != wellFormed);
  if (wellFormed) Require(Frames(packed, true) == checked);

  for (const std::string& out : {in, repaired, trimmed, packed}) unlink(out.c_str());
  return 0;
}
